#include "sim/flood_pace.h"

#include <algorithm>
#include <chrono>

namespace quorvex::sim {

FloodPace::FloodPace(std::uint64_t total, std::uint64_t rate) : total_(total), rate_(rate) {}

Clock::duration FloodPace::Elapsed(Clock::time_point now) const {
    return start_ && now > *start_ ? now - *start_ : Clock::duration::zero();
}

std::uint64_t FloodPace::Allowed(Clock::time_point now) const {
    if (rate_ == 0) return total_;
    // One at once, then one every 1/rate seconds. Computed in floating point:
    // rate times nanoseconds overflows 64 bits within minutes.
    const double seconds = std::chrono::duration<double>(Elapsed(now)).count();
    const double allowed = 1.0 + static_cast<double>(rate_) * seconds;
    return allowed >= static_cast<double>(total_) ? total_ : static_cast<std::uint64_t>(allowed);
}

std::size_t FloodPace::Take(Clock::time_point now) {
    if (Done()) return 0;
    if (!start_) start_ = now;
    const std::uint64_t allowed = Allowed(now);
    if (allowed <= sent_) return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(allowed - sent_, kChunk));
    sent_ += n;
    return n;
}

Clock::time_point FloodPace::NextDue(Clock::time_point now) const {
    if (!start_ || Done()) return Clock::time_point::max();
    if (rate_ == 0 || Allowed(now) > sent_) return now;
    const auto offset =
        std::chrono::duration<double>(static_cast<double>(sent_) / static_cast<double>(rate_));
    return *start_ + std::chrono::ceil<Clock::duration>(offset);
}

}  // namespace quorvex::sim
