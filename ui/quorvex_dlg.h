#pragma once

// The main window: the device list, the language box and the banner. It owns
// the search manager for its whole life, shows one row per device the manager
// reports and turns the user's commands into calls on the manager, the
// configuration file, the language pack and the dialogs.
//
// Threads: everything here runs on the window's thread. The manager's worker
// reaches the window only through NotifyCallback, which hands over a copy of
// the device key under a lock of its own and queues one call for all keys
// handed over before the window's next turn; rows are looked up again by key,
// never through pointers into the manager's table.

#include <QDialog>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/language_x.h"
#include "core/device_records.h"
#include "search/search_business.h"

class QComboBox;
class QMenu;
class QPushButton;
class QTableView;

namespace quorvex {

class BitmapStatic;
class CQuorvexApp;
class DeviceListModel;

class CQuorvexDlg : public QDialog {
    Q_OBJECT

public:
    // Runs a dialog to its end and returns its result code.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    // How much of one turn of the event loop the window spends showing
    // notified devices before it lets the loop go on.
    static constexpr std::chrono::milliseconds kShowTimePerTurn{4};

    explicit CQuorvexDlg(CQuorvexApp& app, QWidget* parent = nullptr);
    // Stops the search manager before anything else goes.
    ~CQuorvexDlg() override;

    // The address of a device's web page, "http://ip:port/" (no port when it
    // is 80), built from the entry's own address; empty when `ip` is not a
    // dotted IPv4 address.
    static QString DeviceWebAddress(const DeviceEntry& entry);

    // Runs the commands of the context menu and of the keyboard by id; ids
    // the window has no handler for do nothing.
    void OnCommand(int command_id);
    // Match address: the default button and Enter.
    void OnMatchAddress();
    // Opens the first selected device's web page (a double click).
    void OnOpenWebPage();

    // The context menu as it is about to open: the pack's texts and ids
    // applied, the two device items removed when no row is selected.
    std::unique_ptr<QMenu> BuildContextMenu();

    // Test seams: the parts of the window, and who runs its modal dialogs
    // (exec() by default; a test can fill and confirm them instead).
    void SetDialogRunner(DialogRunner runner) { dialog_runner_ = std::move(runner); }
    // Where the neighbour cache is flushed; argv[0] is looked up in PATH.
    void SetArpCommand(std::vector<std::string> argv) { arp_command_ = std::move(argv); }
    SearchBusiness& Search() { return search_; }
    DeviceListModel& Model() { return *model_; }
    QTableView* DeviceList() const { return list_; }
    QComboBox* LanguageBox() const { return language_box_; }
    BitmapStatic* Banner() const { return banner_; }
    int CurrentLanguageIndex() const { return current_language_index_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();
    void LanguageFill();
    static void ColumnCallback(const XmlExtern& pack, const Xml::Node& control, int control_id,
                               void* context, std::int32_t extra);
    static void NotifyCallback(const char* key, void* context, std::int32_t tag);
    // Shows the devices notified since the last turn: new ones as rows
    // appended in one insertion, changed ones rewritten in place.
    void OnDevicesUpdated();
    // The texts of a device's row, column by column.
    std::vector<QString> RowCells(const DeviceEntry& entry);
    void UpdateRow(int row, const DeviceEntry& entry);

    // The selected rows in list order.
    std::vector<int> SelectedRows() const;
    // The entry of a row, looked up by the key in its last column.
    bool RowToEntry(int row, DeviceEntry& entry) const;
    int RunDialog(QDialog& dialog);

    void OnContextMenu();
    void OnLanguageSelected(int index);
    void OnBaseInfo();
    void OnNetConfig();
    void OnRefreshList();
    void OnClearArp();
    void OnAbout();

    CQuorvexApp& app_;
    LanguageX& language_;
    DeviceListModel* model_ = nullptr;
    QTableView* list_ = nullptr;
    QComboBox* language_box_ = nullptr;
    QPushButton* ok_ = nullptr;
    // -1 while no listed language is in force, so that any pick switches.
    int current_language_index_ = -1;
    SearchBusiness search_;
    BitmapStatic* banner_ = nullptr;
    DialogRunner dialog_runner_;
    std::vector<std::string> arp_command_{"ip", "neigh", "flush", "all"};
    // Keys the worker notified and the window has not taken yet, oldest
    // first, and whether a call to show them is already queued.
    std::mutex pending_lock_;
    std::vector<std::string> pending_keys_;
    bool show_posted_ = false;
    // Keys taken but not shown yet (window thread only).
    std::vector<std::string> backlog_;
    bool initialised_ = false;
};

}  // namespace quorvex
