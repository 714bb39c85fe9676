// WS-Discovery end to end over real sockets in namespaces the lab makes: the
// simulator plays cameras in three answer styles, unicast and to the group,
// with Hello, Bye and hostile answers.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/ws_discovery_search.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::LoggedDatagram;
using testing::Simulator;
using testing::WaitUntil;

bool IsProbe(const LoggedDatagram& d) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return d.destination_port == 3702 && text.find(":Probe>") != std::string::npos;
}

// One searcher on the PC's interfaces and everything it delivered.
struct Pc {
    WsDiscoverySearch search;
    std::vector<WsdDevice> found;

    explicit Pc(const std::vector<std::pair<const char*, const char*>>& interfaces) {
        std::vector<LocalInterface> records(interfaces.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            SetText(records[i].ip, interfaces[i].first);
            SetText(records[i].mask, interfaces[i].second);
        }
        search.SetWsdCallback(
            [](const WsdDevice* d, void* found, std::int32_t) {
                static_cast<std::vector<WsdDevice>*>(found)->push_back(*d);
            },
            &found, 0);
        search.OpenSockets(records.data(), static_cast<std::int32_t>(records.size()));
    }
    // One pass of the worker: sends due copies, reads what came.
    void Pass() {
        search.FlushCommands();
        search.ReceiveAnswers(20);
    }
    std::set<std::uint64_t> Keys() const {
        std::set<std::uint64_t> keys;
        for (const WsdDevice& d : found)
            if ((d.wsd.flags & kWsdGone) == 0) keys.insert(TableKey(d));
        return keys;
    }
};

TEST(WsDiscoveryNetns, EveryCameraOnItsInterfaceHelloByeAndHostileAnswersCounted) {
    QUORVEX_LAB_OR_SKIP(lab);
    std::unique_ptr<Simulator> sims[2];
    for (int i = 0; i < 2; ++i) {
        const std::string site(1, "ab"[i]), subnet = "10.77." + std::to_string(i + 1) + ".";
        ASSERT_FALSE(lab->AddSite(site, subnet + "1/24", subnet + "2/24").empty())
            << lab->last_error();
        std::vector<std::string> args = {"--wsd",       "6",
                                         "--reply",     "mixed",
                                         "--subnet",    subnet,
                                         "--seed",      std::to_string(7 + i),
                                         "--wsd-hello", "--wsd-bye-after",
                                         "1500"};
        if (i == 0) args.push_back("--wsd-malformed");
        std::string why;
        sims[i] = Simulator::Start(*lab, lab->site_namespace(site), args, &why);
        ASSERT_TRUE(sims[i]) << why;
    }
    lab->EnterPc();
    Pc pc({{"10.77.1.1", "255.255.255.0"}, {"10.77.2.1", "255.255.255.0"}});
    std::vector<SocketStatus> places;
    pc.search.CollectStatus(places);
    EXPECT_EQ(places.size(), 4u);  // per interface: the probes' port and 3702
    for (const SocketStatus& place : places) {
        EXPECT_EQ(place.state, ListenState::kListening) << place.error;
    }

    pc.search.SendSearch();
    // Per site: plain cameras answer both probes, the other two styles one.
    ASSERT_TRUE(WaitUntil(
        [&] {
            pc.Pass();
            return pc.search.Statistics().matches >= 16 && pc.search.PendingCopies() == 0;
        },
        20s));
    ASSERT_TRUE(WaitUntil(
        [&] {
            pc.Pass();
            return pc.search.Statistics().byes >= 12;
        },
        20s));
    for (int i = 0; i < 10; ++i) pc.Pass();  // anything late would show now

    // Every camera once per key, on the interface of its site, shown at its
    // subnet address whatever its XAddrs list first.
    EXPECT_EQ(pc.Keys().size(), 12u);
    for (const WsdDevice& d : pc.found) {
        const std::string ip(GetText(d.entry.info.ip));
        const std::string interface = AddressText(d.entry.interface_address);
        EXPECT_EQ(ip.substr(0, 8), interface.substr(0, 8)) << ip;
        if (d.wsd.flags & kWsdGone) continue;
        std::string scopes(GetText(d.wsd.scopes));
        for (char& c : scopes) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(TableKey(d) < (1ull << 48), scopes.find("/mac/") != std::string::npos) << scopes;
    }
    const WsDiscoverySearch::Counters counters = pc.search.Statistics();
    EXPECT_EQ(counters.matches, 16u);
    EXPECT_EQ(counters.hellos, 12u);
    EXPECT_EQ(counters.byes, 12u);
    // Site a answered each of the two probes with four refusable answers and
    // a Fault.
    EXPECT_EQ(counters.refused, 8u);
    EXPECT_EQ(counters.faults, 2u);
    EXPECT_EQ(counters.unmatched, 0u);
    // Each probe went out three times with one MessageID, and never more.
    for (const auto& sim : sims) EXPECT_EQ(sim->WaitForLog(IsProbe, 7, 300ms), 6u);
}

TEST(WsDiscoveryNetns, TwoSearchersBesideAProgramHoldingTheAnnouncementPort) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) << lab->last_error();
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("a"),
        {"--wsd", "9", "--text", "2", "--wsd-dual", "1", "--subnet", "10.77.1."}, &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();

    // Another program holds 3702 without sharing it.
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(holder, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(WsDiscoverySearch::kPort);
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);

    Pc first(std::vector{std::pair{"10.77.1.1", "255.255.255.0"}});
    Pc second(std::vector{std::pair{"10.77.1.1", "255.255.255.0"}});
    for (Pc* pc : {&first, &second}) {
        std::vector<SocketStatus> places;
        pc->search.CollectStatus(places);
        ASSERT_EQ(places.size(), 2u);
        EXPECT_EQ(places[0].state, ListenState::kListening);
        EXPECT_FALSE(places[0].shared_port);
        EXPECT_TRUE(places[1].shared_port);
        EXPECT_EQ(places[1].port, WsDiscoverySearch::kPort);
        EXPECT_EQ(places[1].state, ListenState::kBindFailed);
        EXPECT_EQ(places[1].error, EADDRINUSE);
        pc->search.SendSearch();
    }
    // Both hear every camera, the one that also speaks the text protocol
    // with its MAC.
    EXPECT_TRUE(WaitUntil(
        [&] {
            first.Pass();
            second.Pass();
            return first.Keys().size() == 10 && second.Keys().size() == 10;
        },
        20s));
    EXPECT_EQ(first.Keys(), second.Keys());
    EXPECT_EQ(first.search.Statistics().unmatched + second.search.Statistics().unmatched, 0u);
    ::close(holder);
}

}  // namespace
}  // namespace quorvex
