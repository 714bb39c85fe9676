#pragma once

// A device as the search manager hands it to a front-end: a copy of the
// stored entry with what the search knows of its health. Values only; the
// receiver keeps them as it likes and never looks them up again.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/device_records.h"

namespace quorvex {

struct DeviceUpdate {
    DeviceEntry entry{};
    // Searches in a row that went out since the device last answered.
    std::int32_t missed_searches = 0;
    // False once the device missed `SearchBusiness::kMissedSearchesForSilent`
    // searches in a row; true again with its next answer.
    bool answering = true;
    // When it last answered: milliseconds since the Unix epoch.
    std::int64_t last_heard_ms = 0;
    // The number of the search it last answered (`SearchBusiness::SearchCount`
    // as it stood then): an answer counts as one to a search sent after a
    // moment when this exceeds the count at that moment.
    std::uint64_t heard_search = 0;
    // True when the entry's address lies outside the subnet of every address
    // of the interface that heard it.
    bool outside_subnet = false;
    // True when, within one search, its MAC answered with different addresses
    // or from different senders: some host on the link may be posing as it.
    // Such a camera is never moved by a selection the tool makes.
    bool mac_conflict = false;
    // What WS-Discovery said of the device (its service addresses, types,
    // scopes, hardware, location, metadata version, and whether it said Bye);
    // null for a device WS-Discovery never heard. Shared and never changed:
    // a later answer brings a new one.
    std::shared_ptr<const WsdInfo> wsd;
    // The keys the device was listed under until now (WS-Discovery keys that
    // its MAC, once read, replaced): a front-end drops their rows. Handed
    // out once, with the batch of changes after the re-keying.
    std::vector<std::uint64_t> replaces;
};

// The key the search manager's table holds the device under.
inline std::uint64_t TableKey(const DeviceUpdate& update) {
    return TableKey(update.entry, update.wsd.get());
}

// Receives the devices that were added or changed, or whose health changed,
// since the previous call, in the order they changed. Runs on the search
// worker: the receiver copies or moves the vector to its own thread.
using DevicesCallback = std::function<void(std::vector<DeviceUpdate> updates)>;

}  // namespace quorvex
