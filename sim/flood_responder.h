#pragma once

// Hostile traffic on its own schedule: once the PC has probed on both ports,
// a fixed number of datagrams of one kind (`FloodKind`) at a bounded rate or
// as fast as the loop turns, to the PC's address or to the protocol's group
// address. The simulated cameras keep answering meanwhile: the flood leaves
// in chunks between which the loop hears probes. When the last datagram has
// gone, one line on standard error tells how many and how fast.

#include <cstdint>
#include <ostream>
#include <vector>

#include "sim/flood_datagrams.h"
#include "sim/flood_pace.h"
#include "sim/flood_settings.h"
#include "sim/flood_target.h"
#include "sim/responder.h"

namespace quorvex::sim {

class FloodResponder : public Responder {
public:
    // `report` receives the closing line (nothing when null).
    FloodResponder(FloodKind kind, std::uint64_t count, std::uint64_t rate, FloodAim aim,
                   std::uint64_t seed, std::ostream* report);

    void OnDatagram(const ReceivedDatagram& datagram, Clock::time_point now,
                    std::vector<OutgoingDatagram>& out) override;
    void OnTick(Clock::time_point now, const std::vector<ServedInterface>& interfaces,
                std::vector<OutgoingDatagram>& out) override;
    Clock::time_point NextTick(Clock::time_point now) const override;

    std::uint64_t sent() const { return pace_.sent(); }
    bool done() const { return pace_.Done(); }

private:
    // The next datagram of `kind` and the PC socket it is meant for.
    std::vector<std::uint8_t> Make(FloodKind kind, SocketKind& socket);
    SocketKind AnySocket();
    bool Group();
    // The whole decoys and near misses, made once the client id is known.
    void Prepare();

    struct Prepared {
        std::vector<std::uint8_t> bytes;
        bool text = false;
    };

    FloodKind kind_;
    FloodAim aim_;
    FloodPace pace_;
    FloodTarget target_;
    FloodRandom random_;
    std::uint64_t made_ = 0;
    std::vector<Prepared> decoys_;
    std::vector<Prepared> near_misses_;
    std::ostream* report_;
    bool reported_ = false;
};

}  // namespace quorvex::sim
