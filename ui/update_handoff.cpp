#include "ui/update_handoff.h"

#include <iterator>
#include <utility>

namespace quorvex {

void UpdateHandoff::Leave(std::vector<DeviceUpdate> updates) {
    // Values left before the window's next turn share one signal, so that a
    // burst of answers costs the window a few turns rather than one per
    // device.
    bool post = false;
    {
        std::lock_guard lock(lock_);
        if (updates_.empty()) {
            updates_ = std::move(updates);
        } else {
            updates_.insert(updates_.end(), std::make_move_iterator(updates.begin()),
                            std::make_move_iterator(updates.end()));
        }
        post = !std::exchange(posted_, true);
    }
    if (post) emit Ready();
}

void UpdateHandoff::Leave(const SearchStatus& status) {
    bool post = false;
    {
        std::lock_guard lock(lock_);
        statuses_.assign(1, status);
        post = !std::exchange(posted_, true);
    }
    if (post) emit Ready();
}

std::vector<SearchStatus> UpdateHandoff::Take(std::vector<DeviceUpdate>& updates) {
    std::vector<SearchStatus> statuses;
    std::lock_guard lock(lock_);
    posted_ = false;
    if (updates.empty()) {
        updates = std::move(updates_);
    } else {
        updates.insert(updates.end(), std::make_move_iterator(updates_.begin()),
                       std::make_move_iterator(updates_.end()));
    }
    updates_.clear();
    statuses.swap(statuses_);
    return statuses;
}

void UpdateHandoff::DropUpdates() {
    std::lock_guard lock(lock_);
    updates_.clear();
}

void UpdateHandoff::Again() {
    bool post = false;
    {
        std::lock_guard lock(lock_);
        post = !std::exchange(posted_, true);
    }
    if (post) emit Ready();
}

}  // namespace quorvex
