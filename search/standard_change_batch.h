#pragma once

// Carries out the standard cameras' changes of one plan, several cameras at
// once, on worker threads of its own: each camera is read, changed and read
// back (search/standard_change.h) while the caller goes on. The caller polls
// the stage of each camera (for per-row progress) and, once `Done`, takes the
// outcomes. A change that has gone out is never abandoned: the destructor
// waits for the cameras already started and starts no other.
//
// What a read tells of a camera (its settings, the authentication it took,
// its MAC) goes into the `StandardCameraBook` given, so that the next change
// of the same camera starts with that authentication and the window can show
// what was read.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/change_planner.h"
#include "search/standard_camera_book.h"
#include "search/standard_change.h"

namespace quorvex {

class StandardChangeBatch {
public:
    // Where one camera's change stands.
    enum class State { waiting, reading, applying, confirming, done };

    // More at once spends sockets and threads for no gain: a camera's time is
    // spent waiting on it, and 16 keep a 100-camera batch under 8 s.
    static constexpr std::size_t kMaxWorkers = 16;

    // Starts the changes of `plan.ToSendStandard()` (none for a dry run) with
    // up to `workers` (1 to kMaxWorkers) at once. `book` may be null and
    // outlives the batch.
    StandardChangeBatch(const ChangePlan& plan, StandardCameraSession::Options options = {},
                        std::size_t workers = 8, StandardCameraBook* book = nullptr);
    // Starts no further camera and waits for those under way.
    ~StandardChangeBatch();
    StandardChangeBatch(const StandardChangeBatch&) = delete;
    StandardChangeBatch& operator=(const StandardChangeBatch&) = delete;

    // One per change, in `plan.ToSendStandard()`'s order: which camera (its
    // plan key, as `PlanKey` writes it).
    const std::vector<std::string>& Keys() const { return keys_; }
    std::size_t Size() const { return keys_.size(); }
    State StateOf(std::size_t index) const;
    bool Done() const;
    // Blocks until every change is judged.
    void Wait();
    // The outcomes, one per change in order; waits until `Done`.
    std::vector<StandardChangeOutcome> Outcomes();

private:
    void Work();

    StandardCameraSession session_;
    StandardCameraBook* book_;
    std::vector<CameraPlan> cameras_;
    std::vector<std::string> keys_;
    std::unique_ptr<std::atomic<State>[]> states_;
    std::vector<StandardChangeOutcome> outcomes_;  // slot i written by the worker that took i
    std::atomic<std::size_t> next_{0};
    std::atomic<std::size_t> finished_{0};
    std::atomic<bool> stopping_{false};
    mutable std::mutex done_mutex_;
    std::condition_variable done_;
    std::vector<std::jthread> workers_;  // last: joined before the rest goes
};

}  // namespace quorvex
