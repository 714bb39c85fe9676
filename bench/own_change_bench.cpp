// Re-addressing cameras of the own two protocols in one batch, the way both
// front-ends do it: N simulated binary or text cameras behind a veth in
// private namespaces are found by the search manager, a batch from a start
// address is planned for all of them (`PlanChange`, the link asked about
// every address it hands out), and `ChangeWatch` sends the commands and
// searches until every change is judged. "mixed" puts binary, text and
// standard cameras in the one batch: the standard ones go through
// `StandardChangeBatch` over HTTP while the datagrams go out and are
// confirmed, as the command line runs them; "standard" has only standard
// cameras, to tell the plan's path from the mixing.
//
// Peak memory (ru_maxrss) only ever grows within a process, so each
// measurement runs in a fresh process: without `--count` the benchmark runs
// itself once per kind and count and prints their lines. `--link off` plans
// without asking the link.
//
// Prints one line per measurement:
//   own-change <kind> <N> <binary> <text> <standard> <confirmed> <heard ms>
//       <plan ms> <left ms> <own judged ms> <standard judged ms> <all ms>
//       <peak RSS KiB> <RSS before KiB>
// where <heard ms> runs from the manager's start until every camera is in its
// table, <plan ms> is the plan with the link's question, and the last four
// times run from the moment the changes are handed over: until every own
// command has left (<left ms>), until every own change is judged, until
// every standard change is judged (-1 without any), until both are.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "search/change_planner.h"
#include "search/change_watch.h"
#include "search/neighbour_probe.h"
#include "search/plan_facts.h"
#include "search/search_business.h"
#include "search/standard_change_batch.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Cameras from 10.77.1.10 on, the batch from 10.77.1.130 on: a /24 holds
// both for 100 cameras, as in the standard cameras' benchmark.
constexpr int kFirstHost = 10;
constexpr const char* kBatchStart = "10.77.1.130";
constexpr int kMaxCount = 120;
const Credentials kCredentials{"admin", "pw"};
// Generous: every change here is confirmed within a few seconds, and one
// that is not shows as a short count, not as a time.
constexpr auto kConfirmTime = 20s;
constexpr auto kHearDeadline = 60s;

struct Options {
    int count = 0;  // 0: run every configuration, each in a process of its own
    std::string kind = "binary";
    int runs = 1;
    // Off: the plan hands out addresses without asking the link, to show
    // what asking costs the standard cameras' read-back.
    bool ask_link = true;
};

struct Mix {
    int binary = 0, text = 0, standard = 0;
};

// "mixed" splits N into thirds, binary first.
Mix MixOf(const Options& o) {
    Mix m;
    if (o.kind == "binary") {
        m.binary = o.count;
    } else if (o.kind == "text") {
        m.text = o.count;
    } else if (o.kind == "standard") {
        m.standard = o.count;
    } else {
        m.binary = (o.count + 2) / 3;
        m.text = (o.count - m.binary + 1) / 2;
        m.standard = o.count - m.binary - m.text;
    }
    return m;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int RunOne(const Options& options) {
    const Mix mix = MixOf(options);
    std::string why;
    auto lab = testing::NetnsLab::Create(&why);
    if (!lab) {
        std::cerr << "own_change_bench: needs root to build network namespaces (" << why << ")\n";
        return 1;
    }
    const std::string pc_if = lab->AddSite("cams", "10.77.1.1/24", "10.77.1.2/24");
    if (pc_if.empty()) {
        std::cerr << "own_change_bench: " << lab->last_error() << "\n";
        return 1;
    }
    const std::vector<std::string> args = {"--subnet",        "10.77.1.",
                                           "--first-host",    std::to_string(kFirstHost),
                                           "--password",      *kCredentials.password,
                                           "--binary-h",      std::to_string(mix.binary),
                                           "--text",          std::to_string(mix.text),
                                           "--standard",      std::to_string(mix.standard),
                                           "--standard-port", "8080",
                                           "--standard-auth", "digest,token"};
    auto sim = testing::Simulator::Start(*lab, lab->site_namespace("cams"), args, &why);
    if (!sim) {
        std::cerr << "own_change_bench: " << why << "\n";
        return 1;
    }
    // The worker and the standard changes' threads start after this and so
    // live in the PC namespace too.
    lab->EnterPc();

    SearchBusiness business;  // all three protocols, as the front-ends search
    // Searches come from the start and from the watch only.
    business.SetSearchInterval(7 * 24 * 3600);
    business.SetInterfaceNames({pc_if});
    const Clock::time_point search_start = Clock::now();
    if (!business.Start()) {
        std::cerr << "own_change_bench: the search did not start\n";
        return 1;
    }
    const auto count = static_cast<std::size_t>(options.count);
    if (!testing::WaitUntil([&] { return business.DeviceCount() >= count; }, kHearDeadline)) {
        std::cerr << "own_change_bench: heard " << business.DeviceCount() << " of " << count
                  << " cameras\n";
        return 1;
    }
    const double heard_ms = Ms(Clock::now() - search_start);

    const std::uint64_t rss_before = ResidentBytes();
    const Clock::time_point plan_start = Clock::now();
    const SiteFacts facts = PlanFactsOf(business, kFirstHost, 254);
    ChangeRequest request;
    request.kind = ChangeKind::batch;
    request.devices = facts.devices;
    request.ip = kBatchStart;
    request.credentials = kCredentials;
    request.standard_cameras = true;
    const NeighbourProbe neighbours;  // the front-ends' patience
    LinkProbe probe;
    if (options.ask_link)
        probe = [&](const std::vector<std::uint32_t>& a) { return neighbours.InUse(a); };
    const ChangePlan plan = PlanChange(request, facts, probe);
    const double plan_ms = Ms(Clock::now() - plan_start);
    if (plan.Planned() != count) {
        std::cerr << "own_change_bench: planned " << plan.Planned() << " of " << count << "\n";
        return 1;
    }

    // The standard cameras first, so that both kinds are under way at once.
    const Clock::time_point handed = Clock::now();
    StandardChangeBatch standard(plan);
    ChangeWatch watch(business, plan, kConfirmTime);
    std::optional<double> left_ms, own_ms, standard_ms;
    if (standard.Size() == 0) standard_ms = -1;
    while (!own_ms || !standard_ms) {
        const bool own_done = watch.Poll();
        const double now = Ms(Clock::now() - handed);
        if (!left_ms && watch.Judging()) left_ms = now;
        if (!own_ms && own_done) own_ms = now;
        if (!standard_ms && standard.Done()) standard_ms = now;
        std::this_thread::sleep_for(5ms);
    }
    const double all_ms = std::max(*own_ms, *standard_ms);

    std::size_t confirmed = 0;
    for (const ChangeResult r : watch.Results()) confirmed += r == ChangeResult::confirmed;
    for (const StandardChangeOutcome& o : standard.Outcomes()) confirmed += o.confirmed;
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "own-change\t%s\t%d\t%d\t%d\t%d\t%zu\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%ld\t%llu\n",
        options.kind.c_str(), options.count, mix.binary, mix.text, mix.standard, confirmed,
        heard_ms, plan_ms, left_ms.value_or(-1), *own_ms, *standard_ms, all_ms, usage.ru_maxrss,
        static_cast<unsigned long long>(rss_before / 1024));
    std::fflush(stdout);
    business.Stop();
    sim->Stop();
    return confirmed == count ? 0 : 3;
}

// Every configuration, each in a fresh process so that its peak is its own.
int RunAll(const char* self, const Options& options) {
    int status = 0;
    struct Row {
        const char* kind;
        int count;
    };
    static constexpr Row kRows[] = {{"binary", 1},   {"binary", 10},   {"binary", 100},
                                    {"text", 1},     {"text", 10},     {"text", 100},
                                    {"standard", 1}, {"standard", 10}, {"standard", 100},
                                    {"mixed", 3},    {"mixed", 30},    {"mixed", 100}};
    for (const Row& row : kRows) {
        for (int run = 0; run < options.runs; ++run) {
            const std::string command =
                std::string(self) + " --kind " + row.kind + " --count " + std::to_string(row.count);
            std::fflush(stdout);
            if (std::system(command.c_str()) != 0) status = 1;
        }
    }
    return status;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "own_change_bench: " << arg << " needs a value\n";
            return false;
        }
        const std::string value = argv[++i];
        try {
            if (arg == "--count") {
                o.count = std::stoi(value);
            } else if (arg == "--kind") {
                o.kind = value;
            } else if (arg == "--link") {
                if (value != "on" && value != "off") throw std::invalid_argument(value);
                o.ask_link = value == "on";
            } else if (arg == "--runs") {
                o.runs = std::stoi(value);
            } else {
                std::cerr << "own_change_bench: unknown argument " << arg << "\n";
                return false;
            }
        } catch (const std::exception&) {
            std::cerr << "own_change_bench: bad value for " << arg << ": " << value << "\n";
            return false;
        }
    }
    if (o.count < 0 || o.count > kMaxCount || o.runs < 1 ||
        (o.kind != "binary" && o.kind != "text" && o.kind != "mixed" && o.kind != "standard")) {
        std::cerr << "own_change_bench: --count 1.." << kMaxCount
                  << ", --runs at least 1, --kind binary, text, mixed or standard\n";
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
        const std::string self = quorvex::bench::OwnProgram("own_change_bench");
        return self.empty() ? 1 : quorvex::bench::RunAll(self.c_str(), options);
    }
    return quorvex::bench::RunOne(options);
}
