#pragma once

// Asks one address whether a camera answers WS-Discovery there, and under
// which endpoint reference: both typed probes go by unicast to the address's
// port 3702 from a socket of their own, again each round while the address
// stays silent, and only ProbeMatches that come from that address and relate
// to these probes count. A camera's identity is its endpoint reference, not
// the address: after a move, another device at the new address is told apart
// from the camera that moved there. Blocks; run it off the window's thread,
// in the network namespace of the link to the camera.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

class DirectedProbe {
public:
    // The wait for answers after each round of probes.
    static constexpr std::chrono::milliseconds kRound{1000};

    struct Sighting {
        bool answered = false;               // a ProbeMatch to these probes came from the address
        std::vector<std::string> endpoints;  // the endpoint references it named, each once
        bool Names(std::string_view endpoint) const;
    };

    // Probes `address` (network byte order) until a match from it names
    // `endpoint` (with `endpoint` empty: until any match came), round after
    // round while it stays silent; no round starts after `deadline`, so one
    // round always goes out and the wait ends at most one round past it. A
    // match naming only other endpoints ends the wait at the end of its
    // round: the other typed probe may still be answered.
    static Sighting Ask(std::uint32_t address, std::string_view endpoint,
                        std::chrono::steady_clock::time_point deadline);
};

}  // namespace quorvex
