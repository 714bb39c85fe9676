#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/app_path.h"
#include "config/language_x.h"
#include "core/ipv4_subnet.h"
#include "search/address_check.h"
#include "search/device_report.h"
#include "tests/ui/ui_test_support.h"
#include "ui/about_dlg.h"
#include "ui/device_export.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dlg_base_information.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/ip_address_edit.h"
#include "ui/qt_language_surface.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"
#include "ui/status_line_text.h"
#include "ui/window_texts.h"

namespace quorvex {

using testing::FindControl;

DeviceUpdate AsUpdate(const DeviceEntry& entry) {
    DeviceUpdate update;
    update.entry = entry;
    return update;
}

struct NetDialog {
    explicit NetDialog(std::int32_t protocol = kProtocolText, int batch = 0) : dialog(language) {
        DeviceEntry entry{};
        SetText(entry.info.ip, "10.77.0.30");
        SetText(entry.info.mask, "255.255.255.0");
        SetText(entry.info.gateway, "10.77.0.2");
        SetText(entry.info.dns1, "");         // the device reported none
        SetText(entry.info.dns2, "8.8.8.x");  // nor anything readable here
        SetText(entry.info.user, "admin");
        SetText(entry.info.password, "secret");
        entry.info.http_port = 80;
        entry.protocol = protocol;
        entry.interface_address = inet_addr("10.77.0.1");
        dialog.SetDevice(entry);
        if (batch > 1) dialog.SetBatch(batch);
        dialog.show();
    }
    // Plans with the real planner on a site where the PC is 10.77.0.1/24
    // behind gateway 10.77.0.2 and another camera holds 10.77.0.31; the
    // selection is `cameras`, or the dialog's own camera.
    void UsePlanner(std::vector<DeviceUpdate> cameras = {}) {
        if (cameras.empty()) cameras.push_back(AsUpdate(dialog.Device()));
        SiteFacts site;
        LocalInterface pc{};
        SetText(pc.ip, "10.77.0.1");
        SetText(pc.mask, "255.255.255.0");
        SetText(pc.gateway, "10.77.0.2");
        SetText(pc.name, "eth0");
        site.interfaces = {pc};
        DeviceUpdate other = AsUpdate(dialog.Device());
        other.entry.info.mac[5] = 0x31;
        SetText(other.entry.info.ip, "10.77.0.31");
        site.devices = {AsUpdate(dialog.Device()), other};
        dialog.SetPlanner([site, cameras](const ChangeRequest& typed, bool) {
            ChangeRequest request = typed;
            request.devices = cameras;
            request.named = cameras.size() == 1;
            return std::optional<ChangePlan>(PlanChange(request, site));
        });
    }
    QLineEdit* Edit(int id) { return FindControl<QLineEdit>(&dialog, id); }
    IpAddressEdit* Address(int id) { return FindControl<IpAddressEdit>(&dialog, id); }

    LanguageX language;  // no pack: the built-in texts
    DlgNetInformation dialog;
};

TEST(DlgNetInformation, ShowsTheDeviceWithUnreadableAddressesBlankAndNeverItsPassword) {
    NetDialog net;
    EXPECT_EQ(net.Address(IDC_IP_ADDRESS)->AddressText(), "10.77.0.30");
    EXPECT_TRUE(net.Address(IDC_DNS1)->IsBlank());
    EXPECT_TRUE(net.Address(IDC_DNS2)->IsBlank());
    EXPECT_EQ(net.Edit(IDC_USER)->text(), QStringLiteral("admin"));
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->text(), QString());
    EXPECT_EQ(net.Edit(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    FindControl<QPushButton>(&net.dialog, IDOK)->click();
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.30");
    EXPECT_EQ(GetText(net.dialog.Settings().dns2), "");  // blank goes out empty, never 0.0.0.0
    EXPECT_EQ(GetText(net.dialog.Settings().password), "");
}

TEST(DlgNetInformation, RefusedValuesSayWhyAndTheDialogStaysOpen) {
    NetDialog net;
    net.UsePlanner();
    IpAddressEdit* ip = net.Address(IDC_IP_ADDRESS);
    // One Tab stop per address.
    QApplication::setActiveWindow(&net.dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&net.dialog));
    ip->setFocus();
    QTest::keyClick(ip, Qt::Key_Tab);
    EXPECT_TRUE(net.Address(IDC_SUBNET_MASK)->hasFocus());
    // A text camera's answer carries no password: OK asks for one, typing
    // does not.
    EXPECT_TRUE(net.dialog.ProblemText(IDC_PASSWORD).isEmpty());
    QTest::keyClick(ip, Qt::Key_Return);
    EXPECT_EQ(
        net.dialog.ProblemText(IDC_PASSWORD),
        QStringLiteral("Type the password: the answer of a text-protocol camera carries none."));
    net.Edit(IDC_PASSWORD)->setText(QStringLiteral("pw"));

    struct Case {
        int id;
        const char* text;
        const char* why;
    };
    for (const Case& c : {Case{IDC_IP_ADDRESS, "999.1.1.1", "999 is above 255."},
                          Case{IDC_IP_ADDRESS, "", "Enter an address."},
                          Case{IDC_IP_ADDRESS, "10.77.0", "An address is four numbers"},
                          Case{IDC_IP_ADDRESS, "0.0.0.0", "No camera can hold"},
                          Case{IDC_IP_ADDRESS, "10.77.0.255", "broadcast address"},
                          Case{IDC_SUBNET_MASK, "255.0.255.0", "Not a subnet mask"},
                          Case{IDC_GATEWAY, "10.78.0.1", "gateway is outside"}}) {
        IpAddressEdit* field = net.Address(c.id);
        const std::string before = field->AddressText();
        field->selectAll();
        field->del();
        QTest::keyClicks(field, QString::fromLatin1(c.text));
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << c.text;
        EXPECT_TRUE(net.dialog.ProblemText(c.id).contains(QLatin1String(c.why)))
            << c.text << ": " << net.dialog.ProblemText(c.id).toStdString();
        EXPECT_EQ(field->AddressText(), c.text);  // never rewritten
        field->setText(QString::fromStdString(before));
    }
    // A letter typed into an address field is refused, and the field says so.
    ip->setFocus();
    QTest::keyClicks(ip, QStringLiteral("x"));
    EXPECT_EQ(net.dialog.ProblemText(IDC_IP_ADDRESS),
              QStringLiteral("Only digits and dots go here: \"x\" was not taken."));
    QLineEdit* port = net.Edit(IDC_HTTP_PORT);
    for (const char* bad : {"", "0", "65536", "00000"}) {
        port->setText(QString::fromLatin1(bad));
        QTest::keyClick(port, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << bad;
        EXPECT_EQ(net.dialog.ProblemText(IDC_HTTP_PORT),
                  QStringLiteral("Enter a port from 1 to 65535."));
    }
    port->setText(QStringLiteral("80"));
    // The plan's refusals: the PC's, the gateway's and another camera's
    // addresses; the camera's own stays its own.
    for (const auto& [text, why] : {std::pair{"10.77.0.1", "This PC has this address."},
                                    {"10.77.0.2", "The gateway has this address."},
                                    {"10.77.0.31", "Another camera has this address."},
                                    {"10.78.0.9", "Outside the subnet"}}) {
        ip->setText(QLatin1String(text));
        QTest::keyClick(port, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << text;
        EXPECT_TRUE(net.dialog.ProblemText(IDC_IP_ADDRESS).startsWith(QLatin1String(why)))
            << text << ": " << net.dialog.ProblemText(IDC_IP_ADDRESS).toStdString();
    }
    ip->setText(QStringLiteral("10.77.0.30"));
    // Values the text protocol's header cannot carry.
    for (const auto& [id, text, why] :
         {std::tuple{IDC_PASSWORD, "pw\rX", "Must not hold a line break."},
          std::tuple{IDC_USER, "管理员", "This camera takes only ASCII characters here."}}) {
        net.Edit(id)->setText(QString::fromUtf8(text));
        QTest::keyClick(port, Qt::Key_Return);
        EXPECT_TRUE(net.dialog.isVisible()) << text;
        EXPECT_EQ(net.dialog.ProblemText(id), QLatin1String(why)) << text;
        net.Edit(id)->setText(QString::fromLatin1(id == IDC_PASSWORD ? "pw" : ""));
    }
    EXPECT_EQ(net.dialog.result(), 0);
    // With DHCP on the address fields are not the camera's to keep.
    net.Address(IDC_IP_ADDRESS)->setText(QStringLiteral("999.1.1.1"));
    net.dialog.findChild<QCheckBox*>()->click();
    QTest::keyClick(port, Qt::Key_Return);
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(net.dialog.Settings().dhcp, 1);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.30");  // the camera's own stands
    EXPECT_EQ(GetText(net.dialog.Settings().mask), "255.255.255.0");
}

TEST(DlgNetInformation, TypedAddressGoesOutAsTypedAndCredentialsStopAtThirtyOneBytes) {
    NetDialog net(kProtocolBinary);  // its fields carry any bytes
    IpAddressEdit* ip = net.Address(IDC_IP_ADDRESS);
    ip->setFocus();
    ip->selectAll();
    QTest::keyClicks(ip, QStringLiteral("10.77.0.164"));  // over 10.77.0.30
    QLineEdit* port = net.Edit(IDC_HTTP_PORT);
    port->clear();
    QTest::keyClicks(port, QStringLiteral("8a0b8"));  // letters cannot be typed
    QLineEdit* user = net.Edit(IDC_USER);
    user->clear();
    // Ten CJK characters are 30 bytes of UTF-8; an eleventh would need 33.
    for (const QChar c : QStringLiteral("管理员管理员管理员管理")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(user, &press);  // as an input method delivers it
    }
    QTest::keyClicks(user, QStringLiteral("x"));  // the 31st byte still fits
    QTest::keyClicks(net.Edit(IDC_PASSWORD), QString(40, QLatin1Char('p')));
    QTest::keyClick(port, Qt::Key_Return);
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(GetText(net.dialog.Settings().ip), "10.77.0.164");
    EXPECT_EQ(net.dialog.Settings().http_port, 808);
    EXPECT_EQ(GetText(net.dialog.Settings().user), "管理员管理员管理员管x");
    EXPECT_EQ(GetText(net.dialog.Settings().password), std::string(31, 'p'));
}

TEST(DlgNetInformation, ABatchStartIsPlannedAndDhcpMayBeTurnedOnForEveryCamera) {
    NetDialog net(kProtocolBinary, 2);
    DeviceUpdate second = AsUpdate(net.dialog.Device());
    second.entry.info.mac[5] = 0x40;
    SetText(second.entry.info.ip, "10.77.0.40");
    net.UsePlanner({AsUpdate(net.dialog.Device()), second});
    IpAddressEdit* start = net.Address(IDC_IP_ADDRESS);
    // Only a start no camera of the subnet could hold is refused; another
    // camera's address is skipped by the plan.
    start->setText(QStringLiteral("10.78.0.5"));
    EXPECT_FALSE(net.dialog.Validate());
    EXPECT_TRUE(
        net.dialog.ProblemText(IDC_IP_ADDRESS).startsWith(QLatin1String("Outside the subnet")))
        << net.dialog.ProblemText(IDC_IP_ADDRESS).toStdString();
    start->setText(QStringLiteral("10.77.0.31"));
    EXPECT_TRUE(net.dialog.Validate()) << net.dialog.ProblemText(IDC_IP_ADDRESS).toStdString();
    // DHCP for both: no start needed, each keeps its own values otherwise.
    start->clear();
    auto* dhcp = FindControl<QCheckBox>(&net.dialog, IDC_DHCP);
    ASSERT_TRUE(dhcp->isEnabled());
    EXPECT_FALSE(dhcp->isChecked());
    dhcp->click();
    FindControl<QPushButton>(&net.dialog, IDOK)->click();
    ASSERT_EQ(net.dialog.result(), QDialog::Accepted);
    const std::optional<ChangePlan>& plan = net.dialog.AcceptedPlan();
    ASSERT_TRUE(plan && plan->Clean());
    ASSERT_EQ(plan->ToSend().size(), 2u);
    for (const PlannedChange& change : plan->ToSend()) {
        EXPECT_EQ(change.settings.dhcp, 1);
        EXPECT_EQ(GetText(change.settings.ip), GetText(change.entry.info.ip));
    }
}

TEST(CQuorvexDlg, WebAddressComesFromTheDevicesOwnAddressAndPort) {
    DeviceEntry entry{};
    SetText(entry.info.ip, "192.168.0.50");
    entry.info.http_port = 80;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50/"));
    entry.info.http_port = 8080;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QStringLiteral("http://192.168.0.50:8080/"));
    // A camera only WS-Discovery heard at an https service address.
    DeviceUpdate update;
    update.entry = entry;
    update.entry.protocol = kProtocolWsDiscovery;
    update.entry.info.http_port = 443;
    auto details = std::make_shared<WsdInfo>();
    details->flags = kWsdHttps;
    update.wsd = details;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(update), QStringLiteral("https://192.168.0.50/"));
    update.entry.info.http_port = 8443;
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(update), QStringLiteral("https://192.168.0.50:8443/"));
    update.entry.protocol = kProtocolText;  // its own protocol's port is plain http
    EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(update), QStringLiteral("http://192.168.0.50:8443/"));
    // Device texts that are not an address never become a URL.
    for (const char* bad : {"", "evil.example/x?", "1.2.3.4;reboot", "10.0.0.1 "}) {
        SetText(entry.info.ip, bad);
        EXPECT_EQ(CQuorvexDlg::DeviceWebAddress(entry), QString()) << bad;
    }
}

namespace {

DeviceUpdate Listed(int index, const char* ip, const char* name, const char* version) {
    DeviceUpdate update;
    DeviceEntry& e = update.entry;
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x00, 0x00, static_cast<std::uint8_t>(index)};
    std::copy(std::begin(mac), std::end(mac), e.info.mac);
    SetText(e.info.name, name);
    SetText(e.info.ip, ip);
    SetText(e.info.mask, "255.255.255.0");
    SetText(e.info.uid, ("UID-" + std::to_string(index)).c_str());
    SetText(e.info.software_version, version);
    SetText(e.info.web_version, "W1");
    e.info.http_port = 80;
    e.family = index % 2 == 0 ? 3 : 1;
    e.protocol = e.family == 3 ? kProtocolText : kProtocolBinary;
    update.last_heard_ms = 1'700'000'000'000;
    return update;
}

std::string ReadFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

// The window with values handed to it as the worker hands them, no network:
// what a technician does with a long list.
TEST(CQuorvexDlg, SortsFiltersCopiesExportsAndTellsWhatHostCommandsDid) {
    testing::StagedApp stage;
    CQuorvexApp app;
    app.LoadCurrentLanguage();
    CQuorvexDlg window(app);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    std::vector<DeviceUpdate> devices{
        Listed(1, "10.77.0.100", "Gate", "V5.10.1"), Listed(2, "10.77.0.9", "Lobby", "V5.9.2"),
        Listed(3, "10.77.0.20", "Yard", "V5.10.12"), Listed(4, "10.77.0.20", "Dock", "V4.0")};
    devices[1].outside_subnet = true;
    window.ApplyUpdates(devices);
    DeviceListModel& model = window.Model();
    QTableView* list = window.DeviceList();
    ASSERT_EQ(model.rowCount(), 4);
    // The pack has none of the window's newer texts: built-in English.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window.StatusLine()->text().contains(QStringLiteral("4 of 4 cameras shown"));
    }));
    EXPECT_TRUE(window.StatusLine()->text().contains(QStringLiteral("1 outside their subnet")));
    EXPECT_TRUE(window.StatusLine()->text().contains(QStringLiteral("2 in address conflict")));
    // The status line counts every change's mark as the rows show it, from a
    // mark set with no answer coming in; a refresh keeps the marks.
    model.SetChangeState("00-1A-2B-00-00-01", ChangeState::kPending);
    model.SetChangeState("00-1A-2B-00-00-03", ChangeState::kNotConfirmed, QStringLiteral("gone"));
    window.OnCommand(ID_REFRESH_LIST);
    window.ApplyUpdates(devices);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window.StatusLine()->text().contains(
            QStringLiteral("changes: 1 pending, 0 confirmed, 1 not confirmed"));
    })) << window.StatusLine()->text().toStdString();
    EXPECT_EQ(model.ChangeStateOf(model.RowOf("00-1A-2B-00-00-03")), ChangeState::kNotConfirmed);
    // The user clears them from the menu, which offers that only while some
    // mark stands.
    auto has_clear = [&] {
        const std::unique_ptr<QMenu> menu = window.BuildContextMenu();
        const QList<QAction*> actions = menu->actions();
        return std::any_of(actions.begin(), actions.end(), [](QAction* action) {
            return action->data().toInt() == ID_CLEAR_MARKS;
        });
    };
    EXPECT_TRUE(has_clear());
    window.OnCommand(ID_CLEAR_MARKS);
    EXPECT_EQ(model.Count().pending + model.Count().not_confirmed, 0);
    EXPECT_FALSE(has_clear());

    // A click on the address header sorts by number: .9 before .20 before .100.
    QHeaderView* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    auto names = [&] {
        QStringList shown;
        for (int row = 0; row < window.Proxy().rowCount(); ++row)
            shown << window.Proxy().index(row, 1).data().toString();
        return shown;
    };
    EXPECT_EQ(names(), (QStringList{"Lobby", "Yard", "Dock", "Gate"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(4) + 5, header->height() / 2));
    EXPECT_EQ(names(), (QStringList{"Dock", "Lobby", "Gate", "Yard"}));

    // Ctrl+F, then typing filters as it goes.
    QTest::keyClick(list, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(window.FilterBox()->hasFocus());
    QTest::keyClicks(window.FilterBox(), QStringLiteral("v5.10"));
    EXPECT_EQ(names(), (QStringList{"Gate", "Yard"}));
    QTest::qWait(300);
    EXPECT_TRUE(window.StatusLine()->text().contains(QStringLiteral("2 of 4 cameras shown")));

    // Ctrl+A and Ctrl+C copy the shown rows as text.
    list->setFocus();
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("H\tGate\t10.77.0.100:80\tUID-1\tV5.10.1\tW1\t00-1A-2B-00-00-01\n"
                             "H\tYard\t10.77.0.20:80\tUID-3\tV5.10.12\tW1\t00-1A-2B-00-00-03\n"));
    // The menu key opens the menu at the selected row.
    list->selectionModel()->clearSelection();
    const QModelIndex yard = window.Proxy().index(1, 0);
    list->selectionModel()->select(yard, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    list->selectionModel()->setCurrentIndex(yard, QItemSelectionModel::NoUpdate);
    const QPoint at = list->viewport()->mapFromGlobal(window.ContextMenuPosition(true));
    EXPECT_NEAR(at.y(), list->visualRect(yard).bottom(), 2);

    // Export: all or shown, as the command-line tool writes the same devices
    // (heard here on no searched adapter, so with no adapter name).
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("all.csv"));
    ASSERT_TRUE(window.ExportTo(csv, ExportFormat::kCsv, false));
    std::vector<DeviceReportRow> rows;
    for (const DeviceUpdate& device : devices)
        rows.push_back(MakeReportRow(device.entry, device.outside_subnet));
    SortByMac(rows);
    EXPECT_EQ(ReadFile(csv), FormatCsv(rows));
    EXPECT_TRUE(window.Notice().contains(QStringLiteral("4 cameras written")));
    const QString json = dir.filePath(QStringLiteral("shown.json"));
    ASSERT_TRUE(window.ExportTo(json, ExportFormat::kJson, true));
    EXPECT_EQ(ReadFile(json), FormatJson({rows[0], rows[2]}));
    EXPECT_FALSE(window.ExportTo(dir.filePath(QStringLiteral("no/such/dir.csv")),
                                 ExportFormat::kCsv, false));
    EXPECT_TRUE(window.Notice().startsWith(QStringLiteral("Could not write")));

    // No browser on this display: a double click says so.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, list->visualRect(yard).center());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, list->visualRect(yard).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(yard).center());
    EXPECT_EQ(window.Notice(),
              QStringLiteral("Could not open http://10.77.0.20/: no web browser is set up on "
                             "this PC."));

    // Clearing the ARP cache flushes the configured interface only, and says
    // how it went.
    const QString batch = dir.filePath(QStringLiteral("batch"));
    window.SetArpCommand({"sh", "-c", "cat > \"$0\"", batch.toStdString()});
    window.OnCommand(ID_CLEAR_ARP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.HostCommandRunning(); }, 10000));
    EXPECT_EQ(ReadFile(batch), "neigh flush dev qvx-none0\n");
    EXPECT_EQ(window.Notice(), QStringLiteral("ARP cache cleared on qvx-none0."));
    window.SetArpCommand({"sh", "-c", "cat >/dev/null; echo Not authorized; exit 127"});
    window.OnCommand(ID_CLEAR_ARP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.HostCommandRunning(); }, 10000));
    EXPECT_EQ(window.Notice(), QStringLiteral("Clearing the ARP cache failed: Not authorized"));
    window.SetArpCommand({"/nonexistent/flush"});
    window.OnCommand(ID_CLEAR_ARP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.HostCommandRunning(); }, 10000));
    EXPECT_TRUE(window.Notice().startsWith(QStringLiteral("Clearing the ARP cache failed")));

    // A pack with the newer texts replaces every one of them.
    emit window.LanguageBox()->activated(1);
    EXPECT_TRUE(window.StatusLine()->text().startsWith(QStringLiteral("Beta s121 0 0")))
        << window.StatusLine()->text().toStdString();
    for (const int id : {122, 123, 124}) {
        EXPECT_TRUE(window.StatusLine()->text().contains(QStringLiteral("Beta s%1").arg(id)));
    }
    EXPECT_TRUE(window.FilterBox()->placeholderText().startsWith(QStringLiteral("Beta s120")));
    QStringList menu;
    const std::unique_ptr<QMenu> popup = window.BuildContextMenu();
    for (QAction* action : popup->actions()) menu << action->text();
    EXPECT_EQ(menu.mid(3), (QStringList{"Beta item 5", "Beta item 6"}));
    window.ApplyUpdates(devices);
    const int lobby = model.RowOf("00-1A-2B-00-00-02");
    EXPECT_TRUE(model.data(model.index(lobby, 2), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("Beta s143 10.77.0.9 255.255.255.0")));
}

// Room the title bar takes besides the title: icon, buttons and margins.
constexpr int kTitleChrome = 120;

// The shipped packs word the status line and their texts fit their dialogs:
// no label, box or button is narrower than its text needs, in English and in
// Chinese. (The layouts do not depend on the scale; 200 % was looked at on
// screen.)
TEST(Dialogs, ShippedPacksTextsFitTheirControls) {
    for (const char* language : {"English", "简体中文"}) {
        const std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("quorvex-fit-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy(std::string(QUORVEX_DATA_DIR) + "/Language", dir / "Language");
        std::ofstream(dir / "config.xml")
            << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><language>" << language
            << "</language><languagelist><language><text>English</text><file>english.xml</file>"
            << "</language><language><text>简体中文</text><file>chinese.xml</file></language>"
            << "</languagelist></config>\n";
        SetStartupDirectory(dir);
        QtLanguageSurface surface;
        LanguageX pack;
        pack.SetSurface(&surface);
        pack.LoadCurrentLanguage();
        // The status line words a missing listed interface and lost answers
        // in the pack's words, naming the interface and the count.
        StatusLineValues values;
        values.search.interfaces_loaded = true;
        values.search.missing_interfaces = {"eth9"};
        values.search.drops = 4711;
        values.search.answers_lost = true;
        const QString line = StatusLineText(pack, values);
        EXPECT_TRUE(line.contains(QStringLiteral("eth9"))) << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("4711"))) << line.toStdString();
        EXPECT_TRUE(line.contains(std::string(language) == "English" ? QStringLiteral("missing")
                                                                     : QStringLiteral("不存在")))
            << line.toStdString();
        DeviceEntry entry{};
        SetText(entry.info.name, "Camera with a rather long name 0001");
        SetText(entry.info.ip, "192.168.100.200");
        SetText(entry.info.mask, "255.255.255.0");
        SetText(entry.info.software_version, "V5.10.123 build 20261207");
        entry.info.http_port = 80;
        DlgNetInformation net(pack);
        net.SetDevice(entry);
        DlgBaseInformation info(pack);
        info.SetDevice(entry);
        CAboutDlg about(pack);
        DlgNetInformation batch(pack);
        batch.SetDevice(entry);
        batch.SetBatch(3);
        DlgCredentials credentials(pack);
        credentials.SetPasswordNeeded(12);
        credentials.SetUserNeeded(7);
        // A standard camera's basic information, from a read of it.
        DlgBaseInformation standard_info(pack);
        standard_info.SetDevice(entry);
        StandardSnapshot read;
        read.address = inet_addr("192.168.100.200");
        read.prefix_length = 24;
        read.gateways = std::vector<std::uint32_t>{inet_addr("192.168.100.1")};
        read.dns.emplace();
        read.dns->dns_manual = {inet_addr("192.168.100.2"), inet_addr("192.168.100.3")};
        read.http_port = 8080;
        read.mac = std::array<std::uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
        read.information = {"Manufacturer of long name", "Model QX-2000-LONG", "V10.20.30 build 1",
                            "SN-0123456789ABCDEF", "HW"};
        standard_info.SetStandard(nullptr, read, true);
        // A standard camera's network dialog without the user and password
        // its device service wants: both asked for under their fields.
        DlgNetInformation standard_net(pack);
        standard_net.SetDevice(entry);
        standard_net.SetPlanner([&entry](const ChangeRequest&, bool) -> std::optional<ChangePlan> {
            ChangePlan needs;
            CameraPlan camera;
            camera.device.entry = entry;
            camera.standard = true;
            camera.refusal = {PlanProblem::password_needed, PlanField::user};
            needs.cameras = {camera, camera};
            needs.cameras[1].refusal.field = PlanField::password;
            return needs;
        });
        // A plan with the longest lines: every value changing, a forced
        // address, a camera in conflict refused and one named anyway.
        ChangePlan plan;
        CameraPlan moved;
        moved.device.entry = entry;
        moved.settings.emplace();
        SetText(moved.settings->ip, "192.168.100.201");
        for (PlanField field : {PlanField::ip, PlanField::mask, PlanField::gateway, PlanField::dns1,
                                PlanField::dns2, PlanField::http_port, PlanField::dhcp})
            moved.changes.push_back({field, "255.255.255.255", "255.255.255.254"});
        moved.warnings = {{PlanProblem::forced, PlanField::ip, AddressVerdict::answered_on_link},
                          {PlanProblem::named_in_conflict}};
        CameraPlan refused;
        refused.device.entry = entry;
        refused.refusal = {PlanProblem::in_conflict};
        plan.cameras = {moved, refused, refused, refused};
        plan.cameras[2].refusal = {PlanProblem::not_configurable};
        plan.cameras[3].standard = true;
        plan.cameras[3].refusal = {PlanProblem::password_needed, PlanField::user};
        plan.skipped.push_back({inet_addr("192.168.100.202"), AddressVerdict::taken_by_camera});
        DlgChangePlan shown(pack, plan);
        // A site of 2,000 cameras moved at once: most stay where they are,
        // and the summary that says so is the first thing in view.
        ChangePlan site;
        site.kind = ChangeKind::match;
        for (int i = 0; i < 2000; ++i) {
            CameraPlan camera = i < 244 ? moved : refused;
            camera.warnings.clear();
            if (i >= 244)
                camera.refusal = {i % 7 == 0 ? PlanProblem::password_needed
                                             : PlanProblem::no_free_address};
            site.cameras.push_back(camera);
        }
        for (int i = 0; i < 40; ++i)
            site.skipped.push_back(
                {htonl(0x0A4D0000u + 10 + static_cast<std::uint32_t>(i)),
                 i % 2 == 0 ? AddressVerdict::answered_on_link : AddressVerdict::taken_by_camera});
        DlgChangePlan large(pack, site);
        // Every reason an address field can give at once, under its field.
        DlgNetInformation reasons(pack);
        SetText(entry.info.ip, "10.77.0.30");
        reasons.SetDevice(entry);
        reasons.show();
        QApplication::processEvents();
        for (const auto& [id, text] :
             {std::pair{IDC_IP_ADDRESS, "10.77.0"}, std::pair{IDC_SUBNET_MASK, "255.255.255.0"},
              std::pair{IDC_GATEWAY, "999.1.1.1"}, std::pair{IDC_DNS1, "10.77"},
              std::pair{IDC_DNS2, "10.77.0"}})
            FindControl<IpAddressEdit>(&reasons, id)->setText(QString::fromLatin1(text));
        EXPECT_FALSE(reasons.Validate());
        for (const int id : {IDC_IP_ADDRESS, IDC_GATEWAY, IDC_DNS1, IDC_DNS2})
            EXPECT_FALSE(reasons.ProblemText(id).isEmpty()) << language << " " << id;
        CQuorvexApp app;
        app.LoadCurrentLanguage();
        CQuorvexDlg window(app);
        for (QWidget* dialog : std::initializer_list<QWidget*>{
                 &net, &info, &standard_info, &standard_net, &about, &batch, &credentials, &shown,
                 &large, &reasons, &window}) {
            dialog->show();
            QApplication::processEvents();
            if (dialog == &standard_net) {
                EXPECT_FALSE(standard_net.Validate());
                QApplication::processEvents();
            }
            const std::string where =
                std::string(language) + " " + dialog->windowTitle().toStdString() + " control ";
            // The title bar holds the title, the icon and the window's
            // buttons: a window narrower than that shows the title elided.
            EXPECT_GE(dialog->width(),
                      dialog->fontMetrics().horizontalAdvance(dialog->windowTitle()) + kTitleChrome)
                << where;
            for (QWidget* control : dialog->findChildren<QWidget*>()) {
                if (!control->isVisible()) continue;
                const bool text = qobject_cast<QLabel*>(control) != nullptr ||
                                  qobject_cast<QAbstractButton*>(control) != nullptr;
                if (!text) continue;
                // A wrapping label is clipped only when its lines do not fit.
                const auto* label = qobject_cast<QLabel*>(control);
                if (label != nullptr && label->wordWrap()) {
                    EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                        << where << ControlId(control);
                    continue;
                }
                EXPECT_GE(control->width(), control->sizeHint().width())
                    << where << ControlId(control);
                // Cut at top and bottom: shorter than one line of its text.
                EXPECT_GE(control->height(), std::min(control->sizeHint().height(),
                                                      control->minimumSizeHint().height()))
                    << where << ControlId(control);
            }
            dialog->hide();
        }
        // The plan's summary, down to the blank line after it, is in view
        // without scrolling, at its full width.
        auto* plan_text = FindControl<QPlainTextEdit>(&large, IDC_PLAN_TEXT);
        large.show();
        QApplication::processEvents();
        const QStringList summary =
            large.PlanText().section(QStringLiteral("\n\n"), 0, 0).split(QLatin1Char('\n'));
        EXPECT_GE(summary.size(), 3) << large.PlanText().left(300).toStdString();
        EXPECT_GE(plan_text->viewport()->height(),
                  plan_text->fontMetrics().lineSpacing() * static_cast<int>(summary.size()));
        for (const QString& line : summary)
            EXPECT_GE(plan_text->viewport()->width(),
                      plan_text->fontMetrics().horizontalAdvance(line))
                << language << " " << line.toStdString();
        large.hide();
        // The main window's move button says that every selected camera
        // moves, in both packs.
        const QString move = FindControl<QPushButton>(&window, IDOK)->text();
        EXPECT_TRUE(move.contains(language == std::string("English")
                                      ? QStringLiteral("all selected")
                                      : QStringLiteral("所有选中")))
            << move.toStdString();
        // The pack's own texts are in force, not the built-in ones.
        EXPECT_EQ(FindControl<QLabel>(&info, IDC_NAME_LABEL)->text(),
                  language == std::string("English") ? QStringLiteral("Device name")
                                                     : QStringLiteral("设备名称"));
        // A standard camera's rows: the pack's labels, the read's values.
        EXPECT_EQ(
            FindControl<QLabel>(&standard_info, IDC_STANDARD_MODEL - 1)->text(),
            language == std::string("English") ? QStringLiteral("Model") : QStringLiteral("型号"));
        EXPECT_EQ(FindControl<QLabel>(&standard_info, IDC_STANDARD_MODEL)->text(),
                  QStringLiteral("Manufacturer of long name Model QX-2000-LONG"));
        EXPECT_EQ(FindControl<QLabel>(&standard_info, IDC_STANDARD_DNS)->text(),
                  QStringLiteral("192.168.100.2, 192.168.100.3"));
        EXPECT_EQ(FindControl<QLabel>(&standard_info, IDC_MAC)->text(),
                  QStringLiteral("00-1A-2B-3C-4D-5E"));
        EXPECT_TRUE(FindControl<QLabel>(&info, IDC_STANDARD_MODEL)->isHidden());
        for (const int id : {IDC_USER, IDC_PASSWORD})
            EXPECT_EQ(
                standard_net.ProblemText(id),
                UiText(pack, id == IDC_USER ? IDS_FIELD_USER_NEEDED : IDS_FIELD_STANDARD_PASSWORD));
        EXPECT_EQ(net.windowTitle(), language == std::string("English")
                                         ? QStringLiteral("Network configuration")
                                         : QStringLiteral("网络配置"));
        // The About box names the version the project is built as.
        EXPECT_TRUE(FindControl<QLabel>(&about, IDC_ABOUT_VERSION)
                        ->text()
                        .contains(QStringLiteral(QUORVEX_VERSION)));
        EXPECT_EQ(credentials.windowTitle(), language == std::string("English")
                                                 ? QStringLiteral("Credentials for the change")
                                                 : QStringLiteral("更改所用的凭据"));
        EXPECT_TRUE(shown.PlanText().contains(
            language == std::string("English") ? QStringLiteral("Another camera has this address.")
                                               : QStringLiteral("另一台摄像机使用此地址。")));
        const QStringList lines = shown.PlanText().split(QLatin1Char('\n'));
        const bool english = language == std::string("English");
        EXPECT_EQ(lines[0], english ? QStringLiteral("1 camera(s) change, 3 not changed.")
                                    : QStringLiteral("1 台摄像机将更改，3 台不更改。"));
        EXPECT_TRUE(lines.contains(
            english ? QStringLiteral("    mask: 255.255.255.255 -> 255.255.255.254")
                    : QStringLiteral("    子网掩码：255.255.255.255 -> 255.255.255.254")))
            << shown.PlanText().toStdString();
        if (english) {
            EXPECT_TRUE(shown.PlanText().contains(
                "not changed: its MAC answered with other addresses or from other senders"));
            EXPECT_TRUE(shown.PlanText().contains("not changed: only WS-Discovery heard it"));
            EXPECT_TRUE(shown.PlanText().contains(
                "not changed: its device service wants an administrator's user and password"));
        }
        // No key accepts the plan, not even one typed before it appeared.
        shown.show();
        QTest::keyClick(&shown, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &shown,
                        Qt::Key_Space);
        EXPECT_TRUE(shown.isVisible());
        EXPECT_EQ(shown.result(), 0);
        FindControl<QPushButton>(&shown, IDOK)->click();
        EXPECT_EQ(shown.result(), QDialog::Accepted);
        // A blank password is refused while some camera needs one typed, a
        // blank user while a standard camera needs one; each says for how many.
        credentials.show();
        FindControl<QPushButton>(&credentials, IDOK)->click();
        EXPECT_EQ(credentials.result(), 0);
        EXPECT_TRUE(FindControl<QLabel>(&credentials, IDC_PASSWORD_PROBLEM)->text().contains("19"));
        EXPECT_TRUE(FindControl<QLabel>(&credentials, IDC_USER_PROBLEM)->text().contains("7"));
        FindControl<QLineEdit>(&credentials, IDC_PASSWORD)->setText(QStringLiteral("pw"));
        FindControl<QPushButton>(&credentials, IDOK)->click();
        EXPECT_EQ(credentials.result(), 0);
        FindControl<QLineEdit>(&credentials, IDC_USER)->setText(QStringLiteral("admin"));
        FindControl<QPushButton>(&credentials, IDOK)->click();
        EXPECT_EQ(credentials.result(), QDialog::Accepted);
        EXPECT_EQ(credentials.Given().password, "pw");
        EXPECT_EQ(credentials.Given().user, "admin");
        std::filesystem::remove_all(dir);
    }
}

}  // namespace quorvex
