#pragma once

// A device as the search manager hands it to a front-end: a copy of the
// stored entry with what the search knows of its health. Values only; the
// receiver keeps them as it likes and never looks them up again.

#include <cstdint>
#include <functional>
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
    // True when the entry's address lies outside the subnet of every address
    // of the interface that heard it.
    bool outside_subnet = false;
};

// Receives the devices that were added or changed, or whose health changed,
// since the previous call, in the order they changed. Runs on the search
// worker: the receiver copies or moves the vector to its own thread.
using DevicesCallback = std::function<void(std::vector<DeviceUpdate> updates)>;

}  // namespace quorvex
