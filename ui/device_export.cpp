#include "ui/device_export.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QSaveFile>
#include <algorithm>

#include "search/device_report.h"
#include "search/interface_set.h"
#include "ui/record_text.h"

namespace quorvex {

std::string ExportDevices(const std::vector<DeviceUpdate>& devices,
                          const std::vector<LocalInterface>& interfaces, ExportFormat format) {
    std::vector<DeviceReportRow> rows;
    rows.reserve(devices.size());
    for (const DeviceUpdate& device : devices) {
        rows.push_back(
            MakeReportRow(device, InterfaceNameOf(interfaces, device.entry.interface_address)));
        // The name the list shows, so that a name cut by its field ends on a
        // whole character here too.
        rows.back().name = std::string(DeviceNameUtf8(device.entry.info));
    }
    SortByMac(rows);
    return format == ExportFormat::kJson ? FormatJson(rows) : FormatCsv(rows);
}

QString SaveExport(const QString& path, const std::string& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        return file.errorString();
    }
    return {};
}

QString SelectedRowsText(const QAbstractItemView& view) {
    QStringList lines;
    QModelIndexList rows = view.selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    const QAbstractItemModel& model = *view.model();
    for (const QModelIndex& index : rows) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << model.index(index.row(), column).data().toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace quorvex
