// What a running search costs while nothing answers: the search manager on a
// veth in a private namespace with no device behind it, for a minute, with
// the window's default search interval. The process's CPU time over that
// minute is the worker's (the main thread only sleeps).
//
// Prints: idle <seconds> <cpu_ms> <percent_of_one_core> <searches>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

int Main(int argc, char** argv) {
    int seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    std::string why;
    auto lab = testing::NetnsLab::Create(&why);
    if (!lab) {
        std::cerr << "idle_bench: needs root to build network namespaces (" << why << ")\n";
        return 1;
    }
    const std::string pc_if = lab->AddSite("empty", "10.77.3.1/24", "10.77.3.2/24");
    if (pc_if.empty()) {
        std::cerr << "idle_bench: " << lab->last_error() << "\n";
        return 1;
    }
    lab->EnterPc();
    SearchBusiness manager;
    manager.SetInterfaceNames({pc_if});
    manager.Start();
    // Past the start-up (interfaces read, sockets opened, first search).
    testing::WaitUntil([&] { return manager.SearchCount() >= 1; });

    const double cpu_before = ProcessCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpu_before;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::uint64_t searches = manager.SearchCount();
    manager.Stop();
    std::printf("idle\t%.1f\t%.2f\t%.4f\t%llu\n", wall, cpu * 1000, cpu / wall * 100,
                static_cast<unsigned long long>(searches));
    return 0;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    return quorvex::bench::Main(argc, argv);
}
