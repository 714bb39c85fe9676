#include "ui/quorvex_dlg.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "config/app_path.h"
#include "config/app_settings.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/bitmap_static.h"
#include "ui/device_list_model.h"
#include "ui/dialog_template.h"
#include "ui/dlg_base_information.h"
#include "ui/dlg_net_information.h"
#include "ui/quorvex_app.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"

namespace quorvex {

namespace {

// The column that holds the device key.
constexpr int kKeyColumn = 6;

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

}  // namespace

CQuorvexDlg::CQuorvexDlg(CQuorvexApp& app, QWidget* parent)
    : QDialog(parent), app_(app), language_(app.Language()) {
    setWindowTitle(QStringLiteral("Quorvex"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    FixDialogSize(this, 477, 238);

    banner_ = new BitmapStatic(this);
    PlaceControl(banner_, IDC_BANNER, 7, 4, 110, 16);
    banner_->setWindowTitle(QStringLiteral("Static"));

    model_ = new DeviceListModel(this);
    list_ = new QTableView(this);
    PlaceControl(list_, IDC_DEVICE_LIST, 7, 24, 463, 188);
    list_->setModel(model_);
    list_->setShowGrid(true);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSortingEnabled(false);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setAlternatingRowColors(true);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->horizontalHeader()->setSectionsClickable(false);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setMinimumSectionSize(0);
    connect(list_, &QTableView::customContextMenuRequested, this, &CQuorvexDlg::OnContextMenu);
    connect(list_, &QTableView::doubleClicked, this, &CQuorvexDlg::OnOpenWebPage);

    auto* label = new QLabel(QStringLiteral("语言"), this);
    PlaceControl(label, IDC_LANGUAGE_LABEL, 9, 221, 74, 8);
    language_box_ = new QComboBox(this);
    PlaceControl(language_box_, IDC_LANGUAGE, 89, 219, 132, 12);
    language_box_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    // A pick by the user, not a fill, switches the language.
    connect(language_box_, &QComboBox::activated, this, &CQuorvexDlg::OnLanguageSelected);

    ok_ = new QPushButton(QStringLiteral("确定"), this);
    PlaceControl(ok_, IDOK, 313, 218, 157, 14);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CQuorvexDlg::OnMatchAddress);

    // The window manager owns the window menu here, so the about entry that
    // the system menu would carry is reached by F1 as well.
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, [this] { OnCommand(ID_ABOUT); });

    list_->setFocus();
}

CQuorvexDlg::~CQuorvexDlg() {
    search_.Stop();
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

    XmlExtern config;
    LoadConfig(config);
    const AppSettings settings = ReadAppSettings(config);
    search_.SetNotification(&CQuorvexDlg::NotifyCallback, this, 0);
    search_.SetSearchInterval(settings.search_interval);
    search_.SetMatchRange(settings.match_min, settings.match_max);
    search_.SetInterfaceNames(settings.interfaces);
    if (!search_.IsRunning()) search_.Start();

    std::array<char16_t, kTextCapacity> banner{};
    if (MakeAppPath(u"mfc100rd.dll", u"", banner))
        banner_->LoadFromFile(QString::fromUtf16(banner.data()));
}

void CQuorvexDlg::LanguageFill() {
    language_.ApplyDialog(&CQuorvexDlg::ColumnCallback, this, static_cast<QWidget*>(this),
                          IDD_MAIN);

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
        }
        self->list_->setColumnWidth(index, std::max(width, 0));
    }
}

void CQuorvexDlg::NotifyCallback(const char* key, void* context, std::int32_t) {
    auto* self = static_cast<CQuorvexDlg*>(context);
    // The key is copied here, on the worker. Keys notified before the
    // window's next turn share one queued call, so that a burst of answers
    // costs the window a few turns rather than one per device; the call is
    // dropped if the window is gone by then.
    bool post = false;
    {
        std::lock_guard lock(self->pending_lock_);
        self->pending_keys_.emplace_back(key);
        post = !std::exchange(self->show_posted_, true);
    }
    if (post) {
        QMetaObject::invokeMethod(
            self, [self] { self->OnDevicesUpdated(); }, Qt::QueuedConnection);
    }
}

void CQuorvexDlg::OnDevicesUpdated() {
    {
        std::lock_guard lock(pending_lock_);
        show_posted_ = false;
        for (std::string& key : pending_keys_) backlog_.push_back(std::move(key));
        pending_keys_.clear();
    }
    // One turn shows what fits in its share of time; the rest waits for the
    // next turn, so that timers, input and painting run in between.
    const auto until = std::chrono::steady_clock::now() + kShowTimePerTurn;
    std::vector<std::vector<QString>> new_rows;
    std::vector<std::string> new_keys;
    std::unordered_map<std::string, std::size_t> new_index;
    std::size_t taken = 0;
    while (taken < backlog_.size() && std::chrono::steady_clock::now() < until) {
        const std::string& key = backlog_[taken++];
        DeviceEntry entry{};
        if (!search_.GetDevice(key, entry)) continue;  // cleared since it was notified
        if (entry.row != -1) {
            UpdateRow(entry.row, entry);
            continue;
        }
        // A device new in this turn gets one row, with its latest contents.
        const auto [at, added] = new_index.try_emplace(key, new_rows.size());
        if (!added) {
            new_rows[at->second] = RowCells(entry);
            continue;
        }
        new_rows.push_back(RowCells(entry));
        new_keys.push_back(key);
    }
    backlog_.erase(backlog_.begin(), backlog_.begin() + static_cast<std::ptrdiff_t>(taken));

    // All of the turn's new rows go in as one insertion.
    const int first = model_->AppendRows(std::move(new_rows));
    for (std::size_t i = 0; i < new_keys.size(); ++i) {
        search_.SetDeviceRow(new_keys[i], first + static_cast<int>(i));
    }

    if (!backlog_.empty()) {
        std::lock_guard lock(pending_lock_);
        if (!std::exchange(show_posted_, true)) {
            QMetaObject::invokeMethod(
                this, [this] { OnDevicesUpdated(); }, Qt::QueuedConnection);
        }
    }
}

std::vector<QString> CQuorvexDlg::RowCells(const DeviceEntry& entry) {
    std::vector<QString> cells(kKeyColumn + 1);
    static constexpr std::array<const char*, 3> kFamilies{"H", "J", "E"};
    if (entry.family >= 1 && entry.family <= 3) {
        cells[0] = QString::fromLatin1(kFamilies[static_cast<std::size_t>(entry.family - 1)]);
    }
    cells[1] = FieldText(entry.info.name);
    if (search_.IsOutsideSubnet(entry)) {
        std::array<char16_t, kTextCapacity> text{};
        language_.GetString(IDS_OUTSIDE_SUBNET, text);
        cells[2] = QString::fromUtf16(text.data());
    } else {
        char address[64] = {};
        std::snprintf(address, sizeof address, "%.31s:%u",
                      std::string(GetText(entry.info.ip)).c_str(),
                      static_cast<unsigned>(entry.info.http_port));
        cells[2] = WindowText(address);
    }
    cells[3] = FieldText(entry.info.uid);
    cells[4] = FieldText(entry.info.software_version);
    cells[5] = FieldText(entry.info.web_version);
    cells[kKeyColumn] = QString::fromStdString(TableKeyText(TableKey(entry)));
    return cells;
}

void CQuorvexDlg::UpdateRow(int row, const DeviceEntry& entry) {
    const std::vector<QString> cells = RowCells(entry);
    for (int column = 0; column <= kKeyColumn; ++column) {
        // An unknown family leaves the row's type as it was.
        if (column == 0 && (entry.family < 1 || entry.family > 3)) continue;
        model_->SetCell(row, column, cells[static_cast<std::size_t>(column)]);
    }
}

std::vector<int> CQuorvexDlg::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CQuorvexDlg::RowToEntry(int row, DeviceEntry& entry) const {
    if (row < 0 || row >= model_->rowCount()) return false;
    // At most 63 characters of the key column, narrowed into 64 bytes.
    const std::u16string text = ToU16(model_->Cell(row, kKeyColumn).left(63));
    char key[64] = {};
    WideToAnsi(text, key);
    return search_.GetDevice(key, entry);
}

int CQuorvexDlg::RunDialog(QDialog& dialog) {
    return dialog_runner_ ? dialog_runner_(dialog) : dialog.exec();
}

QString CQuorvexDlg::DeviceWebAddress(const DeviceEntry& entry) {
    std::uint32_t address = 0;
    const std::string_view ip = GetText(entry.info.ip);
    if (!ParseAddress(ip, address)) return {};
    const QString host = QString::fromLatin1(ip.data(), static_cast<qsizetype>(ip.size()));
    if (entry.info.http_port == 80) return QStringLiteral("http://%1/").arg(host);
    return QStringLiteral("http://%1:%2/").arg(host).arg(entry.info.http_port);
}

std::unique_ptr<QMenu> CQuorvexDlg::BuildContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    const std::array<std::pair<int, const char*>, 5> items{{{ID_BASE_INFO, "基本属性"},
                                                            {ID_NET_CONFIG, "网络配置"},
                                                            {ID_REFRESH_LIST, "刷新摄像机列表"},
                                                            {ID_CLEAR_ARP, "清除Arp缓存"},
                                                            {ID_ABOUT, "关于Quorvex"}}};
    menu->setTitle(QStringLiteral("右键菜单"));
    for (const auto& [id, text] : items) menu->addAction(QString::fromUtf8(text))->setData(id);
    // The pack's item indexes count the full five-item popup, so the device
    // items go only after it is applied.
    language_.ApplyMenu(static_cast<QWidget*>(menu.get()));
    if (SelectedRows().empty()) {
        for (int i = 0; i < 2 && !menu->actions().isEmpty(); ++i) {
            QAction* first = menu->actions().first();
            menu->removeAction(first);
            delete first;
        }
    }
    return menu;
}

void CQuorvexDlg::OnContextMenu() {
    std::unique_ptr<QMenu> menu = BuildContextMenu();
    QAction* chosen = menu->exec(QCursor::pos());
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
        default:
            break;
    }
}

void CQuorvexDlg::OnMatchAddress() {
    for (int row : SelectedRows()) {
        DeviceEntry entry{};
        if (RowToEntry(row, entry)) search_.MatchAddress(entry);
    }
}

void CQuorvexDlg::OnOpenWebPage() {
    const std::vector<int> rows = SelectedRows();
    DeviceEntry entry{};
    if (rows.empty() || !RowToEntry(rows.front(), entry)) return;
    const QString address = DeviceWebAddress(entry);
    if (!address.isEmpty()) QDesktopServices::openUrl(QUrl(address));
}

void CQuorvexDlg::OnBaseInfo() {
    const std::vector<int> rows = SelectedRows();
    DeviceEntry entry{};
    if (rows.empty() || !RowToEntry(rows.front(), entry)) return;
    DlgBaseInformation dialog(language_, this);
    dialog.SetDevice(entry);
    RunDialog(dialog);
}

void CQuorvexDlg::OnNetConfig() {
    const std::vector<int> rows = SelectedRows();
    DeviceEntry entry{};
    if (rows.empty() || !RowToEntry(rows.front(), entry)) return;
    DlgNetInformation dialog(language_, this);
    dialog.SetDevice(entry);
    if (RunDialog(dialog) != QDialog::Accepted) return;

    const NetSettings settings = dialog.Settings();
    search_.SendCommand(entry, settings, kCommandNetSettings);
    if (settings.http_port != entry.info.http_port && entry.protocol == kProtocolText) {
        // The device takes the port command only after it has applied the
        // network settings; the window stays responsive meanwhile.
        QTimer::singleShot(kHttpPortCommandDelayMs, this, [this, entry, settings] {
            search_.SendCommand(entry, settings, kCommandHttpPort);
        });
    }
}

void CQuorvexDlg::OnRefreshList() {
    model_->RemoveAllRows();
    search_.ClearDevices();
}

void CQuorvexDlg::OnClearArp() {
    if (arp_command_.empty()) return;
    QStringList arguments;
    for (std::size_t i = 1; i < arp_command_.size(); ++i)
        arguments << QString::fromStdString(arp_command_[i]);
    // No shell: the program and its arguments go to the kernel as they are.
    // It needs privileges; its result is ignored like the original's.
    QProcess::execute(QString::fromStdString(arp_command_.front()), arguments);
}

void CQuorvexDlg::OnAbout() {
    CAboutDlg dialog(language_, this);
    RunDialog(dialog);
}

void CQuorvexDlg::OnLanguageSelected(int index) {
    if (index == current_language_index_) return;

    XmlExtern config;
    LoadConfig(config);
    const std::u16string text = ToU16(language_box_->itemText(index).left(259));
    if (config.SetLanguage(config.Root(), text)) config.Save();

    app_.LoadCurrentLanguage();
    language_box_->clear();
    LanguageFill();
    OnRefreshList();
}

}  // namespace quorvex
