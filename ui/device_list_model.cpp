#include "ui/device_list_model.h"

#include <arpa/inet.h>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "ui/record_text.h"

namespace quorvex {

namespace {

std::uint64_t MacValue(const std::uint8_t (&mac)[6]) {
    std::uint64_t value = 0;
    for (const std::uint8_t byte : mac) value = (value << 8) | byte;
    return value;
}

// The numbers of a version text in order: "V5.3.41" -> (5, 3, 41).
std::vector<std::uint32_t> VersionNumbers(std::string_view text) {
    std::vector<std::uint32_t> numbers;
    std::uint64_t value = 0;
    bool in_number = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            value =
                std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(c - '0'), 0xFFFFFFFFu);
            in_number = true;
        } else if (in_number) {
            numbers.push_back(static_cast<std::uint32_t>(value));
            value = 0;
            in_number = false;
        }
    }
    if (in_number) numbers.push_back(static_cast<std::uint32_t>(value));
    return numbers;
}

// Byte order with ASCII letters folded, so "cam" and "Cam" sort together.
int CompareFolded(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto fold = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return u >= 'A' && u <= 'Z' ? u + 32u : u;
        };
        const unsigned x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent) {}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(titles_.size());
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid()) return {};
    if (index.row() < 0 || index.row() >= rowCount() || index.column() < 0 ||
        index.column() >= columnCount()) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    const DeviceInfo& info = row.update.entry.info;
    switch (role) {
        case Qt::DisplayRole:
            return Cell(index.row(), index.column());
        case Qt::ToolTipRole:
            return Tooltip(row, index.column());
        case Qt::ForegroundRole:
            if (!row.update.answering) return QColor(128, 128, 128);
            return {};
        case Qt::FontRole:
            if (!row.update.answering) {
                QFont font;
                font.setItalic(true);
                return font;
            }
            return {};
        case Qt::BackgroundRole:
            if (InConflict(index.row())) return QColor(255, 205, 205);
            switch (row.change) {
                case ChangeState::kPending:
                    return QColor(255, 244, 200);
                case ChangeState::kConfirmed:
                    return QColor(214, 242, 214);
                case ChangeState::kNotConfirmed:
                    return QColor(255, 224, 188);
                case ChangeState::kNone:
                    break;
            }
            return {};
        case KeyRole:
            return QString::fromStdString(TableKeyText(TableKey(row.update)));
        case SortRole:
            switch (index.column()) {
                case kType:
                    return row.update.entry.family;
                case kAddress:
                    return QVariant::fromValue<quint32>(row.address);
                case kSystemVersion:
                case kAppVersion: {
                    QVariantList numbers;
                    for (const std::uint32_t n : index.column() == kSystemVersion
                                                     ? row.software_version
                                                     : row.web_version) {
                        numbers << QVariant::fromValue<quint32>(n);
                    }
                    return numbers;
                }
                case kMac:
                    return QVariant::fromValue<quint64>(MacValue(info.mac));
                default:
                    return Cell(index.row(), index.column());
            }
        default:
            return {};
    }
}

QString DeviceListModel::Cell(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return {};
    return CellText(rows_[static_cast<std::size_t>(row)].update, column);
}

QString DeviceListModel::CellText(const DeviceUpdate& update, int column) const {
    const DeviceInfo& info = update.entry.info;
    switch (column) {
        case kType: {
            static constexpr char kFamilies[] = "HJE";
            const int family = update.entry.family;
            if (update.entry.protocol == kProtocolWsDiscovery)
                return QStringLiteral("WS-Discovery");
            return family >= 1 && family <= 3 ? QString(QLatin1Char(kFamilies[family - 1]))
                                              : QString();
        }
        case kName:
            return DeviceFieldText(info.name);
        case kAddress:
            if (update.outside_subnet) return texts_.outside;
            return DeviceFieldText(info.ip) + QLatin1Char(':') + QString::number(info.http_port);
        case kUid:
            return DeviceFieldText(info.uid);
        case kSystemVersion:
            return DeviceFieldText(info.software_version);
        case kAppVersion:
            return DeviceFieldText(info.web_version);
        case kMac:
            return QString::fromStdString(TableKeyText(TableKey(update)));
        default:
            return {};
    }
}

QString DeviceListModel::Tooltip(const Row& row, int column) const {
    const DeviceUpdate& update = row.update;
    const int index = static_cast<int>(&row - rows_.data());
    QStringList lines;
    const QString cell = Cell(index, column);
    if (!cell.isEmpty()) lines << cell;
    if (update.outside_subnet || column == kAddress) {
        lines << texts_.own_address.arg(DeviceFieldText(update.entry.info.ip),
                                        DeviceFieldText(update.entry.info.mask));
    }
    if (!update.answering) {
        lines << texts_.silent.arg(QDateTime::fromMSecsSinceEpoch(update.last_heard_ms)
                                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    if (InConflict(index)) {
        lines << (host_addresses_.count(row.address) != 0 ? texts_.host_conflict
                                                          : texts_.duplicate);
    }
    switch (row.change) {
        case ChangeState::kPending:
            lines << texts_.pending;
            break;
        case ChangeState::kConfirmed:
            lines << texts_.confirmed;
            break;
        case ChangeState::kNotConfirmed:
            lines << texts_.not_confirmed.arg(row.change_reason);
            break;
        case ChangeState::kNone:
            break;
    }
    lines.removeDuplicates();
    return lines.join(QLatin1Char('\n'));
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
    if (role == Qt::DisplayRole) return titles_[static_cast<std::size_t>(section)];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags DeviceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

bool DeviceListModel::SetColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= columnCount()) return false;
    titles_[static_cast<std::size_t>(column)] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

int DeviceListModel::AppendColumn(const QString& title) {
    const int column = columnCount();
    beginInsertColumns(QModelIndex(), column, column);
    titles_.push_back(title);
    endInsertColumns();
    RebuildHaystacks();
    return column;
}

void DeviceListModel::SetTexts(Texts texts) {
    texts_ = std::move(texts);
    RebuildHaystacks();
    if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(columnCount() - 1, 0)));
    }
}

void DeviceListModel::SetHostAddresses(std::vector<std::uint32_t> addresses) {
    std::unordered_set<std::uint32_t> hosts;
    for (const std::uint32_t address : addresses) {
        if (address != 0) hosts.insert(ntohl(address));
    }
    if (hosts == host_addresses_) return;
    std::unordered_set<std::uint32_t> touched = hosts;
    touched.insert(host_addresses_.begin(), host_addresses_.end());
    host_addresses_ = std::move(hosts);
    EmitRowsAt(touched);
}

void DeviceListModel::Fill(Row& row, const DeviceUpdate& update) {
    row.update = update;
    const DeviceInfo& info = update.entry.info;
    std::uint32_t address = 0;
    row.address = ParseAddress(GetText(info.ip), address) ? ntohl(address) : 0;
    row.software_version = VersionNumbers(GetText(info.software_version));
    row.web_version = VersionNumbers(GetText(info.web_version));
    row.haystack = Haystack(update);
}

std::string DeviceListModel::Haystack(const DeviceUpdate& update) const {
    QString shown;
    for (int column = 0; column < kColumns; ++column) {
        shown += CellText(update, column);
        shown += QChar(0x1F);  // no match runs across two cells
    }
    return shown.toLower().toStdString();
}

void DeviceListModel::RebuildHaystacks() {
    for (Row& row : rows_) row.haystack = Haystack(row.update);
}

bool DeviceListModel::Matches(int row, const std::string& needle) const {
    if (row < 0 || row >= rowCount()) return false;
    return needle.empty() ||
           rows_[static_cast<std::size_t>(row)].haystack.find(needle) != std::string::npos;
}

void DeviceListModel::PrepareSort(int column) {
    // Compact copies of the keys, sorted once, rank every row; the proxy's
    // own sort then compares two integers instead of reaching into two rows
    // spread over the heap. The keys order rows exactly as `LessThan` does,
    // so a row that changes later (and loses its rank) still sorts right.
    struct Key {
        std::vector<std::int64_t> numbers;
        std::string_view text;
        std::uint64_t mac;
        int row;
    };
    const bool folded = column == kName || column == kUid;
    std::vector<Key> keys(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& r = rows_[i];
        const DeviceInfo& info = r.update.entry.info;
        Key& key = keys[i];
        key.mac = MacValue(info.mac);
        key.row = static_cast<int>(i);
        switch (column) {
            case kType:
                key.numbers = {r.update.entry.family};
                break;
            case kName:
                key.text = GetText(info.name);
                break;
            case kAddress:
                key.numbers = {r.address, info.http_port};
                key.text = GetText(info.ip);
                break;
            case kUid:
                key.text = GetText(info.uid);
                break;
            case kSystemVersion:
                key.numbers.assign(r.software_version.begin(), r.software_version.end());
                key.text = GetText(info.software_version);
                break;
            case kAppVersion:
                key.numbers.assign(r.web_version.begin(), r.web_version.end());
                key.text = GetText(info.web_version);
                break;
            default:
                break;
        }
    }
    std::sort(keys.begin(), keys.end(), [folded](const Key& a, const Key& b) {
        if (a.numbers != b.numbers) return a.numbers < b.numbers;
        const int text = folded ? CompareFolded(a.text, b.text) : a.text.compare(b.text);
        if (text != 0) return text < 0;
        return a.mac < b.mac;
    });
    ranks_.assign(rows_.size(), -1);
    for (std::size_t i = 0; i < keys.size(); ++i)
        ranks_[static_cast<std::size_t>(keys[i].row)] = static_cast<int>(i);
    ranked_column_ = column;
}

void DeviceListModel::ApplyUpdates(const std::vector<DeviceUpdate>& updates) {
    if (updates.empty()) return;
    // Group sizes before the changes, for the addresses the batch touches.
    std::unordered_map<std::uint32_t, std::size_t> before;
    auto note = [&](std::uint32_t address) {
        if (address == 0) return;
        const auto group = by_address_.find(address);
        before.try_emplace(address, group == by_address_.end() ? 0 : group->second.size());
    };
    auto leave = [&](int row) {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        if (!r.update.answering || r.address == 0) return;
        note(r.address);
        std::vector<int>& group = by_address_[r.address];
        group.erase(std::remove(group.begin(), group.end(), row), group.end());
        if (group.empty()) by_address_.erase(r.address);
    };
    auto join = [&](int row) {
        const Row& r = rows_[static_cast<std::size_t>(row)];
        if (!r.update.answering || r.address == 0) return;
        note(r.address);
        by_address_[r.address].push_back(row);
    };

    std::vector<Row> fresh;
    std::unordered_map<std::uint64_t, std::size_t> fresh_index;
    std::vector<int> changed;
    for (const DeviceUpdate& update : updates) {
        const std::uint64_t key = TableKey(update);
        if (const auto found = index_.find(key); found != index_.end()) {
            const int row = found->second;
            leave(row);
            Fill(rows_[static_cast<std::size_t>(row)], update);
            ranks_[static_cast<std::size_t>(row)] = -1;
            join(row);
            changed.push_back(row);
        } else if (const auto again = fresh_index.find(key); again != fresh_index.end()) {
            Fill(fresh[again->second], update);
        } else {
            fresh_index.emplace(key, fresh.size());
            fresh.emplace_back();
            Fill(fresh.back(), update);
        }
    }
    if (!fresh.empty()) {
        const int first = rowCount();
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(fresh.size()) - 1);
        for (Row& row : fresh) {
            const int at = static_cast<int>(rows_.size());
            index_.emplace(TableKey(row.update), at);
            rows_.push_back(std::move(row));
            ranks_.push_back(-1);
            join(at);
        }
        endInsertRows();
    }
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    const int last_column = std::max(columnCount() - 1, 0);
    for (std::size_t i = 0; i < changed.size();) {
        // Neighbouring rows go in one signal.
        std::size_t j = i + 1;
        while (j < changed.size() && changed[j] == changed[j - 1] + 1) ++j;
        emit dataChanged(index(changed[i], 0), index(changed[j - 1], last_column));
        i = j;
    }
    // A group that crossed between one device and several changes the
    // conflict mark of every device in it.
    std::unordered_set<std::uint32_t> crossed;
    for (const auto& [address, size] : before) {
        const auto group = by_address_.find(address);
        const std::size_t now = group == by_address_.end() ? 0 : group->second.size();
        if ((size > 1) != (now > 1)) crossed.insert(address);
    }
    EmitRowsAt(crossed);
}

void DeviceListModel::EmitRowsAt(const std::unordered_set<std::uint32_t>& addresses) {
    const int last_column = std::max(columnCount() - 1, 0);
    for (const std::uint32_t address : addresses) {
        const auto group = by_address_.find(address);
        if (group == by_address_.end()) continue;
        for (const int row : group->second) {
            emit dataChanged(index(row, 0), index(row, last_column),
                             {Qt::BackgroundRole, Qt::ToolTipRole});
        }
    }
}

void DeviceListModel::RemoveAllRows() {
    if (rows_.empty()) return;
    beginRemoveRows(QModelIndex(), 0, rowCount() - 1);
    rows_.clear();
    rows_.shrink_to_fit();
    ranks_.clear();
    index_.clear();
    by_address_.clear();
    endRemoveRows();
}

const DeviceUpdate* DeviceListModel::Device(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    return &rows_[static_cast<std::size_t>(row)].update;
}

int DeviceListModel::RowOf(std::string_view key) const {
    std::uint64_t value = 0;
    if (!ParseTableKey(key, value)) return -1;
    const auto found = index_.find(value);
    return found == index_.end() ? -1 : found->second;
}

bool DeviceListModel::InConflict(int row) const {
    if (row < 0 || row >= rowCount()) return false;
    const Row& r = rows_[static_cast<std::size_t>(row)];
    if (!r.update.answering || r.address == 0) return false;
    if (host_addresses_.count(r.address) != 0) return true;
    const auto group = by_address_.find(r.address);
    return group != by_address_.end() && group->second.size() > 1;
}

DeviceListModel::Counts DeviceListModel::Count() const {
    Counts counts;
    counts.total = rowCount();
    for (int row = 0; row < counts.total; ++row) {
        const DeviceUpdate& update = rows_[static_cast<std::size_t>(row)].update;
        counts.outside += update.outside_subnet ? 1 : 0;
        counts.silent += update.answering ? 0 : 1;
        counts.conflicts += InConflict(row) ? 1 : 0;
    }
    return counts;
}

bool DeviceListModel::SetChangeState(std::string_view key, ChangeState state,
                                     const QString& reason) {
    const int row = RowOf(key);
    if (row < 0) return false;
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.change = state;
    r.change_reason = reason;
    emit dataChanged(index(row, 0), index(row, std::max(columnCount() - 1, 0)),
                     {Qt::BackgroundRole, Qt::ToolTipRole});
    return true;
}

ChangeState DeviceListModel::ChangeStateOf(int row) const {
    if (row < 0 || row >= rowCount()) return ChangeState::kNone;
    return rows_[static_cast<std::size_t>(row)].change;
}

bool DeviceListModel::RankedLessThan(int column, int left_row, int right_row) const {
    if (column == ranked_column_) {
        const int a = ranks_[static_cast<std::size_t>(left_row)];
        const int b = ranks_[static_cast<std::size_t>(right_row)];
        if (a >= 0 && b >= 0) return a < b;
    }
    return LessThan(column, left_row, right_row);
}

bool DeviceListModel::LessThan(int column, int left_row, int right_row) const {
    const int order = Compare(column, left_row, right_row);
    if (order != 0) return order < 0;
    // Equal keys fall back to the MAC, so that the order is total and a
    // list sorted twice looks the same.
    const DeviceInfo& x = rows_[static_cast<std::size_t>(left_row)].update.entry.info;
    const DeviceInfo& y = rows_[static_cast<std::size_t>(right_row)].update.entry.info;
    return std::memcmp(x.mac, y.mac, sizeof x.mac) < 0;
}

int DeviceListModel::Compare(int column, int left_row, int right_row) const {
    const Row& a = rows_[static_cast<std::size_t>(left_row)];
    const Row& b = rows_[static_cast<std::size_t>(right_row)];
    const DeviceInfo& x = a.update.entry.info;
    const DeviceInfo& y = b.update.entry.info;
    auto three_way = [](const auto& p, const auto& q) { return p < q ? -1 : (q < p ? 1 : 0); };
    switch (column) {
        case kType:
            return three_way(a.update.entry.family, b.update.entry.family);
        case kName:
            return CompareFolded(GetText(x.name), GetText(y.name));
        case kAddress:
            if (a.address != b.address) return three_way(a.address, b.address);
            if (x.http_port != y.http_port) return three_way(x.http_port, y.http_port);
            return three_way(GetText(x.ip), GetText(y.ip));
        case kUid:
            return CompareFolded(GetText(x.uid), GetText(y.uid));
        case kSystemVersion:
            if (a.software_version != b.software_version)
                return three_way(a.software_version, b.software_version);
            return three_way(GetText(x.software_version), GetText(y.software_version));
        case kAppVersion:
            if (a.web_version != b.web_version) return three_way(a.web_version, b.web_version);
            return three_way(GetText(x.web_version), GetText(y.web_version));
        default:
            return 0;  // the MAC decides
    }
}

}  // namespace quorvex
