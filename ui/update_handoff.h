#pragma once

// Where the search's worker leaves values for the window: batches of
// DeviceUpdate and the latest SearchStatus, under one lock. The first value
// left after a take emits `Ready` from the worker's thread; the window
// connects it queued, so its slot runs on the window's turn and takes
// everything left so far in one go. Nothing but the locked vectors crosses
// between the threads: the signal carries no value, and this object lives
// on the window's thread for its whole life.

#include <QObject>
#include <mutex>
#include <vector>

#include "search/device_update.h"
#include "search/search_status.h"

namespace quorvex {

class UpdateHandoff : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Worker side, safe from any thread.
    void Leave(std::vector<DeviceUpdate> updates);
    void Leave(const SearchStatus& status);
    // Window side: appends the updates left so far to `updates` and returns
    // the statuses left (at most the latest one); the next value left emits
    // `Ready` again.
    std::vector<SearchStatus> Take(std::vector<DeviceUpdate>& updates);
    // Window side: drops the updates left so far (a list emptied by the user).
    void DropUpdates();
    // Window side: asks for another `Ready` (a turn left work over); no-op
    // while one is on its way.
    void Again();

signals:
    void Ready();

private:
    std::mutex lock_;
    std::vector<DeviceUpdate> updates_;
    std::vector<SearchStatus> statuses_;
    bool posted_ = false;
};

}  // namespace quorvex
