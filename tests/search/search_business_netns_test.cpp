// The search manager end to end: its worker in a private "PC" namespace,
// simulated cameras of both protocols behind a veth, real sockets throughout.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::LoggedDatagram;
using ::quorvex::testing::Simulator;
using ::quorvex::testing::WaitUntil;

struct Notifications {
    static void Callback(const char* key, void* context, std::int32_t) {
        auto& self = *static_cast<Notifications*>(context);
        std::lock_guard lock(self.mutex);
        ++self.per_key[key];
    }
    int count(const std::string& key) {
        std::lock_guard lock(mutex);
        return per_key[key];
    }
    std::mutex mutex;
    std::map<std::string, int> per_key;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool IsBinaryProbe(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 4;
}
bool IsBinaryCommand(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 324;
}
bool IsTextSearch(const LoggedDatagram& d) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return d.destination_port == 12109 && text.rfind("SEARCH", 0) == 0;
}
bool IsTextCommand(const LoggedDatagram& d) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return d.destination_port == 12109 && text.rfind("CMD", 0) == 0;
}

constexpr const char* kBinaryKey = "00-1A-2B-3C-4D-01";
constexpr const char* kTextKey = "00-1A-2B-3C-4D-02";

TEST(SearchBusinessNetns, FindsBothProtocolsRefreshesAndCarriesCommandsRoundTrip) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.5.1/24", "10.77.5.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();

    // A binary camera with a factory address outside the PC's subnet, and a
    // text camera inside it (text devices log in with an empty password).
    const std::string devices = lab->scratch_dir() + "/devices.json";
    std::ofstream(devices) << R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "family": "H", "name": "gate",
   "ip": "192.168.0.50", "mask": "255.255.255.0", "gateway": "192.168.0.1",
   "http_port": 80, "user": "admin", "password": "admin"},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "yard",
   "ip": "10.77.5.30", "mask": "255.255.255.0", "gateway": "10.77.5.1",
   "http_port": 80, "user": "admin", "password": ""}
])";
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("cams"), {"--devices", devices}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    Notifications notifications;
    // Declared after the lab, so it is destroyed (and stopped) first.
    SearchBusiness manager;
    manager.SetNotification(&Notifications::Callback, &notifications, 0);
    manager.SetSearchInterval(3600);
    manager.SetMatchRange(10, 253);
    manager.SetInterfaceNames({pc_if});  // a veth is chosen only by name

    const double started = Now();
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(WaitUntil([&] { return manager.SearchCount() == 1; }));
    ASSERT_EQ(sim->WaitForLog(IsBinaryProbe, 1), 1u);
    ASSERT_EQ(sim->WaitForLog(IsTextSearch, 1), 1u);
    // The first search goes out after one pass, not at once and not late.
    const auto log = sim->ReadLog();
    const auto first = std::find_if(log.begin(), log.end(), IsBinaryProbe);
    EXPECT_GE(first->time - started, 0.05);
    EXPECT_LT(first->time - started, 3.0);

    ASSERT_TRUE(WaitUntil([&] { return manager.DeviceCount() == 2; }));
    DeviceEntry binary{};
    DeviceEntry text{};
    ASSERT_TRUE(manager.GetDevice(kBinaryKey, binary));
    ASSERT_TRUE(manager.GetDevice(kTextKey, text));
    EXPECT_EQ(binary.protocol, kProtocolBinary);
    EXPECT_EQ(binary.family, 1);
    EXPECT_EQ(text.protocol, kProtocolText);
    EXPECT_EQ(text.family, 3);
    EXPECT_EQ(AddressText(binary.interface_address), "10.77.5.1");
    EXPECT_EQ(notifications.count(kBinaryKey), 1);
    ASSERT_EQ(manager.CopyInterfaces().size(), 1u);
    EXPECT_EQ(GetText(manager.CopyInterfaces()[0].prefix), "10.77.5.");

    // A refresh searches again at once although the interval is an hour.
    manager.RequestRefresh();
    ASSERT_TRUE(WaitUntil([&] { return manager.SearchCount() == 2; }));
    EXPECT_EQ(sim->WaitForLog(IsBinaryProbe, 2), 2u);
    EXPECT_EQ(sim->WaitForLog(IsTextSearch, 2), 2u);

    // Commands: the binary camera is moved into the PC's subnet (host 10 is
    // the first free number), the text camera gets a new HTTP port. They leave
    // in the next pass without a search.
    ASSERT_TRUE(manager.IsOutsideSubnet(binary));
    const auto proposed = manager.MatchAddress(binary, {});
    ASSERT_TRUE(proposed);
    EXPECT_EQ(GetText(proposed->ip), "10.77.5.10");
    NetSettings port{};
    SetText(port.user, GetText(text.info.user));
    SetText(port.ip, GetText(text.info.ip));
    SetText(port.mask, GetText(text.info.mask));
    SetText(port.gateway, GetText(text.info.gateway));
    port.http_port = 8081;
    manager.SendCommand(text, port, kCommandHttpPort);
    ASSERT_EQ(sim->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_EQ(sim->WaitForLog(IsTextCommand, 1), 1u);
    EXPECT_EQ(manager.SearchCount(), 2u);

    // The next answers show the changes: one notification per changed entry.
    const int binary_before = notifications.count(kBinaryKey);
    const int text_before = notifications.count(kTextKey);
    manager.RequestRefresh();
    ASSERT_TRUE(WaitUntil([&] {
        DeviceEntry b{}, t{};
        return manager.GetDevice(kBinaryKey, b) && manager.GetDevice(kTextKey, t) &&
               GetText(b.info.ip) == "10.77.5.10" && t.info.http_port == 8081;
    }));
    // Identical answers to one more search change nothing.
    manager.RequestRefresh();
    ASSERT_TRUE(WaitUntil([&] { return manager.SearchCount() == 4; }));
    ASSERT_EQ(sim->WaitForLog(IsBinaryProbe, 4), 4u);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(notifications.count(kBinaryKey), binary_before + 1);
    EXPECT_EQ(notifications.count(kTextKey), text_before + 1);
    EXPECT_FALSE(manager.IsOutsideSubnet([&] {
        DeviceEntry b{};
        manager.GetDevice(kBinaryKey, b);
        return b;
    }()));

    // Stop does not wait out a pass.
    const auto before = std::chrono::steady_clock::now();
    manager.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_EQ(manager.DeviceCount(), 0u);
}

}  // namespace
}  // namespace quorvex
