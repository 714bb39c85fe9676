#pragma once

// The UDP transport that both device protocols share: one socket per local
// interface, a search datagram sent on every socket, answers drained from all
// sockets and handed to the protocol's parser with the address of the
// interface that received them, and a queue of commands that a flush turns
// into datagrams on the socket of the interface that heard the device.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "core/receive_batch.h"
#include "core/socket_poll.h"
#include "core/socket_status.h"
#include "core/udp_socket.h"

namespace quorvex {

// Receives every parsed entry. `entry` is valid only during the call; the
// receiver copies what it keeps. Runs on the thread that called
// `ReceiveAnswers`.
using DeviceCallback = void (*)(const DeviceEntry* entry, void* context, std::int32_t extra);
// The same for a protocol that says more of a device than an entry holds
// (WS-Discovery): it delivers through this instead.
using WsdDeviceCallback = void (*)(const WsdDevice* device, void* context, std::int32_t extra);

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
    // Registers the receiver of WS-Discovery devices; ignored by protocols
    // that deliver only entries.
    virtual void SetWsdCallback(WsdDeviceCallback callback, void* context, std::int32_t extra) {
        (void)callback;
        (void)context;
        (void)extra;
    }
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
    // Datagrams the kernel dropped because a receive queue was full, summed
    // over every socket this object has opened; 0 for a transport that cannot
    // tell. Same thread as `ReceiveAnswers`.
    virtual std::uint64_t DroppedDatagrams() const { return 0; }
    // Appends one status per listening place opened by the last
    // `OpenSockets` (`protocol` left 0 for the owner to fill); nothing for a
    // transport that opens no sockets. Same thread as `ReceiveAnswers`.
    virtual void CollectStatus(std::vector<SocketStatus>& out) const { (void)out; }
    // Faults and refused datagrams since construction (`protocol` left 0);
    // zero for a protocol that has neither. Thread-safe.
    virtual AnswerRejections Rejections() const { return {}; }
    // Commands taken off the queue by `FlushCommands` since construction,
    // whether they went out or were dropped (no socket for their interface,
    // a value that cannot go on the wire). Thread-safe.
    virtual std::uint64_t FlushedCommands() const { return 0; }
};

// The transport itself. A protocol supplies the port, optionally its own
// socket set-up, and three hooks: build the search datagram, build a command
// datagram, parse an answer. Every operation but `QueueCommand` runs on one
// thread (the search worker); `QueueCommand` may run on any thread.
class BaseSearch : public IDeviceSearch {
public:
    // Room a hook gets for a search datagram and for a command datagram.
    static constexpr std::size_t kSearchBufferSize = 260;
    static constexpr std::size_t kCommandBufferSize = 1024;
    // Datagrams read per system call.
    static constexpr std::size_t kBatchSize = 32;
    // A safety bound on one drain, so that a socket flooded faster than it can
    // be parsed cannot hold the worker forever; far above what a receive
    // queue holds.
    static constexpr std::int32_t kMaxDrainPerSocket = 65536;
    // The room for waiting answers that each interface should have per
    // protocol: a whole burst of 20,000 answers, so that a repeated search
    // whose answers arrive faster than a slow (or busy) worker reads them
    // still finds room for all of them instead of losing the same tail of
    // the burst every time. Taken from the system only while answers wait.
    // A socket the system grants less gets
    // helper sockets on its port that share the answers sent to the
    // interface's address, at most `kMaxHelperSockets` of them.
    static constexpr int kAnswerRoomBytes = 32 * 1024 * 1024;
    static constexpr int kMaxHelperSockets = 16;

    BaseSearch(const BaseSearch&) = delete;
    BaseSearch& operator=(const BaseSearch&) = delete;

    void SetCallback(DeviceCallback callback, void* context, std::int32_t extra) override;
    // Binary protocol set-up: per interface a socket with broadcast enabled
    // on a free local port. Opening again first closes what is open.
    void OpenSockets(const LocalInterface* interfaces, std::int32_t count) override;
    void CloseSockets() override;
    void SendSearch() override;
    std::int32_t ReceiveAnswers(int timeout_ms) override;
    void QueueCommand(const DeviceInfo& device, const NetSettings& settings, std::int32_t type,
                      std::uint32_t interface_address) override;
    void FlushCommands() override;
    ~BaseSearch() override;
    void CollectSockets(std::vector<int>& handles) const override;

    std::uint64_t DroppedDatagrams() const override;
    void CollectStatus(std::vector<SocketStatus>& out) const override;
    std::uint64_t FlushedCommands() const override { return flushed_.load(); }
    // Commands that left as datagrams since construction. Thread-safe.
    std::uint64_t SentCommands() const { return sent_.load(); }

    // The room for waiting answers that each interface should get per
    // protocol from the next `OpenSockets` on (`kAnswerRoomBytes` unless set).
    void SetAnswerRoom(int bytes) { answer_room_ = bytes; }

    // Commands waiting for the next flush.
    std::size_t QueuedCommands() const;

protected:
    explicit BaseSearch(std::uint16_t port);

    // Writes the search datagram into `buffer` (kSearchBufferSize bytes, zero
    // filled), its length into `length` and where it goes into `destination`.
    // False: nothing is sent.
    virtual bool BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                                    Endpoint& destination) = 0;
    // Likewise for one queued command (kCommandBufferSize bytes). False: the
    // command is dropped.
    virtual bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length,
                              Endpoint& destination, const DeviceInfo& device,
                              const NetSettings& settings, std::int32_t type) = 0;
    // Parses one datagram, exactly as long as it was received, that arrived
    // on the interface `interface_address`; delivers at most what it finds
    // through `DeliverDevice`.
    virtual void ParseAnswer(std::span<const std::uint8_t> bytes,
                             std::uint32_t interface_address) = 0;
    // Hands a parsed entry to the registered callback; nothing when `entry`
    // is null or no callback is set.
    void DeliverDevice(const DeviceEntry* entry);
    // During `ParseAnswer`: the sender of the datagram being parsed (network
    // byte order), 0 when unknown.
    std::uint32_t AnswerSource() const { return answer_source_; }
    // Sends `bytes` to `destination` on the own socket of every interface
    // (not on helpers or listeners); the number of sockets that sent it.
    std::size_t SendOnEveryInterface(std::span<const std::uint8_t> bytes,
                                     const Endpoint& destination);

    // What a socket added by a protocol's own `OpenSockets` is for, and how
    // opening it went.
    struct SocketRole {
        // Sends searches and commands, and hears the answers sent back to its
        // port. False: a shared, well-known port that only hears answers sent
        // to a group or by broadcast (several programs may hold it at once).
        bool sends = true;
        std::string interface_name;
        std::uint16_t port = 0;  // the port asked for (0: a free one)
        ListenState state = ListenState::kListening;
        int error = 0;
    };
    // For a protocol's own `OpenSockets`: appends a socket of an interface.
    // A sending socket must have been opened with `reuse_port` so that
    // helpers (opened with `options` on its port, see `kAnswerRoomBytes`) can
    // join it. An invalid socket keeps its place (and its status) and is
    // skipped later.
    void AddSocket(UdpSocket socket, std::uint32_t interface_address, UdpSocket::Options options,
                   SocketRole role);
    // Opens what `AddSocket` needs to report a failure too.
    SocketRole RoleFor(const LocalInterface& record, std::uint16_t port, bool sends) const;
    // A multicast group a socket sends to with `ttl`, and joins unless `join`
    // is false.
    struct GroupJoin {
        std::uint32_t group = 0;  // network byte order
        int ttl = 1;
        bool join = true;
    };
    // Opens a socket on `record`'s address at `port` (0: a free one) with
    // `options`, sets it up for `multicast` when given, and appends it with
    // `AddSocket`. A failure to open, bind or join is kept in the socket's
    // status, never fatal.
    void OpenAndAddSocket(const LocalInterface& record, std::uint16_t port,
                          UdpSocket::Options options, bool sends,
                          std::optional<GroupJoin> multicast = std::nullopt);
    // The interface address of every record (0 when its text is no address).
    static std::uint32_t InterfaceAddress(const LocalInterface& record);

    std::uint16_t port_;

private:
    struct SocketEntry {
        UdpSocket socket;
        std::uint32_t interface_address;
        bool sends;  // the interface's own socket; helpers only receive
        bool helper;
        SocketRole role;
        std::uint16_t local_port;
    };
    void MarkIfGone(const SocketEntry& entry, int error);
    struct QueuedCommand {
        DeviceCommand command;
        std::uint32_t interface_address;
    };

    // The socket a datagram belongs to: the interface it was addressed to
    // when that is one of ours, else the interface of the socket that read it.
    std::uint32_t AnswerInterface(std::uint32_t destination, const SocketEntry& entry) const;
    std::int32_t Drain(const SocketEntry& entry);

    std::vector<SocketEntry> sockets_;
    // Sending sockets whose interface went away under them (index into
    // `sockets_`); reported until the sockets are opened again.
    std::vector<std::size_t> gone_;
    DeviceCallback callback_ = nullptr;
    void* callback_context_ = nullptr;
    std::int32_t callback_extra_ = 0;

    std::atomic<std::uint64_t> flushed_{0};
    std::atomic<std::uint64_t> sent_{0};
    mutable std::mutex queue_lock_;
    std::vector<QueuedCommand> command_queue_;

    SocketPoll poll_;
    std::unique_ptr<ReceiveBatch> batch_;
    std::uint64_t drops_of_closed_sockets_ = 0;
    std::uint32_t answer_source_ = 0;
    int answer_room_ = kAnswerRoomBytes;
};

}  // namespace quorvex
