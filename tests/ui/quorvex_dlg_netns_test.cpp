// The main window over a real search manager on one veth link of a private
// network where the simulator plays four cameras. Waits are bounded and
// generous: they end as soon as the outcome is there.

#include <gtest/gtest.h>

#include <QCheckBox>
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
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

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
   "software_version": "V5.7.74", "web_version": "W2.0", "password": "pw", "reply": "multicast"},
  {"mac": "00-1A-2B-00-00-03", "protocol": "text", "name": "Factory", "uid": "UID-FACTORY",
   "ip": "192.168.0.50", "mask": "255.255.255.0", "gateway": "192.168.0.1", "http_port": 8000,
   "software_version": "V5.0.1", "web_version": "W2.1", "password": "pw"},
  {"mac": "00-1A-2B-00-00-04", "protocol": "binary", "family": "J", "name": "Yard", "uid": "UID-YARD",
   "ip": "192.168.0.51", "mask": "255.255.255.0", "gateway": "192.168.0.1", "http_port": 80,
   "software_version": "66.1.30.37", "web_version": "W3.0", "user": "admin", "password": "pw",
   "reply": "broadcast"}
])";

// Standard cameras beside them: Porch (HTTP Digest) and Dock (UsernameToken,
// another password) in the PC's subnet, Shed outside it, reached through a
// route the test gives the PC.
constexpr char kPorch[] = "00-1A-2B-00-00-05";
constexpr char kDock[] = "00-1A-2B-00-00-06";
constexpr char kShed[] = "00-1A-2B-00-00-07";
constexpr char kStandardDevices[] = R"(,
  {"mac": "00-1A-2B-00-00-05", "protocol": "standard", "name": "Porch", "ip": "10.77.0.31",
   "mask": "255.255.255.0", "gateway": "10.77.0.2", "dns1": "10.77.0.2", "hardware": "QX-Porch",
   "software_version": "2.4.1", "user": "admin", "password": "pw"},
  {"mac": "00-1A-2B-00-00-06", "protocol": "standard", "name": "Dock", "ip": "10.77.0.32",
   "mask": "255.255.255.0", "gateway": "10.77.0.2", "auth": "token", "user": "admin",
   "password": "dock-secret"},
  {"mac": "00-1A-2B-00-00-07", "protocol": "standard", "name": "Shed", "ip": "192.168.0.60",
   "mask": "255.255.255.0", "gateway": "192.168.0.1", "user": "admin", "password": "pw"}
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
    ChangeState StateOf(const char* key) const { return Model().ChangeStateOf(RowOf(key)); }
    // Confirms every dialog the window opens (the network dialog after
    // `fill`, the credentials with the text cameras' password), and notes
    // what each was.
    void ConfirmDialogs(std::function<void(QDialog&)> fill = {}) {
        window_->SetDialogRunner([this, fill](QDialog& dialog) {
            dialog.show();
            opened_ << QString::fromLatin1(dialog.metaObject()->className());
            if (fill && qobject_cast<DlgNetInformation*>(&dialog) != nullptr) fill(dialog);
            if (qobject_cast<DlgCredentials*>(&dialog) != nullptr)
                FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QStringLiteral("pw"));
            if (auto* plan = qobject_cast<DlgChangePlan*>(&dialog)) plan_ = plan->PlanText();
            const bool cancel = cancel_plan_ && qobject_cast<DlgChangePlan*>(&dialog) != nullptr;
            FindControl<QPushButton>(&dialog, cancel ? IDCANCEL : IDOK)->click();
            return dialog.result();
        });
    }
    // Until every change the window sent is judged: the leave deadline and
    // the confirmation time, with room for a loaded machine.
    bool ChangesJudged() {
        return QTest::qWaitFor([&] { return !window_->ChangesPending(); }, 90000);
    }
    std::unique_ptr<testing::Simulator> StartSim(const char* devices_json) {
        const std::string devices = lab_->scratch_dir() + "/devices-now.json";
        std::ofstream(devices) << devices_json;
        std::string why;
        auto sim = testing::Simulator::Start(*lab_, lab_->site_namespace("cams"),
                                             {"--devices", devices}, &why);
        EXPECT_TRUE(sim) << why;
        return sim;
    }

    std::unique_ptr<testing::NetnsLab> lab_;
    std::unique_ptr<testing::Simulator> sim_;
    std::unique_ptr<testing::StagedApp> stage_;
    CQuorvexApp app_;
    std::unique_ptr<CQuorvexDlg> window_;
    QStringList opened_;
    QString plan_;
    bool cancel_plan_ = false;
};

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

// Standard cameras go through the same dialogs as the others: one
// credentials prompt per flow, the plan first, a read before the network
// dialog of one camera, each row followed to its outcome with the reason.
TEST_F(WindowOnLab, StandardCamerasChangeThroughTheSameDialogsAndEachRowIsJudged) {
    sim_->Stop();
    std::string devices = kDevices;
    devices.replace(devices.rfind(']'), 1, kStandardDevices);
    sim_ = StartSim(devices.c_str());
    ASSERT_TRUE(sim_);
    ASSERT_EQ(lab_->Run(lab_->pc_namespace(), {"ip", "route", "add", "192.168.0.0/24", "dev",
                                               lab_->pc_interface("cams")}),
              0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().rowCount() == 7; }, 15000))
        << "rows: " << Model().rowCount();
    // Fills every dialog as a user would: the credentials, `fill` for the
    // network dialog; notes which opened and what the plan said.
    QString user = QStringLiteral("admin"), password = QStringLiteral("pw");
    std::function<void(DlgNetInformation&)> fill;
    const auto run = [&](QDialog& dialog) {
        dialog.show();
        opened_ << QString::fromLatin1(dialog.metaObject()->className());
        if (qobject_cast<DlgCredentials*>(&dialog) != nullptr) {
            FindControl<QLineEdit>(&dialog, IDC_USER)->setText(user);
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(password);
        }
        if (auto* net = qobject_cast<DlgNetInformation*>(&dialog); net && fill) fill(*net);
        if (auto* plan = qobject_cast<DlgChangePlan*>(&dialog)) {
            plan_ = plan->PlanText();
            // docs/mixed-batch-plan.png is the batch's plan, saved so.
            if (const char* dir = std::getenv("QUORVEX_SCREENSHOT_DIR"))
                plan->grab().save(QString::fromLocal8Bit(dir) + "/mixed-batch-plan.png");
        }
        FindControl<QPushButton>(&dialog, IDOK)->click();
        return dialog.result();
    };
    window_->SetDialogRunner(run);
    const QStringList progress{
        DefaultUiText(IDS_STANDARD_WAITING), DefaultUiText(IDS_STANDARD_READING),
        DefaultUiText(IDS_STANDARD_APPLYING), DefaultUiText(IDS_STANDARD_CONFIRMING)};
    // A moved camera answered from both addresses within one search, which
    // the list takes for a MAC in conflict until a search hears it at one.
    const auto listed_at = [&](const char* key, const char* address) {
        for (int i = 0; i < 60 && !Address(key).startsWith(QLatin1String(address)); ++i) {
            window_->Search().RequestRefresh();
            QTest::qWait(300);
        }
        return Address(key).startsWith(QLatin1String(address));
    };
    const auto tooltip = [&](const char* key) {
        return Model().index(RowOf(key), 0).data(Qt::ToolTipRole).toString();
    };

    // Enter on two own-protocol cameras and a standard one outside the
    // subnet: one prompt, which asks the standard camera's user too; the
    // plan lists all three; the window goes on while the standard camera
    // is read, changed and read back, its row saying where it stands.
    window_->SetMatchRange(10, 20);
    Select({kFactory, kYard, kShed});
    user.clear();
    QString user_why;
    window_->SetDialogRunner([&](QDialog& dialog) {
        if (qobject_cast<DlgCredentials*>(&dialog) != nullptr) {
            dialog.show();
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(password);
            FindControl<QPushButton>(&dialog, IDOK)->click();  // no user: refused
            user_why = FindControl<QLabel>(&dialog, IDC_USER_PROBLEM)->text();
            EXPECT_FALSE(dialog.isHidden());
            FindControl<QLineEdit>(&dialog, IDC_USER)->setText(QStringLiteral("admin"));
            user = QStringLiteral("admin");
        }
        return run(dialog);
    });
    QTest::keyClick(window_->DeviceList(), Qt::Key_Return);
    window_->SetDialogRunner(run);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgCredentials", "quorvex::DlgChangePlan"}));
    EXPECT_EQ(user_why, DefaultUiText(IDS_CREDENTIALS_USER_REQUIRED).arg(1));
    EXPECT_TRUE(plan_.startsWith("3 camera(s) change, 0 not changed.")) << plan_.toStdString();
    EXPECT_TRUE(plan_.contains("00-1A-2B-00-00-07  Shed  192.168.0.60 -> 10.77.0."))
        << plan_.toStdString();
    EXPECT_FALSE(plan_.contains("pw")) << plan_.toStdString();  // never printed
    // The camera moves only after the simulator's move delay, so it is
    // still under way here.
    EXPECT_EQ(StateOf(kShed), ChangeState::kPending);
    EXPECT_TRUE(progress.contains(Model().ChangeReasonOf(RowOf(kShed))))
        << Model().ChangeReasonOf(RowOf(kShed)).toStdString();
    EXPECT_TRUE(tooltip(kShed).contains(Model().ChangeReasonOf(RowOf(kShed))));
    ASSERT_TRUE(ChangesJudged());
    for (const char* key : {kFactory, kYard, kShed})
        EXPECT_EQ(StateOf(key), ChangeState::kConfirmed)
            << key << " " << tooltip(key).toStdString();
    EXPECT_TRUE(window_->Notice().startsWith("3 of 3 change(s) confirmed."))
        << window_->Notice().toStdString();
    EXPECT_TRUE(listed_at(kShed, "10.77.0.1")) << Address(kShed).toStdString();

    // The network dialog of one standard camera: the credentials first, then
    // the dialog holds what was read of the camera and the credentials typed.
    opened_.clear();
    QStringList shown;
    fill = [&](DlgNetInformation& dialog) {
        for (const int id : {IDC_IP_ADDRESS, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_DNS1, IDC_DNS2})
            shown << FindControl<IpAddressEdit>(&dialog, id)->text();
        for (const int id : {IDC_HTTP_PORT, IDC_USER, IDC_PASSWORD})
            shown << FindControl<QLineEdit>(&dialog, id)->text();
        shown << (FindControl<QCheckBox>(&dialog, IDC_DHCP)->isChecked() ? "dhcp" : "fixed");
        FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText("10.77.0.41");
    };
    Select({kPorch});
    window_->OnCommand(ID_NET_CONFIG);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgCredentials", "quorvex::DlgNetInformation"}));
    EXPECT_EQ(shown, (QStringList{"10.77.0.31", "255.255.255.0", "10.77.0.2", "10.77.0.2", "", "80",
                                  "admin", "pw", "fixed"}));
    ASSERT_TRUE(ChangesJudged());
    EXPECT_EQ(StateOf(kPorch), ChangeState::kConfirmed) << tooltip(kPorch).toStdString();
    EXPECT_TRUE(listed_at(kPorch, "10.77.0.41:80")) << Address(kPorch).toStdString();
    // Basic information: what the read found, the address as it is now.
    QStringList info;
    window_->SetDialogRunner([&](QDialog& dialog) {
        dialog.show();
        for (const int id : {IDC_STANDARD_MODEL, IDC_STANDARD_FIRMWARE, IDC_STANDARD_SERIAL,
                             IDC_MAC, IDC_OWN_ADDRESS, IDC_STANDARD_HTTP_PORT})
            info << FindControl<QLabel>(&dialog, id)->text();
        return int{QDialog::Accepted};
    });
    window_->OnCommand(ID_BASE_INFO);
    EXPECT_EQ(info, (QStringList{"Quorvex Sim QX-Porch", "2.4.1", "001A2B000005", kPorch,
                                 "10.77.0.41", "80"}));
    window_->SetDialogRunner(run);

    // A wrong password: the read before the dialog is refused, and the
    // window says why without opening the dialog.
    opened_.clear();
    Select({kDock});
    window_->OnCommand(ID_NET_CONFIG);
    EXPECT_EQ(opened_, QStringList{"quorvex::DlgCredentials"});
    EXPECT_TRUE(window_->Notice().contains(DefaultUiText(IDS_STANDARD_AUTH_REFUSED)))
        << window_->Notice().toStdString();
    EXPECT_FALSE(window_->ChangesPending());

    // A batch of binary, text and standard cameras from one start address:
    // the plan first, then each row judged; the camera with another password
    // is not confirmed, and its row says why.
    opened_.clear();
    fill = [](DlgNetInformation& dialog) {
        FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText("10.77.0.60");
        FindControl<QLineEdit>(&dialog, IDC_USER)->setText(QStringLiteral("admin"));
        FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(QStringLiteral("pw"));
    };
    window_->DeviceList()->sortByColumn(DeviceListModel::kMac, Qt::AscendingOrder);
    Select({kGate, kLobby, kPorch, kDock});
    window_->OnCommand(ID_NET_CONFIG);
    EXPECT_EQ(opened_, (QStringList{"quorvex::DlgNetInformation", "quorvex::DlgChangePlan"}));
    for (const char* line :
         {"4 camera(s) change, 0 not changed.", "00-1A-2B-00-00-01  Gate  10.77.0.21 -> 10.77.0.6",
          "00-1A-2B-00-00-02  Lobby  10.77.0.22 -> 10.77.0.6",
          "00-1A-2B-00-00-05  Porch  10.77.0.41 -> 10.77.0.6",
          "00-1A-2B-00-00-06  Dock  10.77.0.32 -> 10.77.0.6"})
        EXPECT_TRUE(plan_.contains(QLatin1String(line))) << line << "\n" << plan_.toStdString();
    ASSERT_TRUE(ChangesJudged());
    for (const char* key : {kGate, kLobby, kPorch})
        EXPECT_EQ(StateOf(key), ChangeState::kConfirmed)
            << key << " " << tooltip(key).toStdString();
    EXPECT_EQ(StateOf(kDock), ChangeState::kNotConfirmed);
    EXPECT_EQ(Model().ChangeReasonOf(RowOf(kDock)), DefaultUiText(IDS_STANDARD_AUTH_REFUSED));
    EXPECT_TRUE(tooltip(kDock).contains(DefaultUiText(IDS_STANDARD_AUTH_REFUSED)));
    EXPECT_TRUE(window_->Notice().startsWith("3 of 4 change(s) confirmed."))
        << window_->Notice().toStdString();
    EXPECT_EQ(Address(kDock), QStringLiteral("10.77.0.32:80"));

    // Closing the window while a change runs waits for the camera already
    // started, then goes: a move that went out is read back at its new
    // address, never abandoned halfway.
    ASSERT_TRUE(listed_at(kPorch, "10.77.0.62:80")) << Address(kPorch).toStdString();
    fill = [](DlgNetInformation& dialog) {
        FindControl<IpAddressEdit>(&dialog, IDC_IP_ADDRESS)->SetAddressText("10.77.0.45");
    };
    Select({kPorch});
    window_->OnCommand(ID_NET_CONFIG);
    EXPECT_TRUE(window_->ChangesPending());
    window_.reset();
    std::size_t moves = 0, read_back = 0;
    for (const LoggedDatagram& d : sim_->ReadLog()) {
        moves += d.address == "10.77.0.62" && d.operation == "SetNetworkInterfaces" &&
                 d.result == "accepted";
        read_back += d.address == "10.77.0.45" && d.operation == "GetNetworkInterfaces";
    }
    EXPECT_LE(moves, 1u);
    EXPECT_EQ(read_back > 0, moves == 1);
}

}  // namespace
}  // namespace quorvex
