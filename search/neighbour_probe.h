#pragma once

// Asks the link whether an IPv4 address is already in use, without privileges:
// a one-byte UDP datagram to the address's discard port makes the kernel
// resolve it, and the kernel's neighbour table (/proc/net/arp of the calling
// thread's network namespace) then shows a hardware address when a host
// answered. Addresses of this host itself always count as in use.

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

class NeighbourProbe {
public:
    // `patience` bounds how long one probe waits for the neighbour entry.
    explicit NeighbourProbe(std::chrono::milliseconds patience = std::chrono::milliseconds(1000));

    // True when a host on the link answers for `address` (dotted text) or it
    // is one of this host's own addresses. False for text that is not an
    // address, for an address without a route, and when no answer came within
    // the patience.
    bool InUse(std::string_view address) const;

    // Asks about all of `addresses` (network byte order) at once and waits
    // one patience in total; returns those that are in use as `InUse` means.
    std::set<std::uint32_t> InUse(const std::vector<std::uint32_t>& addresses) const;

    // The hardware address that the neighbour table holds for `address` as
    // resolved ("aa:bb:cc:dd:ee:ff"), or empty when it holds none.
    static std::string ResolvedHardwareAddress(std::string_view address);

    // True when `address` is assigned to one of this host's interfaces.
    static bool IsLocalAddress(std::string_view address);

private:
    std::chrono::milliseconds patience_;
};

}  // namespace quorvex
