// The main window over the four cameras of `WindowOnLab`: their rows, the
// language packs, and their changes through Enter, the network dialog and a
// batch.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "tests/ui/window_on_lab.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::IsBinaryCommand;
using testing::LoggedDatagram;
using testing::Sent;
using WindowOnLab = testing::WindowOnLab;
using testing::kDevices;
using testing::kFactory;
using testing::kGate;
using testing::kLobby;
using testing::kYard;

TEST_F(WindowOnLab, EveryCameraGetsOneRowWithItsSevenCellsAndTheMenuFollowsTheSelection) {
    EXPECT_EQ(Row(kGate),
              (QStringList{"H", "Gate", "10.77.0.21:80", "UID-GATE", "67.8.88.1", "W1.0", kGate}));
    EXPECT_EQ(Row(kLobby),
              (QStringList{"E", "Lobby", "10.77.0.22:80", "UID-LOBBY", "V5.7.74", "W2.0", kLobby}));
    // Outside the PC's subnet the address cell is the camera's address and
    // the pack's string 1 (a pack without the newer text), and the filter
    // finds the camera by that address.
    EXPECT_EQ(Row(kFactory), (QStringList{"E", "Factory", "192.168.0.50 \u2014 Alpha outside",
                                          "UID-FACTORY", "V5.0.1", "W2.1", kFactory}));
    EXPECT_EQ(Row(kYard), (QStringList{"J", "Yard", "192.168.0.51 \u2014 Alpha outside", "UID-YARD",
                                       "66.1.30.37", "W3.0", kYard}));
    window_->FilterBox()->setText(QStringLiteral("192.168.0.51"));
    EXPECT_EQ(window_->Proxy().rowCount(), 1);
    window_->FilterBox()->clear();
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
    // Saved into the user's own config.xml, made from the one read at start,
    // which stays as it was.
    std::stringstream saved;
    saved << std::ifstream(std::string(std::getenv("XDG_CONFIG_HOME")) + "/quorvex/config.xml")
                 .rdbuf();
    EXPECT_NE(saved.str().find("<language>Beta</language>"), std::string::npos) << saved.str();
    EXPECT_EQ(stage_->ReadConfig().find("<language>Beta</language>"), std::string::npos);
    // The rows come back one answer at a time, in the new language.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return Model().rowCount() == 4 &&
                   Address(kYard).endsWith(QStringLiteral("Beta outside"));
        },
        15000));
}

TEST_F(WindowOnLab, EnterShowsThePlanThenMovesOnlyAsManyCamerasAsThereAreFreeAddressesAndSaysSo) {
    ConfirmDialogs();
    const auto commands = [&] {
        return sim_->WaitForLog(IsBinaryCommand, 9, {}) +
               sim_->WaitForLog(Sent("netconf set -ipaddr"), 9, {});
    };
    // A text and a binary camera would move: the plan lists what changes
    // first, and cancelling it sends nothing.
    Select({kFactory, kYard, kGate});  // the one inside is left alone
    cancel_plan_ = true;
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgCredentials", "quorvex::DlgChangePlan"}));
    for (const char* line :
         {"2 camera(s) change, 1 not changed.",
          "  1 not changed: already in the subnet of its interface",
          "    address: 192.168.0.50 -> 10.77.0.1", "    address: 192.168.0.51 -> 10.77.0.1",
          "    gateway: 192.168.0.1 -> 10.77.0.2"})
        EXPECT_TRUE(plan_.contains(QLatin1String(line))) << line << "\n" << plan_.toStdString();
    EXPECT_FALSE(window_->ChangesPending());
    cancel_plan_ = false;
    opened_.clear();

    // One free host number for two outside cameras: one moves, the other
    // stays where it is, and the window says so.
    window_->SetMatchRange(10, 10);
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgCredentials", "quorvex::DlgChangePlan"}));
    EXPECT_TRUE(window_->Notice().contains(
        "1 camera(s) not moved: no free address left in host numbers 10 to 10."))
        << window_->Notice().toStdString();
    ASSERT_TRUE(ChangesJudged());
    const char* moved = StateOf(kFactory) == ChangeState::kConfirmed ? kFactory : kYard;
    const char* left = moved == kFactory ? kYard : kFactory;
    EXPECT_EQ(StateOf(moved), ChangeState::kConfirmed);
    EXPECT_EQ(Address(moved).left(11), QStringLiteral("10.77.0.10:"));
    EXPECT_EQ(StateOf(left), ChangeState::kNone);
    EXPECT_TRUE(Address(left).endsWith(QStringLiteral("Alpha outside")));
    EXPECT_EQ(commands(), 1u);
    EXPECT_TRUE(window_->Notice().startsWith("1 of 1 change(s) confirmed."));

    // With room again the other one follows, past the number now taken.
    window_->SetMatchRange(10, 20);
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);
    ASSERT_TRUE(ChangesJudged());
    EXPECT_EQ(StateOf(left), ChangeState::kConfirmed);
    EXPECT_EQ(Address(left).left(11), QStringLiteral("10.77.0.11:"));
    EXPECT_EQ(Address(kGate), QStringLiteral("10.77.0.21:80"));
    EXPECT_EQ(commands(), 2u);
    EXPECT_EQ(Model().rowCount(), 4);
}

TEST_F(WindowOnLab, NetworkDialogRefusesTakenAddressesAndConfirmsWhatItSends) {
    const auto is_net = Sent("netconf set -ipaddr");
    // Another camera's address, the PC's own, one another host answers for
    // on the link and none at all stay in the dialog with their reason;
    // nothing goes out.
    ASSERT_TRUE(lab_->AddAddress(lab_->site_namespace("cams"), lab_->site_interface("cams"),
                                 "10.77.0.40/24"))
        << lab_->last_error();
    Select({kLobby});
    for (const char* refused : {"10.77.0.21", "10.77.0.1", "10.77.0.40", ""}) {
        QString why;
        window_->SetDialogRunner([&](QDialog& dialog) {
            dialog.show();
            FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->setText(QLatin1String(refused));
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QStringLiteral("pw"));
            FindControl<QPushButton>(&dialog, IDOK)->click();
            why = static_cast<DlgNetInformation&>(dialog).ProblemText(IDC_IP_ADDRESS);
            return dialog.result();
        });
        window_->OnCommand(ID_NET_CONFIG);
        EXPECT_FALSE(why.isEmpty()) << refused;
        if (refused == std::string("10.77.0.40")) {
            EXPECT_EQ(why, QStringLiteral("Another host on the link answers for this address."));
        }
        EXPECT_FALSE(window_->ChangesPending());
    }
    EXPECT_EQ(sim_->WaitForLog(is_net, 1, std::chrono::seconds(2)), 0u);

    QString password_why;
    auto confirm = [&, this](const char* port, const char* ip, const char* password) {
        window_->SetDialogRunner([=, &password_why, this](QDialog& dialog) {
            dialog.show();
            if (auto* plan = qobject_cast<DlgChangePlan*>(&dialog)) {  // a refusal: says why
                plan_ = plan->PlanText();
                return 0;
            }
            if (ip) FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText(ip);
            FindControl<QLineEdit>(&dialog, IDC_HTTP_PORT)->setText(QLatin1String(port));
            // The dialog never shows the device's password; the user types it.
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QLatin1String(password));
            FindControl<QPushButton>(&dialog, IDOK)->click();
            password_why = static_cast<DlgNetInformation&>(dialog).ProblemText(IDC_PASSWORD);
            return dialog.result();
        });
        window_->OnCommand(ID_NET_CONFIG);
    };
    // A text camera's answer carries no password: left blank, the dialog
    // asks for it and nothing goes.
    confirm("8080", "10.77.0.99", "");
    EXPECT_TRUE(password_why.startsWith("Type the password")) << password_why.toStdString();
    EXPECT_FALSE(window_->ChangesPending());
    const auto is_port = Sent("httpport set -httpport 8080");
    confirm("8080", "10.77.0.99", "pw");
    EXPECT_EQ(StateOf(kLobby), ChangeState::kPending);
    EXPECT_EQ(sim_->WaitForLog(is_port, 1, {}), 0u);  // the window did not wait for it
    ASSERT_TRUE(ChangesJudged());
    EXPECT_EQ(StateOf(kLobby), ChangeState::kConfirmed);
    EXPECT_EQ(Address(kLobby), QStringLiteral("10.77.0.99:8080"));
    double net_time = 0, port_time = 0;
    for (const LoggedDatagram& d : sim_->ReadLog()) {
        if (is_net(d) && net_time == 0) net_time = d.time;
        if (is_port(d) && port_time == 0) port_time = d.time;
    }
    ASSERT_GT(net_time, 0);
    ASSERT_GT(port_time, 0);
    EXPECT_GE(port_time - net_time, 1.5);  // queued two seconds after the first

    // A binary camera takes its port with its settings: one command.
    Select({kGate});
    confirm("8081", nullptr, "pw");
    ASSERT_TRUE(ChangesJudged());
    EXPECT_EQ(StateOf(kGate), ChangeState::kConfirmed);
    EXPECT_EQ(Address(kGate), QStringLiteral("10.77.0.21:8081"));
    EXPECT_EQ(sim_->WaitForLog(IsBinaryCommand, 2, {}), 1u);
    EXPECT_TRUE(window_->Notice().startsWith("1 of 1 change(s) confirmed."));
}

TEST_F(WindowOnLab, BatchPlanIsShownThenEachRowIsJudgedAndSilenceIsMarkedUntilItAnswers) {
    ConfirmDialogs([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Network configuration of 2 cameras"));
        FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText("10.77.0.22");
        FindControl<IpAddressEdit>(&dialog, IDC_DNS1)->SetAddressText("10.77.0.2");
        FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QStringLiteral("pw"));
    });
    window_->DeviceList()->sortByColumn(DeviceListModel::kMac, Qt::AscendingOrder);
    Select({kGate, kLobby});
    window_->OnCommand(ID_NET_CONFIG);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgNetInformation", "quorvex::DlgChangePlan"}));
    // From the start address on, the lobby camera's own address skipped.
    const QStringList lines = plan_.split('\n');
    for (const char* line :
         {"2 camera(s) change, 0 not changed.", "00-1A-2B-00-00-01  Gate  10.77.0.21 -> 10.77.0.23",
          "    address: 10.77.0.21 -> 10.77.0.23",
          "00-1A-2B-00-00-02  Lobby  10.77.0.22 -> 10.77.0.24"})
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line << "\n" << plan_.toStdString();
    EXPECT_EQ(StateOf(kGate), ChangeState::kPending);
    EXPECT_EQ(StateOf(kLobby), ChangeState::kPending);

    // Both commands arrive; then the lobby camera is switched off, and the
    // gate camera comes back with what it was sent.
    ASSERT_EQ(sim_->WaitForLog(IsBinaryCommand, 1), 1u);
    ASSERT_EQ(sim_->WaitForLog(Sent("netconf set -ipaddr 10.77.0.24 "), 1), 1u);
    sim_->Stop();
    std::string devices = kDevices;
    devices.replace(devices.find("\"10.77.0.21\""), 12, "\"10.77.0.23\", \"dns1\": \"10.77.0.2\"");
    const std::string lobby = devices.substr(devices.find("{\"mac\": \"00-1A-2B-00-00-02\""));
    const std::string without_lobby =
        std::string(devices).erase(devices.find(lobby), lobby.find("},") + 3);
    sim_ = StartSim(without_lobby.c_str());
    ASSERT_TRUE(sim_);
    ASSERT_TRUE(ChangesJudged());
    EXPECT_EQ(StateOf(kGate), ChangeState::kConfirmed) << plan_.toStdString();
    EXPECT_EQ(StateOf(kLobby), ChangeState::kNotConfirmed);
    EXPECT_TRUE(Model()
                    .index(RowOf(kLobby), 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Change not confirmed: it did not answer again"));
    EXPECT_TRUE(window_->Notice().startsWith("1 of 2 change(s) confirmed."));

    // The silent camera is marked once it has missed the set number of
    // searches, and the mark goes with its next answer.
    const auto lobby_answering = [&] { return Model().Device(RowOf(kLobby))->answering; };
    for (int i = 0; i < 30 && lobby_answering(); ++i) {
        window_->Search().RequestRefresh();
        QTest::qWait(300);
    }
    ASSERT_FALSE(lobby_answering());
    EXPECT_TRUE(Model().Device(RowOf(kGate))->answering);
    EXPECT_EQ(Model().Count().silent, 1);
    sim_->Stop();
    devices.replace(devices.find("10.77.0.22"), 10, "10.77.0.24");
    sim_ = StartSim(devices.c_str());
    ASSERT_TRUE(sim_);
    for (int i = 0; i < 30 && !lobby_answering(); ++i) {
        window_->Search().RequestRefresh();
        QTest::qWait(300);
    }
    EXPECT_TRUE(lobby_answering());
    EXPECT_EQ(Model().Count().silent, 0);
    EXPECT_EQ(Address(kLobby), QStringLiteral("10.77.0.24:80"));
}

}  // namespace
}  // namespace quorvex
