#pragma once

// The device list written out as `quorvex-cli scan --csv/--json` writes it:
// the same rows (sorted by MAC address), fields and encoding, through the
// same writer. This file is the window's only door to that writer.

#include <string>
#include <vector>

#include "search/device_update.h"

namespace quorvex {

enum class ExportFormat { kCsv, kJson };

std::string ExportDevices(const std::vector<DeviceUpdate>& devices, ExportFormat format);

}  // namespace quorvex
