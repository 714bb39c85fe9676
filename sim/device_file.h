#pragma once

// Devices described in a JSON file: an array of objects, one per device, with
// the keys "mac" (required; "00-1A-2B-3C-4D-5E" or "00:1a:2b:3c:4d:5e"),
// "protocol" ("binary" or "text"), "family" ("H", "J" or "E"), "name", "uid",
// "ip", "mask", "gateway", "dns1", "dns2", "http_port", "dhcp" (0/1 or
// true/false), "software_version", "web_version", "user", "password",
// "device_id", "aux_flag", "reply" ("unicast", "broadcast",
// "multicast") and "reply_delay_ms" (0..600000). A "protocol" of "standard"
// makes a standard camera (it needs "ip" and "mask"), which also takes
// "endpoint" (default made from the MAC), "hardware", "location", "auth"
// ("digest", "token"), "behaviour" (as --standard-behaviour),
// "clock_offset_s", "time_needs_auth", "path", "move_delay_ms" and
// "nonce_life_ms"; "http_port" is its device service's port. Unknown keys
// are errors, so a misspelt key never passes silently.

#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_device.h"

namespace quorvex::sim {

// Reads devices from JSON text. `default_reply` applies where a device names
// no "reply". On failure returns false, leaves `devices` untouched and sets
// `error` to a one-line reason.
bool DevicesFromJson(std::string_view text, ReplyMode default_reply,
                     std::vector<SimDevice>& devices, std::string& error);

// As `DevicesFromJson`, for the file at `path`.
bool LoadDeviceFile(const std::string& path, ReplyMode default_reply,
                    std::vector<SimDevice>& devices, std::string& error);

}  // namespace quorvex::sim
