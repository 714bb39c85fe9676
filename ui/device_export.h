#pragma once

// The device list written out as `quorvex-cli scan --csv/--json` writes it:
// the same rows (sorted by MAC address), fields and encoding, through the
// same writer (search/device_report.h).

#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/device_update.h"

namespace quorvex {

enum class ExportFormat { kCsv, kJson };

// `interfaces` name the adapter that heard each device (by its address);
// a device heard on none of them gets an empty adapter name.
std::string ExportDevices(const std::vector<DeviceUpdate>& devices,
                          const std::vector<LocalInterface>& interfaces, ExportFormat format);

}  // namespace quorvex
