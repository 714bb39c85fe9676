// What a running search costs while nothing answers: the search manager on a
// veth in a private namespace with no device behind it, for a minute, with
// the window's default search interval. The process's CPU time over that
// minute is the worker's (the main thread only sleeps). `--cameras N` puts a
// simulator with N cameras behind the veth; they answer the searches and are
// otherwise silent. Wake-ups are the context switches of every thread of the
// process but the main one.
//
// Prints: idle <seconds> <cpu_ms> <percent_of_one_core> <searches> <wakeups_per_s>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

// Context switches of the process's threads other than the main one.
std::uint64_t WorkerSwitches() {
    std::uint64_t total = 0;
    const std::string main_thread = std::to_string(::getpid());
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == main_thread) continue;
        std::ifstream in(task.path() / "status");
        for (std::string line; std::getline(in, line);) {
            if (line.find("ctxt_switches:") != std::string::npos)
                total += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
        }
    }
    return total;
}

int Main(int argc, char** argv) {
    int seconds = 60;
    int cameras = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--seconds") seconds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--cameras") cameras = std::max(0, std::atoi(argv[i + 1]));
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
    std::unique_ptr<testing::Simulator> sim;
    if (cameras > 0) {
        sim = testing::Simulator::Start(
            *lab, lab->site_namespace("empty"),
            {"--binary-h", std::to_string(cameras / 2), "--text",
             std::to_string(cameras - cameras / 2), "--subnet", "10.77.3."},
            &why);
        if (!sim) {
            std::cerr << "idle_bench: " << why << "\n";
            return 1;
        }
    }
    lab->EnterPc();
    SearchBusiness manager;
    manager.SetInterfaceNames({pc_if});
    manager.Start();
    // Past the start-up (interfaces read, sockets opened, first search).
    testing::WaitUntil([&] {
        return manager.SearchCount() >= 1 && manager.DeviceCount() >= std::size_t(cameras);
    });
    std::this_thread::sleep_for(SearchBusiness::kSettleTime + std::chrono::seconds(1));
    const std::uint64_t switches_before = WorkerSwitches();

    const double cpu_before = ProcessCpuSeconds();
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpu_before;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::uint64_t searches = manager.SearchCount();
    const double wakeups = double(WorkerSwitches() - switches_before) / wall;
    manager.Stop();
    std::printf("idle\t%.1f\t%.2f\t%.4f\t%llu\t%.2f\n", wall, cpu * 1000, cpu / wall * 100,
                static_cast<unsigned long long>(searches), wakeups);
    return 0;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    return quorvex::bench::Main(argc, argv);
}
