#include "search/neighbour_probe.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/device_records.h"

namespace quorvex {

namespace {

constexpr std::uint16_t kDiscardPort = 9;
constexpr unsigned kArpComplete = 0x2;  // ATF_COM: the entry holds a hardware address
constexpr auto kPollStep = std::chrono::milliseconds(10);

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace

NeighbourProbe::NeighbourProbe(std::chrono::milliseconds patience) : patience_(patience) {}

bool NeighbourProbe::IsLocalAddress(std::string_view address) {
    std::uint32_t wanted = 0;
    if (!ParseAddress(address, wanted)) return false;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool found = false;
    for (const ifaddrs* a = list; a != nullptr && !found; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
        sockaddr_in in{};
        std::memcpy(&in, a->ifa_addr, sizeof in);
        found = in.sin_addr.s_addr == wanted;
    }
    ::freeifaddrs(list);
    return found;
}

std::string NeighbourProbe::ResolvedHardwareAddress(std::string_view address) {
    std::ifstream table("/proc/net/arp");
    std::string line;
    std::getline(table, line);  // column titles
    while (std::getline(table, line)) {
        // IP address, HW type, Flags, HW address, Mask, Device
        std::istringstream fields(line);
        std::string ip, type, flags, hardware;
        if (!(fields >> ip >> type >> flags >> hardware)) continue;
        if (ip != address) continue;
        unsigned value = 0;
        try {
            value = static_cast<unsigned>(std::stoul(flags, nullptr, 16));
        } catch (...) {
            continue;
        }
        if ((value & kArpComplete) != 0 && hardware != "00:00:00:00:00:00") return hardware;
    }
    return "";
}

bool NeighbourProbe::InUse(std::string_view address) const {
    std::uint32_t target = 0;
    if (!ParseAddress(address, target)) return false;
    return InUse(std::vector<std::uint32_t>{target}).count(target) != 0;
}

std::set<std::uint32_t> NeighbourProbe::InUse(const std::vector<std::uint32_t>& addresses) const {
    std::set<std::uint32_t> used;
    std::vector<std::uint32_t> waiting;
    for (const std::uint32_t target : addresses) {
        const std::string text = AddressText(target);
        if (IsLocalAddress(text) || !ResolvedHardwareAddress(text).empty()) {
            used.insert(target);
            continue;
        }
        Socket socket;
        if (socket.fd() < 0) continue;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDiscardPort);
        to.sin_addr.s_addr = target;
        if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
            continue;
        const std::uint8_t nothing = 0;
        // The send is only a reason for the kernel to resolve the address;
        // when no route leads there it fails and nobody can be using the
        // address here.
        if (::send(socket.fd(), &nothing, 1, MSG_DONTWAIT) < 0) continue;
        waiting.push_back(target);
    }
    const auto deadline = std::chrono::steady_clock::now() + patience_;
    for (;;) {
        std::vector<std::uint32_t> still;
        for (const std::uint32_t target : waiting) {
            if (ResolvedHardwareAddress(AddressText(target)).empty())
                still.push_back(target);
            else
                used.insert(target);
        }
        waiting.swap(still);
        if (waiting.empty() || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(kPollStep);
    }
    return used;
}

}  // namespace quorvex
