// The main window over a real search manager on a site of WS-Discovery
// cameras beside a text camera that answers WS-Discovery too: each camera gets
// one row, the kind column names WS-Discovery, and Hello and Bye reach the
// rows while the window runs; a fault and refused datagrams reach the
// status line, and nothing genuine goes with them. Standard cameras (heard by
// WS-Discovery, changed through their device service) beside the cameras of
// `WindowOnLab` go through the window's dialogs like the others.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "tests/ui/window_on_lab.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/ip_address_edit.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {
namespace {

using testing::FindControl;
using testing::LoggedDatagram;
using WindowOnLab = testing::WindowOnLab;
using testing::kDevices;
using testing::kFactory;
using testing::kGate;
using testing::kLobby;
using testing::kYard;

constexpr int kKind = 0;
constexpr int kKey = 6;

// Standard cameras beside the four of `WindowOnLab`: Porch (HTTP Digest) and Dock (UsernameToken,
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

TEST(WindowWsdNetns, EveryCameraOneRowKindNamesWsDiscoveryHostileAnswersShownByeMarksRowsGone) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.8.1/24", "10.77.8.2/24", "10.77.8.2");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // Two text cameras, the first of which answers WS-Discovery too, and
    // three WS-Discovery cameras in the three answer styles (one without MAC).
    // Each says Hello once it heard the first probe and Bye 3 s later. Every
    // probe also draws a fault and four datagrams to refuse.
    std::string why;
    const auto sim = testing::Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--text", "2", "--wsd-dual", "1", "--wsd", "3", "--subnet", "10.77.8.", "--wsd-hello",
         "--wsd-bye-after", "3000", "--wsd-malformed"},
        &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();  // the window's worker is born in the PC namespace
    testing::StagedApp stage({pc_if});
    CQuorvexApp app;
    app.LoadCurrentLanguage();
    auto window = std::make_unique<CQuorvexDlg>(app);
    window->show();
    DeviceListModel& model = window->Model();

    // The updates carry the WS-Discovery details as values; the model never
    // asks the search manager for them.
    const auto heard_by_wsd = [&](bool gone) {
        int count = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            const DeviceUpdate* update = model.Device(row);
            if (update != nullptr && update->wsd &&
                ((update->wsd->flags & kWsdGone) != 0) == gone) {
                ++count;
            }
        }
        return count;
    };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model.rowCount() == 5 && heard_by_wsd(false) == 4; }, 15000))
        << "rows: " << model.rowCount();
    int wsd_only = 0, dual = 0, wsd_row = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        const DeviceUpdate& update = *model.Device(row);
        const QString kind = model.Cell(row, kKind);
        const QString key = model.Cell(row, kKey);
        EXPECT_EQ(key.toStdString(), TableKeyText(TableKey(update)));
        if (update.entry.protocol == kProtocolWsDiscovery) {
            ++wsd_only;
            wsd_row = row;
            EXPECT_EQ(kind, QStringLiteral("WS-Discovery"));
            EXPECT_NE(GetText(update.wsd->xaddrs).find("10.77.8."), std::string_view::npos);
        } else {
            EXPECT_EQ(kind, QStringLiteral("E"));
            dual += update.wsd != nullptr;
        }
    }
    EXPECT_EQ(wsd_only, 3);
    EXPECT_EQ(dual, 1);

    // The status line names the faults and the refused datagrams under
    // WS-Discovery, in the pack's words (counts grow with each search).
    const auto shown = [&](int id) {
        QString pattern = QRegularExpression::escape(
            DefaultUiText(id).arg(DefaultUiText(IDS_PROTOCOL_WSD), QStringLiteral("COUNT")));
        pattern.replace(QStringLiteral("COUNT"), QStringLiteral("[1-9][0-9]*"));
        return QRegularExpression(pattern).match(window->StatusLine()->text()).hasMatch();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(IDS_STATUS_FAULTS); }, 15000))
        << window->StatusLine()->text().toStdString();
    EXPECT_TRUE(shown(IDS_STATUS_REFUSED)) << window->StatusLine()->text().toStdString();

    // A camera only WS-Discovery heard that names a device service is
    // changed through it: the network dialog first asks for the user and
    // password to read it with (cancelled here), and refuses nothing.
    ASSERT_GE(wsd_row, 0);
    window->DeviceList()->selectionModel()->select(
        window->Proxy().mapFromSource(model.index(wsd_row, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QStringList opened;
    window->SetDialogRunner([&](QDialog& dialog) {
        opened << QString::fromLatin1(dialog.metaObject()->className());
        return int{QDialog::Rejected};
    });
    window->OnCommand(ID_NET_CONFIG);
    EXPECT_EQ(opened, QStringList{"quorvex::DlgCredentials"});
    EXPECT_NE(window->Notice(), DefaultUiText(IDS_WSD_READ_ONLY));

    // Bye: the rows stay, marked gone, with what was known of them.
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard_by_wsd(true) == 4; }, 15000))
        << "gone: " << heard_by_wsd(true);
    EXPECT_EQ(model.rowCount(), 5);
    window.reset();  // stops the worker before the lab goes
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model().rowCount() == 7; }, 15000))
        << "rows: " << Model().rowCount();
    // Fills every dialog as a user would: the credentials, `fill` for the
    // network dialog; notes which opened and what the plan said.
    QString user = QStringLiteral("admin"), password = QStringLiteral("pw");
    QString question;  // the temporary address asked for
    std::function<void(DlgNetInformation&)> fill;
    const auto run = [&](QDialog& dialog) {
        dialog.show();
        opened_ << QString::fromLatin1(dialog.metaObject()->className());
        if (qobject_cast<DlgCredentials*>(&dialog) != nullptr) {
            FindControl<QLineEdit>(&dialog, IDC_USER)->setText(user);
            FindControl<QLineEdit>(&dialog, IDC_PASSWORD)->setText(password);
        }
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            question = box->text();
            box->button(QMessageBox::Yes)->click();
            return dialog.result();
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
    // The standard camera lies outside every subnet of the PC: the PC takes
    // an address of its subnet for the change once the user agrees, and
    // gives it back when the change is judged.
    EXPECT_EQ(opened_,
              (QStringList{"quorvex::DlgCredentials", "quorvex::DlgChangePlan", "QMessageBox"}));
    EXPECT_TRUE(plan_.contains("through temporary address 192.168.0.")) << plan_.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(lab_->pc_interface("cams"))))
        << question.toStdString();
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
    std::string addresses;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            addresses.clear();
            lab_->Run(lab_->pc_namespace(), {"ip", "-4", "addr", "show"}, &addresses);
            return addresses.find("192.168.0.") == std::string::npos;
        },
        15000))
        << addresses;

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
