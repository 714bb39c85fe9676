#pragma once

// The simulator's socket loop. On each served interface it holds two sockets,
// bound to that interface alone: one at port 8600 that hears binary probes
// and commands (unicast and broadcast), one at port 12109 in the group
// 239.255.255.250 for the text protocol. Every datagram is logged, handed to
// the responders, and their replies go out from the same interface when due,
// in batches, so thousands of answers leave as one burst.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/datagram_log.h"
#include "sim/responder.h"

namespace quorvex::sim {

class DeviceSimulator {
public:
    enum class OpenResult { kOk, kUnknownInterface, kNoInterface, kSocketFailed };

    DeviceSimulator();
    ~DeviceSimulator();
    DeviceSimulator(const DeviceSimulator&) = delete;
    DeviceSimulator& operator=(const DeviceSimulator&) = delete;

    // Binds the sockets on `only` (every up, non-loopback IPv4 interface of
    // the namespace when empty), with a third one at port 3702 in the group
    // when `wsd`. `error` says what failed.
    OpenResult Open(const std::vector<std::string>& only, std::string& error, bool wsd = false);

    void AddResponder(std::unique_ptr<Responder> responder);
    DatagramLog& log() { return log_; }
    const std::vector<ServedInterface>& interfaces() const { return interfaces_; }

    // Serves until `stop` becomes true (checked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

private:
    struct Socket;
    struct Pending;

    void Receive(std::size_t socket_index);
    void SendDue(Clock::time_point now);
    void Schedule(std::vector<OutgoingDatagram>& out);
    int FdFor(const OutgoingDatagram& o) const;

    std::vector<ServedInterface> interfaces_;
    std::vector<Socket> sockets_;  // per interface: binary, text, maybe WS-Discovery
    std::vector<std::unique_ptr<Responder>> responders_;
    std::vector<OutgoingDatagram> pending_;  // a min-heap by `due`, then order
    DatagramLog log_;
    std::vector<std::uint8_t> receive_buffer_;
};

}  // namespace quorvex::sim
