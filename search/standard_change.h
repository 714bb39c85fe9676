#pragma once

// One planned change of a standard camera carried out through its device
// service: read at the address discovery gave, the planned values applied,
// the camera read back at its new address. The plan's values (canonical
// texts, credentials filled) become the device service's values here, once,
// so that no front-end converts them. Blocks for as long as the session's
// timeouts allow; never reports a change as made that was not read back.

#include <cstdint>
#include <functional>

#include "core/device_records.h"
#include "search/device_update.h"
#include "search/standard_camera_book.h"
#include "search/standard_camera_session.h"

namespace quorvex {

// The device service's values for `settings` as planned for `device`: the
// address when it differs from the one discovery showed, and the prefix,
// unless DHCP is asked for; DHCP only when the plan changes it; a gateway
// and name servers only when the plan carries them; the HTTP port only when
// the plan changes the one discovery showed (an https service address shows
// another port). `prefix_length` 0 when the plan has no mask: the camera's
// stands.
StandardWanted WantedFromSettings(const DeviceUpdate& device, const NetSettings& settings);

enum class StandardChangeStage { read, apply, confirm };

struct StandardChangeOutcome {
    bool confirmed = false;
    StandardChangeStage stage = StandardChangeStage::read;  // where it stopped
    StandardCameraSession::ApplyOutcome applied = StandardCameraSession::ApplyOutcome::kFailed;
    StandardCameraSession::Failure failure;               // why not confirmed
    ReadBackMismatch mismatch = ReadBackMismatch::kNone;  // a read-back that differs
    std::uint32_t new_address = 0;                        // where it was looked for
    std::uint32_t old_address = 0;                        // where it was read before
    // Where the search after the change found it: set once a change went out
    // (the confirmation's, or for a move whose answer never came the search
    // at both addresses, whose outcome stays kUnknown); kSilent before.
    StandardCameraSession::Finding finding = StandardCameraSession::Finding::kSilent;
    bool searched = false;  // the addresses were searched
};

// Read, Apply and Confirm for `device` (a camera `HasDeviceService` accepts)
// with the planned `settings`; the credentials are the plan's. A move (or
// reboot) that went out unanswered is never sent again: the camera is
// searched for at the new and the old address and the outcome stays kUnknown. `on_stage`, if
// set, is called (on this thread) as each stage begins. With `book`, the read
// starts with the authentication the book remembers, and what it reads is
// remembered there.
StandardChangeOutcome ChangeStandardCamera(
    const StandardCameraSession& session, const DeviceUpdate& device, const NetSettings& settings,
    const std::function<void(StandardChangeStage)>& on_stage = {},
    StandardCameraBook* book = nullptr);

}  // namespace quorvex
