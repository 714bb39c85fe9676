#pragma once

// The main window: the device list with its filter and status line, the
// language box, the banner and the wide match button. It owns the search
// manager for its whole life, shows one row per device the manager reports
// and turns the user's commands into calls on the manager, the configuration
// file, the language pack and the dialogs.
//
// Threads: everything here runs on the window's thread. The manager's worker
// hands over values only (batches of DeviceUpdate, SearchStatus) through
// `ReceiveUpdates` and `ReceiveStatus`, which leave them in an UpdateHandoff
// for the window's next turn; the window never looks a device up again in
// the manager.
//
// The parts with a job of their own live beside it: the hand-off
// (update_handoff), the status line's words (status_line_text), the change
// follower (change_follower), the ARP flush (arp_flush) and the export
// (device_export). Its commands are in quorvex_dlg_commands.cpp, its texts
// and language switch in quorvex_dlg_language.cpp.
//
// Per user, under the XDG configuration directory (Qt's settings store, not
// config.xml): the window's geometry, the column widths and the sort order.

#include <QDialog>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/app_settings.h"
#include "config/language_x.h"
#include "core/device_records.h"
#include "search/change_watch.h"
#include "search/device_update.h"
#include "search/search_business.h"
#include "search/search_status.h"
#include "ui/arp_flush.h"
#include "ui/change_flow.h"
#include "ui/change_follower.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;

namespace quorvex {

class BitmapStatic;
class CQuorvexApp;
class UpdateHandoff;
class DeviceListModel;
class DeviceSortFilterProxy;
enum class ExportFormat;

class CQuorvexDlg : public QDialog {
    Q_OBJECT

public:
    // Runs a dialog to its end and returns its result code.
    using DialogRunner = std::function<int(QDialog& dialog)>;
    // Asks where to save an export: the file name, empty to cancel.
    using SaveFileAsker = std::function<QString(ExportFormat& format)>;

    // How much of one turn of the event loop the window spends taking in
    // devices before it lets the loop go on.
    static constexpr std::chrono::milliseconds kShowTimePerTurn{8};
    // How long after the first devices are shown the columns fit their
    // content (unless the user's own widths were restored).
    static constexpr int kFitColumnsDelayMs = 1500;
    static constexpr std::chrono::milliseconds kConfirmTime = ChangeFollower::kConfirmTime;

    explicit CQuorvexDlg(CQuorvexApp& app, QWidget* parent = nullptr);
    // Saves the window's per-user state and stops the search manager.
    ~CQuorvexDlg() override;

    // The address of a device's web page, "http://ip:port/" (no port when it
    // is 80; "https://" and 443 with `https`), built from the entry's own
    // address; empty when `ip` is not a dotted IPv4 address.
    static QString DeviceWebAddress(const DeviceEntry& entry, bool https = false);
    // The same for a listed device: https when only WS-Discovery heard it and
    // the service address it is shown at is an https one.
    static QString DeviceWebAddress(const DeviceUpdate& update);

    // Worker side: queue values for the window's next turn. Safe from any
    // thread; a call after the window is gone is never made (the manager
    // stops first).
    void ReceiveUpdates(std::vector<DeviceUpdate> updates);
    void ReceiveStatus(const SearchStatus& status);
    // Window side: take values in now (what the queued calls run; tests call
    // it directly).
    void ApplyUpdates(const std::vector<DeviceUpdate>& updates);
    void ApplyStatus(const SearchStatus& status);

    // Runs the commands of the context menu and of the keyboard by id; ids
    // the window has no handler for do nothing.
    void OnCommand(int command_id);
    // Match address: the default button and Enter. Asks once for the
    // credentials, shows the plan when more than one camera moves, says how
    // many could not be moved and why, and follows each change on its row.
    void OnMatchAddress();
    // The host-number range of matching (from config.xml at start).
    void SetMatchRange(int min, int max);
    // True while some change sent from the window is not judged yet.
    bool ChangesPending() const { return changes_->Pending(); }
    // Opens the first selected device's web page (a double click); says in
    // the window when no browser takes it.
    void OnOpenWebPage();

    // The context menu as it is about to open: the pack's texts and ids
    // applied, the device items removed when no row is selected.
    std::unique_ptr<QMenu> BuildContextMenu();
    // Where the menu opens: at the pointer, or for the keyboard's menu key
    // below the current row.
    QPoint ContextMenuPosition(bool from_keyboard) const;

    // The devices of the selected rows, in the order shown.
    std::vector<DeviceUpdate> SelectedDevices() const;
    // The devices of the rows shown (filter applied), in the order shown.
    std::vector<DeviceUpdate> ShownDevices() const;
    // Writes all or the shown devices to `path`; the message says how it went.
    bool ExportTo(const QString& path, ExportFormat format, bool shown_only);
    // The selected rows as tab-separated text, one line per row.
    QString SelectedRowsText() const;

    // Test seams: the parts of the window, and who runs its modal dialogs
    // (exec() by default; a test can fill and confirm them instead).
    void SetDialogRunner(DialogRunner runner) { dialog_runner_ = std::move(runner); }
    void SetSaveFileAsker(SaveFileAsker asker) { save_file_asker_ = std::move(asker); }
    // The program that flushes the neighbour cache; it reads "neigh flush dev
    // NAME" lines on standard input. Empty: "ip -batch -", through pkexec
    // when not root.
    void SetArpCommand(std::vector<std::string> argv) { arp_->SetCommand(std::move(argv)); }
    // The interfaces whose neighbour cache is flushed; empty: those searched.
    void SetArpInterfaces(std::vector<std::string> names) { arp_interfaces_ = std::move(names); }
    SearchBusiness& Search() { return search_; }
    DeviceListModel& Model() { return *model_; }
    DeviceSortFilterProxy& Proxy() { return *proxy_; }
    QTableView* DeviceList() const { return list_; }
    QLineEdit* FilterBox() const { return filter_; }
    QComboBox* LanguageBox() const { return language_box_; }
    BitmapStatic* Banner() const { return banner_; }
    QLabel* StatusLine() const { return status_; }
    // The last message of a command (a failure or a result); empty when none.
    QString Notice() const;
    int CurrentLanguageIndex() const { return current_language_index_; }
    // True while a host command runs.
    bool HostCommandRunning() const { return arp_->Running(); }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The settings of config.xml as found at start (defaults when none).
    static AppSettings ReadSettings();
    void OnInitDialog();
    void LanguageFill();
    void ApplyTexts();
    static void ColumnCallback(const XmlExtern& pack, const Xml::Node& control, int control_id,
                               void* context, std::int32_t extra);
    // The hand-off's `Ready`, queued to the window's thread.
    void OnDevicesQueued();
    // Takes the PC's addresses and gateways for the conflict marks.
    void PollSearch();
    void UpdateStatusLine();
    // Updates the status line within a moment: the counts walk every row.
    void ScheduleStatusLine();
    void ShowNotice(const QString& text, bool failure);
    void RestoreViewState();
    void SaveViewState();
    void FitColumnsOnce();
    int RunDialog(QDialog& dialog);
    QString Text(int id) const;

    void OnContextMenu(const QPoint& global_position);
    void OnLanguageSelected(int index);
    void OnBaseInfo();
    void OnNetConfig();
    void OnRefreshList();
    void OnClearArp();
    void OnAbout();
    void OnExport(bool shown_only);
    void OnCopyRows();
    // Asks the link about `addresses` on a thread of its own; the window
    // keeps painting and running its timers meanwhile, but takes no input.
    // Hands the accepted plan to the change follower; without a plan only the
    // outcome's notice is shown.
    void StartChanges(ChangeFlow::Outcome outcome);

    CQuorvexApp& app_;
    LanguageX& language_;
    DeviceListModel* model_ = nullptr;
    DeviceSortFilterProxy* proxy_ = nullptr;
    QTableView* list_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QComboBox* language_box_ = nullptr;
    QPushButton* ok_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* notice_ = nullptr;
    // -1 while no listed language is in force, so that any pick switches.
    int current_language_index_ = -1;
    SearchBusiness search_;
    BitmapStatic* banner_ = nullptr;
    DialogRunner dialog_runner_;
    SaveFileAsker save_file_asker_;
    std::vector<std::string> arp_interfaces_;
    std::vector<std::string> configured_interfaces_;
    ArpFlush* arp_ = nullptr;
    // Declared after `search_`, which its watches use, so it goes first.
    std::unique_ptr<ChangeFollower> changes_;
    QTimer* status_timer_ = nullptr;
    int match_min_ = 0;
    int match_max_ = 0;
    SearchStatus status_value_;
    UpdateHandoff* handoff_ = nullptr;
    // Taken but not shown yet (window thread only).
    std::vector<DeviceUpdate> backlog_;
    bool initialised_ = false;
    bool columns_fitted_ = false;
    ChangeFlow change_flow_{search_, language_, this,
                            [this](QDialog& dialog) { return RunDialog(dialog); }};
};

}  // namespace quorvex
