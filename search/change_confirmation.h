#pragma once

// When a change counts as done: the device, found again by a search sent
// after the change, answers with the values that were sent. Anything else is
// reported as it is, never as success.

#include <optional>

#include "core/device_records.h"

namespace quorvex {

enum class ChangeResult {
    confirmed,    // it answers with the new settings
    answers_old,  // it answers, but not with the new settings
    other_mac,    // it did not answer again, but another MAC answers at the address sent
    gone,         // it did not answer again
};

// True when `now` shows every value of `sent`. Under DHCP the addresses are
// the server's to choose, so only the switch and the port count then; a value
// left out of the command (empty in `sent`) is the device's to keep and is
// not compared.
bool ShowsSettings(const DeviceInfo& now, const NetSettings& sent);

// The result for a device that was sent `sent`, from its answer to a search
// sent after the change (none when it did not answer) and, when it did not,
// an answer to such a search from a device with another MAC at the address
// it was sent: a camera whose network side came back with another MAC (a
// replaced board, a firmware that reports another one) is that device, not
// a stranger, and "gone" would send the technician looking for it.
ChangeResult JudgeChange(const NetSettings& sent, const std::optional<DeviceInfo>& now,
                         const std::optional<DeviceInfo>& other_mac = std::nullopt);

}  // namespace quorvex
