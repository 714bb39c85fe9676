#pragma once

// Spreads a fixed number of datagrams over time: at a given rate, or as fast
// as the simulator's loop turns. Either way they leave in chunks small enough
// that the loop still hears and answers probes between two chunks, so the
// simulated cameras keep answering during a flood.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sim/responder.h"

namespace quorvex::sim {

class FloodPace {
public:
    // Datagrams handed out by one `Take`, at most.
    static constexpr std::size_t kChunk = 1024;

    // `rate` datagrams per second; 0 = no limit.
    FloodPace(std::uint64_t total, std::uint64_t rate);

    // How many datagrams to send at `now`, counted as sent. The first call
    // starts the clock and hands out at least one.
    std::size_t Take(Clock::time_point now);
    // When `Take` will hand out more: `now` while there are datagrams owed or
    // no rate, the due time of the next one otherwise; `time_point::max()`
    // before the first `Take` and once all are sent.
    Clock::time_point NextDue(Clock::time_point now) const;

    bool Started() const { return start_.has_value(); }
    bool Done() const { return sent_ >= total_; }
    std::uint64_t sent() const { return sent_; }
    std::uint64_t total() const { return total_; }
    // Since the first `Take`; zero before it.
    Clock::duration Elapsed(Clock::time_point now) const;

private:
    std::uint64_t Allowed(Clock::time_point now) const;

    std::uint64_t total_;
    std::uint64_t rate_;
    std::uint64_t sent_ = 0;
    std::optional<Clock::time_point> start_;
};

}  // namespace quorvex::sim
