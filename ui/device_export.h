#pragma once

// The device list written out: as `quorvex-cli scan --csv/--json` writes it
// (the same rows sorted by MAC address, fields and encoding, through the
// same writer, search/device_report.h), or the selected rows as they are
// shown, for the clipboard.

#include <QString>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/device_update.h"

class QAbstractItemView;

namespace quorvex {

enum class ExportFormat { kCsv, kJson };

// `interfaces` name the adapter that heard each device (by its address);
// a device heard on none of them gets an empty adapter name.
std::string ExportDevices(const std::vector<DeviceUpdate>& devices,
                          const std::vector<LocalInterface>& interfaces, ExportFormat format);

// Replaces the file at `path` with `text` as a whole or leaves it as it was;
// returns an empty string on success, else why not.
QString SaveExport(const QString& path, const std::string& text);

// The selected rows of `view` in the order shown, their cells as shown,
// tab-separated, one line each; empty when none is selected.
QString SelectedRowsText(const QAbstractItemView& view);

}  // namespace quorvex
