#pragma once

// Storage for reading many datagrams from a socket in one system call. Every
// slot holds the largest IPv4 UDP payload (65,507 bytes), so no datagram is
// ever cut; the storage is allocated once and reused.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace quorvex {

class UdpSocket;

class ReceiveBatch {
public:
    static constexpr std::size_t kSlotSize = 65536;

    explicit ReceiveBatch(std::size_t slots);
    ~ReceiveBatch();
    ReceiveBatch(const ReceiveBatch&) = delete;
    ReceiveBatch& operator=(const ReceiveBatch&) = delete;

    std::size_t capacity() const;

    // Reads, without waiting, as many waiting datagrams as there are slots.
    // Returns how many were read; 0 when none was waiting or on error.
    std::size_t ReadFrom(const UdpSocket& socket);

    // The bytes of datagram `index` of the last read, exactly as long as it
    // was received. Valid until the next read.
    std::span<const std::uint8_t> Bytes(std::size_t index) const;
    // The address the datagram was sent to (network order): an interface
    // address, a broadcast or a multicast group; 0 when unknown.
    std::uint32_t Destination(std::size_t index) const;
    // The address the datagram came from (network order); 0 when unknown.
    std::uint32_t Source(std::size_t index) const;

private:
    struct Storage;
    std::unique_ptr<Storage> storage_;
};

}  // namespace quorvex
