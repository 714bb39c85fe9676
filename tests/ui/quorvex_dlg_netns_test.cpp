// The main window over a real search manager on one veth link of a private
// network where the simulator plays four cameras.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <fstream>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::LoggedDatagram;

constexpr char kGate[] = "00-1A-2B-00-00-01";     // binary H, in the PC's subnet
constexpr char kLobby[] = "00-1A-2B-00-00-02";    // text, in the subnet
constexpr char kFactory[] = "00-1A-2B-00-00-03";  // text, outside
constexpr char kYard[] = "00-1A-2B-00-00-04";     // binary J, outside, answers by broadcast
constexpr char kDevices[] = R"([
  {"mac": "00-1A-2B-00-00-01", "protocol": "binary", "family": "H", "name": "Gate", "uid": "UID-GATE",
   "ip": "10.77.0.21", "mask": "255.255.255.0", "gateway": "10.77.0.2", "http_port": 80,
   "software_version": "67.8.88.1", "web_version": "W1.0", "user": "admin", "password": "pw"},
  {"mac": "00-1A-2B-00-00-02", "protocol": "text", "name": "Lobby", "uid": "UID-LOBBY",
   "ip": "10.77.0.22", "mask": "255.255.255.0", "gateway": "10.77.0.2", "http_port": 80,
   "software_version": "V5.7.74", "web_version": "W2.0", "password": "", "reply": "multicast"},
  {"mac": "00-1A-2B-00-00-03", "protocol": "text", "name": "Factory", "uid": "UID-FACTORY",
   "ip": "192.168.0.50", "mask": "255.255.255.0", "gateway": "192.168.0.1", "http_port": 8000,
   "software_version": "V5.0.1", "web_version": "W2.1", "password": ""},
  {"mac": "00-1A-2B-00-00-04", "protocol": "binary", "family": "J", "name": "Yard", "uid": "UID-YARD",
   "ip": "192.168.0.51", "mask": "255.255.255.0", "gateway": "192.168.0.1", "http_port": 80,
   "software_version": "66.1.30.37", "web_version": "W3.0", "user": "admin", "password": "pw",
   "reply": "broadcast"}
])";

std::function<bool(const LoggedDatagram&)> Sent(const std::string& text) {
    return [=](const LoggedDatagram& d) {
        return std::string(d.bytes.begin(), d.bytes.end()).find(text) != std::string::npos;
    };
}
bool IsBinaryCommand(const LoggedDatagram& d) {  // "DH", set, 324 bytes to port 8600
    return d.destination_port == 8600 && d.bytes.size() == 324 && d.bytes[0] == 0x44 &&
           d.bytes[1] == 0x48 && d.bytes[2] == 0x02 && d.bytes[3] == 0x01;
}

class WindowOnLab : public ::testing::Test {
protected:
    void SetUp() override {
        QUORVEX_LAB_OR_SKIP(lab);
        lab_ = std::move(lab);
        const std::string pc_if =
            lab_->AddSite("cams", "10.77.0.1/24", "10.77.0.2/24", "10.77.0.2");
        ASSERT_FALSE(pc_if.empty()) << lab_->last_error();
        const std::string devices = lab_->scratch_dir() + "/devices.json";
        std::ofstream(devices) << kDevices;
        sim_ = testing::Simulator::Start(*lab_, lab_->site_namespace("cams"),
                                         {"--devices", devices}, &lab_why);
        ASSERT_TRUE(sim_) << lab_why;
        lab_->EnterPc();  // the window's worker is born in the PC namespace
        stage_ = std::make_unique<testing::StagedApp>(std::vector<std::string>{pc_if});
        app_.LoadCurrentLanguage();
        window_ = std::make_unique<CQuorvexDlg>(app_);
        window_->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Model().rowCount() == 4; }, 15000))
            << "rows: " << Model().rowCount();
    }
    void TearDown() override { window_.reset(); }  // stops the worker before the lab goes

    DeviceListModel& Model() const { return window_->Model(); }
    int RowOf(const char* key) const {
        for (int row = 0; row < Model().rowCount(); ++row) {
            if (Model().Cell(row, 6) == QLatin1String(key)) return row;
        }
        return -1;
    }
    QStringList Row(const char* key) const {
        QStringList cells;
        for (int column = 0; column < 7; ++column) cells << Model().Cell(RowOf(key), column);
        return cells;
    }
    QString Address(const char* key) const { return Model().Cell(RowOf(key), 2); }
    void Select(std::initializer_list<const char*> keys) {
        window_->DeviceList()->clearSelection();
        for (const char* key : keys) {
            window_->DeviceList()->selectionModel()->select(
                window_->Proxy().mapFromSource(Model().index(RowOf(key), 0)),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    QStringList MenuTexts() const {
        QStringList texts;
        const std::unique_ptr<QMenu> menu = window_->BuildContextMenu();
        for (QAction* action : menu->actions()) texts << action->text();
        return texts;
    }
    // The devices report a change only in their next answer.
    bool RefreshUntil(const std::function<bool()>& condition) {
        for (int i = 0; i < 12; ++i) {
            if (QTest::qWaitFor(condition, 1500)) return true;
            window_->OnCommand(ID_REFRESH_LIST);
        }
        return false;
    }

    std::unique_ptr<testing::NetnsLab> lab_;
    std::unique_ptr<testing::Simulator> sim_;
    std::unique_ptr<testing::StagedApp> stage_;
    CQuorvexApp app_;
    std::unique_ptr<CQuorvexDlg> window_;
};

TEST_F(WindowOnLab, EveryCameraGetsOneRowWithItsSevenCellsAndTheMenuFollowsTheSelection) {
    EXPECT_EQ(Row(kGate),
              (QStringList{"H", "Gate", "10.77.0.21:80", "UID-GATE", "67.8.88.1", "W1.0", kGate}));
    EXPECT_EQ(Row(kLobby),
              (QStringList{"E", "Lobby", "10.77.0.22:80", "UID-LOBBY", "V5.7.74", "W2.0", kLobby}));
    // Outside the PC's subnet the address cell is the pack's string 1.
    EXPECT_EQ(Row(kFactory), (QStringList{"E", "Factory", "Alpha outside", "UID-FACTORY", "V5.0.1",
                                          "W2.1", kFactory}));
    EXPECT_EQ(Row(kYard),
              (QStringList{"J", "Yard", "Alpha outside", "UID-YARD", "66.1.30.37", "W3.0", kYard}));
    // Answers to a new search update the rows, and add none.
    const std::uint64_t searches = window_->Search().SearchCount();
    window_->Search().RequestRefresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_->Search().SearchCount() > searches; }, 10000));
    QTest::qWait(500);
    EXPECT_EQ(Model().rowCount(), 4);

    // Alpha names no item past the fifth: those keep the built-in English.
    EXPECT_EQ(MenuTexts(), (QStringList{"Alpha item 2", "Alpha item 3", "Alpha item 4",
                                        "Export all cameras...", "Export shown cameras..."}));
    Select({kGate});
    EXPECT_EQ(MenuTexts(), (QStringList{"Alpha item 0", "Alpha item 1", "Alpha item 2",
                                        "Alpha item 3", "Alpha item 4", "Export all cameras...",
                                        "Export shown cameras...", "Copy selected rows"}));
}

TEST_F(WindowOnLab, LanguageSwitchRenamesColumnsAndCaptionsAndIsSaved) {
    emit window_->LanguageBox()->activated(1);
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Beta window"));
    EXPECT_EQ(Model().columnCount(), 7);  // renamed in place, not added
    EXPECT_EQ(Model().headerData(6, Qt::Horizontal).toString(), QStringLiteral("Beta column 6"));
    EXPECT_EQ(FindControl<QLabel>(window_.get(), IDC_LANGUAGE_LABEL)->text(),
              QStringLiteral("Beta language"));
    EXPECT_EQ(MenuTexts().value(0), QStringLiteral("Beta item 2"));
    EXPECT_NE(stage_->ReadConfig().find("<language>Beta</language>"), std::string::npos);
    // The rows come back one answer at a time, in the new language.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return Model().rowCount() == 4 && Address(kYard) == QStringLiteral("Beta outside");
    }));
}

TEST_F(WindowOnLab, EnterMovesTheSelectedOutsideCamerasIntoTheSubnet) {
    Select({kFactory, kYard, kGate});  // the one inside is left alone
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);
    ASSERT_EQ(sim_->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_EQ(sim_->WaitForLog(Sent("netconf set -ipaddr 10.77.0.1"), 1), 1u);
    // Host numbers from the configured minimum, 10 and up, one per camera.
    ASSERT_TRUE(RefreshUntil([&] {
        return Address(kFactory).startsWith(QStringLiteral("10.77.0.1")) &&
               Address(kYard).startsWith(QStringLiteral("10.77.0.1"));
    })) << Address(kFactory).toStdString()
        << " " << Address(kYard).toStdString();
    EXPECT_NE(Address(kFactory).left(11), Address(kYard).left(11));
    EXPECT_EQ(Address(kGate), QStringLiteral("10.77.0.21:80"));
    EXPECT_EQ(Model().rowCount(), 4);
}

TEST_F(WindowOnLab, NetworkDialogSendsTheTextPortLaterAndOneBinaryCommand) {
    auto confirm = [this](const char* port, const char* ip, const char* password) {
        window_->SetDialogRunner([=](QDialog& dialog) {
            dialog.show();
            if (ip) FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText(ip);
            FindControl<QLineEdit>(&dialog, IDC_HTTP_PORT)->setText(QLatin1String(port));
            // The dialog never shows the device's password; the user types it.
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QLatin1String(password));
            FindControl<QPushButton>(&dialog, IDOK)->click();
            return dialog.result();
        });
        window_->OnCommand(ID_NET_CONFIG);
    };
    const auto is_port = Sent("httpport set -httpport 8080");
    const auto is_net = Sent("netconf set -ipaddr 10.77.0.99 ");
    Select({kLobby});
    confirm("8080", "10.77.0.99", "");
    EXPECT_EQ(sim_->WaitForLog(is_port, 1, {}), 0u);  // the window did not wait for it
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->WaitForLog(is_port, 1, {}) == 1; }, 15000));
    double net_time = 0, port_time = 0;
    for (const LoggedDatagram& d : sim_->ReadLog()) {
        if (is_net(d) && net_time == 0) net_time = d.time;
        if (is_port(d) && port_time == 0) port_time = d.time;
    }
    ASSERT_GT(net_time, 0);
    EXPECT_GE(port_time - net_time, 1.5);  // queued two seconds after the first
    ASSERT_TRUE(RefreshUntil([&] { return Address(kLobby) == QStringLiteral("10.77.0.99:8080"); }))
        << Address(kLobby).toStdString();

    Select({kGate});
    confirm("8081", nullptr, "pw");
    ASSERT_EQ(sim_->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_TRUE(RefreshUntil([&] { return Address(kGate) == QStringLiteral("10.77.0.21:8081"); }));
    QTest::qWait(2500);  // past the moment a second command would have left
    EXPECT_EQ(sim_->WaitForLog(IsBinaryCommand, 2, {}), 1u);
}

}  // namespace
}  // namespace quorvex
