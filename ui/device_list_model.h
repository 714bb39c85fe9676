#pragma once

// The device list as values: one row per device, holding the DeviceUpdate the
// search handed over (a copy of the entry and its health). Text is rendered
// in data() from those values; the model never calls back into the search.
// Columns exist only once a language pack has named them; a column beyond
// the seven the model knows shows nothing.
//
// Marks, each also a tooltip line:
// - not answering (the search's verdict): greyed and italic, with the time
//   the device was last heard;
// - address conflict: two answering devices with one address, or a device
//   holding one of the PC's addresses or its gateway's: a red background;
// - outside its interface's subnet: the address cell shows the pack's string
//   1, the tooltip the device's own address and mask;
// - the state of a change sent to it (pending, confirmed, not confirmed),
//   set by whoever follows the change.
//
// Rows are appended and replaced in place, never removed one by one: the
// list is emptied as a whole. Changes only on the window's thread.
//
// Sorting and filtering read typed values, never the display text:
// `SortValue` gives one comparable value per column (an address as a 32-bit
// number then the port, a firmware version as its tuple of numbers then the
// text, other text with ASCII letters folded), with the MAC last so that the
// order is total. A DeviceSortFilterProxy sorts by it.
//
// The state of a change is kept per device, not per row: emptying the list
// (a refresh) keeps it, and the device's row shows it again when it answers.

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "search/device_update.h"
#include "ui/sort_key.h"

namespace quorvex {

enum class ChangeState : std::uint8_t { kNone, kPending, kConfirmed, kNotConfirmed };

class DeviceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The device key ("00-1A-2B-3C-4D-5E") of a row, in any column.
    static constexpr int KeyRole = Qt::UserRole + 2;
    // The seven columns the rows fill.
    enum Column { kType, kName, kAddress, kUid, kSystemVersion, kAppVersion, kMac, kColumns };

    // The words the marks and the outside cell use; from the language pack.
    struct Texts {
        QString outside;        // "%1" = the address; the address cell of an outside device
        QString own_address;    // "%1 mask %2"
        QString silent;         // "%1" = the time last heard
        QString duplicate;      // conflict with another device
        QString host_conflict;  // conflict with the PC or the gateway
        QString pending, confirmed, not_confirmed;  // "%1" = the reason
    };

    struct Counts {
        int total = 0;
        int outside = 0;
        int conflicts = 0;
        int silent = 0;
        // Changes by where they stand, whether or not the device is listed.
        int pending = 0;
        int confirmed = 0;
        int not_confirmed = 0;
    };

    using SortKey = quorvex::SortKey;

    explicit DeviceListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Renames column `column` (0-based). Returns false when it does not exist.
    bool SetColumnTitle(int column, const QString& title);
    // Appends a column and returns its index.
    int AppendColumn(const QString& title);

    void SetTexts(Texts texts);
    // The PC's own addresses and its gateways (network byte order): a device
    // holding one is in conflict.
    // Returns true when the marks changed.
    bool SetHostAddresses(std::vector<std::uint32_t> addresses);

    // Adds the devices new to the list (in one insertion, in the order given)
    // and replaces the values of those it holds; a device given twice keeps
    // its last values.
    void ApplyUpdates(const std::vector<DeviceUpdate>& updates);
    // Removes every row; the columns stay.
    void RemoveAllRows();

    // The values of a row; nullptr outside the rows.
    const DeviceUpdate* Device(int row) const;
    // The row of a device key; -1 when it has none.
    int RowOf(std::string_view key) const;
    // The text of a cell as data() renders it; empty outside the table.
    QString Cell(int row, int column) const;
    bool InConflict(int row) const;
    Counts Count() const;

    // Follows a change sent to a device (kNone forgets it); false when the
    // list has no such row, which then shows it once the device is listed.
    // `reason` says why it is not confirmed, or where a pending one stands.
    bool SetChangeState(std::string_view key, ChangeState state, const QString& reason = {});
    ChangeState ChangeStateOf(int row) const;
    // The reason or progress given with the row's change state.
    QString ChangeReasonOf(int row) const;
    // Forgets every change's state.
    void ClearChangeStates();

    // The value row `row` sorts by in `column`; rows outside compare first.
    SortKey SortValue(int row, int column) const;
    // Whether a row shows `needle` (already lower-case) in any column.
    bool Matches(int row, const std::string& needle) const;

private:
    struct Row {
        DeviceUpdate update;
        std::uint32_t address = 0;  // host order; 0 when the text is no address
        std::vector<std::uint32_t> software_version, web_version;
        std::string haystack;  // the shown texts, lower-case, for the filter
    };
    struct ChangeMark {
        ChangeState state = ChangeState::kNone;
        QString reason;
    };

    void Fill(Row& row, const DeviceUpdate& update);
    const ChangeMark* MarkOf(const Row& row) const;
    void EmitRow(int row);
    void Count(const Row& row, int delta);
    void RebuildHaystacks();
    QString CellText(const DeviceUpdate& update, int column) const;
    std::string Haystack(const DeviceUpdate& update) const;
    QString Tooltip(const Row& row, int column) const;
    void EmitRowsAt(const std::unordered_set<std::uint32_t>& addresses);
    // Drops the rows of the keys `updates` say their devices no longer go
    // by, carrying a change mark over to the key that replaced it.
    void RetireReplacedRows(const std::vector<DeviceUpdate>& updates);
    // `key`, or the key that replaced it.
    std::uint64_t CurrentKey(std::uint64_t key) const;

    std::vector<QString> titles_;
    std::vector<Row> rows_;
    std::unordered_map<std::uint64_t, int> index_;  // MAC as a number -> row
    // Answering devices per address (host order), for the conflict mark.
    std::unordered_map<std::uint32_t, std::vector<int>> by_address_;
    std::unordered_set<std::uint32_t> host_addresses_;  // host order
    Texts texts_;
    std::unordered_map<std::uint64_t, ChangeMark> changes_;  // table key -> mark
    // Keys a device was listed under until a read told its MAC -> the key
    // it goes by now: a change followed under the old key marks the new row.
    std::unordered_map<std::uint64_t, std::uint64_t> renamed_;
};

}  // namespace quorvex
