// The main window without a network: it is started on an interface no
// machine has, so its search manager finds nothing, and the devices come
// from the manager's own delivery entry point.

#include "ui/quorvex_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "config/app_settings.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dlg.h"
#include "ui/device_list_model.h"
#include "ui/dlg_base_information.h"
#include "ui/quorvex_app.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::PumpUntil;
using testing::StagedApp;
using testing::StageOptions;

DeviceEntry Camera(std::uint8_t last, const char* name, int family) {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last};
    std::copy(std::begin(mac), std::end(mac), entry.info.mac);
    SetText(entry.info.name, name);
    SetText(entry.info.ip, "10.77.0.40");
    SetText(entry.info.uid, "UID-1");
    SetText(entry.info.software_version, "V5.7.74");
    SetText(entry.info.web_version, "W2.0");
    entry.info.http_port = 8080;
    entry.family = family;
    entry.protocol = family == 3 ? kProtocolText : kProtocolBinary;
    return entry;
}

// A window over a staged start-up directory, shown as the program shows it.
struct Window {
    explicit Window(const StageOptions& options = {}) : stage(options) {
        app.LoadCurrentLanguage();
        window = std::make_unique<CQuorvexDlg>(app);
        window->show();
    }
    QStringList Row(int row) {
        QStringList cells;
        for (int column = 0; column < 7; ++column) cells << window->Model().Cell(row, column);
        return cells;
    }
    void Select(std::initializer_list<int> rows) {
        window->DeviceList()->clearSelection();
        for (int row : rows) {
            window->DeviceList()->selectionModel()->select(
                window->Model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }

    StagedApp stage;
    CQuorvexApp app;
    std::unique_ptr<CQuorvexDlg> window;
};

TEST(CQuorvexDlg, StartsFromTheStagedConfigurationWithThePacksTexts) {
    Window w;
    // The safety of every test here rests on this: no real interface.
    XmlExtern config;
    ASSERT_TRUE(config.Load((w.stage.dir() / "config.xml").u16string()));
    ASSERT_EQ(ReadAppSettings(config).interfaces, std::vector<std::string>{testing::kNoInterface});

    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Alpha window"));
    EXPECT_EQ(FindControl<QLabel>(w.window.get(), IDC_LANGUAGE_LABEL)->text(),
              QStringLiteral("Alpha language"));
    EXPECT_EQ(FindControl<QPushButton>(w.window.get(), IDOK)->text(),
              QStringLiteral("Alpha match"));
    ASSERT_EQ(w.window->Model().columnCount(), 7);
    EXPECT_EQ(w.window->Model().headerData(6, Qt::Horizontal).toString(),
              QStringLiteral("Alpha column 6"));
    EXPECT_EQ(w.window->DeviceList()->columnWidth(2), 62);
    EXPECT_EQ(w.window->LanguageBox()->count(), 2);
    EXPECT_EQ(w.window->LanguageBox()->currentIndex(), 0);
    EXPECT_EQ(w.window->CurrentLanguageIndex(), 0);
    EXPECT_FALSE(w.window->isSizeGripEnabled());
    EXPECT_EQ(w.window->minimumSize(), w.window->maximumSize());
}

TEST(CQuorvexDlg, WithoutAnyLanguagePackTheListHasNoColumnsAndTheDefaultTextsStand) {
    StageOptions options;
    options.languages = {};
    options.language = "";
    Window w(options);  // english.xml, the fallback, is not staged
    CQuorvexDlg& window = *w.window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quorvex"));
    EXPECT_EQ(window.Model().columnCount(), 0);
    EXPECT_EQ(FindControl<QLabel>(&window, IDC_LANGUAGE_LABEL)->text(), QStringLiteral("语言"));
    EXPECT_EQ(window.LanguageBox()->count(), 0);

    // Rows still go in, but hold nothing, and commands find no device.
    window.Search().OnDeviceFound(Camera(1, "Gate", 1));
    ASSERT_TRUE(PumpUntil([&] { return window.Model().rowCount() == 1; }));
    EXPECT_EQ(window.Model().Cell(0, 6), QString());
    bool ran = false;
    window.SetDialogRunner([&](QDialog&) {
        ran = true;
        return int{QDialog::Rejected};
    });
    window.DeviceList()->selectRow(0);
    window.OnCommand(ID_BASE_INFO);
    EXPECT_FALSE(ran);
}

TEST(CQuorvexDlg, NotificationsAddOneRowPerDeviceAndRewriteIt) {
    Window w;
    SearchBusiness& search = w.window->Search();
    search.OnDeviceFound(Camera(1, "Gate", 1));
    ASSERT_TRUE(PumpUntil([&] { return w.window->Model().rowCount() == 1; }));
    EXPECT_EQ(w.Row(0), (QStringList{"H", "Gate", "10.77.0.40:8080", "UID-1", "V5.7.74", "W2.0",
                                     "00-1A-2B-3C-4D-01"}));

    // Two changes of a new device queued before the window handles either:
    // the first inserts the row, the second finds it.
    DeviceEntry lobby = Camera(2, "Lobby", 3);
    search.OnDeviceFound(lobby);
    SetText(lobby.info.name, "Lobby 2");
    search.OnDeviceFound(lobby);
    // A change of the first device rewrites its row in place.
    DeviceEntry gate = Camera(1, "Gate renamed", 2);
    search.OnDeviceFound(gate);
    ASSERT_TRUE(
        PumpUntil([&] { return w.window->Model().Cell(0, 1) == QStringLiteral("Gate renamed"); }));
    QTest::qWait(50);
    ASSERT_EQ(w.window->Model().rowCount(), 2);
    EXPECT_EQ(w.Row(0)[0], QStringLiteral("J"));
    EXPECT_EQ(w.Row(1), (QStringList{"E", "Lobby 2", "10.77.0.40:8080", "UID-1", "V5.7.74", "W2.0",
                                     "00-1A-2B-3C-4D-02"}));

    // An unknown family leaves the kind cell as it was; texts that are not
    // UTF-8 arrive as replacement characters, not as a crash.
    DeviceEntry odd = Camera(2, "\xff\xfe", 9);
    search.OnDeviceFound(odd);
    ASSERT_TRUE(
        PumpUntil([&] { return w.window->Model().Cell(1, 1) == QStringLiteral("\uFFFD\uFFFD"); }));
    EXPECT_EQ(w.window->Model().Cell(1, 0), QStringLiteral("E"));

    // Refresh empties the list and the table; a notification still queued
    // for a cleared device changes nothing.
    search.OnDeviceFound(Camera(3, "Late", 1));
    w.window->OnCommand(ID_REFRESH_LIST);
    QTest::qWait(50);
    EXPECT_EQ(w.window->Model().rowCount(), 0);
    EXPECT_EQ(search.DeviceCount(), 0u);
}

TEST(CQuorvexDlg, ContextMenuOffersDeviceCommandsOnlyWithASelection) {
    Window w;
    w.window->Search().OnDeviceFound(Camera(1, "Gate", 1));
    ASSERT_TRUE(PumpUntil([&] { return w.window->Model().rowCount() == 1; }));

    auto texts = [](QMenu& menu) {
        QStringList list;
        for (QAction* action : menu.actions()) list << action->text();
        return list;
    };
    std::unique_ptr<QMenu> bare = w.window->BuildContextMenu();
    EXPECT_EQ(texts(*bare), (QStringList{"Alpha item 2", "Alpha item 3", "Alpha item 4"}));
    EXPECT_EQ(bare->actions()[0]->data().toInt(), ID_REFRESH_LIST);

    w.Select({0});
    std::unique_ptr<QMenu> full = w.window->BuildContextMenu();
    ASSERT_EQ(full->actions().size(), 5);
    EXPECT_EQ(full->actions()[0]->text(), QStringLiteral("Alpha item 0"));
    EXPECT_EQ(full->actions()[0]->data().toInt(), ID_BASE_INFO);
    EXPECT_EQ(full->actions()[4]->data().toInt(), ID_ABOUT);

    // The first item opens the basic information of the selected device.
    QString shown;
    w.window->SetDialogRunner([&](QDialog& dialog) {
        dialog.show();
        if (qobject_cast<DlgBaseInformation*>(&dialog) != nullptr) {
            shown = dialog.windowTitle() + " " +
                    FindControl<QLabel>(&dialog, IDC_SYSTEM_VERSION)->text();
        }
        return int{QDialog::Accepted};
    });
    w.window->OnCommand(full->actions()[0]->data().toInt());
    EXPECT_EQ(shown, QStringLiteral("Alpha basic V5.7.74"));

    // F1 opens the about dialog, which the window manager's menu cannot carry.
    QString about;
    w.window->SetDialogRunner([&](QDialog& dialog) {
        dialog.show();
        if (qobject_cast<CAboutDlg*>(&dialog) != nullptr) about = dialog.windowTitle();
        return int{QDialog::Accepted};
    });
    QTest::keyClick(w.window.get(), Qt::Key_F1);
    EXPECT_EQ(about, QStringLiteral("Alpha about"));
}

TEST(CQuorvexDlg, LanguageSwitchRenamesEverythingSavesTheChoiceAndEmptiesTheList) {
    Window w;
    w.window->Search().OnDeviceFound(Camera(1, "Gate", 1));
    ASSERT_TRUE(PumpUntil([&] { return w.window->Model().rowCount() == 1; }));

    // Picking the language in force does nothing.
    emit w.window->LanguageBox()->activated(0);
    EXPECT_EQ(w.window->Model().rowCount(), 1);

    emit w.window->LanguageBox()->activated(1);
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Beta window"));
    EXPECT_EQ(w.window->Model().headerData(0, Qt::Horizontal).toString(),
              QStringLiteral("Beta column 0"));
    EXPECT_EQ(w.window->Model().columnCount(), 7);  // renamed in place, not added
    EXPECT_EQ(FindControl<QLabel>(w.window.get(), IDC_LANGUAGE_LABEL)->text(),
              QStringLiteral("Beta language"));
    EXPECT_EQ(w.window->LanguageBox()->count(), 2);
    EXPECT_EQ(w.window->LanguageBox()->currentIndex(), 1);
    EXPECT_EQ(w.window->CurrentLanguageIndex(), 1);
    EXPECT_EQ(w.window->Model().rowCount(), 0);
    EXPECT_NE(w.stage.ReadFile("config.xml").find("<language>Beta</language>"), std::string::npos);
    std::unique_ptr<QMenu> menu = w.window->BuildContextMenu();
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Beta item 2"));
}

TEST(CQuorvexDlg, AnUnlistedConfiguredLanguageLetsTheFirstPickSwitch) {
    StageOptions options;
    options.language = "Klingon";
    Window w(options);
    EXPECT_EQ(w.window->LanguageBox()->currentIndex(), -1);
    EXPECT_EQ(w.window->CurrentLanguageIndex(), -1);
    // english.xml is not staged, so nothing was loaded.
    EXPECT_EQ(w.window->Model().columnCount(), 0);

    emit w.window->LanguageBox()->activated(0);
    EXPECT_EQ(w.window->CurrentLanguageIndex(), 0);
    EXPECT_EQ(w.window->windowTitle(), QStringLiteral("Alpha window"));
    EXPECT_EQ(w.window->Model().columnCount(), 7);
    EXPECT_NE(w.stage.ReadFile("config.xml").find("<language>Alpha</language>"), std::string::npos);
}

TEST(CQuorvexDlg, WebAddressComesFromTheDevicesOwnAddressAndPort) {
    DeviceEntry entry{};
    SetText(entry.info.ip, "192.168.0.50");
    entry.info.http_port = 80;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50/"));
    entry.info.http_port = 8080;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50:8080/"));
    // Device texts that are not an address never become a URL.
    for (const char* bad : {"", "evil.example/x?", "1.2.3.4;reboot", "10.0.0.1 "}) {
        SetText(entry.info.ip, bad);
        EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QString()) << bad;
    }
}

}  // namespace
}  // namespace quorvex
