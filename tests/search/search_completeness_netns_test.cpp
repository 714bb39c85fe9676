// A large flat site: every device reaches the table after one search, also
// when the worker stalled and the system dropped answers.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;

// 20,000 cameras, half of each protocol, answer one search at once: about
// 300 bytes each pile up while the worker is held, and what the system drops
// comes back with repeated searches of that one search.
TEST(SearchCompletenessNetns, AnswersDroppedWhileTheWorkerStalledComeBackWithARepeatedSearch) {
    constexpr int devices = 20000;
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("site", "10.77.7.1/24", "10.77.7.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    const std::string quarter = std::to_string(devices / 4);
    std::string why;
    const auto sim = ::quorvex::testing::Simulator::Start(
        *lab, lab->site_namespace("site"),
        {"--binary-h", quarter, "--binary-j", quarter, "--text", std::to_string(devices / 2),
         "--subnet", "10.78."},
        &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    // Holds the worker in its first notification, as a slow window would, so
    // that the burst piles up in the sockets.
    std::atomic<bool> stalled{false};
    SearchBusiness manager;
    manager.SetDevicesCallback([&stalled](std::vector<DeviceUpdate>) {
        if (!stalled.exchange(true)) std::this_thread::sleep_for(1500ms);
    });
    manager.SetSearchInterval(3600);
    manager.SetInterfaceNames({pc_if});
    ASSERT_TRUE(manager.Start());
    ::quorvex::testing::WaitUntil(
        [&] { return manager.DeviceCount() >= static_cast<std::size_t>(devices); }, 30s);
    std::this_thread::sleep_for(300ms);  // anything later belongs to the same search
    EXPECT_EQ(manager.DeviceCount(), static_cast<std::size_t>(devices));
    EXPECT_EQ(manager.SearchCount(), 1u);
    // With room for a whole burst the system may drop nothing; whatever it
    // dropped came back with repeated searches, within their bound.
    if (manager.Status().drops > 0) {
        EXPECT_GE(manager.RepeatedSearchCount(), 1u);
    }
    EXPECT_LE(manager.RepeatedSearchCount(), std::uint64_t{2 * SearchBusiness::kMaxRepeatSearches});
    manager.Stop();
}

}  // namespace
}  // namespace quorvex
