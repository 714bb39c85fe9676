// The main window over a real search manager, searching on one veth link of a
// private network where the simulator plays four cameras.

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <fstream>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::PumpUntil;
using testing::Simulator;
using testing::StagedApp;
using testing::StageOptions;

constexpr char kGate[] = "00-1A-2B-00-00-01";     // binary H, in the PC's subnet
constexpr char kLobby[] = "00-1A-2B-00-00-02";    // text, in the subnet
constexpr char kFactory[] = "00-1A-2B-00-00-03";  // text, factory address outside
constexpr char kYard[] = "00-1A-2B-00-00-04";     // binary J, outside, broadcasts

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

std::string Text(const LoggedDatagram& datagram) {
    return std::string(datagram.bytes.begin(), datagram.bytes.end());
}

bool IsBinaryCommand(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 324 && d.bytes[0] == 0x44 &&
           d.bytes[1] == 0x48 && d.bytes[2] == 0x02 && d.bytes[3] == 0x01;
}

// A private network with the simulator on one side and the window's start-up
// directory naming the PC side's interface; the test thread lives in the PC
// namespace, so the window's worker is born there.
class WindowOnLab : public ::testing::Test {
protected:
    void StartLab() {
        std::string why;
        lab_ = NetnsLab::Create(&why);
        if (!lab_) {
            if (testing::NetnsRequired()) FAIL() << "QUORVEX_REQUIRE_NETNS=1 but no lab: " << why;
            GTEST_SKIP() << "needs root to build network namespaces (" << why << ")";
        }
        pc_if_ = lab_->AddSite("cams", "10.77.0.1/24", "10.77.0.2/24", "10.77.0.2");
        ASSERT_FALSE(pc_if_.empty()) << lab_->last_error();
        const std::string devices = lab_->scratch_dir() + "/devices.json";
        std::ofstream(devices) << kDevices;
        sim_ = Simulator::Start(*lab_, lab_->site_namespace("cams"), {"--devices", devices}, &why);
        ASSERT_TRUE(sim_) << why;
        lab_->EnterPc();

        StageOptions options;
        options.interfaces = {pc_if_};
        stage_ = std::make_unique<StagedApp>(options);
        app_ = std::make_unique<CQuorvexApp>();
        app_->LoadCurrentLanguage();
        window_ = std::make_unique<CQuorvexDlg>(*app_);
        window_->show();
        ASSERT_TRUE(
            PumpUntil([&] { return window_->Model().rowCount() == 4; }, std::chrono::seconds(15)))
            << "rows: " << window_->Model().rowCount();
    }

    void TearDown() override {
        window_.reset();  // stops the worker before the lab goes
        app_.reset();
        stage_.reset();
        sim_.reset();
        lab_.reset();
    }

    int RowOf(const char* key) const {
        for (int row = 0; row < window_->Model().rowCount(); ++row) {
            if (window_->Model().Cell(row, 6) == QLatin1String(key)) return row;
        }
        return -1;
    }
    QString Cell(const char* key, int column) const {
        return window_->Model().Cell(RowOf(key), column);
    }
    void Select(std::initializer_list<const char*> keys) {
        window_->DeviceList()->clearSelection();
        for (const char* key : keys) {
            window_->DeviceList()->selectionModel()->select(
                window_->Model().index(RowOf(key), 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // Refreshes now and then until `condition` holds: the devices answer
    // changes only in their next answer.
    bool RefreshUntil(const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end) {
            if (PumpUntil(condition, std::chrono::milliseconds(1500))) return true;
            window_->OnCommand(ID_REFRESH_LIST);
        }
        return false;
    }

    std::unique_ptr<NetnsLab> lab_;
    std::unique_ptr<Simulator> sim_;
    std::string pc_if_;
    std::unique_ptr<StagedApp> stage_;
    std::unique_ptr<CQuorvexApp> app_;
    std::unique_ptr<CQuorvexDlg> window_;
};

TEST_F(WindowOnLab, EveryCameraGetsOneRowWithItsSevenCells) {
    StartLab();
    if (IsSkipped() || HasFatalFailure()) return;
    auto row = [&](const char* key) {
        QStringList cells;
        for (int column = 0; column < 7; ++column) cells << Cell(key, column);
        return cells;
    };
    EXPECT_EQ(row(kGate),
              (QStringList{"H", "Gate", "10.77.0.21:80", "UID-GATE", "67.8.88.1", "W1.0", kGate}));
    EXPECT_EQ(row(kLobby),
              (QStringList{"E", "Lobby", "10.77.0.22:80", "UID-LOBBY", "V5.7.74", "W2.0", kLobby}));
    // Outside the PC's subnet the address column says so, in the pack's words.
    EXPECT_EQ(row(kFactory), (QStringList{"E", "Factory", "Alpha outside", "UID-FACTORY", "V5.0.1",
                                          "W2.1", kFactory}));
    EXPECT_EQ(row(kYard),
              (QStringList{"J", "Yard", "Alpha outside", "UID-YARD", "66.1.30.37", "W3.0", kYard}));

    // Answers to a new search change nothing and add no row.
    // Counted before asking: the worker may search before the next line runs.
    const std::uint64_t searches = window_->Search().SearchCount();
    window_->Search().RequestRefresh();
    ASSERT_TRUE(PumpUntil([&] { return window_->Search().SearchCount() > searches; }));
    QTest::qWait(500);
    EXPECT_EQ(window_->Model().rowCount(), 4);
}

TEST_F(WindowOnLab, EnterMovesTheSelectedOutsideCamerasIntoTheSubnet) {
    StartLab();
    if (IsSkipped() || HasFatalFailure()) return;
    Select({kFactory, kYard, kGate});  // the one inside is left alone
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);

    ASSERT_EQ(sim_->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_EQ(sim_->WaitForLog(
                  [](const LoggedDatagram& d) {
                      return Text(d).find("netconf set -ipaddr 10.77.0.1") != std::string::npos;
                  },
                  1),
              1u);
    // Host numbers from the configured minimum, 10 and up, one per camera.
    ASSERT_TRUE(RefreshUntil([&] {
        const QStringList moved{Cell(kFactory, 2), Cell(kYard, 2)};
        return moved.contains(QStringLiteral("10.77.0.10:8000")) ||
               moved.contains(QStringLiteral("10.77.0.11:8000"));
    }));
    ASSERT_TRUE(
        RefreshUntil([&] { return Cell(kYard, 2).startsWith(QStringLiteral("10.77.0.1")); }));
    EXPECT_NE(Cell(kFactory, 2).left(11), Cell(kYard, 2).left(11));
    EXPECT_EQ(Cell(kGate, 2), QStringLiteral("10.77.0.21:80"));
    EXPECT_EQ(window_->Model().rowCount(), 4);
}

TEST_F(WindowOnLab, NetworkDialogChangesTheCameraAndSendsThePortLater) {
    StartLab();
    if (IsSkipped() || HasFatalFailure()) return;
    Select({kLobby});
    window_->SetDialogRunner([](QDialog& dialog) {
        dialog.show();
        FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText("10.77.0.99");
        FindControl<QLineEdit>(&dialog, IDC_HTTP_PORT)->setText(QStringLiteral("8080"));
        FindControl<QPushButton>(&dialog, IDOK)->click();
        return dialog.result();
    });
    auto is_port_command = [](const LoggedDatagram& d) {
        return Text(d).find("httpport set -httpport 8080") != std::string::npos;
    };
    auto is_net_command = [](const LoggedDatagram& d) {
        return Text(d).find("netconf set -ipaddr 10.77.0.99 ") != std::string::npos;
    };
    window_->OnCommand(ID_NET_CONFIG);
    // The window did not wait: the port command is still ahead.
    EXPECT_EQ(sim_->WaitForLog(is_port_command, 1, std::chrono::milliseconds(0)), 0u);

    ASSERT_TRUE(PumpUntil(
        [&] { return sim_->WaitForLog(is_port_command, 1, std::chrono::milliseconds(0)) == 1; },
        std::chrono::seconds(15)));
    double net_time = 0;
    double port_time = 0;
    for (const LoggedDatagram& d : sim_->ReadLog()) {
        if (is_net_command(d) && net_time == 0) net_time = d.time;
        if (is_port_command(d) && port_time == 0) port_time = d.time;
    }
    ASSERT_GT(net_time, 0);
    EXPECT_GE(port_time - net_time, 1.5);  // queued two seconds after the first

    ASSERT_TRUE(RefreshUntil([&] { return Cell(kLobby, 2) == QStringLiteral("10.77.0.99:8080"); }))
        << Cell(kLobby, 2).toStdString();
}

TEST_F(WindowOnLab, NetworkDialogOnABinaryCameraSendsOneCommand) {
    StartLab();
    if (IsSkipped() || HasFatalFailure()) return;
    Select({kGate});
    window_->SetDialogRunner([](QDialog& dialog) {
        dialog.show();
        FindControl<QLineEdit>(&dialog, IDC_HTTP_PORT)->setText(QStringLiteral("8081"));
        // The dialog never shows the device's password; the user types it.
        FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QStringLiteral("pw"));
        FindControl<QPushButton>(&dialog, IDOK)->click();
        return dialog.result();
    });
    window_->OnCommand(ID_NET_CONFIG);
    ASSERT_EQ(sim_->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_TRUE(RefreshUntil([&] { return Cell(kGate, 2) == QStringLiteral("10.77.0.21:8081"); }));
    QTest::qWait(2500);  // past the moment a second command would have left
    EXPECT_EQ(sim_->WaitForLog(IsBinaryCommand, 2, std::chrono::milliseconds(0)), 1u);
}

}  // namespace
}  // namespace quorvex
