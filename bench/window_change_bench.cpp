// Enter on a large site: 2,000 cameras outside the PC's subnet, all selected,
// and the key that moves them. A private network namespace holds one veth
// link at 10.77.0.1/24 whose peer answers nothing, so the window's link
// question waits its whole patience, as on a site where the addresses are
// free. The cameras reach the window through the manager's own entry point.
//
// Prints one line per figure, each the median of the runs (--runs N, 5 by
// default), in milliseconds:
//   change <figure> <median_ms> <max_ms>
// key_to_prompt: the key to the credentials prompt on screen (the plan that
// tells who needs a password typed comes first); ok_to_progress: the
// prompt's OK to the link question's progress with its Cancel on screen;
// ok_to_plan: the prompt's OK to the plan dialog on screen.
//
// With --screenshots DIR, also saves DIR/plan-2000.png (the plan dialog of
// the first run) and DIR/net-dialog-zh.png (the network dialog in the
// Chinese pack with a reason under each refused address field).

#include <arpa/inet.h>
#include <sched.h>
#include <unistd.h>

#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <vector>

#include "config/app_path.h"
#include "config/language_x.h"
#include "ui/device_list_model.h"
#include "ui/dialog_template.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/qt_language_surface.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"

#ifndef QUORVEX_DATA_DIR
#define QUORVEX_DATA_DIR "data"
#endif

namespace quorvex::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCameras = 2000;
constexpr char kLink[] = "qvxchg0";

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::filesystem::path StageStartupDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvx-chg-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    const std::filesystem::path dir = pattern;
    const std::filesystem::path data = QUORVEX_DATA_DIR;
    std::filesystem::create_directories(dir / "Language");
    std::filesystem::copy_file(data / "Language" / "english.xml", dir / "Language" / "english.xml");
    std::ofstream(dir / "config.xml") << R"(<?xml version="1.0" encoding="utf-8"?>
<config>
	<language>English</language>
	<languagelist><language><text>English</text><file>english.xml</file></language></languagelist>
	<search_interval>30</search_interval>
	<match_address><min>10</min><max>253</max></match_address>
	<interfaces><interface>)" << kLink
                                      << R"(</interface></interfaces>
</config>
)";
    return dir;
}

// Binary and text cameras, two in three binary, on 192.168.x.y.
DeviceEntry Camera(int i) {
    DeviceEntry e{};
    const std::uint8_t mac[6] = {
        0x02, 0x4C, 0x2B, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
    std::copy(std::begin(mac), std::end(mac), e.info.mac);
    char text[64];
    std::snprintf(text, sizeof text, "Camera %04d", i + 1);
    SetText(e.info.name, text);
    std::snprintf(text, sizeof text, "192.168.%d.%d", 1 + i / 250, 1 + i % 250);
    SetText(e.info.ip, text);
    std::snprintf(text, sizeof text, "QVX4C%06X", i);
    SetText(e.info.uid, text);
    SetText(e.info.mask, "255.255.255.0");
    SetText(e.info.gateway, "192.168.1.254");
    SetText(e.info.user, "admin");
    e.info.http_port = 80;
    e.protocol = i % 3 == 2 ? kProtocolText : kProtocolBinary;
    if (e.protocol == kProtocolBinary) SetText(e.info.password, "own-pw");
    e.interface_address = ::inet_addr("10.77.0.1");
    return e;
}

struct Times {
    double key_to_prompt = 0, ok_to_progress = 0, ok_to_plan = 0;
    bool complete = false;
};

Times RunOnce(CQuorvexDlg& window, const QString& plan_shot) {
    Times times;
    std::optional<Clock::time_point> prompt, ok, progress, plan;
    window.SetDialogRunner([&](QDialog& dialog) {
        dialog.show();
        QApplication::processEvents();
        if (auto* credentials = qobject_cast<DlgCredentials*>(&dialog)) {
            prompt = Clock::now();
            for (auto* field : credentials->findChildren<QLineEdit*>())
                if (ControlId(field) == IDC_PASSWORD) field->setText(QStringLiteral("pw"));
            ok = Clock::now();
            // Its OK takes what was typed, as a click would.
            for (auto* button : credentials->findChildren<QPushButton*>())
                if (ControlId(button) == IDOK) button->click();
            dialog.hide();
            return dialog.result();
        }
        if (qobject_cast<DlgChangePlan*>(&dialog) != nullptr) {
            plan = Clock::now();
            if (!plan_shot.isEmpty()) dialog.grab().save(plan_shot);
        }
        dialog.hide();
        return int{QDialog::Rejected};  // nothing is sent
    });
    // The progress dialog is the flow's own; a 1 ms look finds it shown.
    QTimer look;
    look.setTimerType(Qt::PreciseTimer);
    look.setInterval(1);
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (progress) return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QProgressDialog*>(w) != nullptr && w->isVisible())
                progress = Clock::now();
    });
    look.start();
    window.DeviceList()->setFocus();
    window.DeviceList()->selectAll();
    QApplication::processEvents();
    const Clock::time_point key = Clock::now();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window.DeviceList(), &press);
    look.stop();
    window.SetDialogRunner({});
    if (!(prompt && ok && progress && plan))
        std::cerr << "window_change_bench: prompt " << prompt.has_value() << " progress "
                  << progress.has_value() << " plan " << plan.has_value() << " "
                  << (plan && ok ? Ms(*ok, *plan) : -1) << "\n";
    if (prompt && ok && progress && plan) {
        times.key_to_prompt = Ms(key, *prompt);
        times.ok_to_progress = Ms(*ok, *progress);
        times.ok_to_plan = Ms(*ok, *plan);
        times.complete = true;
    }
    return times;
}

// The network dialog in the Chinese pack, every address field refused with
// its reason under it.
bool NetDialogShot(const QString& file) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvx-zh-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return false;
    const std::filesystem::path dir = pattern;
    std::filesystem::create_directories(dir / "Language");
    std::filesystem::copy_file(std::filesystem::path(QUORVEX_DATA_DIR) / "Language" / "chinese.xml",
                               dir / "Language" / "chinese.xml");
    std::ofstream(dir / "config.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><language>简体中文</language>"
           "<languagelist><language><text>简体中文</text><file>chinese.xml</file></language>"
           "</languagelist></config>\n";
    SetStartupDirectory(dir);
    QtLanguageSurface surface;
    LanguageX pack;
    pack.SetSurface(&surface);
    pack.LoadCurrentLanguage();
    DeviceEntry entry = Camera(0);
    SetText(entry.info.ip, "10.77.0.30");
    DlgNetInformation dialog(pack);
    dialog.SetDevice(entry);
    dialog.show();
    QApplication::processEvents();
    for (const auto& [id, text] :
         {std::pair{IDC_IP_ADDRESS, "10.77.0"}, std::pair{IDC_GATEWAY, "999.1.1.1"},
          std::pair{IDC_DNS1, "10.77"}, std::pair{IDC_DNS2, "10.77.0"}})
        for (auto* field : dialog.findChildren<IpAddressEdit*>())
            if (ControlId(field) == id) field->setText(QString::fromLatin1(text));
    dialog.Validate();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const bool saved = dialog.grab().save(file);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return saved;
}

int Main(int argc, char** argv) {
    // The cameras' link exists only in a namespace of this process.
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
        std::cerr << "window_change_bench: needs root for a private network namespace\n";
        return 1;
    }
    const std::string setup = std::string("ip link set lo up && ip link add ") + kLink +
                              " type veth peer name qvxchg1 && ip addr add 10.77.0.1/24 dev " +
                              kLink + " && ip link set " + kLink + " up && ip link set qvxchg1 up";
    if (std::system(setup.c_str()) != 0) {
        std::cerr << "window_change_bench: no veth link\n";
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 5;
    QString shots;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--runs") runs = std::clamp(std::atoi(argv[i + 1]), 1, 100);
        if (std::string(argv[i]) == "--screenshots") shots = QString::fromLocal8Bit(argv[i + 1]);
    }

    int qt_argc = 1;
    char name[] = "window_change_bench";
    char* qt_argv[] = {name, nullptr};
    QApplication application(qt_argc, qt_argv);
    QStandardPaths::setTestModeEnabled(true);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    const std::filesystem::path dir = StageStartupDirectory();
    if (dir.empty()) return 1;
    SetStartupDirectory(dir);
    int status = 0;
    {
        CQuorvexApp app;
        app.LoadCurrentLanguage();
        CQuorvexDlg window(app);
        window.show();
        const Clock::time_point started = Clock::now();
        while (window.Search().CopyInterfaces().empty() &&
               Clock::now() - started < std::chrono::seconds(30))
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        for (int i = 0; i < kCameras; ++i) window.Search().OnDeviceFound(Camera(i));
        while (window.Model().rowCount() < kCameras &&
               Clock::now() - started < std::chrono::seconds(60))
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (window.Model().rowCount() != kCameras) {
            std::cerr << "window_change_bench: " << window.Model().rowCount() << " rows\n";
            status = 1;
        }
        std::vector<Times> all;
        for (int r = 0; r < runs && status == 0; ++r) {
            const Times t = RunOnce(window, r == 0 && !shots.isEmpty()
                                                ? shots + QStringLiteral("/plan-2000.png")
                                                : QString());
            if (!t.complete) {
                std::cerr << "window_change_bench: the flow did not reach the plan ("
                          << window.Search().CopyInterfaces().size() << " interfaces, "
                          << window.DeviceList()->selectionModel()->selectedRows().size()
                          << " selected)\n";
                status = 1;
            }
            all.push_back(t);
        }
        for (const auto& [figure, member] : {std::pair{"key_to_prompt", &Times::key_to_prompt},
                                             std::pair{"ok_to_progress", &Times::ok_to_progress},
                                             std::pair{"ok_to_plan", &Times::ok_to_plan}}) {
            if (all.empty()) break;
            std::vector<double> values;
            for (const Times& t : all) values.push_back(t.*member);
            std::sort(values.begin(), values.end());
            std::printf("change\t%s\t%.1f\t%.1f\n", figure, values[values.size() / 2],
                        values.back());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (status == 0 && !shots.isEmpty() &&
        !NetDialogShot(shots + QStringLiteral("/net-dialog-zh.png"))) {
        std::cerr << "window_change_bench: no screenshot of the network dialog\n";
        status = 1;
    }
    return status;
}

}  // namespace
}  // namespace quorvex::bench

int main(int argc, char** argv) {
    return quorvex::bench::Main(argc, argv);
}
