#pragma once

// The device side of the text protocol "HDS/1.0" (UDP port 12109, group
// 239.255.255.250). A device answers a "SEARCH * HDS/1.0" request that
// carries a "Client-ID" with "HDS/1.0 200 OK" and its configuration as
// headers, in the order the PC reads them, echoing the client id; it takes a
// "CMD * HDS/1.0" command whose "Device-ID" is its own and whose
// "Authorization:Basic user:password" matches, and answers nothing to it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/sim_device.h"

namespace quorvex::sim {

inline constexpr std::uint16_t kTextPort = 12109;
inline constexpr const char* kTextGroup = "239.255.255.250";

// The client id of a search request; nothing when the datagram is not one or
// carries no "Client-ID" header.
std::optional<std::string> ParseTextSearch(std::span<const std::uint8_t> bytes);

// The device's answer to the client `client_id`.
std::string BuildTextAnswer(const SimDevice& device, std::string_view client_id);

// What a command carries. Settings absent from the body stay unset.
struct TextCommand {
    std::string device_id;
    std::string user;
    std::string password;
    bool http_port_command = false;  // "httpport set", else "netconf set"
    std::optional<std::string> ip, mask, gateway, dns1, dns2;
    std::optional<std::uint8_t> dhcp;
    std::optional<std::uint16_t> http_port;
};

// Reads a "CMD * HDS/1.0" command; nothing for other datagrams and for a
// command whose body is neither "netconf set ..." nor "httpport set ...".
std::optional<TextCommand> ParseTextCommand(std::span<const std::uint8_t> bytes);

// Applies `command` when its "Device-ID" is the device's and the credentials
// match. Returns whether it was applied.
bool ApplyTextCommand(const TextCommand& command, SimDevice& device);

}  // namespace quorvex::sim
