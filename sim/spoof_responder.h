#pragma once

// Answers that impersonate the simulated cameras: for every probe, each
// camera of the probed protocol is answered for a second time, just after its
// own answer and in the same reply mode, with the same MAC but other contents
// (`Spoofed`). A PC that keeps one entry per MAC sees that entry change twice
// per search.

#include <vector>

#include "sim/responder.h"
#include "sim/sim_device.h"

namespace quorvex::sim {

class SpoofResponder : public Responder {
public:
    // `devices`: the cameras to impersonate, as they are configured at start
    // (commands that later change a camera do not reach its impostor).
    explicit SpoofResponder(const std::vector<SimDevice>& devices);

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;

private:
    std::vector<SimDevice> impostors_;
};

}  // namespace quorvex::sim
