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
    // Every answer leaves from the simulator's one address, so a PC can tell
    // the cameras apart only by the addresses their XAddrs name. A
    // WS-Discovery-only camera whose own address lies outside the subnet of
    // the served interface that heard the probe (in `interfaces`, by index)
    // therefore names an address of its own in that subnet instead, hosts
    // taken from the top down in the cameras' order, passing over the
    // interface's address and the prober's (distinct while the subnet has
    // room for them all).
    WsdResponder(std::vector<SimDevice> devices, WsdBehaviour behaviour,
                 std::vector<ServedInterface> interfaces = {});

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;
    void OnTick(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                std::vector<OutgoingDatagram>& out) override;
    Clock::time_point NextTick(Clock::time_point now) const override;

private:
    void Announce(Clock::time_point now, const std::vector<ServedInterface>& interfaces, bool bye,
                  std::vector<OutgoingDatagram>& out);

    // The address device `index` names on `interface`; empty: its own.
    std::string AddressOn(std::size_t index, std::size_t interface, std::uint32_t prober) const;

    std::vector<SimDevice> devices_;
    std::vector<std::uint32_t> own_addresses_;  // network byte order, per device
    WsdBehaviour behaviour_;
    std::vector<ServedInterface> interfaces_;
    std::deque<std::string> seen_;  // recent MessageIDs, per interface index
    std::uint32_t sequence_ = 1;
    Clock::time_point first_probe_{};  // epoch until a probe was heard
    std::uint32_t first_prober_ = 0;   // who sent it, network byte order
    bool hello_sent_ = false;
    bool bye_sent_ = false;
};

}  // namespace quorvex::sim
