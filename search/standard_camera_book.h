#pragma once

// What the tool has read of each standard camera, by endpoint reference: the
// settings a read found (shown in the dialogs) and the authentication the
// camera took, so that the next call to the same camera goes straight to it.
// Change workers write it while the window reads it: every call locks. A
// MAC a read told is handed on (to the search, which keys the camera by it).

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "search/standard_change_steps.h"

namespace quorvex {

class StandardCameraBook {
public:
    using MacCallback =
        std::function<void(const std::string& endpoint, const std::array<std::uint8_t, 6>& mac)>;

    // Called by `Remember`, outside the book's lock, on the rememberer's
    // thread, for each snapshot with an endpoint reference and a MAC. Set it
    // before the book is used.
    void SetMacCallback(MacCallback callback) { mac_callback_ = std::move(callback); }

    // Keeps `snapshot` under its endpoint reference, replacing what was there.
    // A snapshot without an endpoint reference is not kept.
    void Remember(const StandardSnapshot& snapshot);
    // The last snapshot read of the camera `endpoint`, if any.
    std::optional<StandardSnapshot> Find(std::string_view endpoint) const;
    // The authentication the camera took last time; none when not known.
    std::optional<StandardAuthMethod> AuthOf(std::string_view endpoint) const;

private:
    MacCallback mac_callback_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, StandardSnapshot> snapshots_;
};

}  // namespace quorvex
