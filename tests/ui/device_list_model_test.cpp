#include "ui/device_list_model.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace quorvex {

TEST(DeviceListModel, AnswersOnlyInsideItsRowsAndTheColumnsThePackNamed) {
    DeviceListModel model;
    const int row = model.AppendRow();
    EXPECT_FALSE(model.SetCell(row, 0, QStringLiteral("no columns yet")));
    model.AppendColumn(QStringLiteral("Type"));
    model.AppendColumn(QStringLiteral("Name"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.SetCell(row, 1, QStringLiteral("Gate")));
    for (auto [r, c] : {std::pair{row, 2}, {1, 0}, {-1, 0}, {row, -1}})
        EXPECT_FALSE(model.SetCell(r, c, QStringLiteral("outside"))) << r << "," << c;
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(model.data(model.index(0, 5)).isValid());
    EXPECT_FALSE(model.data(QModelIndex()).isValid());
    EXPECT_FALSE(model.headerData(7, Qt::Horizontal).isValid());
    EXPECT_FALSE(model.SetColumnTitle(2, QStringLiteral("missing")));
    EXPECT_TRUE(model.SetColumnTitle(0, QStringLiteral("Kind")));  // keeps the cells
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("Gate"));
    model.RemoveAllRows();
    EXPECT_FALSE(model.data(model.index(0, 1)).isValid());
}

}  // namespace quorvex
