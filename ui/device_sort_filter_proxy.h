#pragma once

// The list as the user sees it: the device model sorted by a column's typed
// key (DeviceListModel::LessThan) and filtered to the rows that show the
// filter text in any column, ignoring case. Sorting stays on while devices
// arrive: new rows go to their place.

#include <QSortFilterProxyModel>
#include <string>

namespace quorvex {

class DeviceListModel;

class DeviceSortFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit DeviceSortFilterProxy(DeviceListModel* model, QObject* parent = nullptr);

    // Shows only the rows whose texts contain `text`; empty shows all.
    void SetFilterText(const QString& text);
    QString FilterText() const { return filter_; }
    // Ranks the rows by `column` first (DeviceListModel::PrepareSort).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

private:
    DeviceListModel* model_;
    QString filter_;
    std::string needle_;  // lower-case UTF-8 of the filter
};

}  // namespace quorvex
