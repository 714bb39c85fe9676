#include "bench/bench_support.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>

#include "tests/support/netns_lab.h"

namespace quorvex::bench {

namespace {

constexpr std::uint32_t kNetAdminBit = 1u << CAP_NET_ADMIN;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

bool IsProbe(const testing::LoggedDatagram& d) {
    static constexpr std::string_view kTextSearch = "SEARCH * HDS/1.0\r\n";
    if (d.destination_port == 3702) {
        static constexpr std::string_view kWsdProbe = "discovery/Probe</";
        const std::string_view text(reinterpret_cast<const char*>(d.bytes.data()), d.bytes.size());
        return text.find(kWsdProbe) != std::string_view::npos;
    }
    if (d.destination_port == 8600) {
        return d.bytes.size() == 4 && d.bytes[0] == 0x44 && d.bytes[1] == 0x48 &&
               d.bytes[2] == 0x01 && d.bytes[3] == 0x01;
    }
    return d.bytes.size() >= kTextSearch.size() &&
           std::string_view(reinterpret_cast<const char*>(d.bytes.data()), kTextSearch.size()) ==
               kTextSearch;
}

}  // namespace

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool DropNetAdmin() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    data[0].effective &= ~kNetAdminBit;
    data[0].permitted &= ~kNetAdminBit;
    data[0].inheritable &= ~kNetAdminBit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

bool HoldsNetAdmin() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[0].effective & kNetAdminBit) != 0;
}

long ReceiveBufferLimit() {
    std::ifstream in("/proc/sys/net/core/rmem_max");
    long value = -1;
    in >> value;
    return value;
}

std::optional<double> FirstProbeAfter(const testing::Simulator& simulator, double since) {
    std::optional<double> first;
    for (const testing::LoggedDatagram& d : simulator.ReadLog()) {
        if (d.time < since || !IsProbe(d)) continue;
        if (!first || d.time < *first) first = d.time;
    }
    return first;
}

double ThreadCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ProcessCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

std::uint64_t ResidentBytes() {
    std::ifstream in("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    in >> size >> resident;
    return resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::string OwnProgram(std::string_view bench) {
    // The shell that runs each child would read its own /proc/self/exe.
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        std::cerr << bench << ": cannot find its own program\n";
        return {};
    }
    return self.string();
}

}  // namespace quorvex::bench
