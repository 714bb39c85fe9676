#include "ui/qt_language_surface.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "config/language_x.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog_template.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::StagedApp;

TEST(QtLanguageSurface, EnumeratesEveryDescendantAndSetsTextByKind) {
    QDialog dialog;
    auto* label = new QLabel(&dialog);
    SetControlId(label, 11);
    auto* box = new QCheckBox(&dialog);
    SetControlId(box, 12);
    auto* frame = new QGroupBox(&dialog);
    SetControlId(frame, 13);
    auto* edit = new QLineEdit(frame);  // a grandchild
    SetControlId(edit, 14);
    auto* combo = new QComboBox(&dialog);
    SetControlId(combo, 15);
    auto* address = new IpAddressEdit(&dialog);
    SetControlId(address, 16);

    QtLanguageSurface surface;
    const auto controls = surface.Controls(static_cast<QWidget*>(&dialog));
    auto id_of = [&](const QWidget* widget) {
        for (const auto& control : controls) {
            if (control.window == widget) return control.id;
        }
        return -100;  // not enumerated
    };
    EXPECT_EQ(id_of(label), 11);
    EXPECT_EQ(id_of(edit), 14);
    EXPECT_EQ(id_of(address), 16);
    // The octet fields are inner windows without an id of their own.
    EXPECT_EQ(id_of(address->Field(0)), 0);
    EXPECT_EQ(id_of(address->Field(3)), 0);

    surface.SetDialogTitle(static_cast<QWidget*>(&dialog), u"Title");
    surface.SetControlText(label, u"标签");
    surface.SetControlText(box, u"Check");
    surface.SetControlText(frame, u"Frame");
    surface.SetControlText(edit, u"Edit");
    surface.SetControlText(combo, u"Combo");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Title"));
    EXPECT_EQ(label->text(), QStringLiteral("标签"));
    EXPECT_EQ(box->text(), QStringLiteral("Check"));
    EXPECT_EQ(frame->title(), QStringLiteral("Frame"));
    EXPECT_EQ(edit->text(), QStringLiteral("Edit"));
    // A combo box ignores its window text, as a drop-down list does.
    EXPECT_EQ(combo->currentText(), QString());
    EXPECT_EQ(combo->windowTitle(), QStringLiteral("Combo"));
}

TEST(QtLanguageSurface, ReplacesMenuItemsByPositionWithTheirNewCommand) {
    QMenu menu;
    menu.addAction(QStringLiteral("one"))->setData(1);
    menu.addSeparator();
    QtLanguageSurface surface;
    EXPECT_TRUE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), 0, 32780, u"About"));
    EXPECT_TRUE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), 1, 32778, u"Refresh"));
    EXPECT_FALSE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), 2, 32779, u"beyond"));
    EXPECT_FALSE(surface.ReplaceMenuItem(static_cast<QWidget*>(&menu), -1, 32779, u"before"));
    ASSERT_EQ(menu.actions().size(), 2);
    EXPECT_EQ(menu.actions()[0]->text(), QStringLiteral("About"));
    EXPECT_EQ(menu.actions()[0]->data().toInt(), 32780);
    EXPECT_FALSE(menu.actions()[1]->isSeparator());
    EXPECT_EQ(menu.actions()[1]->data().toInt(), 32778);
}

TEST(QtLanguageSurface, PackTextsReachTheDialogsControlsByIdAndLeaveTheRestAlone) {
    StagedApp app;
    // An entry without an id counts as 0 and reaches only windows without
    // one: the octet fields of the address controls, not the labelled ones.
    std::string pack = testing::TestPack("Alpha");
    pack.replace(pack.find("<control id=\"1022\">"), 0, "<control>zero</control>");
    app.WriteFile("Language/alpha.xml", pack);

    QtLanguageSurface surface;
    LanguageX language;
    language.SetSurface(&surface);
    language.LoadCurrentLanguage();

    DlgNetInformation dialog(language);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Alpha network"));
    EXPECT_EQ(FindControl<QCheckBox>(&dialog, IDC_DHCP)->text(), QStringLiteral("Alpha dhcp"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_IP_ADDRESS_LABEL)->text(),
              QStringLiteral("Alpha ip"));
    // Not in the pack: the built-in text stays.
    EXPECT_EQ(FindControl<QLabel>(&dialog, IDC_GATEWAY_LABEL)->text(), QStringLiteral("网关"));
    EXPECT_EQ(FindControl<QPushButton>(&dialog, IDOK)->text(), QStringLiteral("确定"));
    // The address was filled after the pack was applied, so it stands.
    auto* address = FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS);
    EXPECT_EQ(address->AddressText(), "0.0.0.0");
    EXPECT_EQ(FindControl<QLineEdit>(&dialog, IDC_USER)->text(), QString());
}

}  // namespace
}  // namespace quorvex
