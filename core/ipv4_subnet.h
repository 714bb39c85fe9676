#pragma once

// An IPv4 subnet as an address and a mask, and the questions the search asks
// of it. Addresses are 32-bit in network byte order, as everywhere in the
// records; the arithmetic works on host order inside.

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvex {

struct Ipv4Subnet {
    std::uint32_t address = 0;  // any address of the subnet, network byte order
    std::uint32_t mask = 0;     // network byte order; contiguous

    // From dotted texts; none when either is no address or the mask is not
    // contiguous ones followed by zeros.
    static std::optional<Ipv4Subnet> FromTexts(std::string_view address, std::string_view mask);

    int PrefixLength() const;
    std::uint32_t Network() const;    // network byte order
    std::uint32_t Broadcast() const;  // network byte order
    bool Contains(std::uint32_t other) const;
    // An address a host of this subnet may hold: inside it, and neither its
    // network nor its broadcast address (a /31 or /32 has no such pair).
    bool IsHostAddress(std::uint32_t other) const;
    // The `index`-th host address counted from the network address (1 is the
    // first host); none past the last host.
    std::optional<std::uint32_t> HostAt(std::uint32_t index) const;
    // The number of host addresses.
    std::uint32_t HostCount() const;
};

// The prefix length of a mask in network byte order; none when the mask is
// not contiguous.
std::optional<int> MaskPrefixLength(std::uint32_t mask);

// The mask of a prefix length 0..32, network byte order.
std::uint32_t PrefixMask(int length);

// True for an address no device may be given: 0.0.0.0/8, loopback,
// link-local, multicast, reserved and the limited broadcast.
bool IsSpecialAddress(std::uint32_t address);

}  // namespace quorvex
