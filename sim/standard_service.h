#pragma once

// The simulator's standard cameras on the network: each listens for HTTP at
// an address of its own (added to the served interface whose subnet holds
// it, else the first), answers WS-Discovery probes from that address with
// XAddrs naming its device service, and, when it moves (new settings, a
// reboot), takes its address and listener to the new place and says Bye from
// the old and Hello from the new. All cameras share the simulator's one poll
// loop: listeners and connections are stream sockets of this responder.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/datagram_log.h"
#include "sim/local_addresses.h"
#include "sim/responder.h"
#include "sim/standard_camera.h"

namespace quorvex::sim {

class StandardService : public Responder {
public:
    // Keeps the devices with `standard.on`. `log` (may be null) gets one
    // line per call; `errors` (may be null) a line per failed move.
    StandardService(std::vector<SimDevice> devices, std::vector<ServedInterface> interfaces,
                    DatagramLog* log, std::ostream* errors);
    ~StandardService() override;

    // Adds the cameras' addresses and opens their listeners; false with
    // `error` for the first that fails.
    bool Open(std::string& error);
    bool empty() const { return cameras_.empty(); }

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;
    void OnTick(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                std::vector<OutgoingDatagram>& out) override;
    Clock::time_point NextTick(Clock::time_point now) const override;
    void AppendPollFds(std::vector<pollfd>& fds) override;
    void OnPolled(std::span<const pollfd> fds, Clock::time_point now,
                  std::vector<OutgoingDatagram>& out) override;

private:
    struct Camera;
    struct Connection;

    void Accept(std::size_t camera, Clock::time_point now);
    // False when the connection is done and is to be closed.
    bool Serve(Connection& c, short revents, Clock::time_point now);
    // Answers the request at the start of `c.in` once it is whole.
    bool Process(Connection& c, Clock::time_point now);
    void Move(std::size_t camera, Clock::time_point now, std::vector<OutgoingDatagram>& out);
    void Announce(const Camera& camera, bool bye, Clock::time_point now,
                  std::vector<OutgoingDatagram>& out);

    std::vector<ServedInterface> interfaces_;
    DatagramLog* log_;
    std::ostream* errors_;
    LocalAddresses addresses_;
    std::vector<std::unique_ptr<Camera>> cameras_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<int> polled_;  // per appended pollfd: camera index (listener) or -1 - connection
    // Addresses left behind, removed a turn later so that the Bye sent from
    // them leaves first.
    std::vector<std::pair<std::string, Clock::time_point>> retired_;
    std::deque<std::string> seen_;
    std::uint32_t sequence_ = 1;
};

}  // namespace quorvex::sim
