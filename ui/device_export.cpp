#include "ui/device_export.h"

#include <algorithm>

// The writer still lives with the command-line tool; it moves below both
// front-ends, and then only this include and the library named in
// ui/CMakeLists.txt change.
#include "cli/device_report.h"

namespace quorvex {

std::string ExportDevices(const std::vector<DeviceUpdate>& devices, ExportFormat format) {
    std::vector<DeviceReportRow> rows;
    rows.reserve(devices.size());
    for (const DeviceUpdate& device : devices)
        rows.push_back(MakeReportRow(device.entry, device.outside_subnet));
    SortByMac(rows);
    return format == ExportFormat::kJson ? FormatJson(rows) : FormatCsv(rows);
}

}  // namespace quorvex
