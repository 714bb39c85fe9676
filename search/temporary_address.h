#pragma once

// The PC's temporary addresses of a change (see search/temporary_address_plan.h),
// held for as long as this object lives. Each is added through rtnetlink with
// marks that let any later Quorvex recognise it as its own: the metric
// `kTemporaryAddressMetric` on its prefix route and, where the name fits, the
// label "IFNAME:qvx". It is added with a finite lifetime
// (`kTemporaryAddressLifetime`, renewed while it is held), so that even a
// machine that never starts Quorvex again loses it.
//
// An owner holds an flock on a lock file per address (named after the
// network namespace, the interface and the address) for as long as it holds
// the address: a marked address whose lock can be taken has lost its owner.
//
// Needs root or CAP_NET_ADMIN (and CAP_NET_RAW for the check on the link).

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "search/temporary_address_plan.h"

namespace quorvex {

inline constexpr std::uint32_t kTemporaryAddressMetric = 30071;  // odd: no tool's round default
inline constexpr std::chrono::seconds kTemporaryAddressLifetime{15 * 60};

class TemporaryAddresses {
public:
    // Adds every address of `plans` (duplicates once), each checked free on
    // its link right before (an ARP probe without a sender address, which
    // disturbs no host's cache). All or nothing: when one cannot be added,
    // those added are removed again and `error` says what failed and why
    // ("adding a temporary address needs root or CAP_NET_ADMIN", "192.168.1.254
    // answers on eth0", ...). An empty `plans` gives an object holding nothing.
    static std::optional<TemporaryAddresses> Add(const std::vector<TemporaryAddressPlan>& plans,
                                                 std::string& error);

    // Removes the addresses still held.
    ~TemporaryAddresses();
    TemporaryAddresses(TemporaryAddresses&&) noexcept;
    TemporaryAddresses& operator=(TemporaryAddresses&&) noexcept;
    TemporaryAddresses(const TemporaryAddresses&) = delete;
    TemporaryAddresses& operator=(const TemporaryAddresses&) = delete;

    // The addresses held, as added (indexes filled in).
    std::vector<TemporaryAddressPlan> Held() const;

    // Removes every address held now; afterwards the object holds nothing.
    // Safe to call from another thread than the owner's (the one that sees a
    // termination signal) and more than once. Returns false when an address
    // could not be removed (it then still expires with its lifetime).
    bool Remove();

private:
    struct State;
    explicit TemporaryAddresses(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// Removes the addresses of this network namespace that carry Quorvex's marks
// and whose owner is gone (its lock can be taken), never one that a running
// Quorvex still holds. Returns how many were removed; without the permission
// to remove (or to read the lock directory) it removes nothing, silently.
std::size_t RemoveLeftoverTemporaryAddresses();

}  // namespace quorvex
