#include "ui/device_sort_filter_proxy.h"

#include <algorithm>
#include <numeric>

#include "ui/device_list_model.h"

namespace quorvex {

DeviceSortFilterProxy::DeviceSortFilterProxy(DeviceListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), model_(model) {
    // Connected before the base class connects itself, so that a changed
    // row has lost its rank by the time the base class sorts it again.
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& top, const QModelIndex& bottom) {
                Unrank(top.row(), bottom.row());
            });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { ranks_.clear(); });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { ranks_.clear(); });
    setSourceModel(model);
    setDynamicSortFilter(true);
}

void DeviceSortFilterProxy::SetFilterText(const QString& text) {
    if (text == filter_) return;
    filter_ = text;
    needle_ = text.toLower().toStdString();
    invalidateRowsFilter();
}

void DeviceSortFilterProxy::Unrank(int first, int last) {
    for (int row = std::max(first, 0); row <= last && row < static_cast<int>(ranks_.size()); ++row)
        ranks_[static_cast<std::size_t>(row)] = -1;
}

void DeviceSortFilterProxy::sort(int column, Qt::SortOrder order) {
    // Each row's value is made once and sorted once; the base class's sort
    // then compares two integers per pair instead of two values.
    ranks_.clear();
    ranked_column_ = column;
    if (column >= 0) {
        const int rows = model_->rowCount();
        std::vector<DeviceListModel::SortKey> keys;
        keys.reserve(static_cast<std::size_t>(rows));
        for (int row = 0; row < rows; ++row) keys.push_back(model_->SortValue(row, column));
        std::vector<int> order_of(static_cast<std::size_t>(rows));
        std::iota(order_of.begin(), order_of.end(), 0);
        std::sort(order_of.begin(), order_of.end(), [&keys](int a, int b) {
            return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
        });
        ranks_.assign(static_cast<std::size_t>(rows), -1);
        for (std::size_t i = 0; i < order_of.size(); ++i)
            ranks_[static_cast<std::size_t>(order_of[i])] = static_cast<int>(i);
    }
    QSortFilterProxyModel::sort(column, order);
}

bool DeviceSortFilterProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto rank = [this](int row) {
        return row < static_cast<int>(ranks_.size()) ? ranks_[static_cast<std::size_t>(row)] : -1;
    };
    const int column = left.column();
    if (column == ranked_column_) {
        const int a = rank(left.row());
        const int b = rank(right.row());
        if (a >= 0 && b >= 0) return a < b;
    }
    return model_->SortValue(left.row(), column) < model_->SortValue(right.row(), column);
}

bool DeviceSortFilterProxy::filterAcceptsRow(int source_row, const QModelIndex&) const {
    return model_->Matches(source_row, needle_);
}

}  // namespace quorvex
