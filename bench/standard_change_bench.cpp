// Re-addressing standard cameras in one batch: N simulated cameras behind a
// veth in private namespaces, each read, moved and read back at its new
// address (Read → Apply → Confirm) by a pool of worker threads, as a batch
// change hands them out. The figures are the wall time from the first Read
// to the last Confirm, each camera's own time, and the process's peak
// resident memory.
//
// Peak memory (ru_maxrss) only ever grows within a process, so each
// measurement runs in a fresh process: without `--count` the benchmark runs
// itself once per auth, count and pool size and prints their lines.
// `--move-delay MS` sets how long a camera is silent while it moves.
//
// Prints one line per measurement:
//   standard-change <auth> <N> <workers> <confirmed> <wall ms> <median ms>
//       <worst ms> <read ms> <apply ms> <confirm ms> <peak RSS KiB>
//       <RSS before KiB>
// where <confirmed> counts the cameras read back at their new address, a
// camera's time runs from its Read to its Confirm, and the three step times
// are medians over the confirmed cameras.

#include <arpa/inet.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "search/directed_probe.h"
#include "search/standard_camera_session.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using Session = StandardCameraSession;

// Cameras from 10.77.1.10 on move to 10.77.1.130 on: a /24 holds both for
// 100 cameras, so the PC reaches old and new addresses over the one link.
constexpr int kFirstHost = 10;
constexpr int kFirstNewHost = 130;
constexpr int kMaxCount = kFirstNewHost - kFirstHost;
// Three days ahead: a token whose Created ignored the camera's clock would be
// refused, so the batch only confirms when the offset is measured and used.
constexpr const char* kTokenClockOffset = "259200";
const StandardCredentials kCredentials{"admin", "pw"};

struct Options {
    int count = 0;  // 0: run every configuration, each in a process of its own
    std::string auth = "digest";
    int workers = 8;
    int runs = 1;
    int move_delay_ms = 300;  // the simulator's own default
};

std::uint32_t Ip(int host) {
    const std::string dotted = "10.77.1." + std::to_string(host);
    in_addr a{};
    ::inet_pton(AF_INET, dotted.c_str(), &a);
    return a.s_addr;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct CameraResult {
    bool confirmed = false;
    double ms = 0;                                     // Read to Confirm
    double read_ms = 0, apply_ms = 0, confirm_ms = 0;  // each step's share
};

// Read, Apply and Confirm for camera `index`, as one worker of a batch does.
CameraResult ChangeOne(const Session& session, int index) {
    const std::uint32_t from = Ip(kFirstHost + index);
    const std::uint32_t to = Ip(kFirstNewHost + index);
    char dotted[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = from;
    ::inet_ntop(AF_INET, &a, dotted, sizeof dotted);
    // The endpoint reference, as discovery would have heard it: the
    // confirmation asks the new address for it.
    const auto heard = DirectedProbe::Ask(from, "", Clock::now() + std::chrono::seconds(10));
    const Session::Target target{std::string("http://") + dotted + ":8080/onvif/device_service",
                                 from, heard.endpoints.empty() ? "" : heard.endpoints.front(),
                                 std::nullopt};
    const Clock::time_point start = Clock::now();
    CameraResult result;
    const auto read = session.Read(target, kCredentials);
    const Clock::time_point read_done = Clock::now();
    if (!read.snapshot) {
        std::cerr << "standard_change_bench: camera " << index << " read failed ("
                  << int(read.failure.kind) << ")\n";
        return result;
    }
    StandardWanted wanted;
    wanted.address = to;
    wanted.prefix_length = 24;
    const auto applied = session.Apply(*read.snapshot, wanted, kCredentials);
    const Clock::time_point apply_done = Clock::now();
    if (applied.outcome != Session::ApplyOutcome::kMoving) {
        std::cerr << "standard_change_bench: camera " << index << " apply gave "
                  << int(applied.outcome) << " (" << int(applied.failure.kind) << ")\n";
        return result;
    }
    const auto confirmed = session.Confirm(*read.snapshot, applied, to, kCredentials);
    if (!confirmed.confirmed) {
        std::cerr << "standard_change_bench: camera " << index << " not confirmed ("
                  << int(confirmed.failure.kind) << ", " << int(confirmed.mismatch) << ")\n";
    }
    result.confirmed = confirmed.confirmed;
    const Clock::time_point end = Clock::now();
    result.ms = Ms(end - start);
    result.read_ms = Ms(read_done - start);
    result.apply_ms = Ms(apply_done - read_done);
    result.confirm_ms = Ms(end - apply_done);
    return result;
}

int RunOne(const Options& options) {
    std::string why;
    auto lab = testing::NetnsLab::Create(&why);
    if (!lab) {
        std::cerr << "standard_change_bench: needs root to build network namespaces (" << why
                  << ")\n";
        return 1;
    }
    if (lab->AddSite("cams", "10.77.1.1/24", "10.77.1.2/24").empty()) {
        std::cerr << "standard_change_bench: " << lab->last_error() << "\n";
        return 1;
    }
    std::vector<std::string> args = {"--subnet",        "10.77.1.",
                                     "--first-host",    std::to_string(kFirstHost),
                                     "--password",      kCredentials.password,
                                     "--standard-port", "8080",
                                     "--standard",      std::to_string(options.count),
                                     "--standard-auth", options.auth};
    args.push_back("--standard-move-delay");
    args.push_back(std::to_string(options.move_delay_ms));
    if (options.auth == "token") {
        args.push_back("--standard-clock-offset");
        args.push_back(kTokenClockOffset);
    }
    auto sim = testing::Simulator::Start(*lab, lab->site_namespace("cams"), args, &why);
    if (!sim) {
        std::cerr << "standard_change_bench: " << why << "\n";
        return 1;
    }
    // The workers start after this and so live in the PC namespace too.
    lab->EnterPc();

    const Session session;  // the product's timeouts and patience
    const std::uint64_t rss_before = ResidentBytes();
    std::vector<CameraResult> results(static_cast<std::size_t>(options.count));
    std::atomic<int> next{0};
    const Clock::time_point start = Clock::now();
    {
        std::vector<std::jthread> pool;
        for (int w = 0; w < std::min(options.workers, options.count); ++w) {
            pool.emplace_back([&] {
                for (int i = next++; i < options.count; i = next++) {
                    results[static_cast<std::size_t>(i)] = ChangeOne(session, i);
                }
            });
        }
    }
    const double wall_ms = Ms(Clock::now() - start);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);

    std::vector<double> times, reads, applies, confirms;
    for (const CameraResult& r : results) {
        if (!r.confirmed) continue;
        times.push_back(r.ms);
        reads.push_back(r.read_ms);
        applies.push_back(r.apply_ms);
        confirms.push_back(r.confirm_ms);
    }
    const auto median = [](std::vector<double>& v) {
        if (v.empty()) return -1.0;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double worst = times.empty() ? -1 : *std::max_element(times.begin(), times.end());
    std::printf("standard-change\t%s\t%d\t%d\t%zu\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%ld\t%llu\n",
                options.auth.c_str(), options.count, options.workers, times.size(), wall_ms,
                median(times), worst, median(reads), median(applies), median(confirms),
                usage.ru_maxrss, static_cast<unsigned long long>(rss_before / 1024));
    std::fflush(stdout);
    sim->Stop();
    return times.size() == results.size() ? 0 : 3;
}

// Every configuration, each in a fresh process so that its peak is its own.
int RunAll(const char* self, const Options& options) {
    int status = 0;
    for (const char* auth : {"digest", "token"}) {
        for (const int count : {1, 10, 100}) {
            for (const int workers : {8, 16}) {
                if (count == 1 && workers != 8) continue;  // one camera, one worker
                for (int run = 0; run < options.runs; ++run) {
                    const std::string command =
                        std::string(self) + " --auth " + auth + " --count " +
                        std::to_string(count) + " --workers " + std::to_string(workers) +
                        " --move-delay " + std::to_string(options.move_delay_ms);
                    std::fflush(stdout);
                    const int rc = std::system(command.c_str());
                    if (rc != 0) status = 1;
                }
            }
        }
    }
    return status;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "standard_change_bench: " << arg << " needs a value\n";
            return false;
        }
        const std::string value = argv[++i];
        try {
            if (arg == "--count") {
                o.count = std::stoi(value);
            } else if (arg == "--auth") {
                o.auth = value;
            } else if (arg == "--workers") {
                o.workers = std::stoi(value);
            } else if (arg == "--move-delay") {
                o.move_delay_ms = std::stoi(value);
            } else if (arg == "--runs") {
                o.runs = std::stoi(value);
            } else {
                std::cerr << "standard_change_bench: unknown argument " << arg << "\n";
                return false;
            }
        } catch (const std::exception&) {
            std::cerr << "standard_change_bench: bad value for " << arg << ": " << value << "\n";
            return false;
        }
    }
    if (o.count < 0 || o.count > kMaxCount || o.workers < 1 || o.runs < 1 || o.move_delay_ms < 0 ||
        (o.auth != "digest" && o.auth != "token")) {
        std::cerr << "standard_change_bench: --count 1.." << kMaxCount
                  << ", --workers and --runs at least 1, --move-delay not negative, --auth digest "
                     "or token\n";
        return false;
    }
    return true;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    quorvex::bench::Options options;
    if (!quorvex::bench::ParseOptions(argc, argv, options)) return 2;
    if (options.count == 0) {
        const std::string self = quorvex::bench::OwnProgram("standard_change_bench");
        return self.empty() ? 1 : quorvex::bench::RunAll(self.c_str(), options);
    }
    return quorvex::bench::RunOne(options);
}
