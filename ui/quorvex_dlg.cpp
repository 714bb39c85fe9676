#include "ui/quorvex_dlg.h"

#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <utility>

#include "config/app_path.h"
#include "config/app_settings.h"
#include "config/language_choice.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "search/neighbour_probe.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/bitmap_static.h"
#include "ui/device_export.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dialog_template.h"
#include "ui/dlg_base_information.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/quorvex_app.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

bool LoadConfig(XmlExtern& config) {
    std::array<char16_t, kTextCapacity> path{};
    return MakeAppPath(u"config.xml", u"", path) && config.Load(path.data());
}

// The per-user store of the window's view: $XDG_CONFIG_HOME/quorvex/window.ini.
QSettings ViewSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("quorvex"),
                     QStringLiteral("window"));
}

// A kernel interface name that can go into a command line as it is.
bool IsInterfaceName(const std::string& name) {
    if (name.empty() || name.size() > 15) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-' || c == '@';
    });
}

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

CQuorvexDlg::CQuorvexDlg(CQuorvexApp& app, QWidget* parent)
    : QDialog(parent), app_(app), language_(app.Language()) {
    setWindowTitle(QStringLiteral("Quorvex"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);

    banner_ = new BitmapStatic(this);
    SetControlId(banner_, IDC_BANNER);
    banner_->setWindowTitle(QStringLiteral("Static"));
    banner_->setFixedSize(DialogRect(0, 0, 110, 16).size());

    filter_ = new QLineEdit(this);
    SetControlId(filter_, IDC_FILTER);
    filter_->setClearButtonEnabled(true);
    filter_->setMinimumWidth(fontMetrics().averageCharWidth() * 36);

    model_ = new DeviceListModel(this);
    proxy_ = new DeviceSortFilterProxy(model_, this);
    list_ = new QTableView(this);
    SetControlId(list_, IDC_DEVICE_LIST);
    list_->setModel(proxy_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setAlternatingRowColors(true);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = list_->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);  // arrival order until a click
    header->setStretchLastSection(true);
    header->setMinimumSectionSize(0);
    list_->setSortingEnabled(true);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    connect(list_, &QTableView::doubleClicked, this, &CQuorvexDlg::OnOpenWebPage);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->SetFilterText(text);
        UpdateStatusLine();
    });

    auto* label = new QLabel(QStringLiteral("语言"), this);
    SetControlId(label, IDC_LANGUAGE_LABEL);
    language_box_ = new QComboBox(this);
    SetControlId(language_box_, IDC_LANGUAGE);
    language_box_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label->setBuddy(language_box_);
    // A pick by the user, not a fill, switches the language.
    connect(language_box_, &QComboBox::activated, this, &CQuorvexDlg::OnLanguageSelected);

    ok_ = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok_, IDOK);
    ok_->setDefault(true);
    ok_->setMinimumWidth(DialogRect(0, 0, 157, 14).width());
    connect(ok_, &QPushButton::clicked, this, &CQuorvexDlg::OnMatchAddress);

    status_ = new QLabel(this);
    SetControlId(status_, IDC_STATUS);
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);
    notice_ = new QLabel(this);
    SetControlId(notice_, IDC_NOTICE);
    notice_->setTextFormat(Qt::PlainText);
    notice_->setWordWrap(true);
    notice_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(banner_);
    top->addStretch(1);
    top->addWidget(filter_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label);
    bottom->addWidget(language_box_);
    bottom->addStretch(1);
    bottom->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addWidget(notice_);
    layout->addWidget(status_);
    layout->addLayout(bottom);

    // The window manager owns the window menu here, so the about entry that
    // the system menu would carry is reached by F1 as well.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, [this] { OnCommand(ID_ABOUT); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
    });

    auto* poll = new QTimer(this);
    poll->setInterval(1000);
    connect(poll, &QTimer::timeout, this, &CQuorvexDlg::PollSearch);
    poll->start();

    resize(1000, 620);
    const QSettings view = ViewSettings();
    restoreGeometry(view.value(QStringLiteral("geometry")).toByteArray());
    list_->setFocus();
}

CQuorvexDlg::~CQuorvexDlg() {
    // The worker goes first, so that nothing is handed to a window that is
    // going away.
    search_.Stop();
    if (initialised_) SaveViewState();
    if (host_command_) {
        host_command_->disconnect();
        host_command_->kill();
        host_command_->waitForFinished(1000);
    }
}

void CQuorvexDlg::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CQuorvexDlg::OnInitDialog() {
    setWindowIcon(AppIcon());
    language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_MAIN);
    LanguageFill();
    RestoreViewState();

    XmlExtern config;
    LoadConfig(config);
    const AppSettings settings = ReadAppSettings(config);
    configured_interfaces_ = settings.interfaces;
    // Values from the worker, queued to this thread; the manager stops
    // before the window goes, so neither runs on a window that is gone.
    search_.SetDevicesCallback(
        [this](std::vector<DeviceUpdate> updates) { ReceiveUpdates(std::move(updates)); });
    search_.SetStatusCallback([this](const SearchStatus& status) { ReceiveStatus(status); });
    search_.SetSearchInterval(settings.search_interval);
    SetMatchRange(settings.match_min, settings.match_max);
    search_.SetInterfaceNames(settings.interfaces);
    if (!search_.IsRunning()) search_.Start();

    std::array<char16_t, kTextCapacity> banner{};
    if (MakeAppPath(u"mfc100rd.dll", u"", banner))
        banner_->LoadFromFile(QString::fromUtf16(banner.data()));
    UpdateStatusLine();
}

QString CQuorvexDlg::Text(int id) const {
    return UiText(language_, id);
}

void CQuorvexDlg::ApplyTexts() {
    std::array<char16_t, kTextCapacity> outside{};
    language_.GetString(IDS_OUTSIDE_SUBNET, outside);
    DeviceListModel::Texts texts;
    texts.outside = QString::fromUtf16(outside.data());
    texts.own_address = Text(IDS_OWN_ADDRESS);
    texts.silent = Text(IDS_SILENT_TOOLTIP);
    texts.duplicate = Text(IDS_CONFLICT_DUPLICATE);
    texts.host_conflict = Text(IDS_CONFLICT_HOST);
    texts.pending = Text(IDS_CHANGE_PENDING);
    texts.confirmed = Text(IDS_CHANGE_CONFIRMED);
    texts.not_confirmed = Text(IDS_CHANGE_NOT_CONFIRMED);
    model_->SetTexts(std::move(texts));
    filter_->setPlaceholderText(Text(IDS_FILTER_PLACEHOLDER));
    UpdateStatusLine();
}

void CQuorvexDlg::LanguageFill() {
    language_.ApplyDialog(&CQuorvexDlg::ColumnCallback, this, static_cast<QWidget*>(this),
                          IDD_MAIN);
    ApplyTexts();

    XmlExtern config;
    LoadConfig(config);
    const AppSettings settings = ReadAppSettings(config);
    const QSignalBlocker quiet(language_box_);
    int selected = -1;
    for (std::size_t i = 0; i < settings.languages.size(); ++i) {
        language_box_->addItem(ToQString(settings.languages[i].text));
        if (selected < 0 &&
            EqualsIgnoringAsciiCase(settings.languages[i].text, settings.language)) {
            selected = static_cast<int>(i);
        }
    }
    // When the configured language is not listed no item is in force, so the
    // first pick of any item switches.
    language_box_->setCurrentIndex(selected);
    current_language_index_ = selected;
}

void CQuorvexDlg::ColumnCallback(const XmlExtern& pack, const Xml::Node& control, int,
                                 void* context, std::int32_t) {
    auto* self = static_cast<CQuorvexDlg*>(context);
    const int count = pack.CountChildren(control, "columnlist");
    if (count < 1) return;
    // One buffer for the whole walk: a title too long to read repeats the
    // previous one.
    std::array<char16_t, kTextCapacity> title{};
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        const int width = pack.GetInt("<xmlattr>.width", *column, 0);
        pack.GetNodeText(*column, title);
        const QString text = QString::fromUtf16(title.data());
        const int index = i - 1;
        if (index < self->model_->columnCount()) {
            self->model_->SetColumnTitle(index, text);
        } else {
            self->model_->AppendColumn(text);
            // The pack's width is where a new column starts; the columns
            // fit their content once devices are listed.
            self->list_->setColumnWidth(index, std::max(width, 0));
        }
    }
}

void CQuorvexDlg::ReceiveUpdates(std::vector<DeviceUpdate> updates) {
    // Values handed over before the window's next turn share one queued
    // call, so that a burst of answers costs the window a few turns rather
    // than one per device.
    bool post = false;
    {
        std::lock_guard lock(pending_lock_);
        if (pending_.empty()) {
            pending_ = std::move(updates);
        } else {
            pending_.insert(pending_.end(), std::make_move_iterator(updates.begin()),
                            std::make_move_iterator(updates.end()));
        }
        post = !std::exchange(show_posted_, true);
    }
    if (post) {
        QMetaObject::invokeMethod(this, "OnDevicesQueued", Qt::QueuedConnection);
    }
}

void CQuorvexDlg::ReceiveStatus(const SearchStatus& status) {
    bool post = false;
    {
        std::lock_guard lock(pending_lock_);
        pending_status_.assign(1, status);
        post = !std::exchange(show_posted_, true);
    }
    if (post) {
        QMetaObject::invokeMethod(this, "OnDevicesQueued", Qt::QueuedConnection);
    }
}

void CQuorvexDlg::OnDevicesQueued() {
    std::vector<SearchStatus> statuses;
    {
        std::lock_guard lock(pending_lock_);
        show_posted_ = false;
        if (backlog_.empty()) {
            backlog_ = std::move(pending_);
        } else {
            backlog_.insert(backlog_.end(), std::make_move_iterator(pending_.begin()),
                            std::make_move_iterator(pending_.end()));
        }
        pending_.clear();
        statuses.swap(pending_status_);
    }
    for (const SearchStatus& status : statuses) ApplyStatus(status);

    // One turn takes in what fits in its share of time, in slices; the rest
    // waits for the next turn, so that timers, input and painting run in
    // between even while a sorted list takes a burst.
    constexpr std::size_t kSlice = 256;
    const auto until = std::chrono::steady_clock::now() + kShowTimePerTurn;
    std::size_t taken = 0;
    while (taken < backlog_.size() && std::chrono::steady_clock::now() < until) {
        const std::size_t end = std::min(backlog_.size(), taken + kSlice);
        ApplyUpdates(
            std::vector<DeviceUpdate>(backlog_.begin() + static_cast<std::ptrdiff_t>(taken),
                                      backlog_.begin() + static_cast<std::ptrdiff_t>(end)));
        taken = end;
    }
    backlog_.erase(backlog_.begin(), backlog_.begin() + static_cast<std::ptrdiff_t>(taken));
    if (backlog_.empty()) backlog_ = {};  // a burst's room goes back
    if (!backlog_.empty()) {
        std::lock_guard lock(pending_lock_);
        if (!std::exchange(show_posted_, true)) {
            QMetaObject::invokeMethod(this, "OnDevicesQueued", Qt::QueuedConnection);
        }
    }
}

void CQuorvexDlg::ApplyUpdates(const std::vector<DeviceUpdate>& updates) {
    model_->ApplyUpdates(updates);
    FitColumnsOnce();
    // The counts walk every row: at most a few times a second.
    static constexpr int kStatusDelayMs = 250;
    auto* timer = findChild<QTimer*>(QStringLiteral("statusTimer"));
    if (timer == nullptr) {
        timer = new QTimer(this);
        timer->setObjectName(QStringLiteral("statusTimer"));
        timer->setSingleShot(true);
        timer->setInterval(kStatusDelayMs);
        connect(timer, &QTimer::timeout, this, &CQuorvexDlg::UpdateStatusLine);
    }
    if (!timer->isActive()) timer->start();
}

void CQuorvexDlg::ApplyStatus(const SearchStatus& status) {
    status_value_ = status;
    UpdateStatusLine();
}

void CQuorvexDlg::PollSearch() {
    // The PC's addresses and gateways mark conflicts; the interfaces can
    // change while the search runs.
    std::vector<std::uint32_t> hosts;
    const std::vector<LocalInterface> interfaces = search_.CopyInterfaces();
    for (const LocalInterface& local : interfaces) {
        for (const std::string_view text : {GetText(local.ip), GetText(local.gateway)}) {
            std::uint32_t address = 0;
            if (ParseAddress(text, address)) hosts.push_back(address);
        }
    }
    model_->SetHostAddresses(std::move(hosts));
}

void CQuorvexDlg::UpdateStatusLine() {
    const DeviceListModel::Counts counts = model_->Count();
    QStringList parts;
    parts << Text(IDS_STATUS_SHOWN).arg(proxy_->rowCount()).arg(counts.total)
          << Text(IDS_STATUS_OUTSIDE).arg(counts.outside)
          << Text(IDS_STATUS_CONFLICTS).arg(counts.conflicts)
          << Text(IDS_STATUS_SILENT).arg(counts.silent);
    const SearchStatus& status = status_value_;
    if (!status.interfaces_loaded) {
        parts << Text(IDS_STATUS_STARTING);
    } else if (status.interface_count == 0) {
        parts << Text(IDS_STATUS_NO_INTERFACE);
    } else {
        parts << Text(IDS_STATUS_SEARCHING)
                     .arg(static_cast<qulonglong>(status.interface_count))
                     .arg(static_cast<qulonglong>(status.searches));
    }
    for (const SocketStatus& place : status.Problems()) {
        QString state;
        switch (place.state) {
            case ListenState::kSocketFailed:
                state = Text(IDS_STATE_SOCKET_FAILED);
                break;
            case ListenState::kBindFailed:
                state = Text(IDS_STATE_BIND_FAILED).arg(place.port);
                break;
            case ListenState::kJoinFailed:
                state = Text(IDS_STATE_JOIN_FAILED);
                break;
            case ListenState::kInterfaceGone:
                state = Text(IDS_STATE_GONE);
                break;
            case ListenState::kListening:
                break;
        }
        const QString where = QString::fromStdString(place.interface_name.empty()
                                                         ? AddressText(place.interface_address)
                                                         : place.interface_name);
        parts << Text(IDS_PROBLEM_LINE)
                     .arg(Text(place.protocol == kProtocolText          ? IDS_PROTOCOL_TEXT
                               : place.protocol == kProtocolWsDiscovery ? IDS_PROTOCOL_WSD
                                                                        : IDS_PROTOCOL_BINARY),
                          where, state);
    }
    if (status.drops > 0)
        parts << Text(IDS_STATUS_DROPS).arg(static_cast<qulonglong>(status.drops));
    for (const AnswerRejections& rejected : status.rejections) {
        const QString protocol =
            Text(rejected.protocol == kProtocolText          ? IDS_PROTOCOL_TEXT
                 : rejected.protocol == kProtocolWsDiscovery ? IDS_PROTOCOL_WSD
                                                             : IDS_PROTOCOL_BINARY);
        if (rejected.faults > 0) {
            parts << Text(IDS_STATUS_FAULTS)
                         .arg(protocol)
                         .arg(static_cast<qulonglong>(rejected.faults));
        }
        if (rejected.refused > 0) {
            parts << Text(IDS_STATUS_REFUSED)
                         .arg(protocol)
                         .arg(static_cast<qulonglong>(rejected.refused));
        }
    }
    status_->setText(parts.join(QStringLiteral("  ·  ")));
}

void CQuorvexDlg::ShowNotice(const QString& text, bool failure) {
    notice_->setText(text);
    notice_->setStyleSheet(failure ? QStringLiteral("color: #b00000;") : QString());
    notice_->setVisible(!text.isEmpty());
}

QString CQuorvexDlg::Notice() const {
    return notice_->isVisible() ? notice_->text() : QString();
}

void CQuorvexDlg::RestoreViewState() {
    const QSettings view = ViewSettings();
    const QByteArray header = view.value(QStringLiteral("header")).toByteArray();
    if (!header.isEmpty() && list_->horizontalHeader()->restoreState(header)) {
        columns_fitted_ = true;  // the user's widths stand
        list_->sortByColumn(list_->horizontalHeader()->sortIndicatorSection(),
                            list_->horizontalHeader()->sortIndicatorOrder());
    }
}

void CQuorvexDlg::SaveViewState() {
    QSettings view = ViewSettings();
    view.setValue(QStringLiteral("geometry"), saveGeometry());
    view.setValue(QStringLiteral("header"), list_->horizontalHeader()->saveState());
}

void CQuorvexDlg::FitColumnsOnce() {
    if (columns_fitted_ || model_->rowCount() == 0 || !isVisible()) return;
    columns_fitted_ = true;
    // Fitted to the rows of the first search's answers, which take a moment
    // to arrive, and the titles; the last column stretches to the edge.
    QTimer::singleShot(kFitColumnsDelayMs, this, [this] {
        for (int column = 0; column + 1 < model_->columnCount(); ++column)
            list_->resizeColumnToContents(column);
    });
}

int CQuorvexDlg::RunDialog(QDialog& dialog) {
    return dialog_runner_ ? dialog_runner_(dialog) : dialog.exec();
}

QString CQuorvexDlg::DeviceWebAddress(const DeviceEntry& entry, bool https) {
    std::uint32_t address = 0;
    const std::string_view ip = GetText(entry.info.ip);
    if (!ParseAddress(ip, address)) return {};
    const QString host = QString::fromLatin1(ip.data(), static_cast<qsizetype>(ip.size()));
    const QString scheme = https ? QStringLiteral("https") : QStringLiteral("http");
    if (entry.info.http_port == (https ? 443 : 80))
        return QStringLiteral("%1://%2/").arg(scheme, host);
    return QStringLiteral("%1://%2:%3/").arg(scheme, host).arg(entry.info.http_port);
}

QString CQuorvexDlg::DeviceWebAddress(const DeviceUpdate& update) {
    // The address and port of a camera only WS-Discovery heard come from the
    // service address it announced, which may be an https one.
    const bool https = update.entry.protocol == kProtocolWsDiscovery && update.wsd &&
                       (update.wsd->flags & kWsdHttps) != 0;
    return DeviceWebAddress(update.entry, https);
}

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
    const std::array<std::pair<int, const char*>, 8> items{
        {{ID_BASE_INFO, "基本属性"},
         {ID_NET_CONFIG, "网络配置"},
         {ID_REFRESH_LIST, "刷新摄像机列表"},
         {ID_CLEAR_ARP, "清除Arp缓存"},
         {ID_ABOUT, "关于Quorvex"},
         {ID_EXPORT_ALL, "Export all cameras..."},
         {ID_EXPORT_SHOWN, "Export shown cameras..."},
         {ID_COPY_ROWS, "Copy selected rows"}}};
    menu->setTitle(QStringLiteral("右键菜单"));
    for (const auto& [id, text] : items) menu->addAction(QString::fromUtf8(text))->setData(id);
    // The pack's item indexes count the full popup, so the device items go
    // only after it is applied.
    language_.ApplyMenu(static_cast<QWidget*>(menu.get()));
    if (list_->selectionModel()->selectedRows().isEmpty()) {
        for (QAction* action : menu->actions()) {
            const int id = action->data().toInt();
            if (id == ID_BASE_INFO || id == ID_NET_CONFIG || id == ID_COPY_ROWS) {
                menu->removeAction(action);
                delete action;
            }
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
    const std::vector<DeviceUpdate> selected = SelectedDevices();
    if (selected.empty()) return;
    std::vector<DeviceEntry> entries;
    bool read_only = false;
    for (const DeviceUpdate& device : selected) {
        if (!SearchBusiness::CanConfigure(device.entry)) {
            read_only = true;
        } else if (search_.IsOutsideSubnet(device.entry)) {
            entries.push_back(device.entry);
        }
    }
    if (entries.empty()) {
        ShowNotice(Text(read_only ? IDS_WSD_READ_ONLY : IDS_MATCH_NOTHING), read_only);
        return;
    }
    // One prompt for the whole selection: a text camera's answer carries no
    // password, so only the user can give it.
    DlgCredentials credentials(language_, this);
    if (RunDialog(credentials) != QDialog::Accepted) return;
    // One plan for the whole selection, so that no address goes to two
    // cameras and the cameras past the last free address stay where they are.
    const SearchBusiness::BatchPlan plan = search_.PlanMatch(entries, &CQuorvexDlg::AskLink);
    if (plan.moves.size() > 1) {
        DlgChangePlan shown(language_, plan, this);
        if (RunDialog(shown) != QDialog::Accepted) return;
    }
    QString note;
    if (!plan.unplaced.empty()) {
        note = Text(IDS_MATCH_UNPLACED).arg(plan.unplaced.size()).arg(match_min_).arg(match_max_);
    }
    std::vector<PlannedChange> changes;
    for (const SearchBusiness::PlannedCamera& move : plan.moves) {
        const auto settings = search_.MatchSettings(move.entry, move.address, credentials.Given());
        if (settings) changes.push_back({move.entry, *settings});
    }
    if (changes.empty()) {
        ShowNotice(note, true);
        return;
    }
    StartChanges(std::move(changes), note);
}

void CQuorvexDlg::StartChanges(std::vector<PlannedChange> changes, const QString& note) {
    for (const PlannedChange& change : changes)
        model_->SetChangeState(DeviceKey(change.entry.info), ChangeState::kPending);
    WatchedChanges watched;
    watched.shown.assign(changes.size(), false);
    watched.note = note;
    const std::size_t count = changes.size();
    // The watch takes a plan; these changes are already decided.
    ChangePlan plan;
    for (const PlannedChange& change : changes) {
        CameraPlan camera;
        camera.device.entry = change.entry;
        camera.settings = change.settings;
        plan.cameras.push_back(std::move(camera));
    }
    watched.watch = std::make_unique<ChangeWatch>(search_, plan, kConfirmTime);
    watches_.push_back(std::move(watched));
    const QString sent = Text(IDS_CHANGES_SENT).arg(count);
    ShowNotice(note.isEmpty() ? sent : note + QLatin1Char(' ') + sent, !note.isEmpty());
    if (watch_timer_ == nullptr) {
        watch_timer_ = new QTimer(this);
        watch_timer_->setInterval(100);
        connect(watch_timer_, &QTimer::timeout, this, &CQuorvexDlg::PollChanges);
    }
    watch_timer_->start();
}

std::set<std::uint32_t> CQuorvexDlg::AskLink(const std::vector<std::uint32_t>& addresses) {
    // The probe waits up to its patience for the neighbour table; the thread
    // that runs it is born in this thread's network namespace.
    auto answer =
        std::async(std::launch::async, [addresses] { return NeighbourProbe().InUse(addresses); });
    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
    });
    check.start();
    // Input waits, so that no command starts inside another.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer.get();
}

void CQuorvexDlg::PollChanges() {
    for (auto it = watches_.begin(); it != watches_.end();) {
        ChangeWatch& watch = *it->watch;
        const bool done = watch.Poll();
        for (std::size_t i = 0; i < watch.Changes().size(); ++i) {
            const std::optional<ChangeResult> result = watch.Result(i);
            if (!result || it->shown[i]) continue;
            const std::string key = DeviceKey(watch.Changes()[i].entry.info);
            if (*result == ChangeResult::confirmed) {
                it->shown[i] = model_->SetChangeState(key, ChangeState::kConfirmed);
            } else {
                it->shown[i] = model_->SetChangeState(key, ChangeState::kNotConfirmed,
                                                      ResultUiText(language_, *result));
            }
        }
        if (!done) {
            ++it;
            continue;
        }
        const std::vector<ChangeResult> results = watch.Results();
        const auto confirmed = std::count(results.begin(), results.end(), ChangeResult::confirmed);
        const QString outcome = Text(IDS_CHANGES_DONE).arg(confirmed).arg(results.size());
        const bool failed =
            confirmed != static_cast<std::ptrdiff_t>(results.size()) || !it->note.isEmpty();
        ShowNotice(it->note.isEmpty() ? outcome : outcome + QLatin1Char(' ') + it->note, failed);
        it = watches_.erase(it);
    }
    if (watches_.empty() && watch_timer_ != nullptr) watch_timer_->stop();
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
    RunDialog(dialog);
}

void CQuorvexDlg::OnNetConfig() {
    const std::vector<DeviceUpdate> devices = SelectedDevices();
    if (devices.empty()) return;
    const DeviceEntry entry = devices.front().entry;
    if (!SearchBusiness::CanConfigure(entry)) {
        ShowNotice(Text(IDS_WSD_READ_ONLY), true);
        return;
    }
    DlgNetInformation dialog(language_, this);
    dialog.SetDevice(entry);
    dialog.SetAddressFacts(search_.AddressFactsFor(entry));
    dialog.SetLinkAsk([](std::uint32_t address) { return !AskLink({address}).empty(); });
    if (devices.size() > 1) dialog.SetBatch(static_cast<int>(devices.size()));
    if (RunDialog(dialog) != QDialog::Accepted) return;
    const NetSettings& shared = dialog.Settings();

    if (devices.size() == 1) {
        // The search schedules the HTTP-port command of a text device itself.
        StartChanges({{entry, shared}});
        return;
    }
    std::vector<DeviceEntry> entries;
    for (const DeviceUpdate& device : devices) entries.push_back(device.entry);
    std::uint32_t start = 0;
    std::uint32_t mask = 0;
    ParseAddress(GetText(shared.ip), start);
    ParseAddress(GetText(shared.mask), mask);
    const SearchBusiness::BatchPlan plan =
        search_.PlanBatch(entries, start, mask, &CQuorvexDlg::AskLink);
    DlgChangePlan shown(language_, plan, this);
    if (RunDialog(shown) != QDialog::Accepted) return;
    std::vector<PlannedChange> changes;
    for (const SearchBusiness::PlannedCamera& move : plan.moves) {
        NetSettings settings = shared;
        SetText(settings.ip, AddressText(move.address));
        ApplyCredentials(settings, dialog.GivenCredentials(), move.entry.info);
        changes.push_back({move.entry, settings});
    }
    QString note;
    if (!plan.unplaced.empty())
        note = Text(IDS_BATCH_UNPLACED).arg(plan.unplaced.size()).arg(GetText(shared.ip).data());
    if (changes.empty()) {
        ShowNotice(note, true);
        return;
    }
    StartChanges(std::move(changes), note);
}

void CQuorvexDlg::OnRefreshList() {
    search_.ClearDevices();
    // What was handed over before the table was emptied is not shown.
    {
        std::lock_guard lock(pending_lock_);
        pending_.clear();
    }
    backlog_.clear();
    model_->RemoveAllRows();
    UpdateStatusLine();
}

bool CQuorvexDlg::HostCommandRunning() const {
    return host_command_ && host_command_->state() != QProcess::NotRunning;
}

void CQuorvexDlg::OnClearArp() {
    if (HostCommandRunning()) return;
    std::vector<std::string> names = arp_interfaces_;
    if (names.empty()) names = configured_interfaces_;
    if (names.empty()) names = InterfaceNames(search_.CopyInterfaces());
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return !IsInterfaceName(name); }),
                names.end());
    if (names.empty()) {
        ShowNotice(Text(IDS_ARP_NO_INTERFACE), true);
        return;
    }
    std::vector<std::string> argv = arp_command_;
    if (argv.empty()) {
        const QStringList system_dirs{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                      QStringLiteral("/usr/bin"), QStringLiteral("/bin")};
        const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), system_dirs);
        argv = {ip.toStdString(), "-batch", "-"};
        if (::geteuid() != 0) {
            // The package's polkit action names this program; pkexec asks
            // for the password the desktop's usual way.
            const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
            if (pkexec.isEmpty() || ip.isEmpty()) {
                ShowNotice(Text(IDS_ARP_NEEDS_ROOT), true);
                return;
            }
            argv.insert(argv.begin(), pkexec.toStdString());
        }
    }
    QString list;
    QByteArray batch;
    for (const std::string& name : names) {
        list += (list.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromStdString(name);
        batch += "neigh flush dev " + QByteArray::fromStdString(name) + "\n";
    }

    // The last one has finished; it goes at the next turn, saying nothing more.
    if (host_command_) host_command_->disconnect(this);
    host_command_.reset(new QProcess(this));
    host_command_->setProcessChannelMode(QProcess::MergedChannels);
    connect(host_command_.get(), &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    ShowNotice(Text(IDS_ARP_FAILED).arg(host_command_->errorString()), true);
            });
    connect(host_command_.get(), &QProcess::finished, this,
            [this, list](int code, QProcess::ExitStatus how) {
                const QString output =
                    StripControls(QString::fromLocal8Bit(host_command_->readAll()).trimmed());
                if (how == QProcess::NormalExit && code == 0) {
                    ShowNotice(Text(IDS_ARP_DONE).arg(list), false);
                } else {
                    const QString why =
                        output.isEmpty() ? QStringLiteral("exit code %1").arg(code) : output;
                    ShowNotice(Text(IDS_ARP_FAILED).arg(why), true);
                }
            });
    ShowNotice(Text(IDS_ARP_RUNNING).arg(list), false);
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
    // No shell: the program and its arguments go to the kernel as they are.
    host_command_->start(QString::fromStdString(argv.front()), arguments);
    host_command_->write(batch);
    host_command_->closeWriteChannel();
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
    const std::string text = ExportDevices(devices, search_.CopyInterfaces(), format);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        ShowNotice(Text(IDS_EXPORT_FAILED).arg(path, file.errorString()), true);
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
    QStringList lines;
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) {
        QStringList cells;
        for (int column = 0; column < proxy_->columnCount(); ++column)
            cells << proxy_->index(index.row(), column).data().toString();
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void CQuorvexDlg::OnCopyRows() {
    const QString text = SelectedRowsText();
    if (text.isEmpty()) return;
    QApplication::clipboard()->setText(text);
    ShowNotice(Text(IDS_COPIED).arg(text.count(QLatin1Char('\n'))), false);
}

void CQuorvexDlg::OnLanguageSelected(int index) {
    if (index == current_language_index_) return;

    // The choice goes into the user's own config.xml (made from the one read
    // at start when there is none yet); a shipped or shared file is never
    // written.
    const std::u16string text = ToU16(language_box_->itemText(index).left(259));
    const LanguageChoiceSaved saved = SaveLanguageChoice(text);

    app_.LoadCurrentLanguage();
    language_box_->clear();
    LanguageFill();
    if (saved.saved) {
        ShowNotice({}, false);
    } else {
        ShowNotice(
            Text(IDS_LANGUAGE_NOT_SAVED).arg(StripControls(QString::fromStdString(saved.problem))),
            true);
    }
    OnRefreshList();
}

}  // namespace quorvex
