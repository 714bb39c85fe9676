#pragma once

// The device side of the binary broadcast protocol (UDP port 8600): a device
// hears the probe 44 48 01 01 and answers 44 48 01 08 with its configuration
// in a fixed layout; it hears the settings command 44 48 02 01 in the same
// layout, takes it when the MAC is its own and the user and password match,
// and answers nothing to it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/sim_device.h"

namespace quorvex::sim {

inline constexpr std::uint16_t kBinaryPort = 8600;
// Every answer is the full 324-byte layout, zero bytes 302..323 included.
inline constexpr std::size_t kBinaryMessageLength = 324;
// A command must reach at least the DHCP byte to be taken.
inline constexpr std::size_t kBinaryCommandMinimum = 302;

// Offsets and widths of the shared answer/command layout.
namespace binary_layout {
inline constexpr std::size_t kIp = 4, kMask = 20, kGateway = 36, kDns1 = 52, kDns2 = 68;
inline constexpr std::size_t kAddressWidth = 16;
inline constexpr std::size_t kMac = 84, kHttpPort = 90, kUid = 92, kUidWidth = 32;
inline constexpr std::size_t kName = 124, kNameWidth = 80;
inline constexpr std::size_t kSoftware = 204, kWeb = 220, kVersionWidth = 16;
inline constexpr std::size_t kUser = 236, kPassword = 268, kCredentialWidth = 32;
inline constexpr std::size_t kAuxFlag = 300, kDhcp = 301;
}  // namespace binary_layout

enum class BinaryMessage { kNone, kProbe, kAnswer, kCommand };

// What a received datagram is, by its first four bytes.
BinaryMessage ClassifyBinary(std::span<const std::uint8_t> bytes);

// Writes the device's answer into `out`; returns its length (324). Texts are
// cut so that each field keeps a terminating zero.
std::size_t BuildBinaryAnswer(const SimDevice& device,
                              std::span<std::uint8_t, kBinaryMessageLength> out);

// The settings a command carries, read within the received length.
struct BinaryCommand {
    std::uint8_t mac[6] = {};
    std::string ip, mask, gateway, dns1, dns2, user, password;
    std::uint16_t http_port = 0;
    std::uint8_t dhcp = 0;
};

// Reads a 44 48 02 01 command; nothing when the header differs or the
// datagram stops before the DHCP byte.
std::optional<BinaryCommand> ParseBinaryCommand(std::span<const std::uint8_t> bytes);

// Applies `command` when it names `device` by MAC and carries the device's
// user and password (as the device reports them, cut to the field). Returns
// whether it was applied.
bool ApplyBinaryCommand(const BinaryCommand& command, SimDevice& device);

}  // namespace quorvex::sim
