#pragma once

// The values one camera is sent, resolved from what the user typed, what the
// source of a move offers and what the camera has: the half of the planner
// that decides values, apart from the half that decides which cameras and
// which addresses.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/change_planner.h"

namespace quorvex {

// Where the values a user left open come from for one camera.
struct ValueSource {
    // The interface a camera moves into (match, batch); null: the camera's
    // own values stand.
    const LocalInterface* home = nullptr;
    // The address the plan gives it (network byte order); none: the typed
    // one, else its own.
    std::optional<std::uint32_t> address;
};

// Why `given` cannot go to a camera of `protocol`: a value its protocol
// cannot carry, or no password typed for a camera whose answer carries none.
PlanIssue CheckCredentials(const Credentials& given, std::int32_t protocol);

// The settings for `device` as `request` asks them, canonical; none with the
// reason in `issue`. Credentials are filled and checked by the camera's
// protocol. No address check is made here.
std::optional<NetSettings> ResolveSettings(const ChangeRequest& request, const DeviceInfo& device,
                                           std::int32_t protocol, const ValueSource& source,
                                           PlanIssue& issue);

// Every value of `sent` that differs from what `device` reports, old -> new;
// a value left out of the command (empty) keeps the camera's and is not
// listed. Passwords are never listed.
std::vector<ValueChange> ChangedValues(const DeviceInfo& device, const NetSettings& sent);

}  // namespace quorvex
