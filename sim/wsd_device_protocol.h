#pragma once

// The device side of WS-Discovery (UDP port 3702, group 239.255.255.250),
// written apart from core's codec so that each checks the other: a camera
// reads a Probe with plain text searches and answers with ProbeMatches in one
// of three styles the standard allows; it announces itself with Hello and
// leaves with Bye. Also the malformed answers a hostile or broken host sends.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace quorvex::sim {

inline constexpr std::uint16_t kWsdPort = 3702;

// What a probe asks for.
struct WsdProbe {
    std::string message_id;
    bool video = false;   // types name NetworkVideoTransmitter
    bool device = false;  // types name Device
};

// A Probe; nothing for any other datagram (including ProbeMatches, Hello,
// Bye: a device never answers those).
std::optional<WsdProbe> ParseWsdProbe(std::span<const std::uint8_t> bytes);

// Whether `device` answers `probe`: plain devices answer both typed probes,
// "odd" ones only the Device probe, "ipv6-first" ones only the
// NetworkVideoTransmitter probe; an untyped probe gets every device.
bool AnswersWsdProbe(const SimDevice& device, const WsdProbe& probe);

// The answer to the probe `relates_to`, in the device's style:
//   plain: every prefix on the Envelope, one XAddr, name, hardware,
//     location and MAC scopes;
//   odd: a default SOAP namespace, the other namespaces declared on inner
//     elements, scope names in odd case, an http and an https XAddr, no MAC
//     scope (unless the device also speaks another protocol);
//   ipv6-first: an IPv6 link-local and an IPv4 link-local XAddr before the
//     real one, the MAC with dashes in lower case, a percent-encoded location.
// `sequence` numbers the device's messages. The XAddrs name `address`, the
// device's own `ip` when empty.
std::string BuildWsdProbeMatches(const SimDevice& device, const std::string& relates_to,
                                 std::uint32_t sequence, const std::string& address = {});
std::string BuildWsdHello(const SimDevice& device, std::uint32_t sequence,
                          const std::string& address = {});
std::string BuildWsdBye(const SimDevice& device, std::uint32_t sequence);

// Answers to `relates_to` that a PC must drop: cut short, a billion-laughs
// DOCTYPE, one with more elements than any answer needs (about 60 KB), a
// non-SOAP root, and a Fault.
std::vector<std::string> BuildWsdMalformed(const std::string& relates_to);

}  // namespace quorvex::sim
