#pragma once

// The main window over a real search manager on one veth link of a private
// network where the simulator plays four cameras: two in the PC's subnet
// (binary Gate, text Lobby) and two outside it (text Factory, binary Yard).
// Waits are bounded and generous: they end as soon as the outcome is there.

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

namespace quorvex::testing {

inline constexpr char kGate[] = "00-1A-2B-00-00-01";     // binary H, in the PC's subnet
inline constexpr char kLobby[] = "00-1A-2B-00-00-02";    // text, in the subnet
inline constexpr char kFactory[] = "00-1A-2B-00-00-03";  // text, outside
inline constexpr char kYard[] = "00-1A-2B-00-00-04";     // binary J, outside, answers by broadcast
inline constexpr char kDevices[] = R"([
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

inline std::function<bool(const LoggedDatagram&)> Sent(const std::string& text) {
    return [=](const LoggedDatagram& d) {
        return std::string(d.bytes.begin(), d.bytes.end()).find(text) != std::string::npos;
    };
}
inline bool IsBinaryCommand(const LoggedDatagram& d) {  // "DH", set, 324 bytes to port 8600
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
        sim_ =
            Simulator::Start(*lab_, lab_->site_namespace("cams"), {"--devices", devices}, &lab_why);
        ASSERT_TRUE(sim_) << lab_why;
        lab_->EnterPc();  // the window's worker is born in the PC namespace
        stage_ = std::make_unique<StagedApp>(std::vector<std::string>{pc_if});
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
    std::unique_ptr<Simulator> StartSim(const char* devices_json) {
        const std::string devices = lab_->scratch_dir() + "/devices-now.json";
        std::ofstream(devices) << devices_json;
        std::string why;
        auto sim =
            Simulator::Start(*lab_, lab_->site_namespace("cams"), {"--devices", devices}, &why);
        EXPECT_TRUE(sim) << why;
        return sim;
    }

    std::unique_ptr<NetnsLab> lab_;
    std::unique_ptr<Simulator> sim_;
    std::unique_ptr<StagedApp> stage_;
    CQuorvexApp app_;
    std::unique_ptr<CQuorvexDlg> window_;
    QStringList opened_;
    QString plan_;
    bool cancel_plan_ = false;
};

}  // namespace quorvex::testing
