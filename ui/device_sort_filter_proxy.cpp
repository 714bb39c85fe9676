#include "ui/device_sort_filter_proxy.h"

#include "ui/device_list_model.h"

namespace quorvex {

DeviceSortFilterProxy::DeviceSortFilterProxy(DeviceListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    setSourceModel(model);
    setSortRole(DeviceListModel::SortRole);
    setDynamicSortFilter(true);
}

void DeviceSortFilterProxy::SetFilterText(const QString& text) {
    if (text == filter_) return;
    filter_ = text;
    needle_ = text.toLower().toStdString();
    invalidateRowsFilter();
}

void DeviceSortFilterProxy::sort(int column, Qt::SortOrder order) {
    if (column >= 0) model_->PrepareSort(column);
    QSortFilterProxyModel::sort(column, order);
}

bool DeviceSortFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    // The typed keys straight from the rows: a sort of many thousand rows
    // makes no QVariant per comparison.
    return model_->RankedLessThan(left.column(), left.row(), right.row());
}

bool DeviceSortFilterProxy::filterAcceptsRow(int source_row, const QModelIndex&) const {
    return model_->Matches(source_row, needle_);
}

}  // namespace quorvex
