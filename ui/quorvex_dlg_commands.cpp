// The window's commands: the context menu and the keyboard, the dialogs they
// open, the changes they send, the host commands and the export.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <array>

#include "ui/about_dlg.h"
#include "ui/device_export.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dlg_base_information.h"
#include "ui/quorvex_dlg.h"
#include "ui/resource_ids.h"
#include "ui/standard_camera_view.h"
#include "ui/update_handoff.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

// The kernel names of the interfaces searched, each once.
std::vector<std::string> InterfaceNames(const std::vector<LocalInterface>& interfaces) {
    std::vector<std::string> names;
    for (const LocalInterface& local : interfaces) {
        const std::string name(GetText(local.name));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

}  // namespace

std::vector<DeviceUpdate> CQuorvexDlg::SelectedDevices() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<DeviceUpdate> devices;
    for (const int row : rows) {
        const QModelIndex source = proxy_->mapToSource(proxy_->index(row, 0));
        if (const DeviceUpdate* device = model_->Device(source.row())) devices.push_back(*device);
    }
    return devices;
}

std::vector<DeviceUpdate> CQuorvexDlg::ShownDevices() const {
    std::vector<DeviceUpdate> devices;
    devices.reserve(static_cast<std::size_t>(proxy_->rowCount()));
    for (int row = 0; row < proxy_->rowCount(); ++row) {
        const QModelIndex source = proxy_->mapToSource(proxy_->index(row, 0));
        if (const DeviceUpdate* device = model_->Device(source.row())) devices.push_back(*device);
    }
    return devices;
}

QPoint CQuorvexDlg::ContextMenuPosition(bool from_keyboard) const {
    if (!from_keyboard) return QCursor::pos();
    QModelIndex current = list_->currentIndex();
    if (!current.isValid() || !list_->selectionModel()->isRowSelected(current.row())) {
        const QModelIndexList selected = list_->selectionModel()->selectedRows();
        current = selected.isEmpty() ? QModelIndex() : selected.first();
    }
    if (!current.isValid()) return list_->viewport()->mapToGlobal(QPoint(0, 0));
    const QRect row = list_->visualRect(current);
    return list_->viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.bottom()));
}

bool CQuorvexDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ || watched == list_->viewport()) {
        if (event->type() == QEvent::ContextMenu) {
            const auto* menu_event = static_cast<QContextMenuEvent*>(event);
            OnContextMenu(menu_event->reason() == QContextMenuEvent::Keyboard
                              ? ContextMenuPosition(true)
                              : menu_event->globalPos());
            return true;
        }
        if (watched == list_ && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            OnCopyRows();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::unique_ptr<QMenu> CQuorvexDlg::BuildContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const std::array<std::pair<int, const char*>, 9> items{
        {{ID_BASE_INFO, "基本属性"},
         {ID_NET_CONFIG, "网络配置"},
         {ID_REFRESH_LIST, "刷新摄像机列表"},
         {ID_CLEAR_ARP, "清除Arp缓存"},
         {ID_ABOUT, "关于Quorvex"},
         {ID_EXPORT_ALL, "Export all cameras..."},
         {ID_EXPORT_SHOWN, "Export shown cameras..."},
         {ID_COPY_ROWS, "Copy selected rows"},
         {ID_CLEAR_MARKS, "Clear change marks"}}};
    menu->setTitle(QStringLiteral("右键菜单"));
    for (const auto& [id, text] : items) menu->addAction(QString::fromUtf8(text))->setData(id);
    // The pack's item indexes count the full popup, so the device items go
    // only after it is applied.
    language_.ApplyMenu(static_cast<QWidget*>(menu.get()));
    const bool selected = !list_->selectionModel()->selectedRows().isEmpty();
    const DeviceListModel::Counts counts = model_->Count();
    const bool marked = counts.pending + counts.confirmed + counts.not_confirmed > 0;
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        const bool device_item = id == ID_BASE_INFO || id == ID_NET_CONFIG || id == ID_COPY_ROWS;
        if ((device_item && !selected) || (id == ID_CLEAR_MARKS && !marked)) {
            menu->removeAction(action);
            delete action;
        }
    }
    return menu;
}

void CQuorvexDlg::OnContextMenu(const QPoint& global_position) {
    std::unique_ptr<QMenu> menu = BuildContextMenu();
    QAction* chosen = menu->exec(global_position);
    // The menu goes before its command runs, as a tracked popup is gone by
    // the time its command message arrives.
    const int command = chosen != nullptr ? chosen->data().toInt() : 0;
    menu.reset();
    if (command != 0) OnCommand(command);
}

void CQuorvexDlg::OnCommand(int command_id) {
    switch (command_id) {
        case ID_BASE_INFO:
            OnBaseInfo();
            break;
        case ID_NET_CONFIG:
            OnNetConfig();
            break;
        case ID_ABOUT:
            OnAbout();
            break;
        case ID_REFRESH_LIST:
            OnRefreshList();
            break;
        case ID_CLEAR_ARP:
            OnClearArp();
            break;
        case ID_EXPORT_ALL:
            OnExport(false);
            break;
        case ID_EXPORT_SHOWN:
            OnExport(true);
            break;
        case ID_COPY_ROWS:
            OnCopyRows();
            break;
        case ID_CLEAR_MARKS:
            // A change still followed marks its row again when judged.
            Model().ClearChangeStates();
            break;
        default:
            break;
    }
}

void CQuorvexDlg::SetMatchRange(int min, int max) {
    match_min_ = min;
    match_max_ = max;
    search_.SetMatchRange(min, max);
}

void CQuorvexDlg::OnMatchAddress() {
    StartChanges(change_flow_.Match(SelectedDevices(), match_min_, match_max_));
}

void CQuorvexDlg::StartChanges(ChangeFlow::Outcome outcome) {
    if (!outcome.plan) {
        if (!outcome.notice.isEmpty()) ShowNotice(outcome.notice, outcome.failure);
        return;
    }
    changes_->Start(*outcome.plan, outcome.notice, std::move(outcome.temporary));
}

void CQuorvexDlg::OnOpenWebPage() {
    const std::vector<DeviceUpdate> devices = SelectedDevices();
    if (devices.empty()) return;
    const QString address = DeviceWebAddress(devices.front());
    if (address.isEmpty()) {
        ShowNotice(Text(IDS_NO_WEB_ADDRESS), true);
    } else if (!QDesktopServices::openUrl(QUrl(address))) {
        ShowNotice(Text(IDS_NO_BROWSER).arg(address), true);
    }
}

void CQuorvexDlg::OnBaseInfo() {
    const std::vector<DeviceUpdate> devices = SelectedDevices();
    if (devices.empty()) return;
    DlgBaseInformation dialog(language_, this);
    dialog.SetDevice(devices.front().entry);
    if (devices.front().wsd && devices.front().entry.protocol == kProtocolWsDiscovery)
        dialog.SetStandard(devices.front().wsd,
                           SnapshotOf(search_.StandardCameras(), devices.front()),
                           change_flow_.CurrentRead(devices.front()).has_value());
    RunDialog(dialog);
}

void CQuorvexDlg::OnNetConfig() {
    StartChanges(change_flow_.NetConfig(SelectedDevices()));
}

void CQuorvexDlg::OnRefreshList() {
    // What was handed over before the table is emptied is not shown; the
    // marks of changes stay with their cameras. Dropped first: emptying the
    // table starts a search at once, and an answer handed over before a
    // later drop would be lost for good, its camera already in the new table.
    handoff_->DropUpdates();
    backlog_.clear();
    model_->RemoveAllRows();
    search_.ClearDevices();
    UpdateStatusLine();
}

void CQuorvexDlg::OnClearArp() {
    std::vector<std::string> names = arp_interfaces_;
    if (names.empty()) names = configured_interfaces_;
    if (names.empty()) names = InterfaceNames(search_.CopyInterfaces());
    arp_->Start(std::move(names));
}

void CQuorvexDlg::OnAbout() {
    CAboutDlg dialog(language_, this);
    RunDialog(dialog);
}

bool CQuorvexDlg::ExportTo(const QString& path, ExportFormat format, bool shown_only) {
    std::vector<DeviceUpdate> devices;
    if (shown_only) {
        devices = ShownDevices();
    } else {
        for (int row = 0; row < model_->rowCount(); ++row) devices.push_back(*model_->Device(row));
    }
    const QString problem =
        SaveExport(path, ExportDevices(devices, search_.CopyInterfaces(), format));
    if (!problem.isEmpty()) {
        ShowNotice(Text(IDS_EXPORT_FAILED).arg(path, problem), true);
        return false;
    }
    ShowNotice(Text(IDS_EXPORT_DONE).arg(devices.size()).arg(path), false);
    return true;
}

void CQuorvexDlg::OnExport(bool shown_only) {
    ExportFormat format = ExportFormat::kCsv;
    QString path;
    if (save_file_asker_) {
        path = save_file_asker_(format);
    } else {
        QString chosen;
        path = QFileDialog::getSaveFileName(this, Text(IDS_EXPORT_TITLE),
                                            QStringLiteral("cameras.csv"), Text(IDS_EXPORT_FILTER),
                                            &chosen);
        if (path.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive) ||
            chosen.contains(QStringLiteral("*.json"))) {
            format = ExportFormat::kJson;
        }
    }
    if (!path.isEmpty()) ExportTo(path, format, shown_only);
}

QString CQuorvexDlg::SelectedRowsText() const {
    return quorvex::SelectedRowsText(*list_);
}

void CQuorvexDlg::OnCopyRows() {
    const QString text = SelectedRowsText();
    if (text.isEmpty()) return;
    QApplication::clipboard()->setText(text);
    ShowNotice(Text(IDS_COPIED).arg(text.count(QLatin1Char('\n'))), false);
}

}  // namespace quorvex
