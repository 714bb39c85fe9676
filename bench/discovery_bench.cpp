// Discovery end to end: the search manager against simulated cameras behind a
// veth in private namespaces, and beside it a bare receiver that takes the
// same answers off the same sockets and does nothing else. Each run sends one
// search; the figures are how many devices reached the table (or how many
// datagrams the bare receiver took) and how long after the probe the last one
// came.
//
// Prints one line per measurement:
//   discovery <limits> <privilege> <shape> <N> <who> <found> <ms> <drops>
// where <who> is quorvex or one of the bare receivers (spin, poll, nap), <found>
// counts devices in the table (quorvex) or datagrams taken, <ms> runs from
// the probe's arrival at the simulator to the last device or datagram, and
// <drops> counts the datagrams the kernel dropped for full receive queues.
//
// With `--protocol wsd` the cameras are WS-Discovery ones (each answers both
// typed probes, so a bare receiver takes two datagrams per camera), the
// search manager runs WS-Discovery alone, and the lines start with
// "discovery-wsd".

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "core/ws_discovery_search.h"
#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex::bench {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPcCidr = "10.77.1.1/24";
constexpr const char* kSiteCidr = "10.77.1.2/24";
constexpr const char* kPcAddress = "10.77.1.1";
// Long enough for the slowest shape to finish on a busy machine; a run that
// has all its devices ends at once.
constexpr double kRunDeadlineSeconds = 4.0;

struct Options {
    std::vector<int> counts = {100, 1000, 10000};
    std::vector<std::string> shapes = {"spread", "burst"};
    std::vector<std::string> privileges = {"root", "user"};
    std::vector<std::string> who = {"quorvex", "spin", "poll", "nap"};
    int runs = 3;
    std::string limits = "machine";
    bool wsd = false;  // --protocol wsd
};

struct Result {
    std::size_t found = 0;
    double ms = 0;  // probe to last arrival; -1 when nothing came
    std::uint64_t drops = 0;
};

// The kernel's count of UDP datagrams dropped for a full receive buffer in the
// calling thread's namespace.
std::uint64_t ReceiveBufferErrors() {
    std::ifstream in("/proc/thread-self/net/snmp");
    std::string header;
    std::string values;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Udp: ", 0) != 0) continue;
        if (header.empty()) {
            header = line;
        } else {
            values = line;
            break;
        }
    }
    std::istringstream names(header);
    std::istringstream numbers(values);
    std::string name;
    std::string number;
    while (names >> name && numbers >> number) {
        if (name == "RcvbufErrors") return std::stoull(number);
    }
    return 0;
}

LocalInterface PcInterface() {
    LocalInterface record{};
    SetText(record.ip, kPcAddress);
    SetText(record.prefix, "10.77.1.");
    SetText(record.mask, "255.255.255.0");
    return record;
}

// Counts the devices the manager hands out and remembers when the last new
// one came.
struct Arrivals {
    void Add(const std::vector<DeviceUpdate>& updates) {
        const double now = WallSeconds();
        std::lock_guard lock(mutex);
        // A camera that answers two probes may change once more with its
        // second answer; only a new key counts.
        for (const DeviceUpdate& update : updates) {
            if (!keys.insert(TableKeyText(TableKey(update))).second) continue;
            ++count;
            last = now;
        }
        if (count >= expected) done.notify_all();
    }
    std::mutex mutex;
    std::condition_variable done;
    std::size_t expected = 0;
    std::size_t count = 0;
    double last = 0;
    std::set<std::string> keys;
};

Result RunQuorvex(const std::string& pc_if, const testing::Simulator& sim, std::size_t n,
                  bool wsd) {
    Arrivals arrivals;
    arrivals.expected = n;
    Result result;
    const std::uint64_t errors_before = ReceiveBufferErrors();
    const double started = WallSeconds();
    {
        SearchBusiness manager(wsd ? SearchBusiness::MakeProtocols({kProtocolWsDiscovery})
                                   : SearchBusiness::MakeProtocols());
        manager.SetDevicesCallback(
            [&arrivals](std::vector<DeviceUpdate> updates) { arrivals.Add(updates); });
        manager.SetSearchInterval(3600);
        manager.SetInterfaceNames({pc_if});
        manager.Start();
        std::unique_lock lock(arrivals.mutex);
        arrivals.done.wait_for(lock, std::chrono::duration<double>(kRunDeadlineSeconds),
                               [&] { return arrivals.count >= n; });
        lock.unlock();
        result.found = manager.DeviceCount();
        manager.Stop();
    }
    result.drops = ReceiveBufferErrors() - errors_before;
    const auto probe = FirstProbeAfter(sim, started);
    std::lock_guard lock(arrivals.mutex);
    result.ms = probe && arrivals.count > 0 ? (arrivals.last - *probe) * 1000 : -1;
    return result;
}

// How a bare receiver waits between two drains of every socket.
enum class Waiting {
    kSpin,  // never: reads again at once
    kPoll,  // in poll, until a socket is readable
    kNap,   // a fixed 1 ms sleep, so that senders never pay for waking it
};

// Opens the protocol objects' own sockets (helpers and all), sends their own
// probes, then only takes datagrams off the sockets and counts them. Which
// way of waiting is fastest depends on the machine (free cores, the cost of a
// wake-up); the best of them is the bar.
Result RunBaseline(const testing::Simulator& sim, std::size_t n, Waiting waiting, bool wsd) {
    const bool spin = waiting == Waiting::kSpin;
    constexpr std::size_t kSlots = 64;
    constexpr std::size_t kSlotSize = 2048;
    std::vector<std::uint8_t> storage(kSlots * kSlotSize);
    std::array<iovec, kSlots> parts{};
    std::array<mmsghdr, kSlots> headers{};

    Result result;
    const std::uint64_t errors_before = ReceiveBufferErrors();
    const double started = WallSeconds();
    BrannocSearch binary;
    MorvainSearch text;
    WsDiscoverySearch discovery;
    const LocalInterface record = PcInterface();
    std::vector<IDeviceSearch*> searches;
    if (wsd) {
        searches = {&discovery};
    } else {
        searches = {&binary, &text};
    }
    std::vector<int> handles;
    for (IDeviceSearch* search : searches) {
        search->OpenSockets(&record, 1);
        search->CollectSockets(handles);
    }
    std::vector<pollfd> polls;
    for (const int handle : handles) polls.push_back(pollfd{handle, POLLIN, 0});
    for (IDeviceSearch* search : searches) search->SendSearch();

    // Takes every datagram waiting on `handle`; returns how many.
    auto drain = [&](int handle) {
        std::size_t got_all = 0;
        for (;;) {
            for (std::size_t i = 0; i < kSlots; ++i) {
                parts[i] = iovec{storage.data() + i * kSlotSize, kSlotSize};
                headers[i] = mmsghdr{};
                headers[i].msg_hdr.msg_iov = &parts[i];
                headers[i].msg_hdr.msg_iovlen = 1;
            }
            const int got = ::recvmmsg(handle, headers.data(), kSlots, MSG_DONTWAIT, nullptr);
            if (got <= 0) break;
            got_all += static_cast<std::size_t>(got);
            if (spin || static_cast<std::size_t>(got) < kSlots) break;
        }
        return got_all;
    };

    double last = 0;
    const double deadline = WallSeconds() + kRunDeadlineSeconds;
    std::size_t taken = 0;
    while (taken < n) {
        if (waiting == Waiting::kPoll) {
            const int left_ms = static_cast<int>((deadline - WallSeconds()) * 1000);
            if (left_ms <= 0 || ::poll(polls.data(), polls.size(), left_ms) <= 0) break;
        } else if (waiting == Waiting::kNap) {
            std::this_thread::sleep_for(1ms);
        }
        std::size_t got = 0;
        for (const int handle : handles) got += drain(handle);
        if (got > 0) {
            taken += got;
            last = WallSeconds();
        } else if (WallSeconds() > deadline) {
            break;
        }
    }
    result.drops = ReceiveBufferErrors() - errors_before;
    result.found = taken;
    const auto probe = FirstProbeAfter(sim, started);
    result.ms = probe && taken > 0 ? (last - *probe) * 1000 : -1;
    return result;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    auto list = [](const std::string& text) {
        std::vector<std::string> items;
        std::stringstream in(text);
        std::string item;
        while (std::getline(in, item, ',')) {
            if (!item.empty()) items.push_back(item);
        }
        return items;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "discovery_bench: " << arg << " needs a value\n";
            return false;
        }
        const std::string value = argv[++i];
        try {
            if (arg == "--counts") {
                o.counts.clear();
                for (const auto& c : list(value)) o.counts.push_back(std::stoi(c));
            } else if (arg == "--shapes") {
                o.shapes = list(value);
            } else if (arg == "--privileges") {
                o.privileges = list(value);
            } else if (arg == "--who") {
                o.who = list(value);
            } else if (arg == "--runs") {
                o.runs = std::max(1, std::stoi(value));
            } else if (arg == "--limits") {
                o.limits = value;
            } else if (arg == "--protocol") {
                if (value != "wsd" && value != "own") throw std::invalid_argument(value);
                o.wsd = value == "wsd";
            } else {
                std::cerr << "discovery_bench: unknown argument " << arg << "\n";
                return false;
            }
        } catch (const std::exception&) {
            std::cerr << "discovery_bench: bad value for " << arg << ": " << value << "\n";
            return false;
        }
    }
    for (const int c : o.counts) {
        if (c < 4 || c > 100000) {
            std::cerr << "discovery_bench: counts run from 4 to 100000\n";
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
        std::cerr << "discovery_bench: needs root to build network namespaces (" << why << ")\n";
        return 1;
    }
    const std::string pc_if = lab->AddSite("cams", kPcCidr, kSiteCidr);
    if (pc_if.empty()) {
        std::cerr << "discovery_bench: " << lab->last_error() << "\n";
        return 1;
    }
    std::cerr << "discovery_bench: rmem_max " << ReceiveBufferLimit() << ", limits "
              << options.limits << "\n";

    for (const std::string& shape : options.shapes) {
        for (const int n : options.counts) {
            const int binary = n / 2;
            std::vector<std::string> args = {"--binary-h", std::to_string(binary / 2),
                                             "--binary-j", std::to_string(binary - binary / 2),
                                             "--text",     std::to_string(n - binary),
                                             "--subnet",   "10.78.",
                                             "--spread",   shape == "spread" ? "200" : "0"};
            if (options.wsd) {
                args = {
                    "--wsd",    std::to_string(n), "--wsd-style", "plain",
                    "--subnet", "10.78.",          "--spread",    shape == "spread" ? "200" : "0"};
            }
            auto sim = testing::Simulator::Start(*lab, lab->site_namespace("cams"), args, &why);
            if (!sim) {
                std::cerr << "discovery_bench: " << why << "\n";
                return 1;
            }
            for (const std::string& privilege : options.privileges) {
                for (int run = 0; run < options.runs; ++run) {
                    // Rotate who goes first, so that none always meets a
                    // warmer or a colder machine.
                    std::vector<std::string> order = options.who;
                    std::rotate(order.begin(), order.begin() + run % order.size(), order.end());
                    for (const std::string& who : order) {
                        Result result;
                        bool entered = lab->RunIn(lab->pc_namespace(), [&] {
                            if (privilege == "user" && !DropNetAdmin()) {
                                std::cerr << "discovery_bench: cannot drop CAP_NET_ADMIN\n";
                                return;
                            }
                            if (who == "quorvex") {
                                result = RunQuorvex(pc_if, *sim, n, options.wsd);
                            } else {
                                // Both typed probes draw an answer each.
                                result = RunBaseline(*sim, options.wsd ? 2 * n : n,
                                                     who == "spin"   ? Waiting::kSpin
                                                     : who == "poll" ? Waiting::kPoll
                                                                     : Waiting::kNap,
                                                     options.wsd);
                            }
                        });
                        if (!entered) {
                            std::cerr << "discovery_bench: cannot enter the PC namespace\n";
                            return 1;
                        }
                        std::printf("%s\t%s\t%s\t%s\t%d\t%s\t%zu\t%.1f\t%llu\n",
                                    options.wsd ? "discovery-wsd" : "discovery",
                                    options.limits.c_str(), privilege.c_str(), shape.c_str(), n,
                                    who.c_str(), result.found, result.ms,
                                    static_cast<unsigned long long>(result.drops));
                        std::fflush(stdout);
                        // Late answers of a spread must not reach the next run.
                        std::this_thread::sleep_for(300ms);
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
