#include "ui/device_export.h"

#include "search/device_report.h"
#include "search/interface_set.h"

namespace quorvex {

std::string ExportDevices(const std::vector<DeviceUpdate>& devices,
                          const std::vector<LocalInterface>& interfaces, ExportFormat format) {
    std::vector<DeviceReportRow> rows;
    rows.reserve(devices.size());
    for (const DeviceUpdate& device : devices) {
        rows.push_back(
            MakeReportRow(device, InterfaceNameOf(interfaces, device.entry.interface_address)));
    }
    SortByMac(rows);
    return format == ExportFormat::kJson ? FormatJson(rows) : FormatCsv(rows);
}

}  // namespace quorvex
