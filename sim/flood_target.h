#pragma once

// The PC that the hostile modes aim at: the first one heard probing. Its
// binary probe tells its address and the port its binary socket listens on
// (a free port of its own choosing); its text search tells the client id that
// every text answer must echo. Both must come from the same address on the
// same interface before the target counts as known.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/responder.h"

namespace quorvex::sim {

class FloodTarget {
public:
    // Learns from a binary probe or a text search; everything else, and
    // probes of a second PC, change nothing.
    void Learn(const ReceivedDatagram& datagram);
    bool Known() const;

    const std::string& client_id() const { return client_id_; }
    std::size_t interface_index() const { return binary_.interface_index; }
    std::uint32_t address() const { return binary_.address; }
    std::uint16_t binary_port() const { return binary_.port; }

    // A datagram for the PC's socket of `kind`, sent from the simulator's
    // socket of the same kind: to the PC's own address and port, or with
    // `group` to 255.255.255.255 at the binary probe's port (binary) or to
    // 239.255.255.250:12109 (text). Only when `Known`.
    OutgoingDatagram Aim(SocketKind kind, bool group, std::vector<std::uint8_t> bytes,
                         Clock::time_point due) const;

private:
    struct Heard {
        bool known = false;
        std::size_t interface_index = 0;
        std::uint32_t address = 0;  // network byte order
        std::uint16_t port = 0;
    };
    static bool SamePc(const Heard& a, const ReceivedDatagram& d);

    Heard binary_;
    Heard text_;
    std::string client_id_;
};

}  // namespace quorvex::sim
