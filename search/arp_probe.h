#pragma once

// Asks one link whether any host holds an IPv4 address that the PC has no
// route to yet (an address it is about to take): an ARP probe, a request
// whose sender address is 0.0.0.0, so that no host's cache learns anything
// from it and a host holding the address still answers. The kernel's own
// resolution cannot do this: it needs a route to the address first.
//
// Needs CAP_NET_RAW; without it every question comes back unanswered and
// `Permitted` says so.

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace quorvex {

class ArpProbe {
public:
    explicit ArpProbe(std::chrono::milliseconds patience = std::chrono::milliseconds(1000));

    // The addresses of `addresses` (network byte order) that a host on the
    // link of interface `interface_name` claims within one patience: it
    // answered the probe, or it asked or announced with that sender address.
    std::set<std::uint32_t> InUse(const std::string& interface_name,
                                  const std::vector<std::uint32_t>& addresses) const;

    // False when the last `InUse` could not open its socket or send: its
    // empty answer then means nothing. `Error` says why (an errno value:
    // EPERM without CAP_NET_RAW, ENODEV without the interface, EPROTONOSUPPORT
    // for a link that is not Ethernet).
    bool Permitted() const { return error_ == 0; }
    int Error() const { return error_; }

    // The sender address of an ARP packet over Ethernet and IPv4 (without the
    // link header) that says a host holds it: a reply, or a request that is
    // not itself a probe. None for anything else, cut or malformed.
    static std::optional<std::uint32_t> ClaimedAddress(std::span<const std::uint8_t> packet);

private:
    std::chrono::milliseconds patience_;
    mutable int error_ = 0;
};

}  // namespace quorvex
