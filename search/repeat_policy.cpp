#include "search/repeat_policy.h"

namespace quorvex {

void RepeatPolicy::Searched(std::int32_t protocol, Counts counts, Clock::time_point now) {
    State& state = states_[protocol];
    state.drops = counts.drops;
    state.found = counts.found;
    state.sent = now;
    state.last_read = now;
    state.left = kMaxRepeats;
    state.barren = 0;
    pending_ = false;
    lost_ = false;
}

void RepeatPolicy::Heard(std::int32_t protocol, Clock::time_point now) {
    states_[protocol].last_read = now;
}

std::optional<std::int32_t> RepeatPolicy::Next(const std::map<std::int32_t, Counts>& counts,
                                               Clock::time_point now) {
    bool pending = false;
    bool lost = false;
    for (const auto& [id, count] : counts) {
        const State& state = states_[id];
        const bool dropped = count.drops > state.drops;
        if (state.left > 0 && dropped) pending = true;
        if (state.left <= 0 && dropped && state.sent) lost = true;
    }
    pending_ = pending;
    lost_ = lost;
    if (!pending) return std::nullopt;
    for (const auto& [id, state] : states_) {
        if (now - state.last_read < kQuiet) return std::nullopt;
    }
    for (const auto& [id, count] : counts) {
        State& state = states_[id];
        if (state.left <= 0 || count.drops <= state.drops) continue;
        const bool first_repeat = state.left == kMaxRepeats;
        if (!first_repeat && count.found == state.found) {
            // On a loaded machine one repeat may lose the same answers again;
            // a second barren one in a row means they do not come back.
            if (++state.barren >= 2) {
                state.left = 0;
                continue;
            }
        } else {
            state.barren = 0;
        }
        state.found = count.found;
        return id;
    }
    return std::nullopt;
}

void RepeatPolicy::Repeated(std::int32_t protocol, std::uint64_t drops_after,
                            Clock::time_point now) {
    State& state = states_[protocol];
    state.drops = drops_after;
    state.sent = now;
    state.last_read = now;
    --state.left;
}

void RepeatPolicy::Clear() {
    states_.clear();
    pending_ = false;
    lost_ = false;
}

}  // namespace quorvex
