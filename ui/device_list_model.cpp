#include "ui/device_list_model.h"

#include <arpa/inet.h>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <algorithm>
#include <unordered_map>

#include "ui/record_text.h"
#include "ui/sort_key.h"

namespace quorvex {

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
            switch (MarkOf(row) != nullptr ? MarkOf(row)->state : ChangeState::kNone) {
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
            return DeviceNameText(info);
        case kAddress:
            // The address too, so that the filter finds a camera by it.
            if (update.outside_subnet) return texts_.outside.arg(DeviceFieldText(info.ip));
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
    const ChangeMark* mark = MarkOf(row);
    switch (mark != nullptr ? mark->state : ChangeState::kNone) {
        case ChangeState::kPending:
            lines << texts_.pending;
            // Where a change in several steps stands (reading, changing...).
            if (!mark->reason.isEmpty()) lines << mark->reason;
            break;
        case ChangeState::kConfirmed:
            lines << texts_.confirmed;
            break;
        case ChangeState::kNotConfirmed:
            lines << texts_.not_confirmed.arg(mark->reason);
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

bool DeviceListModel::SetHostAddresses(std::vector<std::uint32_t> addresses) {
    std::unordered_set<std::uint32_t> hosts;
    for (const std::uint32_t address : addresses) {
        if (address != 0) hosts.insert(ntohl(address));
    }
    if (hosts == host_addresses_) return false;
    std::unordered_set<std::uint32_t> touched = hosts;
    touched.insert(host_addresses_.begin(), host_addresses_.end());
    host_addresses_ = std::move(hosts);
    EmitRowsAt(touched);
    return true;
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

std::uint64_t DeviceListModel::CurrentKey(std::uint64_t key) const {
    // A key is replaced once at most (by the MAC a read told), but follow
    // the chain all the same, bounded so that a loop cannot hang the window.
    for (int hops = 0; hops < 4; ++hops) {
        const auto found = renamed_.find(key);
        if (found == renamed_.end()) break;
        key = found->second;
    }
    return key;
}

void DeviceListModel::RetireReplacedRows(const std::vector<DeviceUpdate>& updates) {
    std::vector<int> gone;
    for (const DeviceUpdate& update : updates) {
        const std::uint64_t now = TableKey(update);
        for (const std::uint64_t old : update.replaces) {
            if (old == now) continue;
            renamed_[old] = now;
            if (const auto mark = changes_.find(old); mark != changes_.end()) {
                changes_.try_emplace(now, mark->second);
                changes_.erase(mark);
            }
            if (const auto found = index_.find(old); found != index_.end())
                gone.push_back(found->second);
        }
    }
    if (gone.empty()) return;
    std::sort(gone.begin(), gone.end());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    for (auto row = gone.rbegin(); row != gone.rend(); ++row) {
        beginRemoveRows(QModelIndex(), *row, *row);
        rows_.erase(rows_.begin() + *row);
        endRemoveRows();
    }
    // Rare (once per camera whose MAC a read told): the indexes are built
    // again rather than shifted row by row.
    index_.clear();
    by_address_.clear();
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        const Row& r = rows_[row];
        index_.emplace(TableKey(r.update), static_cast<int>(row));
        if (r.update.answering && r.address != 0)
            by_address_[r.address].push_back(static_cast<int>(row));
    }
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, std::max(columnCount() - 1, 0)),
                         {Qt::BackgroundRole, Qt::ToolTipRole});
}

void DeviceListModel::ApplyUpdates(const std::vector<DeviceUpdate>& updates) {
    if (updates.empty()) return;
    RetireReplacedRows(updates);
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
    const auto found = index_.find(CurrentKey(value));
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
    for (const auto& [key, mark] : changes_) {
        counts.pending += mark.state == ChangeState::kPending ? 1 : 0;
        counts.confirmed += mark.state == ChangeState::kConfirmed ? 1 : 0;
        counts.not_confirmed += mark.state == ChangeState::kNotConfirmed ? 1 : 0;
    }
    return counts;
}

bool DeviceListModel::SetChangeState(std::string_view key, ChangeState state,
                                     const QString& reason) {
    std::uint64_t value = 0;
    if (!ParseTableKey(key, value)) return false;
    value = CurrentKey(value);
    if (state == ChangeState::kNone) {
        changes_.erase(value);
    } else {
        changes_[value] = {state, reason};
    }
    const auto found = index_.find(value);
    if (found == index_.end()) return false;
    EmitRow(found->second);
    return true;
}

void DeviceListModel::ClearChangeStates() {
    std::vector<int> rows;
    for (const auto& [key, mark] : changes_) {
        if (const auto found = index_.find(key); found != index_.end())
            rows.push_back(found->second);
    }
    changes_.clear();
    for (const int row : rows) EmitRow(row);
}

void DeviceListModel::EmitRow(int row) {
    emit dataChanged(index(row, 0), index(row, std::max(columnCount() - 1, 0)),
                     {Qt::BackgroundRole, Qt::ToolTipRole});
}

const DeviceListModel::ChangeMark* DeviceListModel::MarkOf(const Row& row) const {
    if (changes_.empty()) return nullptr;
    const auto found = changes_.find(TableKey(row.update));
    return found == changes_.end() ? nullptr : &found->second;
}

ChangeState DeviceListModel::ChangeStateOf(int row) const {
    if (row < 0 || row >= rowCount()) return ChangeState::kNone;
    const ChangeMark* mark = MarkOf(rows_[static_cast<std::size_t>(row)]);
    return mark != nullptr ? mark->state : ChangeState::kNone;
}

QString DeviceListModel::ChangeReasonOf(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    const ChangeMark* mark = MarkOf(rows_[static_cast<std::size_t>(row)]);
    return mark != nullptr ? mark->reason : QString();
}

DeviceListModel::SortKey DeviceListModel::SortValue(int row, int column) const {
    SortKey key;
    if (row < 0 || row >= rowCount()) return key;
    const Row& r = rows_[static_cast<std::size_t>(row)];
    const DeviceInfo& info = r.update.entry.info;
    key.mac = MacNumber(info.mac);
    switch (column) {
        case kType:
            key.numbers = {r.update.entry.family};
            break;
        case kName:
            key.text = FoldedText(DeviceNameUtf8(info));
            break;
        case kAddress:
            key.numbers = {r.address, info.http_port};
            key.text = GetText(info.ip);
            break;
        case kUid:
            key.text = FoldedText(GetText(info.uid));
            break;
        case kSystemVersion:
        case kAppVersion: {
            const auto& numbers = column == kSystemVersion ? r.software_version : r.web_version;
            key.numbers.assign(numbers.begin(), numbers.end());
            key.text = GetText(column == kSystemVersion ? info.software_version : info.web_version);
            break;
        }
        default:
            break;  // the MAC decides
    }
    return key;
}

}  // namespace quorvex
