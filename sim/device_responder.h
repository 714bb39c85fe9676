#pragma once

// The simulated cameras: every device answers each probe of its protocol on
// the interface that heard it, in its reply mode, after its own reply delay
// and a random delay within the spread; commands are applied to the device they name, so a changed
// configuration shows in the next answer.

#include <cstdint>
#include <random>
#include <vector>

#include "sim/responder.h"
#include "sim/sim_device.h"

namespace quorvex::sim {

class DeviceResponder : public Responder {
public:
    // `spread_ms` 0 sends every answer at once.
    DeviceResponder(std::vector<SimDevice> devices, int spread_ms, std::uint64_t seed);

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;

    const std::vector<SimDevice>& devices() const { return devices_; }

private:
    Clock::time_point Due(const SimDevice& device, Clock::time_point now);

    std::vector<SimDevice> devices_;
    int spread_ms_;
    std::mt19937_64 random_;
};

}  // namespace quorvex::sim
