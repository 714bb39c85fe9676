#pragma once

// The rows of the device list. Columns exist only once a language pack has
// named them; a cell of a column that does not exist is not kept, like a
// list-view subitem without a column. Rows are appended and rewritten, never
// removed one by one: the list is emptied as a whole. Changes only on the
// window's thread.

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace quorvex {

class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit DeviceListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Renames column `column` (0-based). Returns false when it does not exist.
    bool SetColumnTitle(int column, const QString& title);
    // Appends a column and returns its index.
    int AppendColumn(const QString& title);

    // Appends a row with empty cells and returns its index.
    int AppendRow();
    // Appends one row per element of `rows`, each with the given cells (cells
    // beyond the existing columns are not kept), in one insertion; returns
    // the index of the first, or the row count when `rows` is empty.
    int AppendRows(std::vector<std::vector<QString>> rows);
    // Sets one cell. Returns false, changing nothing, when the row or the
    // column does not exist.
    bool SetCell(int row, int column, const QString& text);
    // The text of a cell; empty for a cell outside the table.
    QString Cell(int row, int column) const;
    // Removes every row; the columns stay.
    void RemoveAllRows();

private:
    std::vector<QString> titles_;
    std::vector<std::vector<QString>> rows_;
};

}  // namespace quorvex
