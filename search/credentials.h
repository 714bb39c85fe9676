#pragma once

// The credentials a command is sent with: those the user gives, else those the
// device's own answer carried. Binary answers carry the user and password;
// text answers carry none, so a text camera with a password can only be
// changed with the password the user gives.

#include <optional>
#include <string>

#include "core/device_records.h"

namespace quorvex {

struct Credentials {
    std::optional<std::string> user;
    std::optional<std::string> password;
};

// Writes the user and password of `settings`: each from `given` when set,
// else from `info`.
void ApplyCredentials(NetSettings& settings, const Credentials& given, const DeviceInfo& info);

}  // namespace quorvex
