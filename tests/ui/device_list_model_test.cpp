#include "ui/device_list_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace quorvex {
namespace {

TEST(DeviceListModel, CellsExistOnlyUnderColumnsTheLanguageNamed) {
    DeviceListModel model;
    // No pack, no columns: a row can be inserted, but holds no text.
    const int row = model.AppendRow();
    EXPECT_EQ(row, 0);
    EXPECT_FALSE(model.SetCell(row, 0, QStringLiteral("H")));
    EXPECT_EQ(model.Cell(row, 0), QString());

    model.AppendColumn(QStringLiteral("Type"));
    model.AppendColumn(QStringLiteral("Name"));
    EXPECT_TRUE(model.SetCell(row, 1, QStringLiteral("Gate")));
    EXPECT_FALSE(model.SetCell(row, 2, QStringLiteral("beyond the columns")));
    EXPECT_FALSE(model.SetCell(1, 0, QStringLiteral("no such row")));
    EXPECT_FALSE(model.SetCell(-1, 0, QStringLiteral("negative")));
    EXPECT_EQ(model.Cell(row, 1), QStringLiteral("Gate"));
    EXPECT_EQ(model.Cell(row, 0), QString());

    // data() answers nothing outside the table, whatever the index claims.
    EXPECT_FALSE(model.data(model.index(0, 5)).isValid());
    EXPECT_FALSE(model.data(QModelIndex()).isValid());
    EXPECT_FALSE(model.headerData(7, Qt::Horizontal).isValid());
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("Gate"));

    // Renaming keeps the cells; only existing columns can be renamed.
    EXPECT_TRUE(model.SetColumnTitle(0, QStringLiteral("Kind")));
    EXPECT_FALSE(model.SetColumnTitle(2, QStringLiteral("missing")));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Kind"));
    EXPECT_EQ(model.Cell(row, 1), QStringLiteral("Gate"));
}

TEST(DeviceListModel, ViewsLearnOfInsertedChangedAndRemovedRows) {
    DeviceListModel model;
    model.AppendColumn(QStringLiteral("Type"));
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    model.AppendRow();
    model.AppendRow();
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 1);  // the second went in at the end

    model.SetCell(1, 0, QStringLiteral("E"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 0));
    model.SetCell(5, 0, QStringLiteral("out of range"));
    EXPECT_EQ(changed.count(), 1);

    model.RemoveAllRows();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 1);
    model.RemoveAllRows();  // an empty list stays quiet
    EXPECT_EQ(removed.count(), 1);
}

}  // namespace
}  // namespace quorvex
