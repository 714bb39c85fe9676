#pragma once

// The list as the user sees it: the device model sorted by a column's typed
// value (DeviceListModel::SortValue) and filtered to the rows that show the
// filter text in any column, ignoring case. Sorting stays on while devices
// arrive: new rows go to their place.

#include <QSortFilterProxyModel>
#include <string>
#include <vector>

namespace quorvex {

class DeviceListModel;

class DeviceSortFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit DeviceSortFilterProxy(DeviceListModel* model, QObject* parent = nullptr);

    // Shows only the rows whose texts contain `text`; empty shows all.
    void SetFilterText(const QString& text);
    QString FilterText() const { return filter_; }
    // Ranks every row by `column` once, then sorts.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

private:
    void Unrank(int first, int last);

    DeviceListModel* model_;
    QString filter_;
    std::string needle_;  // lower-case UTF-8 of the filter
    // Each source row's place by `ranked_column_`'s value at the last sort;
    // -1 for a row that changed since, and rows past the end came since.
    std::vector<int> ranks_;
    int ranked_column_ = -1;
};

}  // namespace quorvex
