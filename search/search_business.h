#pragma once

// The search manager: owns the protocol objects and runs the one search
// worker that drives them. The jobs live in parts of their own: the table of
// devices found (`DeviceTable`), the interfaces searched on (`InterfaceSet`),
// when a search repeats after drops (`RepeatPolicy`) and the commands with
// their tickets (`CommandScheduler`); this class ties them to the worker and
// keeps the one public face the front-ends use.
//
// Threads: the worker runs the search loop and `OnDeviceFound`; everything
// else is called from one controlling thread (the window's) or any thread
// where said.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/base_search.h"
#include "core/device_records.h"
#include "search/adapter_source.h"
#include "search/address_plan.h"
#include "search/base_thread.h"
#include "search/change_planner.h"
#include "search/command_scheduler.h"
#include "search/credentials.h"
#include "search/device_table.h"
#include "search/device_update.h"
#include "search/interface_set.h"
#include "search/repeat_policy.h"
#include "search/search_status.h"
#include "search/socket_waiter.h"
#include "search/standard_camera_book.h"

namespace quorvex {

class SearchBusiness {
public:
    using ProtocolMap = std::map<std::int32_t, std::unique_ptr<IDeviceSearch>>;

    static constexpr std::size_t kMaxDevices = DeviceTable::kMaxDevices;
    // Length of one worker pass while a search settles; an idle worker
    // sleeps until a socket, an adapter change, a command, the next search or
    // a deferred command needs it.
    static constexpr std::chrono::milliseconds kPassLength{100};
    // How long after it last sent or read the worker keeps short passes, so
    // that drops are counted and repeats go out while answers settle.
    static constexpr std::chrono::milliseconds kSettleTime{2000};
    // After reading answers, how long the worker lets more gather before it
    // waits on its sockets again.
    static constexpr std::chrono::milliseconds kGatherTime{1};
    static constexpr int kMaxRepeatSearches = RepeatPolicy::kMaxRepeats;
    static constexpr std::chrono::milliseconds kQuietBeforeRepeat = RepeatPolicy::kQuiet;
    static constexpr std::int32_t kMissedSearchesForSilent = DeviceTable::kMissedSearchesForSilent;

    // The protocol objects of the ids in `ids` (kProtocol*; empty: all three).
    static ProtocolMap MakeProtocols(const std::set<std::int32_t>& ids = {});

    // Protocol 1 = BrannocSearch, 2 = MorvainSearch, 3 = WsDiscoverySearch;
    // reads the Linux adapters.
    SearchBusiness();
    // With protocol objects of the caller's (keyed by protocol id, acting in
    // ascending id order), e.g. transports that open no sockets.
    explicit SearchBusiness(ProtocolMap protocols);
    SearchBusiness(const SearchBusiness&) = delete;
    SearchBusiness& operator=(const SearchBusiness&) = delete;
    // As `Stop`.
    ~SearchBusiness();

    // Settings, to be made before `Start`.
    // Seconds between two searches (30 after construction).
    void SetSearchInterval(std::int32_t seconds);
    // The host-number range of `MatchAddress`; also resets `nextOctet` to `min`.
    void SetMatchRange(std::int32_t min, std::int32_t max);
    // Kernel interface names to search on, in this order; empty = the
    // automatic choice.
    void SetInterfaceNames(std::vector<std::string> names);
    // Where the adapters are read (the Linux kernel by default).
    void SetAdapterSource(std::shared_ptr<const AdapterSource> source);
    // Values for the front-ends: batches of added or changed devices, and the
    // search's health whenever it changes. Both run on the worker; set them
    // before `Start`.
    void SetDevicesCallback(DevicesCallback callback);
    void SetStatusCallback(std::function<void(const SearchStatus& status)> callback);
    // Whether the worker watches the kernel for adapter changes and reads the
    // adapters again when one comes (on by default; a fixed adapter source in
    // tests turns it off).
    void SetWatchAdapters(bool watch) { watch_adapters_ = watch; }

    // Starts the worker; false when it is already running. The worker reads
    // the interfaces, opens the sockets and searches about one pass later; with
    // no interface it ends at once.
    bool Start();
    // Stops and joins the worker (at once, without waiting out a pass), closes
    // every socket, empties the table and forgets the interfaces.
    void Stop();

    // The entry under `key` with its health; none when absent.
    std::optional<DeviceUpdate> GetUpdate(std::string_view key) const;
    // Empties the table and asks for a search at once.
    void ClearDevices();
    // Asks for a search at once without clearing the table; the adapters are
    // read again first, so an interface that appeared or changed its address
    // is searched as well.
    void RequestRefresh();
    // True when a protocol that heard `entry` can change its settings (the
    // binary and text protocols); false for a device only WS-Discovery heard,
    // which the front-ends then offer no configuration or matching for.
    static bool CanConfigure(const DeviceEntry& entry);
    // Queues a command on the protocol object that found `entry`, for the
    // interface that heard it; nothing when there is no such protocol.
    // Returns a ticket for `CommandLeft` (0 when nothing was queued).
    std::uint64_t SendCommand(const DeviceEntry& entry, const NetSettings& settings,
                              std::int32_t type);
    // True once the worker has taken the command of `ticket` (from
    // `SendCommand` for a device of `protocol`) off its queue and sent it, or
    // dropped it because it could not go out.
    bool CommandLeft(std::int32_t protocol, std::uint64_t ticket) const;

    using ChangeTicket = quorvex::ChangeTicket;
    static constexpr std::chrono::milliseconds kHttpPortDelay = CommandScheduler::kHttpPortDelay;
    // Queues the settings command for `entry`; when the device speaks the text
    // protocol and `settings` change its HTTP port, the worker queues the
    // HTTP-port command `kHttpPortDelay` after the first has left.
    ChangeTicket ApplySettings(const DeviceEntry& entry, const NetSettings& settings);
    // True once every command of the change has left (or been dropped).
    bool ChangeLeft(const ChangeTicket& ticket) const;

    // True when the interface that heard `entry` is known and the device's
    // address lies in the subnet (address and mask) of none of that
    // interface's addresses.
    bool IsOutsideSubnet(const DeviceEntry& entry) const;
    // For a device outside the subnet of the interface that heard it, queues a
    // network-settings command with a free host number of that subnet, as the
    // change planner's match of this one camera decides it (credentials: the
    // camera's own, so a text camera, whose answer carries no password, is
    // not moved; `probe`, when given, asks the link first); true when one was
    // queued. False and nothing queued when the interface that heard it is
    // not searched, the device already sits in its subnet or no host number
    // of the range is free. The numbers handed out walk on from the last one
    // (`nextOctet`), round to the range's start at its end.
    bool MatchAddress(const DeviceEntry& entry, const LinkProbe& probe = {});

    // The delivery callback of both protocol objects (worker thread): merges
    // the entry into the table and notifies when it is new or changed.
    void OnDeviceFound(const DeviceEntry& entry);
    // The same for a device WS-Discovery heard, with its details.
    void OnWsdDeviceFound(const WsdDevice& device);

    // What reads of standard cameras found, for the change workers (who
    // write it) and the front-ends (who show it). A MAC a read tells goes on
    // to `LearnMac`.
    StandardCameraBook& StandardCameras() { return standard_cameras_; }
    const StandardCameraBook& StandardCameras() const { return standard_cameras_; }

    // From now on the camera of the endpoint reference `endpoint` is keyed by
    // `mac`, whatever address it answers from (see DeviceTable::LearnMac).
    // Any thread: the worker, which owns the table, takes it on its next pass.
    void LearnMac(const std::string& endpoint, const std::array<std::uint8_t, 6>& mac);

    // A snapshot of the whole table.
    std::vector<DeviceEntry> CopyDevices() const;
    // The same with each device's health.
    std::vector<DeviceUpdate> CopyUpdates() const;
    // The search's health now.
    SearchStatus Status() const;
    // What the change planner needs: the interfaces searched on, the whole
    // table with its health and conflict marks, and the match range.
    SiteFacts PlanFacts() const;
    std::size_t DeviceCount() const;
    // The interfaces the worker searches on; empty until it has read them.
    std::vector<LocalInterface> CopyInterfaces() const;
    std::size_t InterfaceCount() const;
    // True once the worker has read the interfaces (whatever it found) and
    // `Status` tells what it found, until `Stop`.
    bool InterfacesLoaded() const { return interfaces_ready_.load(); }
    // Searches sent since construction (one per search on all protocols).
    std::uint64_t SearchCount() const { return search_count_.load(); }
    // Searches repeated on one protocol because answers were dropped.
    std::uint64_t RepeatedSearchCount() const { return repeat_count_.load(); }
    // True while answers of the last search were dropped and a repeated
    // search is still to come.
    bool RepeatsPending() const { return repeats_pending_.load(); }
    // True while the worker runs.
    bool IsRunning() const { return worker_.running(); }

private:
    static int SearchLoop(void* argument);
    static void DeliverCallback(const DeviceEntry* entry, void* context, std::int32_t extra);
    static void WsdCallback(const WsdDevice* device, void* context, std::int32_t extra);
    // Reads the adapters; when the set differs from the one in use, reopens
    // every protocol's sockets on the new set. True when it changed (the
    // caller then searches at once).
    bool LoadInterfaces();
    // Waits on the sockets until `until` (or a wake-up) and reads what comes;
    // true when it read answers.
    bool ReceivePass(std::chrono::steady_clock::time_point until);
    void SendSearches();
    // Repeats a search when answers were lost; true while repeats go on.
    bool RepeatIfAnswersWereLost();
    void FlushUpdates();
    void RefreshStatus();
    // Hands the learned MACs to the table (worker).
    void TakeLearnedMacs();

    BaseThread worker_;
    ProtocolMap protocols_;
    InterfaceSet interfaces_;
    DeviceTable table_{interfaces_};
    CommandScheduler commands_{protocols_};
    RepeatPolicy repeats_;  // worker only
    StandardCameraBook standard_cameras_;
    std::atomic<bool> refreshRequested{false};
    std::atomic<bool> interfaces_ready_{false};

    DevicesCallback devices_callback_;
    std::function<void(const SearchStatus&)> status_callback_;

    std::atomic<std::int32_t> searchInterval{30};
    std::int32_t nextOctet = 0;
    std::int32_t matchMax = 0;
    std::int32_t matchMin = 0;

    std::vector<std::string> interface_names_;
    std::shared_ptr<const AdapterSource> adapter_source_;
    bool watch_adapters_ = true;

    std::mutex learned_lock_;
    std::vector<std::pair<std::string, std::array<std::uint8_t, 6>>> learned_;  // for the worker

    mutable std::mutex status_lock_;
    SearchStatus status_;

    std::atomic<std::uint64_t> search_count_{0};
    std::atomic<std::uint64_t> repeat_count_{0};
    std::atomic<bool> repeats_pending_{false};
    std::atomic<bool> answers_lost_{false};
    SocketWaiter waiter_;
    std::vector<int> handles_;                 // worker only
    std::vector<std::int32_t> handle_owners_;  // protocol id per handle, worker only
    int monitor_handle_ = -1;                  // worker only; -1 without a monitor
    bool monitor_ready_ = false;               // worker only: changes wait to be read
};

}  // namespace quorvex
