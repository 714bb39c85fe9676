#pragma once

// What one protocol object knows about each of its listening places: whether
// it hears answers there and, when not, why. A plain value, copied out to the
// search manager and from there to the front-ends, which put it into words.

#include <cstdint>
#include <string>

namespace quorvex {

enum class ListenState : std::uint8_t {
    kListening,      // open, bound and (where the protocol needs it) in its group
    kSocketFailed,   // the system would not create a socket (`error` says why)
    kBindFailed,     // the port could not be bound: another program holds it
    kJoinFailed,     // bound, but the multicast group could not be joined
    kInterfaceGone,  // the interface or its address vanished while searching
};

// One listening place of one protocol on one interface address.
struct SocketStatus {
    std::int32_t protocol = 0;            // kProtocolBinary, kProtocolText, ...
    std::string interface_name;           // kernel name ("eth0"); empty when unknown
    std::uint32_t interface_address = 0;  // network byte order
    std::uint16_t port = 0;               // the local port, or the one that could not be bound
    // What the place is for: the socket that sends searches and hears answers
    // sent back to it ("answers"), or a shared port that hears answers sent
    // to a group or broadcast ("group answers").
    bool shared_port = false;
    ListenState state = ListenState::kListening;
    int error = 0;            // errno of the failed call; 0 when listening
    std::uint64_t drops = 0;  // answers the system dropped here

    bool operator==(const SocketStatus&) const = default;
};

// Datagrams a protocol read but could not use, counted since the protocol
// object was made. Plain value, like `SocketStatus`.
struct AnswerRejections {
    std::int32_t protocol = 0;  // filled by the search manager
    // A device answered one of our searches with an error message instead of
    // its details: it exists, but the list cannot show it.
    std::uint64_t faults = 0;
    // Datagrams refused by the parser before anything was taken from them:
    // malformed, oversized, carrying a DOCTYPE or entity declarations, too
    // deeply nested. Anyone on the link can send these.
    std::uint64_t refused = 0;

    bool operator==(const AnswerRejections&) const = default;
};

// Short English words for a state: "listening", "port in use", ...
const char* ListenStateText(ListenState state);

}  // namespace quorvex
