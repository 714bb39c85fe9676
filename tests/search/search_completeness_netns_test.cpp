// A large flat site: every device must reach the table after one search,
// also when the worker could not keep up and the system dropped answers.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::Simulator;
using ::quorvex::testing::WaitUntil;

struct Stall {
    // Holds the worker in its first notification, as a window that is slow
    // to take its messages would, so that the burst piles up in the sockets.
    static void Callback(const char*, void* context, std::int32_t) {
        auto& self = *static_cast<Stall*>(context);
        if (!self.stalled.exchange(true)) std::this_thread::sleep_for(self.length);
    }
    std::chrono::milliseconds length{0};
    std::atomic<bool> stalled{false};
};

// One site of `devices` cameras answering all at once, half of each protocol,
// and a manager searching on the PC's veth.
std::size_t SearchSite(int devices, std::chrono::milliseconds stall, std::uint64_t* searches,
                       std::uint64_t* repeats) {
    std::string why;
    auto lab = ::quorvex::testing::NetnsLab::Create(&why);
    if (!lab) return 0;
    const std::string pc_if = lab->AddSite("site", "10.77.7.1/24", "10.77.7.2/24");
    EXPECT_FALSE(pc_if.empty()) << lab->last_error();
    const int binary = devices / 2;
    const auto sim = Simulator::Start(*lab, lab->site_namespace("site"),
                                      {"--binary-h", std::to_string(binary / 2), "--binary-j",
                                       std::to_string(binary - binary / 2), "--text",
                                       std::to_string(devices - binary), "--subnet", "10.78."},
                                      &why);
    EXPECT_TRUE(sim) << why;
    if (!sim) return 0;

    lab->EnterPc();
    Stall notification;
    notification.length = stall;
    SearchBusiness manager;
    manager.SetNotification(&Stall::Callback, &notification, 0);
    manager.SetSearchInterval(3600);
    manager.SetInterfaceNames({pc_if});
    EXPECT_TRUE(manager.Start());
    WaitUntil([&] { return manager.DeviceCount() >= static_cast<std::size_t>(devices); }, 30s);
    // Anything more that comes in belongs to the same search.
    std::this_thread::sleep_for(300ms);
    const std::size_t found = manager.DeviceCount();
    *searches = manager.SearchCount();
    *repeats = manager.RepeatedSearchCount();
    manager.Stop();
    return found;
}

TEST(SearchCompletenessNetns, EveryDeviceOfATenThousandBurstReachesTheTable) {
    QUORVEX_LAB_OR_SKIP(probe);
    probe.reset();
    std::uint64_t searches = 0;
    std::uint64_t repeats = 0;
    EXPECT_EQ(SearchSite(10000, 0ms, &searches, &repeats), 10000u);
    EXPECT_EQ(searches, 1u);
}

TEST(SearchCompletenessNetns, AnswersDroppedWhileTheWorkerStalledComeBackWithARepeatedSearch) {
    QUORVEX_LAB_OR_SKIP(probe);
    probe.reset();
    std::uint64_t searches = 0;
    std::uint64_t repeats = 0;
    // Twenty thousand answers of about 300 bytes overflow the room of each
    // protocol's sockets while the worker is held.
    EXPECT_EQ(SearchSite(20000, 1500ms, &searches, &repeats), 20000u);
    EXPECT_EQ(searches, 1u);
    EXPECT_GE(repeats, 1u);
}

}  // namespace
}  // namespace quorvex
