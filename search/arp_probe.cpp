#include "search/arp_probe.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/byte_reader.h"

namespace quorvex {

namespace {

constexpr std::size_t kArpLength = 28;  // Ethernet/IPv4 ARP body
constexpr std::uint16_t kRequest = 1;
constexpr std::uint16_t kReply = 2;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::uint16_t Be16(const ByteReader& r, std::size_t at) {
    return static_cast<std::uint16_t>(r.U8(at) << 8 | r.U8(at + 1));
}

// A probe for `target` from `hardware` (6 bytes).
std::array<std::uint8_t, kArpLength> ProbePacket(const std::uint8_t* hardware,
                                                 std::uint32_t target) {
    std::array<std::uint8_t, kArpLength> p{};
    p[0] = 0x00, p[1] = 0x01;         // 0: hardware type Ethernet
    p[2] = 0x08, p[3] = 0x00;         // 2: protocol type IPv4
    p[4] = 6, p[5] = 4;               // 4: address lengths
    p[6] = 0x00, p[7] = kRequest;     // 6: operation
    std::memcpy(&p[8], hardware, 6);  // 8: sender hardware address
                                      // 14: sender address 0.0.0.0: a probe
                                      // 18: target hardware address unknown
    std::memcpy(&p[24], &target, 4);  // 24: the address asked about
    return p;
}

}  // namespace

ArpProbe::ArpProbe(std::chrono::milliseconds patience) : patience_(patience) {}

std::optional<std::uint32_t> ArpProbe::ClaimedAddress(std::span<const std::uint8_t> packet) {
    const ByteReader r(packet);
    if (r.size() < kArpLength || Be16(r, 0) != 1 || Be16(r, 2) != 0x0800 || r.U8(4) != 6 ||
        r.U8(5) != 4)
        return std::nullopt;
    const std::uint16_t operation = Be16(r, 6);
    if (operation != kReply && operation != kRequest) return std::nullopt;
    std::uint32_t sender = 0;
    r.CopyOut(14, std::span(reinterpret_cast<std::uint8_t*>(&sender), 4));
    if (sender == 0) return std::nullopt;  // another host's probe claims nothing
    return sender;
}

std::set<std::uint32_t> ArpProbe::InUse(const std::string& interface_name,
                                        const std::vector<std::uint32_t>& addresses) const {
    std::set<std::uint32_t> used;
    error_ = ENODEV;
    const unsigned index = ::if_nametoindex(interface_name.c_str());
    if (index == 0) return used;
    error_ = 0;
    if (addresses.empty()) return used;
    const Fd fd(::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_ARP)));
    if (fd.get() < 0) {
        error_ = errno;
        return used;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, interface_name.c_str(), IFNAMSIZ - 1);
    if (::ioctl(fd.get(), SIOCGIFHWADDR, &request) != 0) {
        error_ = errno;
        return used;
    }
    if (request.ifr_hwaddr.sa_family != ARPHRD_ETHER) {
        error_ = EPROTONOSUPPORT;
        return used;
    }
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_ARP);
    link.sll_ifindex = static_cast<int>(index);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&link), sizeof link) != 0) {
        error_ = errno;
        return used;
    }
    link.sll_halen = 6;
    std::memset(link.sll_addr, 0xFF, 6);  // broadcast
    const std::set<std::uint32_t> wanted(addresses.begin(), addresses.end());
    for (const std::uint32_t target : wanted) {
        const auto packet =
            ProbePacket(reinterpret_cast<const std::uint8_t*>(request.ifr_hwaddr.sa_data), target);
        if (::sendto(fd.get(), packet.data(), packet.size(), 0,
                     reinterpret_cast<const sockaddr*>(&link), sizeof link) < 0) {
            error_ = errno;
            return used;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + patience_;
    while (used.size() < wanted.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        std::array<std::uint8_t, 256> buffer{};
        const ssize_t got = ::recv(fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got <= 0) continue;
        const auto claimed = ClaimedAddress(
            std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
        if (claimed && wanted.count(*claimed) != 0) used.insert(*claimed);
    }
    return used;
}

}  // namespace quorvex
