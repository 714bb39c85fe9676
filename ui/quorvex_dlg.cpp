#include "ui/quorvex_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "config/app_path.h"
#include "config/app_settings.h"
#include "config/language_choice.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "ui/app_icon.h"
#include "ui/bitmap_static.h"
#include "ui/device_list_model.h"
#include "ui/device_sort_filter_proxy.h"
#include "ui/dialog_template.h"
#include "ui/quorvex_app.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/status_line_text.h"
#include "ui/update_handoff.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

// The per-user store of the window's view: $XDG_CONFIG_HOME/quorvex/window.ini.
QSettings ViewSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("quorvex"),
                     QStringLiteral("window"));
}

}  // namespace

AppSettings CQuorvexDlg::ReadSettings() {
    XmlExtern config;
    std::array<char16_t, kTextCapacity> path{};
    if (MakeAppPath(u"config.xml", u"", path)) config.Load(path.data());
    return ReadAppSettings(config);
}

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
    // Every change to the rows reaches the counts, from the state the rows
    // are painted from.
    status_timer_ = new QTimer(this);
    status_timer_->setSingleShot(true);
    status_timer_->setInterval(250);
    connect(status_timer_, &QTimer::timeout, this, &CQuorvexDlg::UpdateStatusLine);
    connect(model_, &QAbstractItemModel::dataChanged, this, &CQuorvexDlg::ScheduleStatusLine);
    connect(model_, &QAbstractItemModel::rowsInserted, this, &CQuorvexDlg::ScheduleStatusLine);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &CQuorvexDlg::ScheduleStatusLine);
    handoff_ = new UpdateHandoff(this);
    connect(handoff_, &UpdateHandoff::Ready, this, &CQuorvexDlg::OnDevicesQueued,
            Qt::QueuedConnection);
    arp_ = new ArpFlush(language_, this);
    connect(arp_, &ArpFlush::Notice, this, &CQuorvexDlg::ShowNotice);
    changes_ = std::make_unique<ChangeFollower>(search_, *model_, language_, nullptr);
    connect(changes_.get(), &ChangeFollower::Notice, this, &CQuorvexDlg::ShowNotice);
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

    ok_ = new QPushButton(QStringLiteral("将所有选中的摄像机移入本机网段"), this);
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

    const AppSettings settings = ReadSettings();
    configured_interfaces_ = settings.interfaces;
    // Values from the worker, queued to this thread; the manager stops
    // before the window goes, so neither runs on a window that is gone.
    search_.SetDevicesCallback(
        [this](std::vector<DeviceUpdate> updates) { ReceiveUpdates(std::move(updates)); });
    search_.SetStatusCallback([this](const SearchStatus& status) { ReceiveStatus(status); });
    search_.SetSearchInterval(settings.search_interval);
    SetMatchRange(settings.match_min, settings.match_max);
    search_.SetInterfaceNames(settings.interfaces);
    // An address an earlier run took to reach a camera and could not give
    // back (it was killed) goes before the interfaces are read; one another
    // running instance holds stays.
    RemoveLeftoverTemporaryAddresses();
    if (!search_.IsRunning()) search_.Start();

    std::array<char16_t, kTextCapacity> banner{};
    if (MakeAppPath(u"mfc100rd.dll", u"", banner))
        banner_->LoadFromFile(QString::fromUtf16(banner.data()));
    PollSearch();
    UpdateStatusLine();
}

void CQuorvexDlg::ReceiveUpdates(std::vector<DeviceUpdate> updates) {
    handoff_->Leave(std::move(updates));
}

void CQuorvexDlg::ReceiveStatus(const SearchStatus& status) {
    handoff_->Leave(status);
}

void CQuorvexDlg::OnDevicesQueued() {
    for (const SearchStatus& status : handoff_->Take(backlog_)) ApplyStatus(status);

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
    if (!backlog_.empty()) handoff_->Again();
}

void CQuorvexDlg::ApplyUpdates(const std::vector<DeviceUpdate>& updates) {
    model_->ApplyUpdates(updates);
    FitColumnsOnce();
}

void CQuorvexDlg::ScheduleStatusLine() {
    if (!status_timer_->isActive()) status_timer_->start();
}

void CQuorvexDlg::ApplyStatus(const SearchStatus& status) {
    status_value_ = status;
    // A new status comes with every search and every change of the PC's
    // adapters, so the window needs no timer of its own to follow them.
    PollSearch();
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
    StatusLineValues values;
    values.shown = proxy_->rowCount();
    values.total = counts.total;
    values.outside = counts.outside;
    values.conflicts = counts.conflicts;
    values.silent = counts.silent;
    values.pending = counts.pending;
    values.confirmed = counts.confirmed;
    values.not_confirmed = counts.not_confirmed;
    values.search = status_value_;
    status_->setText(StatusLineText(language_, values));
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

}  // namespace quorvex
