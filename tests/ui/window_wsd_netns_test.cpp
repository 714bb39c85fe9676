// The main window over a real search manager on a site of WS-Discovery
// cameras beside a text camera that answers WS-Discovery too: each camera gets
// one row, the kind column names WS-Discovery, and Hello and Bye reach the
// rows while the window runs; a fault and refused datagrams reach the
// status line, and nothing genuine goes with them.

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

#include "tests/support/netns_lab.h"
#include "tests/ui/ui_test_support.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/quorvex_app.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {
namespace {

constexpr int kKind = 0;
constexpr int kKey = 6;

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

}  // namespace
}  // namespace quorvex
