#pragma once

// What a read of a standard camera found, in the fields the dialogs show: a
// camera only WS-Discovery heard tells no mask, gateway, name servers or
// DHCP state, so the window shows the read values wherever it has them.

#include <optional>

#include "core/device_records.h"
#include "search/device_update.h"
#include "search/standard_camera_book.h"

namespace quorvex {

// The last read of `device` in `book`; none for a camera without an endpoint
// reference or never read.
std::optional<StandardSnapshot> SnapshotOf(const StandardCameraBook& book,
                                           const DeviceUpdate& device);

// `shown` with the read values in place: the interface's address (when it
// has one), the mask of its prefix, DHCP, the first gateway, the name servers
// in force and the HTTP port (when it was told). The rest stays as shown.
DeviceInfo InfoWithSnapshot(const DeviceInfo& shown, const StandardSnapshot& read);

}  // namespace quorvex
