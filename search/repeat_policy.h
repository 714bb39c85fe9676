#pragma once

// When a protocol searches again because the system dropped answers to its
// last search. Pure: no sockets and no clock; the caller says what it counted
// and when, and sends what the policy asks for.
//
// Answers lost to an overflow come back with a repeated search. A repeat
// waits until the sockets of every protocol have gone quiet, so that its
// burst meets empty queues rather than the tail of the last one (or another
// protocol's burst), and only one protocol repeats at a time. Repeats go on
// while they still bring devices back and drops are still counted; two
// repeats in a row that brought nobody new end them, as does the bound.
// Ending with drops still counted means answers were lost.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

namespace quorvex {

class RepeatPolicy {
public:
    using Clock = std::chrono::steady_clock;
    // Never more repeats than this per search and protocol.
    static constexpr int kMaxRepeats = 12;
    // How long every protocol's sockets must have been quiet before a repeat.
    static constexpr std::chrono::milliseconds kQuiet{150};

    // What the caller counted for one protocol: drops since construction of
    // its sockets and devices it added since construction.
    struct Counts {
        std::uint64_t drops = 0;
        std::uint64_t found = 0;
    };

    // `protocol` searched (a new search, not a repeat) at `now`.
    void Searched(std::int32_t protocol, Counts counts, Clock::time_point now);
    // Answers of `protocol` were read at `now`.
    void Heard(std::int32_t protocol, Clock::time_point now);
    // The protocol to repeat its search now, if any. The caller sends it and
    // then reports the drops counted after sending with `Repeated`.
    // `counts` holds every protocol's counts as they stand at `now`.
    std::optional<std::int32_t> Next(const std::map<std::int32_t, Counts>& counts,
                                     Clock::time_point now);
    void Repeated(std::int32_t protocol, std::uint64_t drops_after, Clock::time_point now);
    // True while a protocol had drops since its last search and repeats left.
    bool Pending() const { return pending_; }
    // True when a protocol ended its repeats with drops still counted.
    bool Lost() const { return lost_; }
    // Forgets every protocol (sockets closed).
    void Clear();

private:
    struct State {
        std::uint64_t drops = 0;  // drops counted when it last searched
        std::uint64_t found = 0;  // devices it had added by then
        std::optional<Clock::time_point> sent;
        Clock::time_point last_read{};
        int left = 0;
        int barren = 0;  // repeats in a row that brought nobody new
    };
    std::map<std::int32_t, State> states_;
    bool pending_ = false;
    bool lost_ = false;
};

}  // namespace quorvex
