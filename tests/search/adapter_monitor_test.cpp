// The adapter monitor: its parser over hand-made notification bytes, whole,
// cut and lying; and the real socket in a lab namespace while addresses come
// and go, links vanish and a burst overflows it.

#include "search/adapter_monitor.h"

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

// Appends one notification: a header of `type` and `length` (its real length
// when 0), then `body` as the host lays it out.
template <typename Body>
void Append(std::vector<std::uint8_t>& bytes, std::uint16_t type, const Body& body,
            std::uint32_t length = 0) {
    nlmsghdr header{};
    header.nlmsg_len = length != 0 ? length : NLMSG_LENGTH(sizeof body);
    header.nlmsg_type = type;
    const std::size_t at = bytes.size();
    bytes.resize(at + NLMSG_ALIGN(NLMSG_LENGTH(sizeof body)));
    std::memcpy(bytes.data() + at, &header, sizeof header);
    std::memcpy(bytes.data() + at + NLMSG_HDRLEN, &body, sizeof body);
}

AdapterEvents Parse(const std::vector<std::uint8_t>& bytes, std::size_t length) {
    // A copy of exactly `length` bytes, so that a read past them is a read
    // past the allocation (caught in the sanitizer builds).
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + length);
    return ParseAdapterEvents(cut);
}

TEST(AdapterMonitorParse, CountsLinkAddressAndDefaultRouteEventsAndStopsAtCutOrLyingLengths) {
    ifaddrmsg v4{};
    v4.ifa_family = AF_INET;
    ifaddrmsg v6{};
    v6.ifa_family = AF_INET6;
    rtmsg default_route{};
    default_route.rtm_family = AF_INET;  // rtm_dst_len 0: a default route
    rtmsg subnet_route = default_route;
    subnet_route.rtm_dst_len = 24;
    const ifinfomsg link{};

    std::vector<std::uint8_t> bytes;
    Append(bytes, RTM_NEWADDR, v4);
    Append(bytes, RTM_DELADDR, v4);
    Append(bytes, RTM_NEWADDR, v6);             // not IPv4: no change of ours
    Append(bytes, RTM_NEWROUTE, subnet_route);  // comes with an address: not counted twice
    Append(bytes, RTM_DELROUTE, default_route);
    Append(bytes, RTM_DELLINK, link);
    Append(bytes, NLMSG_NOOP, link);
    const std::size_t whole = bytes.size();

    const AdapterEvents all = Parse(bytes, whole);
    EXPECT_EQ(all.addresses, 2);
    EXPECT_EQ(all.routes, 1);
    EXPECT_EQ(all.links, 1);
    EXPECT_FALSE(all.malformed || all.overflow);
    EXPECT_TRUE(all.Changed());

    // Cut anywhere: what lies wholly before the cut counts, the cut message
    // makes the bytes malformed (so the caller reads the adapters again).
    for (std::size_t length = 0; length <= whole; ++length) {
        const AdapterEvents some = Parse(bytes, length);
        EXPECT_LE(some.addresses + some.routes + some.links, 4) << length;
        EXPECT_EQ(some.Changed(), length > 0) << length;
    }
    EXPECT_FALSE(Parse(bytes, 0).Changed());

    // Nothing but an irrelevant message: no change.
    std::vector<std::uint8_t> quiet;
    Append(quiet, RTM_NEWADDR, v6);
    Append(quiet, RTM_NEWROUTE, subnet_route);
    EXPECT_FALSE(Parse(quiet, quiet.size()).Changed());

    // Lengths that lie: past the bytes, below a header, or a body shorter than
    // its message type needs. None is read beyond what arrived.
    for (const std::uint32_t lie : {std::uint32_t{4096}, std::uint32_t{3},
                                    std::uint32_t{0xFFFFFFFF}, std::uint32_t{NLMSG_HDRLEN + 2}}) {
        std::vector<std::uint8_t> lying;
        Append(lying, RTM_NEWADDR, v4, lie);
        const AdapterEvents events = Parse(lying, lying.size());
        EXPECT_TRUE(events.malformed) << lie;
        EXPECT_EQ(events.addresses, 0) << lie;
    }

    // The kernel's word for lost notifications.
    std::vector<std::uint8_t> overrun;
    Append(overrun, NLMSG_OVERRUN, link);
    EXPECT_TRUE(Parse(overrun, overrun.size()).overflow);
}

// Waits on the monitor until the events seen add up to what `enough` asks.
AdapterEvents WaitFor(AdapterMonitor& monitor,
                      const std::function<bool(const AdapterEvents&)>& enough) {
    AdapterEvents seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!enough(seen) && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{monitor.Handle(), POLLIN, 0};
        if (::poll(&ready, 1, 100) > 0) seen += monitor.DrainEvents();
    }
    return seen;
}

TEST(AdapterMonitorNetns, SeesAddressesComeAndGoLinksVanishAndAnOverflow) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("mon", "10.78.0.1/24", "10.78.0.2/24");
    const std::string other_if = lab->AddSite("burst", "10.78.1.1/24", "10.78.1.2/24");
    ASSERT_FALSE(pc_if.empty() || other_if.empty()) << lab->last_error();
    const std::string pc = lab->pc_namespace();

    // The socket belongs to the namespace it was made in, whichever thread
    // reads it later.
    std::unique_ptr<AdapterMonitor> monitor;
    std::unique_ptr<AdapterMonitor> small;
    ASSERT_TRUE(lab->RunIn(pc, [&] {
        monitor = std::make_unique<AdapterMonitor>();
        small = std::make_unique<AdapterMonitor>(1);  // the system's least
    }));
    ASSERT_GE(monitor->Handle(), 0);
    ASSERT_GE(small->Handle(), 0);
    const auto addresses = [](const AdapterEvents& e) { return e.addresses > 0; };

    ASSERT_EQ(lab->Run(pc, {"ip", "addr", "add", "10.78.5.1/24", "dev", pc_if}), 0);
    EXPECT_TRUE(addresses(WaitFor(*monitor, addresses)));
    ASSERT_EQ(lab->Run(pc, {"ip", "addr", "del", "10.78.5.1/24", "dev", pc_if}), 0);
    EXPECT_TRUE(addresses(WaitFor(*monitor, addresses)));
    ASSERT_EQ(lab->Run(pc, {"ip", "route", "add", "default", "via", "10.78.0.2"}), 0);
    EXPECT_GT(WaitFor(*monitor, [](const AdapterEvents& e) { return e.routes > 0; }).routes, 0);
    ASSERT_EQ(lab->Run(pc, {"ip", "link", "del", pc_if}), 0);
    const AdapterEvents gone =
        WaitFor(*monitor, [](const AdapterEvents& e) { return e.links > 0; });
    EXPECT_GT(gone.links, 0);
    EXPECT_TRUE(gone.Changed());

    // A burst of 300 addresses overflows the small socket: that is a change,
    // and the socket reads on afterwards.
    std::string batch;
    for (int i = 0; i < 300; ++i)
        batch += "addr add 10.79." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1) +
                 "/32 dev " + other_if + "\n";
    ASSERT_EQ(lab->Run(pc, {"ip", "-batch", "-"}, nullptr, nullptr, batch), 0);
    const AdapterEvents burst = WaitFor(*small, [](const AdapterEvents& e) { return e.overflow; });
    EXPECT_TRUE(burst.overflow);
    EXPECT_TRUE(burst.Changed());
    for (pollfd pending{small->Handle(), POLLIN, 0}; ::poll(&pending, 1, 0) > 0;) small->Drain();
    ASSERT_EQ(lab->Run(pc, {"ip", "addr", "add", "10.78.6.1/24", "dev", other_if}), 0);
    EXPECT_TRUE(addresses(WaitFor(*small, addresses)));
}

}  // namespace
}  // namespace quorvex
