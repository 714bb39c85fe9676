#pragma once

// The reply of a hostile standard camera that cannot go out in one write: a
// body too long to hold, one that never ends, one that crawls. The stream
// makes it piece by piece as the connection takes it, so that such a
// connection holds one piece at a time and shares the simulator's one poll
// loop with every other camera instead of stalling it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvex::sim {

// How a reply leaves the camera.
enum class HttpDelivery {
    kWhole,    // at once, as serialized
    kHuge,     // 200, chunked, kHugeBodyBytes of SOAP-looking body, then it ends
    kEndless,  // 200, chunked, a piece every kEndlessEvery for ever
    kTrickle,  // the reply given, its head at once and its body a byte a second
};

class HostileStream {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kHugeBodyBytes = 100 * 1024 * 1024;
    static constexpr std::size_t kPieceBytes = 64 * 1024;
    static constexpr std::size_t kEndlessPieceBytes = 1024;
    static constexpr auto kEndlessEvery = std::chrono::milliseconds(100);
    static constexpr auto kTrickleEvery = std::chrono::seconds(1);

    // `reply` is the whole serialized reply for kTrickle, unused otherwise.
    HostileStream(HttpDelivery delivery, std::string reply, Clock::time_point now);

    // The next piece to send once `Due()` has come; empty when it has not, or
    // when the stream is over.
    std::string Next(Clock::time_point now);
    Clock::time_point Due() const { return due_; }
    // Every byte of a finite reply has been handed out.
    bool Finished() const;

private:
    HttpDelivery delivery_;
    std::string reply_;     // kTrickle: what is still to go
    std::size_t sent_ = 0;  // kHuge, kEndless: body bytes handed out
    bool started_ = false;
    bool ended_ = false;
    Clock::time_point due_;
};

}  // namespace quorvex::sim
