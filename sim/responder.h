#pragma once

// What the simulator's socket loop hands to the behaviours it hosts, and what
// they hand back. The simulated cameras are one `Responder`; other behaviours
// (hostile traffic, floods) are others, each in a file of its own, so that a
// new mode is one more class and one more option.

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvex::sim {

using Clock = std::chrono::steady_clock;

// Which of an interface's sockets: the binary protocol's (port 8600), the
// text protocol's (port 12109, in the multicast group) or WS-Discovery's
// (port 3702, in the same group; only when WS-Discovery devices are served).
enum class SocketKind { kBinary, kText, kWsd };

// One interface the simulator serves.
struct ServedInterface {
    std::string name;
    std::uint32_t address = 0;  // network byte order
    std::uint32_t mask = 0;     // network byte order; 0 when unknown
};

struct ReceivedDatagram {
    std::size_t interface_index = 0;  // into the served interfaces
    SocketKind socket = SocketKind::kBinary;
    std::uint32_t source_address = 0;  // network byte order
    std::uint16_t source_port = 0;
    // Where it was sent (network byte order): a group, a broadcast or one of
    // the host's addresses; 0 when unknown.
    std::uint32_t destination_address = 0;
    std::span<const std::uint8_t> bytes;
};

struct OutgoingDatagram {
    std::size_t interface_index = 0;
    SocketKind socket = SocketKind::kBinary;
    std::uint32_t address = 0;  // network byte order
    std::uint16_t port = 0;
    std::vector<std::uint8_t> bytes;
    Clock::time_point due;  // not sent before this
    // The source address (network byte order), for a camera that answers
    // from an address of its own; 0: the interface's.
    std::uint32_t source = 0;
};

class Responder {
public:
    virtual ~Responder() = default;
    // Called for every datagram received; appends what to send in reply.
    virtual void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                            std::vector<OutgoingDatagram>& out) = 0;
    // Called on every turn of the loop (at least every 100 ms), for modes that
    // send on their own.
    virtual void OnTick(Clock::time_point /*now*/,
                        const std::vector<ServedInterface>& /*interfaces*/,
                        std::vector<OutgoingDatagram>& /*out*/) {}
    // When the loop should call `OnTick` again at the latest, for modes that
    // send at a pace of their own; the loop turns at least every 100 ms
    // whatever this says.
    virtual Clock::time_point NextTick(Clock::time_point /*now*/) const {
        return Clock::time_point::max();
    }
    // Stream sockets the responder serves: appended on every turn, polled
    // with the datagram sockets, and handed back to `OnPolled` with their
    // `revents` in the same order.
    virtual void AppendPollFds(std::vector<pollfd>& /*fds*/) {}
    virtual void OnPolled(std::span<const pollfd> /*fds*/, Clock::time_point /*now*/,
                          std::vector<OutgoingDatagram>& /*out*/) {}
};

}  // namespace quorvex::sim
