#pragma once

// The thin stand-in for the platform's datagram sockets: one IPv4 UDP socket,
// closed when its owner goes. Addresses are 32-bit in network byte order,
// ports in host order.

#include <cstdint>
#include <span>
#include <string>

namespace quorvex {

class UdpSocket {
public:
    // What a socket for one interface needs besides its port.
    struct Options {
        bool reuse_address = false;
        bool broadcast = false;
        // Lets more sockets of the same user share the port (`SpreadOver`).
        bool reuse_port = false;
        // Bound to the interface address itself: hears only datagrams sent to
        // that address, and takes them from any socket on the same port that
        // is bound to the wildcard address.
        bool unicast_only = false;
    };

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Opens a socket that hears, on the interface holding `interface_address`,
    // datagrams sent to that address, to the limited broadcast address and to
    // the multicast groups it joins, all at `port` (0: a free port), and whose
    // datagrams leave through that interface with that source address. When
    // no interface holds the address the socket is bound to the address
    // itself. Returns an invalid socket when the socket cannot be created or
    // bound, so that nothing is ever sent from an unbound socket; `failure`
    // (when given) then tells which step failed and the system's error.
    struct Failure {
        bool bind = false;  // false: the socket itself could not be made
        int error = 0;
    };
    static UdpSocket OpenOnInterface(std::uint32_t interface_address, std::uint16_t port,
                                     Options options, Failure* failure = nullptr);

    // Opens a socket on a free port tied to no interface, for exchanges with
    // one host: its datagrams leave by the route to their destination and it
    // hears whatever is sent back to its port. Invalid when it cannot be made.
    static UdpSocket OpenForUnicast();

    // The name of the interface that holds `address`; empty when none does.
    static std::string InterfaceNameOf(std::uint32_t address);

    bool IsValid() const { return handle_ >= 0; }
    int Handle() const { return handle_; }
    // The local port, 0 when the socket is invalid.
    std::uint16_t LocalPort() const;

    // Multicast on the socket's interface: joins `group` (unless `join` is
    // false), sends through the interface, never loops its own datagrams
    // back, gives them `ttl`. False when a step failed; `error` (when given)
    // then holds the system's error of the first failed step.
    bool JoinMulticast(std::uint32_t group, std::uint32_t interface_address, int ttl,
                       int* error = nullptr, bool join = true);

    // Sends one datagram; false when the socket is invalid or the send fails.
    bool SendTo(std::span<const std::uint8_t> bytes, std::uint32_t address,
                std::uint16_t port) const;

    // Datagrams the kernel dropped because the receive queue was full; 0 when
    // the kernel does not say.
    std::uint64_t Drops() const;

    // The room of the receive queue in bytes, as the kernel granted it; 0 when
    // the socket is invalid.
    int ReceiveBufferBytes() const;

    // For sockets that share an address and port (`reuse_port`): spreads the
    // datagrams that arrive there over the first `members` sockets that were
    // bound. The socket is chosen from the source address and the datagram's
    // leading bytes, so a device's answers, which agree in both, always meet
    // in one socket and are read in the order they came. False when the
    // kernel refused; it then spreads by source address and port alone.
    bool SpreadOver(std::uint32_t members);

    void Close();

private:
    explicit UdpSocket(int handle) : handle_(handle) {}

    int handle_ = -1;
    // Set when bound to a device rather than to the address: each send then
    // names the interface address as its source.
    std::uint32_t source_address_ = 0;
};

}  // namespace quorvex
