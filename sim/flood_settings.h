#pragma once

// What the hostile modes send, how fast and where to. They all aim at the PC
// that probed first (see `FloodTarget`) and start once it has probed on both
// ports.

#include <cstdint>
#include <string_view>

namespace quorvex::sim {

// What a flood datagram is.
//   kRandom     random bytes of random length (up to one frame); they never
//               hold the byte 0x48, so no answer header or status line can
//               form by accident
//   kNearMiss   whole answers with one thing wrong: another message header,
//               another status line, a client id one character short, none
//   kTruncated  copies of well-formed decoy answers cut short, never whole
//   kOversized  datagrams of 1,473 to 65,507 bytes: random bytes, and valid
//               answers of both protocols with every text longer than its
//               field
//   kMixed      all of the above (oversized ones rarely)
//   kRandomMacs whole, well-formed answers of both protocols, each with a
//               MAC of its own (`--random-macs`, not a `--flood-kind`)
enum class FloodKind { kRandom, kNearMiss, kTruncated, kOversized, kMixed, kRandomMacs };

// Where flood datagrams go: to the PC's own address, to the protocol's group
// address (255.255.255.255 at the binary probe's source port,
// 239.255.255.250:12109), or alternating between the two.
enum class FloodAim { kUnicast, kGroup, kMixed };

struct FloodSettings {
    std::uint64_t count = 0;  // --flood: datagrams in all; 0 = no flood
    FloodKind kind = FloodKind::kMixed;
    std::uint64_t random_macs = 0;  // --random-macs: answers in all; 0 = none
    bool spoof_macs = false;        // --spoof-macs
    std::uint64_t rate = 0;         // datagrams per second; 0 = as fast as possible
    FloodAim aim = FloodAim::kMixed;
};

// "random", "near-miss", "truncated", "oversized", "mixed"; false otherwise.
bool ParseFloodKind(std::string_view text, FloodKind& kind);
// "unicast", "group", "mixed"; false otherwise.
bool ParseFloodAim(std::string_view text, FloodAim& aim);
// The name `ParseFloodKind` reads ("random-macs" for kRandomMacs).
std::string_view FloodKindName(FloodKind kind);

}  // namespace quorvex::sim
