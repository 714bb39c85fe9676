#include "ui/device_list_model.h"

namespace quorvex {

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent) {}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid()) return {};
    if (index.row() < 0 || index.row() >= rowCount() || index.column() < 0 ||
        index.column() >= columnCount()) {
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Cell(index.row(), index.column());
    return {};
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return titles_[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

bool DeviceListModel::SetColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= columnCount()) return false;
    titles_[static_cast<std::size_t>(column)] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

int DeviceListModel::AppendColumn(const QString& title) {
    const int column = columnCount();
    beginInsertColumns(QModelIndex(), column, column);
    titles_.push_back(title);
    endInsertColumns();
    return column;
}

int DeviceListModel::AppendRow() {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.emplace_back();
    endInsertRows();
    return row;
}

int DeviceListModel::AppendRows(std::vector<std::vector<QString>> rows) {
    const int first = rowCount();
    if (rows.empty()) return first;
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    for (std::vector<QString>& cells : rows) {
        if (cells.size() > titles_.size()) cells.resize(titles_.size());
        rows_.push_back(std::move(cells));
    }
    endInsertRows();
    return first;
}

bool DeviceListModel::SetCell(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return false;
    std::vector<QString>& cells = rows_[static_cast<std::size_t>(row)];
    if (cells.size() <= static_cast<std::size_t>(column))
        cells.resize(static_cast<std::size_t>(column) + 1);
    cells[static_cast<std::size_t>(column)] = text;
    const QModelIndex changed = this->index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::ToolTipRole});
    return true;
}

QString DeviceListModel::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return {};
    const std::vector<QString>& cells = rows_[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                           : QString();
}

void DeviceListModel::RemoveAllRows() {
    if (rows_.empty()) return;
    beginRemoveRows(QModelIndex(), 0, rowCount() - 1);
    rows_.clear();
    endRemoveRows();
}

}  // namespace quorvex
