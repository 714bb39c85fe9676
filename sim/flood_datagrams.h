#pragma once

// The datagrams of the hostile modes. Each kind is made so that a test can
// tell exactly what a correct PC may make of it:
//   - random bytes never contain 0x48 ('H'), so neither the binary answer
//     header 44 48 01 08 nor the status line "HDS/1.0 200 OK" can form;
//   - near misses and their MACs (0E-BA-D0-...) must never reach a device list;
//   - decoys (MACs 0A-DE-C0-01-.. binary, 0A-DE-C0-02-.. text) are sent only
//     cut short, so whatever a PC lists for them must come from the cut
//     copy's own bytes;
//   - oversized answers (MACs 0A-0B-51-01-00-01 binary, 0A-0B-51-02-00-02
//     text) are valid answers whose texts are all longer than their fields;
//   - answers with random MACs (06-5A-...) are whole and valid, each MAC
//     different from every other for the first 2^32 of them.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_device.h"

namespace quorvex::sim {

using FloodRandom = std::mt19937_64;

// The largest IPv4 UDP payload, and the largest that fits one Ethernet frame.
inline constexpr std::size_t kLargestDatagram = 65507;
inline constexpr std::size_t kFrameDatagram = 1472;

// Decoys per protocol; their index is the last byte of the MAC.
inline constexpr int kDecoyCount = 64;
inline constexpr std::uint8_t kDecoyOui[3] = {0x0A, 0xDE, 0xC0};
inline constexpr std::uint8_t kNearMissOui[3] = {0x0E, 0xBA, 0xD0};
inline constexpr std::uint8_t kOversizedOui[3] = {0x0A, 0x0B, 0x51};
inline constexpr std::uint8_t kRandomMacPrefix[2] = {0x06, 0x5A};

// The byte that random datagrams never contain.
inline constexpr std::uint8_t kNeverRandom = 0x48;

// The whole answer of `device` to a PC whose client id is `client_id` (binary
// devices ignore it).
std::vector<std::uint8_t> AnswerBytes(const SimDevice& device, std::string_view client_id);

// `length` random bytes, none of them 0x48.
std::vector<std::uint8_t> RandomBytes(FloodRandom& random, std::size_t length);

// Decoy `index` (0..kDecoyCount-1) of `protocol`: every text field filled,
// all different from one decoy to the next.
SimDevice DecoyDevice(DeviceProtocol protocol, int index);

// Number of near-miss variants; `NearMiss` takes any variant modulo this.
inline constexpr int kNearMissVariants = 9;
// A whole answer with one thing wrong, by `variant`: binary headers 44 48 01
// 01, 44 48 02 01, 44 48 02 08 and 44 48 01 09; text answers with
// "MCTP/1.0 200 OK", with the status line ended by LF alone, in lower case,
// with the client id one character short, and without any client id.
// `is_text` tells which port it is meant for.
std::vector<std::uint8_t> NearMiss(int variant, int index, std::string_view client_id,
                                   bool& is_text);

// The oversized valid answers, both exactly kLargestDatagram bytes long.
// Binary: every text field is full to its last byte, without a terminator
// (ip '1', mask '2', gateway '3', dns1 '4', dns2 '5', uid 'U', name 'N',
// software version "67.1.61.9" followed by '9's, web version 'W', user 'u',
// password 'p'), HTTP port 8080, flag byte 0xA5, DHCP 1, then filler.
// Text: "Device-ID" 'D' x 300, "Device-Name" 'N' (filling the datagram),
// "UID" 'U' x 300, "IP" "10.77.201.201" then '9' x 300, "MASK" '2' x 300,
// "MAC" 0a:0b:51:02:00:02, "Gateway" '3' x 300, "Software-Version" 'S' x
// 300, "Web-Version" 'W' x 300, "Http-Port" 8080, "Dhcp" 1, "Fdns" '4' x 300,
// "Sdns" '5' x 300.
std::vector<std::uint8_t> OversizedAnswer(DeviceProtocol protocol, std::string_view client_id);

// The device behind answer `index` of `--random-macs`: binary for even
// indexes, text for odd ones, its MAC 06-5A followed by a 32-bit mix of the
// index (distinct for distinct indexes).
SimDevice RandomMacDevice(std::uint64_t index);

// What `--spoof-macs` answers besides `device`: the same MAC and protocol,
// the name "spoofed " + name, the address 192.0.2.66, HTTP port 6666.
SimDevice Spoofed(const SimDevice& device);

}  // namespace quorvex::sim
