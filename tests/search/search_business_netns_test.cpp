// The search manager end to end: its worker in the lab's PC namespace,
// simulated cameras of both protocols behind a veth, real sockets throughout.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::LoggedDatagram;
using ::quorvex::testing::WaitUntil;

std::mutex notified_mutex;
std::map<std::string, int> notified;

int Notifications(const std::string& key) {
    std::lock_guard lock(notified_mutex);
    return notified[key];
}

// Probes and commands by port and size (binary) or first word (text).
bool IsBinary(const LoggedDatagram& d, std::size_t size) {
    return d.destination_port == 8600 && d.bytes.size() == size;
}
bool IsText(const LoggedDatagram& d, const char* word) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return d.destination_port == 12109 && text.rfind(word, 0) == 0;
}
bool IsBinaryProbe(const LoggedDatagram& d) {
    return IsBinary(d, 4);
}
bool IsBinaryCommand(const LoggedDatagram& d) {
    return IsBinary(d, 324);
}
bool IsTextSearch(const LoggedDatagram& d) {
    return IsText(d, "SEARCH");
}
bool IsTextCommand(const LoggedDatagram& d) {
    return IsText(d, "CMD");
}

constexpr const char* kBinaryKey = "00-1A-2B-3C-4D-01";
constexpr const char* kTextKey = "00-1A-2B-3C-4D-02";

TEST(SearchBusinessNetns, FindsBothProtocolsRefreshesAndCarriesCommandsRoundTrip) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.5.1/24", "10.77.5.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // A binary camera outside the PC's subnet, a text camera inside it.
    const std::string devices = lab->scratch_dir() + "/devices.json";
    std::ofstream(devices) << R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "family": "H", "name": "gate",
   "ip": "192.168.0.50", "mask": "255.255.255.0", "gateway": "192.168.0.1",
   "http_port": 80, "user": "admin", "password": "admin"},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "yard", "ip": "10.77.5.30",
   "mask": "255.255.255.0", "gateway": "10.77.5.1", "http_port": 80, "user": "admin"}])";
    std::string why;
    const auto sim = ::quorvex::testing::Simulator::Start(*lab, lab->site_namespace("cams"),
                                                          {"--devices", devices}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    SearchBusiness manager;  // declared after the lab: stopped first
    manager.SetDevicesCallback([](std::vector<DeviceUpdate> updates) {
        std::lock_guard lock(notified_mutex);
        for (const DeviceUpdate& update : updates) ++notified[TableKeyText(TableKey(update))];
    });
    manager.SetSearchInterval(3600);
    manager.SetMatchRange(10, 253);
    manager.SetInterfaceNames({pc_if});  // a veth is chosen only by name
    const double started =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    ASSERT_TRUE(manager.Start());

    // The first search goes out after one pass, not at once and not late.
    ASSERT_EQ(sim->WaitForLog(IsBinaryProbe, 1), 1u);
    ASSERT_EQ(sim->WaitForLog(IsTextSearch, 1), 1u);
    const auto log = sim->ReadLog();
    const double first = std::find_if(log.begin(), log.end(), IsBinaryProbe)->time - started;
    EXPECT_GE(first, 0.05);
    EXPECT_LT(first, 3.0);

    ASSERT_TRUE(WaitUntil([&] { return manager.DeviceCount() == 2; }));
    const auto Get = [&](const char* key, DeviceEntry& entry) {
        const auto update = manager.GetUpdate(key);
        if (update) entry = update->entry;
        return update.has_value();
    };
    DeviceEntry binary{}, text{};
    ASSERT_TRUE(Get(kBinaryKey, binary));
    ASSERT_TRUE(Get(kTextKey, text));
    EXPECT_EQ(Notifications(kBinaryKey), 1);

    // A refresh searches again at once although the interval is an hour.
    manager.RequestRefresh();
    EXPECT_EQ(sim->WaitForLog(IsBinaryProbe, 2), 2u);
    EXPECT_EQ(sim->WaitForLog(IsTextSearch, 2), 2u);

    // The binary camera is moved into the subnet (10 is the first free host),
    // the text camera gets a new HTTP port; both leave without a search.
    ASSERT_TRUE(manager.IsOutsideSubnet(binary));
    ASSERT_TRUE(manager.MatchAddress(binary));
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

    // The next answers show the changes, one notification each; identical
    // answers to one more search notify nothing.
    manager.RequestRefresh();
    ASSERT_TRUE(WaitUntil([&] {
        return Get(kBinaryKey, binary) && Get(kTextKey, text) &&
               GetText(binary.info.ip) == "10.77.5.10" && text.info.http_port == 8081;
    }));
    EXPECT_FALSE(manager.IsOutsideSubnet(binary));
    manager.RequestRefresh();
    ASSERT_EQ(sim->WaitForLog(IsBinaryProbe, 4), 4u);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Notifications(kBinaryKey), 2);
    EXPECT_EQ(Notifications(kTextKey), 2);

    // Stop wakes the worker: it does not wait out the hour's interval.
    const auto before = std::chrono::steady_clock::now();
    manager.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 60s);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_EQ(manager.DeviceCount(), 0u);
}

// Interfaces come, go and change their addresses while the worker runs: each
// change is searched at once, sockets of what vanished close, and nothing
// waits for a refresh.
TEST(SearchBusinessNetns, AdaptersThatComeGoAndChangeAddressAreFollowedWhileSearching) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string if_a = lab->AddSite("a", "10.77.11.1/24", "10.77.11.2/24");
    const std::string if_b = lab->AddSite("b", "10.77.12.1/24", "10.77.12.2/24");
    ASSERT_FALSE(if_a.empty() || if_b.empty()) << lab->last_error();
    const auto ip = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "ip");
        std::string out, err;
        EXPECT_EQ(lab->Run(lab->pc_namespace(), args, &out, &err), 0) << err;
    };
    ip({"addr", "del", "10.77.12.1/24", "dev", if_b});  // b has no address at the start
    std::string why;
    const auto sim_a = ::quorvex::testing::Simulator::Start(
        *lab, lab->site_namespace("a"), {"--text", "3", "--binary-h", "3", "--subnet", "10.77.11."},
        &why);
    const auto sim_b = ::quorvex::testing::Simulator::Start(
        *lab, lab->site_namespace("b"),
        {"--text", "2", "--binary-j", "2", "--subnet", "10.77.12.", "--seed", "7"}, &why);
    ASSERT_TRUE(sim_a && sim_b) << why;

    lab->EnterPc();
    SearchBusiness manager;
    manager.SetSearchInterval(3600);  // only the first search and the changes search
    manager.SetInterfaceNames({if_a, if_b});
    ASSERT_TRUE(manager.Start());
    ASSERT_TRUE(WaitUntil([&] { return manager.DeviceCount() == 6; })) << manager.DeviceCount();
    EXPECT_EQ(manager.CopyInterfaces().size(), 1u);
    const std::uint64_t searches = manager.SearchCount();

    // b gets its address: searched without a refresh.
    ip({"addr", "add", "10.77.12.1/24", "dev", if_b});
    ASSERT_TRUE(WaitUntil([&] { return manager.DeviceCount() == 10; })) << manager.DeviceCount();
    EXPECT_GT(manager.SearchCount(), searches);
    EXPECT_EQ(manager.CopyInterfaces().size(), 2u);

    // b moves to another subnet: its cameras are now outside it.
    ip({"addr", "del", "10.77.12.1/24", "dev", if_b});
    ip({"addr", "add", "10.77.13.1/24", "dev", if_b});
    ASSERT_TRUE(WaitUntil([&] {
        const auto interfaces = manager.CopyInterfaces();
        return interfaces.size() == 2 && GetText(interfaces[1].ip) == "10.77.13.1";
    }));
    const auto outside = [&] {
        int count = 0;
        for (const DeviceEntry& entry : manager.CopyDevices())
            count += manager.IsOutsideSubnet(entry);
        return count;
    };
    EXPECT_TRUE(WaitUntil([&] { return outside() == 4; })) << outside();

    // a's link goes away: its sockets close, the status names only b, and the
    // worker goes on.
    ip({"link", "del", if_a});
    ASSERT_TRUE(WaitUntil([&] { return manager.CopyInterfaces().size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] {
        const SearchStatus status = manager.Status();
        return !status.sockets.empty() &&
               std::all_of(status.sockets.begin(), status.sockets.end(),
                           [&](const SocketStatus& s) { return s.interface_name == if_b; });
    }));
    EXPECT_TRUE(manager.Status().Problems().empty());
    EXPECT_TRUE(manager.IsRunning());
    manager.RequestRefresh();
    const std::uint64_t before = manager.SearchCount();
    ASSERT_TRUE(WaitUntil([&] { return manager.SearchCount() > before; }));
    manager.Stop();
}

}  // namespace
}  // namespace quorvex
