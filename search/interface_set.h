#pragma once

// The PC's interface records the search runs on: read from an adapter source
// through the interface choice, kept for lookups from any thread, and the
// answers to "which interface heard this device" that the table, the rules
// and the front-ends share.
//
// Threads: `Load` and `Clear` run on the search worker; every other method
// may run on any thread. The one lock is held for one lookup or copy.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_records.h"
#include "search/adapter_source.h"

namespace quorvex {

class InterfaceSet {
public:
    // Reads the adapters of `source` chosen by `names` (empty: the automatic
    // choice); records without a usable address are left out. True when the
    // set differs from the one held (always on the first load); the caller
    // then reopens its sockets on `Copy()`.
    bool Load(const AdapterSource& source, const std::vector<std::string>& names);
    // Forgets the records; `Loaded` is false again.
    void Clear();

    std::vector<LocalInterface> Copy() const;
    std::size_t Count() const;
    // True once `Load` ran, until `Clear`.
    bool Loaded() const;
    // Times the set changed after the first load.
    std::uint64_t Changes() const;
    // The listed names that had no usable address at the last load, in list
    // order; empty under the automatic choice.
    std::vector<std::string> Missing() const;

    // The record that holds `interface_address` (network byte order).
    std::optional<LocalInterface> Find(std::uint32_t interface_address) const;
    // The records of the interface that holds `interface_address`, that one
    // first; empty when it is not searched on.
    std::vector<LocalInterface> Addresses(std::uint32_t interface_address) const;
    // True when the interface that heard `entry` is known and the device's
    // address lies in the subnet of none of that interface's addresses.
    bool IsOutsideSubnet(const DeviceEntry& entry) const;

private:
    mutable std::mutex lock_;
    std::vector<LocalInterface> records_;
    std::vector<std::string> missing_;
    bool loaded_ = false;
    std::uint64_t changes_ = 0;
};

// The kernel name of the record among `records` that holds
// `interface_address`; empty when none does. The one lookup every
// front-end uses to name the interface that heard a device.
std::string InterfaceNameOf(const std::vector<LocalInterface>& records,
                            std::uint32_t interface_address);

}  // namespace quorvex
