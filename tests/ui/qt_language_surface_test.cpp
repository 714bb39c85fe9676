#include "ui/qt_language_surface.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <map>

#include "ui/dialog_template.h"

namespace quorvex {

// What the window tests over a pack do not reach: grandchildren, inner
// windows without an id, group titles, menu positions out of range.
TEST(QtLanguageSurface, ReachesEveryDescendantByIdAndSetsTextByKind) {
    QDialog dialog;
    auto* frame = new QGroupBox(&dialog);
    auto* edit = new QLineEdit(frame);
    auto* address = new QSpinBox(&dialog);  // a composite: an edit inside
    SetControlId(frame, 13);
    SetControlId(edit, 14);
    SetControlId(address, 16);
    QtLanguageSurface surface;
    std::map<const void*, int> ids;
    for (const auto& control : surface.Controls(static_cast<QWidget*>(&dialog)))
        ids[control.window] = control.id;
    EXPECT_EQ(ids[edit], 14);
    EXPECT_EQ(ids[address], 16);
    QLineEdit* inner = address->findChild<QLineEdit*>();
    ASSERT_TRUE(ids.count(inner));
    EXPECT_EQ(ids[inner], 0);
    surface.SetControlText(frame, u"框架");
    surface.SetControlText(edit, u"Edit");
    EXPECT_EQ(frame->title(), QStringLiteral("框架"));
    EXPECT_EQ(edit->text(), QStringLiteral("Edit"));

    QMenu menu;
    menu.addAction(QStringLiteral("one"));
    menu.addSeparator();
    EXPECT_TRUE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), 1, 32778, u"Refresh"));
    EXPECT_FALSE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), 2, 32779, u"beyond"));
    EXPECT_FALSE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), -1, 32779, u"before"));
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[1]->data().toInt(), 32778);
}

}  // namespace quorvex
