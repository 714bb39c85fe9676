#pragma once

// The UDP transport that both device protocols share: one socket per local
// interface, a search datagram sent on every socket, answers drained from all
// sockets and handed to the protocol's parser with the address of the
// interface that received them, and a queue of commands that a flush turns
// into datagrams on the socket of the interface that heard the device.

#include <cstdint>
#include <span>
#include <vector>

#include "core/device_records.h"

namespace quorvex {

// Receives every parsed entry. `entry` is valid only during the call; the
// receiver copies what it keeps. Runs on the thread that called
// `ReceiveAnswers`.
using DeviceCallback = void (*)(const DeviceEntry* entry, void* context, std::int32_t extra);

// Where a datagram goes: address in network byte order, port in host order.
struct Endpoint {
    std::uint32_t address;
    std::uint16_t port;
};

// What the search manager sees of a protocol object.
class IDeviceSearch {
public:
    // Registers the receiver of parsed entries; a later call replaces it.
    virtual void SetCallback(DeviceCallback callback, void* context, std::int32_t extra) = 0;
    // Opens one socket per interface record (only `ip` is read). Called once,
    // or again only after `CloseSockets`. A count of 0 opens nothing.
    virtual void OpenSockets(const LocalInterface* interfaces, std::int32_t count) = 0;
    // Closes every socket; harmless when nothing is open.
    virtual void CloseSockets() = 0;
    // Sends the protocol's search datagram once on every socket.
    virtual void SendSearch() = 0;
    // Waits at most `timeout_ms` for the first socket to become readable, then
    // drains every readable socket completely (non-blocking, in batches) and
    // parses each datagram. Returns the number of datagrams read.
    virtual std::int32_t ReceiveAnswers(int timeout_ms) = 0;
    // Queues a command for the device heard on `interface_address` (network
    // byte order). Thread-safe against `FlushCommands`. Nothing is sent here.
    virtual void QueueCommand(const DeviceInfo& device, const NetSettings& settings,
                              std::int32_t type, std::uint32_t interface_address) = 0;
    // Builds every queued command and sends it only on the socket of the
    // interface that heard its device; a command for an interface without a
    // socket is dropped. With no sockets open the queue is kept.
    virtual void FlushCommands() = 0;
    virtual ~IDeviceSearch() = default;
    // Appends the handles of the open sockets, so that an owner can wait on
    // several protocol objects (and a wake-up handle of its own) at once.
    virtual void CollectSockets(std::vector<int>& handles) const = 0;
};

}  // namespace quorvex
