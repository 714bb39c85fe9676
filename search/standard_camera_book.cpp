#include "search/standard_camera_book.h"

namespace quorvex {

void StandardCameraBook::Remember(const StandardSnapshot& snapshot) {
    if (snapshot.endpoint_reference.empty()) return;
    {
        const std::lock_guard lock(mutex_);
        snapshots_[snapshot.endpoint_reference] = snapshot;
    }
    if (snapshot.mac && mac_callback_) mac_callback_(snapshot.endpoint_reference, *snapshot.mac);
}

std::optional<StandardSnapshot> StandardCameraBook::Find(std::string_view endpoint) const {
    const std::lock_guard lock(mutex_);
    const auto found = snapshots_.find(std::string(endpoint));
    if (found == snapshots_.end()) return std::nullopt;
    return found->second;
}

std::optional<StandardAuthMethod> StandardCameraBook::AuthOf(std::string_view endpoint) const {
    const std::lock_guard lock(mutex_);
    const auto found = snapshots_.find(std::string(endpoint));
    if (found == snapshots_.end()) return std::nullopt;
    return found->second.auth;
}

}  // namespace quorvex
