#include "ui/device_export.h"

#include "search/device_report.h"

namespace quorvex {

std::string ExportDevices(const std::vector<DeviceUpdate>& devices,
                          const std::vector<LocalInterface>& interfaces, ExportFormat format) {
    std::vector<DeviceReportRow> rows;
    rows.reserve(devices.size());
    for (const DeviceUpdate& device : devices) {
        std::string_view name;
        for (const LocalInterface& local : interfaces) {
            if (GetText(local.ip) == AddressText(device.entry.interface_address)) {
                name = GetText(local.name);
                break;
            }
        }
        rows.push_back(MakeReportRow(device, name));
    }
    SortByMac(rows);
    return format == ExportFormat::kJson ? FormatJson(rows) : FormatCsv(rows);
}

}  // namespace quorvex
