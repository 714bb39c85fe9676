#pragma once

// Simulated WS-Discovery cameras: each device that speaks WS-Discovery answers
// a probe it accepts once per MessageID (the copies of a probe repeat it),
// back to the probe's source or to the group at 3702 in its reply mode;
// optionally every camera announces itself with Hello once the first probe
// was heard (so that a PC is listening) and leaves with Bye a while after,
// and every probe also draws malformed answers.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/responder.h"
#include "sim/sim_device.h"

namespace quorvex::sim {

struct WsdBehaviour {
    bool hello = false;      // Hello on every interface after the first probe
    int bye_after_ms = -1;   // Bye this long after the first probe; -1 never
    bool malformed = false;  // each probe also draws the malformed answers
};

class WsdResponder : public Responder {
public:
    WsdResponder(std::vector<SimDevice> devices, WsdBehaviour behaviour);

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;
    void OnTick(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                std::vector<OutgoingDatagram>& out) override;
    Clock::time_point NextTick(Clock::time_point now) const override;

private:
    void Announce(Clock::time_point now, const std::vector<ServedInterface>& interfaces, bool bye,
                  std::vector<OutgoingDatagram>& out);

    std::vector<SimDevice> devices_;
    WsdBehaviour behaviour_;
    std::deque<std::string> seen_;  // recent MessageIDs, per interface index
    std::uint32_t sequence_ = 1;
    Clock::time_point first_probe_{};  // epoch until a probe was heard
    bool hello_sent_ = false;
    bool bye_sent_ = false;
};

}  // namespace quorvex::sim
