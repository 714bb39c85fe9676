#include "core/ipv4_subnet.h"

#include <arpa/inet.h>

#include "core/device_records.h"

namespace quorvex {

std::optional<int> MaskPrefixLength(std::uint32_t mask) {
    const std::uint32_t host = ntohl(mask);
    // Contiguous: the inverted mask plus one is a power of two.
    const std::uint32_t inverted = ~host;
    if ((inverted & (inverted + 1)) != 0) return std::nullopt;
    int length = 0;
    for (std::uint32_t bit = 0x80000000u; bit != 0 && (host & bit) != 0; bit >>= 1) ++length;
    return length;
}

std::uint32_t PrefixMask(int length) {
    if (length <= 0) return 0;
    if (length >= 32) return 0xFFFFFFFFu;
    return htonl(~((1u << (32 - length)) - 1u));
}

bool IsSpecialAddress(std::uint32_t address) {
    const std::uint32_t host = ntohl(address);
    const std::uint32_t first = host >> 24;
    if (first == 0 || first == 127) return true;  // "this network", loopback
    if ((host >> 16) == 0xA9FEu) return true;     // 169.254/16 link-local
    if (first >= 224) return true;                // multicast, reserved, broadcast
    return false;
}

std::optional<Ipv4Subnet> Ipv4Subnet::FromTexts(std::string_view address, std::string_view mask) {
    Ipv4Subnet subnet;
    if (!ParseAddress(address, subnet.address) || !ParseAddress(mask, subnet.mask)) {
        return std::nullopt;
    }
    if (!MaskPrefixLength(subnet.mask)) return std::nullopt;
    return subnet;
}

int Ipv4Subnet::PrefixLength() const {
    return MaskPrefixLength(mask).value_or(0);
}

std::uint32_t Ipv4Subnet::Network() const {
    return address & mask;
}

std::uint32_t Ipv4Subnet::Broadcast() const {
    return (address & mask) | ~mask;
}

bool Ipv4Subnet::Contains(std::uint32_t other) const {
    return (other & mask) == (address & mask);
}

bool Ipv4Subnet::IsHostAddress(std::uint32_t other) const {
    if (!Contains(other)) return false;
    if (PrefixLength() >= 31) return true;
    return other != Network() && other != Broadcast();
}

std::uint32_t Ipv4Subnet::HostCount() const {
    const int length = PrefixLength();
    if (length >= 32) return 1;
    if (length == 31) return 2;
    return (~ntohl(mask)) - 1u;
}

std::optional<std::uint32_t> Ipv4Subnet::HostAt(std::uint32_t index) const {
    const int length = PrefixLength();
    const std::uint32_t network = ntohl(Network());
    if (length >= 31) {
        if (index >= HostCount()) return std::nullopt;
        return htonl(network + index);
    }
    if (index == 0 || index > HostCount()) return std::nullopt;
    return htonl(network + index);
}

}  // namespace quorvex
