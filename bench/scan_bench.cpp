// The command line's scan as a technician runs it: the real `quorvex-cli scan`
// in a private PC namespace against `quorvex-sim` behind a veth, ended by the
// quiet rule (`--wait auto`) or by a fixed wait. Each run is one process, one
// search; the figures are what it listed, how long the technician waited for
// the list and the process's peak memory.
//
// Prints one line per run:
//   scan <privilege> <shape> <N> <wait> <listed> <exit> <ms> <peak_kib> <probes> <drops> <list_ms>
//        <last_probe_ms> <stderr_lines> <listed_text>
// where <listed> counts devices in the JSON list, <exit> is the exit status,
// <ms> runs from the start of the process to its exit, <list_ms> from the
// start to the first byte of the list on its output, <peak_kib> is its
// peak resident memory (VmHWM, from wait4), <probes> counts the discovery
// probes the simulator received (two per search: more means repeated
// searches), <last_probe_ms> when the last of them reached the simulator
// (from the start of the process; -1 when none did), <drops> the datagrams
// the kernel dropped in the PC namespace for full receive queues, and
// <stderr_lines> the lines the scan wrote on standard error (its problems);
// <listed_text> counts the text-protocol devices in the list (half of N when
// that protocol is complete).

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPcCidr = "10.77.1.1/24";
constexpr const char* kSiteCidr = "10.77.1.2/24";
// Beyond the longest wait the benchmark asks for and the quiet rule's own
// maximum: a scan still running then is stuck, and is killed.
constexpr auto kRunDeadline = 30s;

struct Options {
    std::vector<int> counts = {100, 1000, 10000};
    std::vector<std::string> shapes = {"burst", "spread"};
    std::vector<std::string> waits = {"auto", "1", "3"};
    std::vector<std::string> privileges = {"root", "user"};
    int runs = 3;
    int spread_ms = 500;
};

struct Run {
    std::size_t listed = 0;
    int exit_code = -1;
    double ms = 0;
    long peak_kib = 0;
    std::size_t probes = 0;
    std::uint64_t drops = 0;
    double list_ms = -1;
    double last_probe_ms = -1;
    std::size_t stderr_lines = 0;
    std::size_t listed_text = 0;
};

// The kernel's count of UDP datagrams dropped for a full receive buffer in the
// calling thread's namespace.
std::uint64_t ReceiveBufferErrors() {
    std::ifstream in("/proc/thread-self/net/snmp");
    std::string header, values, line;
    while (std::getline(in, line)) {
        if (line.rfind("Udp: ", 0) != 0) continue;
        (header.empty() ? header : values) = line;
        if (!values.empty()) break;
    }
    std::istringstream names(header), numbers(values);
    std::string name, number;
    while (names >> name && numbers >> number)
        if (name == "RcvbufErrors") return std::stoull(number);
    return 0;
}

std::uint64_t DropsIn(testing::NetnsLab& lab) {
    std::uint64_t drops = 0;
    lab.RunIn(lab.pc_namespace(), [&] { drops = ReceiveBufferErrors(); });
    return drops;
}

bool IsProbe(const testing::LoggedDatagram& d) {
    static constexpr std::string_view kTextSearch = "SEARCH * HDS/1.0\r\n";
    if (d.destination_port == 8600) {
        return d.bytes.size() == 4 && d.bytes[0] == 0x44 && d.bytes[1] == 0x48 &&
               d.bytes[2] == 0x01 && d.bytes[3] == 0x01;
    }
    return d.bytes.size() >= kTextSearch.size() &&
           std::string_view(reinterpret_cast<const char*>(d.bytes.data()), kTextSearch.size()) ==
               kTextSearch;
}

// Counts the probes the simulator received since `since` (seconds since the
// epoch) into `run`, and when the last came.
void CountProbes(const testing::Simulator& sim, double since, Run& run) {
    for (const testing::LoggedDatagram& d : sim.ReadLog()) {
        if (d.time < since || !IsProbe(d)) continue;
        ++run.probes;
        run.last_probe_ms = std::max(run.last_probe_ms, (d.time - since) * 1000);
    }
}

// Runs `argv` inside the namespace `ns_path` in `dir`, output to `out_fd` and
// `err_fd`; "user" takes CAP_NET_ADMIN out of the process for good (bounding
// and inheritable sets, so that exec as root does not give it back), as in a
// desktop session: the kernel's rmem_max then caps every receive queue.
// Returns the exit status (128 + signal when killed, -1 when it could not run)
// and the peak resident memory in KiB.
int RunProcess(const std::string& ns_path, const std::string& dir,
               const std::vector<std::string>& args, bool user, int out_fd, int err_fd,
               long* peak_kib) {
    const int ns_fd = ::open(ns_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (ns_fd < 0) return -1;
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(out_fd, 1);
        ::dup2(err_fd, 2);
        if (::setns(ns_fd, CLONE_NEWNET) != 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
        if (user) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2] = {};
            constexpr std::uint32_t kBit = 1u << CAP_NET_ADMIN;
            if (::prctl(PR_CAPBSET_DROP, CAP_NET_ADMIN, 0, 0, 0) != 0 ||
                ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 ||
                ::syscall(SYS_capget, &header, data) != 0)
                ::_exit(125);
            data[0].effective &= ~kBit;
            data[0].permitted &= ~kBit;
            data[0].inheritable &= ~kBit;
            if (::syscall(SYS_capset, &header, data) != 0) ::_exit(125);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(ns_fd);
    if (pid < 0) return -1;
    // The deadline is a guard against a stuck scan, not a figure: a watchdog
    // kills the process, and wait4 still reports it.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    std::thread watchdog([pidfd, pid] {
        pollfd p{pidfd, POLLIN, 0};
        if (pidfd >= 0 && ::poll(&p, 1, static_cast<int>(kRunDeadline / 1ms)) == 0)
            ::kill(pid, SIGKILL);
    });
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    watchdog.join();
    if (pidfd >= 0) ::close(pidfd);
    *peak_kib = usage.ru_maxrss;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::string ReadAll(int fd) {
    std::string text(static_cast<std::size_t>(std::max<off_t>(::lseek(fd, 0, SEEK_END), 0)), '\0');
    text.resize(
        static_cast<std::size_t>(std::max<ssize_t>(::pread(fd, text.data(), text.size(), 0), 0)));
    return text;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// Counts the JSON members `key` whose value starts with `value` ("" = any),
// whatever the spacing after the colon.
std::size_t CountValues(const std::string& json, const std::string& key, const std::string& value) {
    const std::string tag = "\"" + key + "\":";
    std::size_t count = 0;
    for (std::size_t at = json.find(tag); at != std::string::npos; at = json.find(tag, at + 1)) {
        const std::size_t start = json.find_first_not_of(" ", at + tag.size());
        if (start != std::string::npos && json.compare(start, value.size(), value) == 0) ++count;
    }
    return count;
}

Run Scan(testing::NetnsLab& lab, const testing::Simulator& sim, const std::string& pc_if,
         const std::string& wait, bool user) {
    Run run;
    using Clock = std::chrono::steady_clock;
    // The list goes through a pipe, so that the moment it starts to come out
    // is seen apart from the exit (writing a long list and stopping take
    // their own time).
    int out[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) return run;
    const int err = ::memfd_create("err", MFD_CLOEXEC);
    const std::uint64_t drops_before = DropsIn(lab);
    const double since = WallSeconds();
    const auto start = Clock::now();
    std::string listing;
    std::optional<Clock::time_point> first_byte;
    std::thread reader([&] {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            if (!first_byte) first_byte = Clock::now();
            listing.append(buffer, static_cast<std::size_t>(got));
        }
    });
    run.exit_code =
        RunProcess("/run/netns/" + lab.pc_namespace(), lab.scratch_dir(),
                   {QUORVEX_CLI_PATH, "scan", "--wait", wait, "--interface", pc_if, "--json"}, user,
                   out[1], err, &run.peak_kib);
    const auto ended = Clock::now();
    ::close(out[1]);
    reader.join();
    ::close(out[0]);
    run.ms = std::chrono::duration<double, std::milli>(ended - start).count();
    if (first_byte)
        run.list_ms = std::chrono::duration<double, std::milli>(*first_byte - start).count();
    run.drops = DropsIn(lab) - drops_before;
    run.listed = CountValues(listing, "mac", "");
    run.listed_text = CountValues(listing, "protocol", "\"text\"");
    const std::string problems = ReadAll(err);
    run.stderr_lines = CountOf(problems, "\n");
    if (!problems.empty()) std::cerr << "scan_bench: quorvex-cli said: " << problems;
    ::close(err);
    CountProbes(sim, since, run);
    return run;
}

std::vector<std::string> List(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty()) items.push_back(item);
    return items;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "scan_bench: " << arg << " needs a value\n";
            return false;
        }
        const std::string value = argv[++i];
        try {
            if (arg == "--counts") {
                o.counts.clear();
                for (const auto& c : List(value)) o.counts.push_back(std::stoi(c));
            } else if (arg == "--shapes") {
                o.shapes = List(value);
            } else if (arg == "--waits") {
                o.waits = List(value);
            } else if (arg == "--privileges") {
                o.privileges = List(value);
            } else if (arg == "--runs") {
                o.runs = std::max(1, std::stoi(value));
            } else if (arg == "--spread") {
                o.spread_ms = std::max(1, std::stoi(value));
            } else {
                std::cerr << "scan_bench: unknown argument " << arg << "\n";
                return false;
            }
        } catch (const std::exception&) {
            std::cerr << "scan_bench: bad value for " << arg << ": " << value << "\n";
            return false;
        }
    }
    for (const int c : o.counts) {
        if (c < 1 || c > 60000) {
            std::cerr << "scan_bench: counts run from 1 to 60000 (one /16 of addresses)\n";
            return false;
        }
    }
    return true;
}

int Main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    std::string why;
    auto lab = testing::NetnsLab::Create(&why);
    if (!lab) {
        std::cerr << "scan_bench: needs root to build network namespaces (" << why << ")\n";
        return 1;
    }
    const std::string pc_if = lab->AddSite("cams", kPcCidr, kSiteCidr);
    if (pc_if.empty()) {
        std::cerr << "scan_bench: " << lab->last_error() << "\n";
        return 1;
    }
    std::cerr << "scan_bench: rmem_max " << ReceiveBufferLimit() << "\n";

    for (const std::string& shape : options.shapes) {
        for (const int n : options.counts) {
            const int binary = n / 2;
            const std::string spread = shape == "spread" ? std::to_string(options.spread_ms) : "0";
            auto sim = testing::Simulator::Start(
                *lab, lab->site_namespace("cams"),
                {"--binary-h", std::to_string(binary / 2), "--binary-j",
                 std::to_string(binary - binary / 2), "--text", std::to_string(n - binary),
                 "--subnet", "10.78.", "--spread", spread},
                &why);
            if (!sim) {
                std::cerr << "scan_bench: " << why << "\n";
                return 1;
            }
            for (int run = 0; run < options.runs; ++run) {
                for (const std::string& privilege : options.privileges) {
                    // Rotate the waits, so that none always meets a warmer or
                    // a colder machine.
                    std::vector<std::string> order = options.waits;
                    std::rotate(order.begin(), order.begin() + run % order.size(), order.end());
                    for (const std::string& wait : order) {
                        const Run r = Scan(*lab, *sim, pc_if, wait, privilege == "user");
                        std::printf("scan\t%s\t%s\t%d\t%s\t", privilege.c_str(), shape.c_str(), n,
                                    wait.c_str());
                        std::printf("%zu\t%d\t%.0f\t%ld\t%zu\t%llu\t%.0f\t%.0f\t%zu\t%zu\n",
                                    r.listed, r.exit_code, r.ms, r.peak_kib, r.probes,
                                    static_cast<unsigned long long>(r.drops), r.list_ms,
                                    r.last_probe_ms, r.stderr_lines, r.listed_text);
                        std::fflush(stdout);
                        // Late answers of a spread (to a scan that ended
                        // early) must not reach the next run.
                        std::this_thread::sleep_for(
                            std::chrono::milliseconds(shape == "spread" ? options.spread_ms : 0) +
                            300ms);
                    }
                }
            }
            sim->Stop();
        }
    }
    return 0;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    return quorvex::bench::Main(argc, argv);
}
