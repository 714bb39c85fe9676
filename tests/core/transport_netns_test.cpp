// Both protocols end to end over real sockets: a PC namespace with two
// interfaces on two subnets, each leading to a site where quorvex-sim plays
// the cameras. Everything runs inside namespaces the lab makes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::Simulator;
using testing::WaitUntil;

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

LocalInterface Interface(const char* ip, const char* prefix) {
    LocalInterface record{};
    SetText(record.ip, ip);
    SetText(record.prefix, prefix);
    SetText(record.mask, "255.255.255.0");
    return record;
}

// Every entry delivered, in order.
struct Collector {
    std::vector<DeviceEntry> entries;
    static void Deliver(const DeviceEntry* entry, void* context, std::int32_t) {
        static_cast<Collector*>(context)->entries.push_back(*entry);
    }
    std::map<std::string, int> CountByKey() const {
        std::map<std::string, int> counts;
        for (const auto& e : entries) ++counts[DeviceKey(e.info)];
        return counts;
    }
    const DeviceEntry* Find(const std::string& key) const {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (DeviceKey(it->info) == key) return &*it;
        return nullptr;
    }
};

bool IsBinaryCommand(const LoggedDatagram& d) {
    return d.bytes.size() >= 4 && d.bytes[0] == 0x44 && d.bytes[1] == 0x48 && d.bytes[2] == 0x02 &&
           d.bytes[3] == 0x01;
}
bool IsBinaryProbe(const LoggedDatagram& d) {
    return d.bytes.size() == 4 && d.bytes[0] == 0x44 && d.bytes[1] == 0x48 && d.bytes[2] == 0x01 &&
           d.bytes[3] == 0x01;
}
bool StartsWith(const LoggedDatagram& d, const std::string& text) {
    return d.bytes.size() >= text.size() && std::equal(text.begin(), text.end(), d.bytes.begin());
}
bool IsTextCommand(const LoggedDatagram& d) {
    return StartsWith(d, "CMD * HDS/1.0\r\n");
}
bool IsTextSearch(const LoggedDatagram& d) {
    return StartsWith(d, "SEARCH * HDS/1.0\r\n");
}

// Two sites, "a" on 10.77.1.0/24 and "b" on 10.77.2.0/24, a simulator in
// each, and both protocol objects open on the two PC interfaces.
class TwoSites {
public:
    // Three binary and two text devices per site.
    static constexpr int kPerSite = 5;
    static constexpr int kDevices = 2 * kPerSite;

    bool Build(NetnsLab& lab, const std::string& reply, std::string* why) {
        if (lab.AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty() ||
            lab.AddSite("b", "10.77.2.1/24", "10.77.2.2/24").empty()) {
            *why = lab.last_error();
            return false;
        }
        const std::vector<std::string> devices = {"--binary-h", "2", "--binary-j", "1",
                                                  "--text",     "2", "--reply",    reply};
        auto args = [&](const char* seed, const char* subnet) {
            std::vector<std::string> a = devices;
            a.insert(a.end(), {"--seed", seed, "--subnet", subnet, "--password", "secret"});
            return a;
        };
        site_a = Simulator::Start(lab, lab.site_namespace("a"), args("11", "10.77.1."), why);
        if (!site_a) return false;
        site_b = Simulator::Start(lab, lab.site_namespace("b"), args("22", "10.77.2."), why);
        if (!site_b) return false;

        lab.EnterPc();
        const LocalInterface interfaces[2] = {Interface("10.77.1.1", "10.77.1."),
                                              Interface("10.77.2.1", "10.77.2.")};
        binary.SetCallback(&Collector::Deliver, &found, 0);
        text.SetCallback(&Collector::Deliver, &found, 0);
        binary.OpenSockets(interfaces, 2);
        text.OpenSockets(interfaces, 2);
        return true;
    }

    ~TwoSites() {
        binary.CloseSockets();
        text.CloseSockets();
    }

    // Searches on both protocols and collects until `distinct` devices have
    // been heard, then listens a little longer so that late duplicates show.
    void Search(std::size_t distinct) {
        found.entries.clear();
        binary.SendSearch();
        text.SendSearch();
        Receive([&] { return found.CountByKey().size() >= distinct; });
        const auto settle = std::chrono::steady_clock::now() + 300ms;
        while (std::chrono::steady_clock::now() < settle) Receive([] { return false; }, 50ms);
    }

    void Receive(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10s) {
        WaitUntil(
            [&] {
                binary.ReceiveAnswers(20);
                text.ReceiveAnswers(20);
                return done();
            },
            deadline);
    }

    std::unique_ptr<Simulator> site_a, site_b;
    BrannocSearch binary;
    MorvainSearch text;
    Collector found;
};

class TransportNetns : public ::testing::TestWithParam<const char*> {};

TEST_P(TransportNetns, EveryDeviceArrivesOnceWithTheInterfaceThatHeardIt) {
    QUORVEX_LAB_OR_SKIP(lab);
    TwoSites sites;
    std::string why;
    ASSERT_TRUE(sites.Build(*lab, GetParam(), &why)) << why;

    sites.Search(TwoSites::kDevices);

    const auto counts = sites.found.CountByKey();
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(TwoSites::kDevices));
    for (const auto& [key, count] : counts)
        EXPECT_EQ(count, 1) << key << " delivered " << count << "x";
    int binary = 0, text = 0;
    for (const DeviceEntry& e : sites.found.entries) {
        // Each simulator numbers its devices in its own subnet, so the address
        // a device reports tells which site (and so which interface) it is on.
        const std::string ip(GetText(e.info.ip));
        const char* expected = ip.rfind("10.77.1.", 0) == 0 ? "10.77.1.1" : "10.77.2.1";
        EXPECT_EQ(AddressText(e.interface_address), expected) << GetText(e.info.name);
        if (e.protocol == kProtocolBinary) {
            ++binary;
            EXPECT_TRUE(e.family == 1 || e.family == 2);
        } else {
            ++text;
            EXPECT_EQ(e.family, 3);
            EXPECT_EQ(GetText(e.info.user), "admin");
        }
    }
    EXPECT_EQ(binary, 6);
    EXPECT_EQ(text, 4);
}

INSTANTIATE_TEST_SUITE_P(ReplyModes, TransportNetns,
                         ::testing::Values("unicast", "broadcast", "multicast", "mixed"),
                         [](const auto& info) { return std::string(info.param); });

TEST(TransportNetnsCommands, CommandReachesOnlyItsInterfaceAndShowsInTheNextAnswer) {
    QUORVEX_LAB_OR_SKIP(lab);
    TwoSites sites;
    std::string why;
    ASSERT_TRUE(sites.Build(*lab, "unicast", &why)) << why;
    sites.Search(TwoSites::kDevices);

    // One binary device in site a, one text device in site b.
    DeviceEntry binary_device{}, text_device{};
    for (const DeviceEntry& e : sites.found.entries) {
        const bool in_a = e.interface_address == Address("10.77.1.1");
        if (e.protocol == kProtocolBinary && in_a) binary_device = e;
        if (e.protocol == kProtocolText && !in_a) text_device = e;
    }
    ASSERT_EQ(binary_device.protocol, kProtocolBinary);
    ASSERT_EQ(text_device.protocol, kProtocolText);
    // A binary device reports its credentials in the answer.
    EXPECT_EQ(GetText(binary_device.info.password), "secret");

    NetSettings binary_settings{};
    SetText(binary_settings.user, "admin");
    SetText(binary_settings.password, "secret");
    SetText(binary_settings.ip, "10.77.1.200");
    SetText(binary_settings.mask, "255.255.255.0");
    SetText(binary_settings.gateway, "10.77.1.1");
    binary_settings.http_port = 8080;
    sites.binary.QueueCommand(binary_device.info, binary_settings, kCommandNetSettings,
                              binary_device.interface_address);

    NetSettings text_settings{};
    SetText(text_settings.user, "admin");
    SetText(text_settings.password, "secret");
    SetText(text_settings.ip, "10.77.2.201");
    SetText(text_settings.mask, "255.255.255.0");
    SetText(text_settings.gateway, "10.77.2.1");
    text_settings.http_port = 8081;
    sites.text.QueueCommand(text_device.info, text_settings, kCommandNetSettings,
                            text_device.interface_address);
    sites.text.QueueCommand(text_device.info, text_settings, kCommandHttpPort,
                            text_device.interface_address);
    sites.binary.FlushCommands();
    sites.text.FlushCommands();

    EXPECT_EQ(sites.site_a->WaitForLog(IsBinaryCommand, 1), 1u);
    EXPECT_EQ(sites.site_b->WaitForLog(IsTextCommand, 2), 2u);

    // A second search travels behind the commands on the same sockets: once
    // each site has logged its probes, any stray command would be logged too.
    sites.Search(TwoSites::kDevices);
    EXPECT_EQ(sites.site_a->WaitForLog(IsTextSearch, 2), 2u);
    EXPECT_EQ(sites.site_b->WaitForLog(IsBinaryProbe, 2), 2u);
    EXPECT_EQ(sites.site_a->WaitForLog(IsTextCommand, 1, 0ms), 0u);
    EXPECT_EQ(sites.site_b->WaitForLog(IsBinaryCommand, 1, 0ms), 0u);
    for (const LoggedDatagram& d : sites.site_a->ReadLog()) EXPECT_EQ(d.interface, "eth0");

    const DeviceEntry* moved = sites.found.Find(DeviceKey(binary_device.info));
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(GetText(moved->info.ip), "10.77.1.200");
    EXPECT_EQ(moved->info.http_port, 8080);
    // The identity the command carried back is unchanged.
    EXPECT_EQ(GetText(moved->info.name), GetText(binary_device.info.name));
    EXPECT_EQ(moved->info.aux_flag, binary_device.info.aux_flag);

    const DeviceEntry* text_moved = sites.found.Find(DeviceKey(text_device.info));
    ASSERT_NE(text_moved, nullptr);
    EXPECT_EQ(GetText(text_moved->info.ip), "10.77.2.201");
    EXPECT_EQ(text_moved->info.http_port, 8081);
}

TEST(TransportNetnsBurst, TwoThousandDevicesAnsweringAtOnceAreAllParsed) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.0.1/16", "10.77.0.2/16").empty()) << lab->last_error();
    std::string why;
    auto sim = Simulator::Start(*lab, lab->site_namespace("a"),
                                {"--binary-h", "500", "--binary-j", "500", "--text", "1000",
                                 "--reply", "mixed", "--spread", "0", "--subnet", "10.77."},
                                &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    BrannocSearch binary;
    MorvainSearch text;
    Collector found;
    binary.SetCallback(&Collector::Deliver, &found, 0);
    text.SetCallback(&Collector::Deliver, &found, 0);
    const LocalInterface pc = Interface("10.77.0.1", "10.77.0.");
    binary.OpenSockets(&pc, 1);
    text.OpenSockets(&pc, 1);

    binary.SendSearch();
    text.SendSearch();
    WaitUntil(
        [&] {
            binary.ReceiveAnswers(20);
            text.ReceiveAnswers(20);
            return found.entries.size() >= 2000;
        },
        20s);

    const auto counts = found.CountByKey();
    EXPECT_EQ(counts.size(), 2000u);
    EXPECT_EQ(found.entries.size(), 2000u);
    EXPECT_EQ(binary.DroppedDatagrams() + text.DroppedDatagrams(), 0u);
    binary.CloseSockets();
    text.CloseSockets();
}

}  // namespace
}  // namespace quorvex
