#include "search/search_business.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>

#include "core/brannoc_search.h"
#include "core/ipv4_subnet.h"
#include "core/morvain_search.h"
#include "core/ws_discovery_search.h"
#include "search/adapter_monitor.h"
#include "search/address_check.h"
#include "search/get_net_config.h"
#include "search/linux_adapters.h"

namespace quorvex {

SearchBusiness::ProtocolMap SearchBusiness::MakeProtocols(const std::set<std::int32_t>& ids) {
    ProtocolMap protocols;
    const auto chosen = [&](std::int32_t id) { return ids.empty() || ids.count(id) != 0; };
    if (chosen(kProtocolBinary))
        protocols.emplace(kProtocolBinary, std::make_unique<BrannocSearch>());
    if (chosen(kProtocolText)) protocols.emplace(kProtocolText, std::make_unique<MorvainSearch>());
    if (chosen(kProtocolWsDiscovery))
        protocols.emplace(kProtocolWsDiscovery, std::make_unique<WsDiscoverySearch>());
    return protocols;
}

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Two interface sets are the same when they hold the same records in the
// same order: then the open sockets still fit.
bool SameInterfaces(const std::vector<LocalInterface>& a, const std::vector<LocalInterface>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(LocalInterface)) != 0) return false;
    }
    return true;
}

bool SameStatus(const SearchStatus& a, const SearchStatus& b) {
    if (a.sockets.size() != b.sockets.size() || a.interfaces_loaded != b.interfaces_loaded ||
        a.interface_count != b.interface_count || a.searches != b.searches ||
        a.repeats != b.repeats || a.drops != b.drops || a.adapter_changes != b.adapter_changes ||
        a.answers_lost != b.answers_lost || a.rejections.size() != b.rejections.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.rejections.size(); ++i) {
        const AnswerRejections& x = a.rejections[i];
        const AnswerRejections& y = b.rejections[i];
        if (x.protocol != y.protocol || x.faults != y.faults || x.refused != y.refused)
            return false;
    }
    for (std::size_t i = 0; i < a.sockets.size(); ++i) {
        const SocketStatus& x = a.sockets[i];
        const SocketStatus& y = b.sockets[i];
        if (x.protocol != y.protocol || x.interface_address != y.interface_address ||
            x.state != y.state || x.error != y.error || x.drops != y.drops || x.port != y.port) {
            return false;
        }
    }
    return true;
}

}  // namespace

SearchBusiness::SearchBusiness() : SearchBusiness(MakeProtocols()) {}

SearchBusiness::SearchBusiness(ProtocolMap protocols) : protocols_(std::move(protocols)) {
    std::erase_if(protocols_, [](const auto& item) { return !item.second; });
    for (auto& [id, protocol] : protocols_) {
        queued_[id].store(0);
        protocol->SetCallback(&SearchBusiness::DeliverCallback, this, 0);
        protocol->SetWsdCallback(&SearchBusiness::WsdCallback, this, 0);
    }
}

SearchBusiness::~SearchBusiness() {
    Stop();
}

void SearchBusiness::SetNotification(NotifyCallback callback, void* context, std::int32_t tag) {
    notify_ = callback;
    notify_context_ = context;
    notify_tag_ = tag;
}

void SearchBusiness::SetSearchInterval(std::int32_t seconds) {
    searchInterval.store(seconds);
}

void SearchBusiness::SetMatchRange(std::int32_t min, std::int32_t max) {
    matchMin = min;
    matchMax = max;
    nextOctet = min;
}

void SearchBusiness::SetInterfaceNames(std::vector<std::string> names) {
    interface_names_ = std::move(names);
}

void SearchBusiness::SetAdapterSource(std::shared_ptr<const AdapterSource> source) {
    adapter_source_ = std::move(source);
}

void SearchBusiness::SetDevicesCallback(DevicesCallback callback) {
    devices_callback_ = std::move(callback);
}

void SearchBusiness::SetStatusCallback(std::function<void(const SearchStatus& status)> callback) {
    status_callback_ = std::move(callback);
}

bool SearchBusiness::Start() {
    return worker_.Start(&SearchBusiness::SearchLoop, this);
}

void SearchBusiness::Stop() {
    // Wake the worker out of its wait so that the join does not wait out a pass.
    worker_.RequestStop();
    waiter_.Wake();
    worker_.Stop();
    for (auto& [id, protocol] : protocols_) protocol->CloseSockets();
    {
        std::unique_lock lock(table_lock_);
        devices_.clear();
        wsd_.clear();
    }
    {
        std::lock_guard lock(pending_lock_);
        pending_.clear();
    }
    {
        std::lock_guard lock(interfaces_lock_);
        interfaces_.clear();
    }
    {
        std::lock_guard lock(status_lock_);
        status_ = SearchStatus{};
    }
    interfaces_loaded_.store(false);
    handles_.clear();
    handle_owners_.clear();
    repeats_.clear();
    // A wake-up left over from a `Stop` that found no worker must not cut the
    // first pass of the next `Start` short.
    waiter_.Wait({}, std::chrono::milliseconds(0));
}

int SearchBusiness::SearchLoop(void* argument) {
    auto& self = *static_cast<SearchBusiness*>(argument);
    using Clock = std::chrono::steady_clock;
    // Made on the worker: the kernel tells it about the network namespace of
    // the thread that opened it, the one the search sockets live in.
    std::unique_ptr<AdapterMonitor> monitor;
    if (self.watch_adapters_) monitor = std::make_unique<AdapterMonitor>();
    self.monitor_handle_ = monitor ? monitor->Handle() : -1;
    self.LoadInterfaces();
    self.RefreshStatus();

    // None: the next pass searches.
    std::optional<Clock::time_point> lastSearch;
    while (self.worker_.running()) {
        self.ReceivePass(Clock::now() + kPassLength);
        if (!self.worker_.running()) break;
        if (self.refreshRequested.exchange(false)) {
            // A refresh also takes in adapters that came or changed since.
            self.LoadInterfaces();
            lastSearch.reset();
        }
        // An interface that appeared, or got or lost an address, is searched
        // (or dropped) at once.
        if (monitor && self.monitor_ready_) {
            self.monitor_ready_ = false;
            if (monitor->Drain() && self.LoadInterfaces()) lastSearch.reset();
        }

        const auto limit =
            std::chrono::milliseconds(std::int64_t{self.searchInterval.load()} * 1000);
        const bool due = !lastSearch || std::chrono::duration_cast<std::chrono::milliseconds>(
                                            Clock::now() - *lastSearch) >= limit;
        if (due && self.InterfaceCount() > 0) {
            self.CountMissedSearches();
            self.SendSearches();
            lastSearch = Clock::now();
        } else {
            self.RunDeferredCommands();
            for (auto& [id, protocol] : self.protocols_) protocol->FlushCommands();
            self.RepeatIfAnswersWereLost();
        }
        // Answers that came back at once are read in this pass, after the sends.
        for (auto& [id, protocol] : self.protocols_) {
            if (protocol->ReceiveAnswers(0) > 0) self.repeats_[id].last_read = Clock::now();
        }
        self.FlushUpdates();
        self.RefreshStatus();
    }
    self.FlushUpdates();
    self.monitor_handle_ = -1;
    return 0;
}

void SearchBusiness::SendSearches() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [id, protocol] : protocols_) {
        protocol->SendSearch();
        RepeatState& state = repeats_[id];
        state.drops = protocol->DroppedDatagrams();
        {
            std::shared_lock lock(table_lock_);
            state.found_at_send = added_[id];
        }
        state.sent = now;
        state.last_read = now;
        state.left = kMaxRepeatSearches;
        state.barren = 0;
    }
    repeats_pending_.store(false);
    answers_lost_.store(false);
    search_count_.fetch_add(1);
}

void SearchBusiness::RepeatIfAnswersWereLost() {
    // Answers lost to an overflow come back with a repeated search. A repeat
    // waits until the sockets of every protocol have gone quiet, so that its
    // burst meets empty queues rather than the tail of the last one (or the
    // other protocol's burst), and only one protocol repeats at a time.
    // Repeats go on while they still bring devices back and drops are still
    // counted; two repeats in a row that brought nobody new end them, as
    // does the bound. Ending with drops still counted is reported.
    const auto now = std::chrono::steady_clock::now();
    bool pending = false;
    bool lost = false;
    for (auto& [id, protocol] : protocols_) {
        RepeatState& state = repeats_[id];
        const bool dropped = protocol->DroppedDatagrams() > state.drops;
        if (state.left > 0 && dropped) pending = true;
        if (state.left <= 0 && dropped && state.sent != std::chrono::steady_clock::time_point{})
            lost = true;
    }
    repeats_pending_.store(pending);
    answers_lost_.store(lost);
    if (!pending) return;
    for (const auto& [id, state] : repeats_) {
        if (now - state.last_read < kQuietBeforeRepeat) return;
    }
    for (auto& [id, protocol] : protocols_) {
        RepeatState& state = repeats_[id];
        if (state.left <= 0) continue;
        const std::uint64_t drops = protocol->DroppedDatagrams();
        if (drops <= state.drops) continue;
        std::uint64_t found = 0;
        {
            std::shared_lock lock(table_lock_);
            found = added_[id];
        }
        const bool first_repeat = state.left == kMaxRepeatSearches;
        if (!first_repeat && found == state.found_at_send) {
            // On a loaded machine one repeat may lose the same answers again;
            // a second barren one in a row means they do not come back.
            if (++state.barren >= 2) {
                state.left = 0;
                continue;
            }
        } else {
            state.barren = 0;
        }
        protocol->SendSearch();
        state.drops = protocol->DroppedDatagrams();
        state.found_at_send = found;
        state.sent = now;
        state.last_read = now;
        --state.left;
        repeat_count_.fetch_add(1);
        return;
    }
}

void SearchBusiness::CountMissedSearches() {
    // Runs as a search goes out: every device that did not answer the
    // previous one has missed one more.
    const std::uint64_t previous = search_count_.load();
    if (previous == 0) return;
    std::vector<std::uint64_t> changed;
    {
        std::unique_lock lock(table_lock_);
        for (auto& [key, stored] : devices_) {
            if (stored.heard_search >= previous) continue;
            ++stored.missed;
            if (stored.missed == kMissedSearchesForSilent) changed.push_back(key);
        }
    }
    if (changed.empty()) return;
    std::lock_guard lock(pending_lock_);
    pending_.insert(pending_.end(), changed.begin(), changed.end());
}

void SearchBusiness::ReceivePass(std::chrono::steady_clock::time_point until) {
    std::vector<int> watched = handles_;
    if (monitor_handle_ >= 0 && !monitor_ready_) watched.push_back(monitor_handle_);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        const SocketWaiter::Result result = waiter_.Wait(watched, left);
        if (result.woken) return;  // a stop or a refresh: the pass ends at once
        for (const int handle : result.invalid) std::erase(watched, handle);
        std::set<std::int32_t> ready_protocols;
        for (const int handle : result.ready) {
            if (handle == monitor_handle_) {
                // Read at the end of the pass, when a burst of changes (a
                // link with its addresses and routes) has arrived whole.
                monitor_ready_ = true;
                std::erase(watched, handle);
                continue;
            }
            const auto at = std::find(handles_.begin(), handles_.end(), handle);
            if (at != handles_.end()) ready_protocols.insert(handle_owners_[at - handles_.begin()]);
        }
        bool read_any = false;
        for (const std::int32_t id : ready_protocols) {
            if (protocols_.at(id)->ReceiveAnswers(0) > 0) {
                read_any = true;
                repeats_[id].last_read = std::chrono::steady_clock::now();
                continue;
            }
            // Ready but nothing read (an error pending that the read did not
            // clear): leave its sockets alone for the rest of the pass rather
            // than spin on them.
            for (std::size_t i = 0; i < handles_.size(); ++i) {
                if (handle_owners_[i] == id) std::erase(watched, handles_[i]);
            }
        }
        // While answers pour in, they gather for a moment before the next
        // wait. A worker asleep in its sockets is woken for nearly every
        // datagram, and each wake-up is paid on the sending side of the path
        // (on a virtual machine an interrupt between processors), which slows
        // the whole burst; the queues hold thousands of answers meanwhile.
        if (read_any) FlushUpdates();
        if (read_any && waiter_.Wait({}, kGatherTime).woken) return;
    }
}

bool SearchBusiness::LoadInterfaces() {
    std::shared_ptr<const AdapterSource> source = adapter_source_;
    if (!source) source = std::make_shared<LinuxAdapters>();
    const GetNetConfig config(*source, interface_names_);

    // The adapter set may change between counting and filling: the array is
    // sized by the count and the fill writes no more than that.
    const int count = config.GetLocalInterfaces();
    std::vector<LocalInterface> loaded(std::max(count, 0));
    if (count > 0) {
        const int filled = config.GetLocalInterfaces(loaded);
        loaded.resize(std::clamp(filled, 0, count));
    }
    // A record without a usable address opens nothing that could be heard.
    std::erase_if(loaded, [](const LocalInterface& record) {
        std::uint32_t address = 0;
        return !ParseAddress(GetText(record.ip), address) || address == 0;
    });

    bool changed = false;
    {
        std::lock_guard lock(interfaces_lock_);
        changed = !SameInterfaces(interfaces_, loaded) || !interfaces_loaded_.load();
        if (changed) interfaces_ = loaded;
    }
    const bool first = !interfaces_loaded_.exchange(true);
    if (!changed) return false;
    if (!first) adapter_changes_.fetch_add(1);

    // What waits in the old sockets is read before they close.
    for (auto& [id, protocol] : protocols_) protocol->ReceiveAnswers(0);
    handles_.clear();
    handle_owners_.clear();
    for (auto& [id, protocol] : protocols_) {
        protocol->CloseSockets();
        if (loaded.empty()) continue;
        protocol->OpenSockets(loaded.data(), static_cast<std::int32_t>(loaded.size()));
        std::vector<int> handles;
        protocol->CollectSockets(handles);
        for (const int handle : handles) {
            handles_.push_back(handle);
            handle_owners_.push_back(id);
        }
    }
    return true;
}

void SearchBusiness::DeliverCallback(const DeviceEntry* entry, void* context, std::int32_t) {
    if (entry != nullptr && context != nullptr) {
        static_cast<SearchBusiness*>(context)->OnDeviceFound(*entry);
    }
}

void SearchBusiness::WsdCallback(const WsdDevice* device, void* context, std::int32_t) {
    if (device != nullptr && context != nullptr) {
        static_cast<SearchBusiness*>(context)->OnWsdDeviceFound(*device);
    }
}

void SearchBusiness::OnDeviceFound(const DeviceEntry& entry) {
    Record(entry, nullptr);
}

void SearchBusiness::OnWsdDeviceFound(const WsdDevice& device) {
    Record(device.entry, &device.wsd);
}

void SearchBusiness::Record(const DeviceEntry& entry, const WsdInfo* wsd) {
    std::uint64_t key = TableKey(entry, wsd);
    const bool bye = wsd != nullptr && (wsd->flags & kWsdGone) != 0;
    const std::uint64_t search = search_count_.load();
    const std::int64_t now = NowMs();
    bool changed = false;
    bool added = false;
    std::uint32_t stored_interface = 0;
    {
        std::unique_lock lock(table_lock_);
        auto found = devices_.find(key);
        // A WS-Discovery answer without MAC belongs to the camera that the
        // own protocols list at the same address on the same interface; a Bye
        // names only the endpoint reference.
        if (found == devices_.end() && wsd != nullptr && key >= (1ull << 48)) {
            if (bye) {
                for (const auto& [other, info] : wsd_) {
                    if (GetText(info->endpoint) == GetText(wsd->endpoint)) {
                        found = devices_.find(other);
                        break;
                    }
                }
            } else {
                for (auto it = devices_.begin(); it != devices_.end(); ++it) {
                    const DeviceEntry& e = it->second.entry;
                    if (e.protocol != kProtocolWsDiscovery &&
                        e.interface_address == entry.interface_address &&
                        GetText(e.info.ip) == GetText(entry.info.ip)) {
                        found = it;
                        break;
                    }
                }
            }
            if (found != devices_.end()) key = found->first;
        }
        if (found == devices_.end()) {
            if (!bye && devices_.size() < kMaxDevices) {
                Stored& stored =
                    devices_.emplace(key, Stored{MergeEntry(entry, entry), search, now, 0})
                        .first->second;
                stored.entry.row = -1;
                if (wsd != nullptr) wsd_[key] = std::make_shared<const WsdInfo>(*wsd);
                ++added_[entry.protocol];
                changed = true;
                added = true;
            }
        } else {
            Stored& stored = found->second;
            stored.heard_search = search;
            stored.heard_ms = now;
            if (stored.missed >= kMissedSearchesForSilent) changed = true;  // answers again
            stored.missed = 0;
            // A Bye only marks the device gone: it says nothing of its address.
            const DeviceEntry merged = bye ? stored.entry : MergeEntry(stored.entry, entry);
            if (!SameContents(stored.entry, merged)) {
                stored.entry.info = merged.info;
                stored.entry.family = merged.family;
                stored.entry.protocol = merged.protocol;
                stored.entry.protocols = merged.protocols;
                changed = true;
            }
            // The details WS-Discovery gave are replaced only when it says
            // something new; an answer of the own protocols leaves them alone
            // unless the device had said Bye, which that answer takes back.
            const auto details = wsd_.find(key);
            if (wsd != nullptr) {
                const WsdInfo* old = details != wsd_.end() ? details->second.get() : nullptr;
                const WsdInfo kept = MergeWsd(old, *wsd);
                if (old == nullptr || !SameContents(*old, kept)) {
                    wsd_[key] = std::make_shared<const WsdInfo>(kept);
                    changed = true;
                }
            } else if (details != wsd_.end() && (details->second->flags & kWsdGone) != 0) {
                auto back = std::make_shared<WsdInfo>(*details->second);
                back->flags &= static_cast<std::uint8_t>(~kWsdGone);
                details->second = std::move(back);
                changed = true;
            }
            stored_interface = stored.entry.interface_address;
        }
    }
    // Heard on another address than the one on record (a second address of
    // the interface, or a second interface on the same segment): the device
    // belongs to the address whose subnet holds it, so that it counts as
    // inside and its commands leave where it can be reached; and to any
    // address that hears it once the one on record has gone.
    if (!added && stored_interface != 0 && stored_interface != entry.interface_address) {
        DeviceEntry as_stored = entry;
        as_stored.interface_address = stored_interface;
        const bool heard_on_known = !InterfaceAddresses(entry.interface_address).empty();
        const bool stored_gone = InterfaceAddresses(stored_interface).empty();
        if (heard_on_known &&
            (stored_gone || (OutsideSubnet(as_stored) && !OutsideSubnet(entry)))) {
            std::unique_lock lock(table_lock_);
            const auto found = devices_.find(key);
            if (found != devices_.end()) {
                found->second.entry.interface_address = entry.interface_address;
                changed = true;
            }
        }
    }
    if (!changed) return;
    {
        std::lock_guard lock(pending_lock_);
        pending_.push_back(key);
    }
    if (notify_ != nullptr) notify_(TableKeyText(key).c_str(), notify_context_, notify_tag_);
}

DeviceUpdate SearchBusiness::MakeUpdate(std::uint64_t key, const Stored& stored) const {
    DeviceUpdate update;
    update.entry = stored.entry;
    if (const auto details = wsd_.find(key); details != wsd_.end()) update.wsd = details->second;
    update.missed_searches = stored.missed;
    update.answering = stored.missed < kMissedSearchesForSilent;
    update.last_heard_ms = stored.heard_ms;
    update.heard_search = stored.heard_search;
    return update;
}

void SearchBusiness::FlushUpdates() {
    std::vector<std::uint64_t> keys;
    {
        std::lock_guard lock(pending_lock_);
        keys.swap(pending_);
    }
    if (keys.empty() || !devices_callback_) return;
    // A device changed twice since the last batch goes out once, as it is now.
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<DeviceUpdate> updates;
    updates.reserve(keys.size());
    {
        std::shared_lock lock(table_lock_);
        for (const std::uint64_t key : keys) {
            const auto found = devices_.find(key);
            if (found != devices_.end()) updates.push_back(MakeUpdate(key, found->second));
        }
    }
    for (DeviceUpdate& update : updates) update.outside_subnet = OutsideSubnet(update.entry);
    if (!updates.empty()) devices_callback_(std::move(updates));
}

void SearchBusiness::RefreshStatus() {
    SearchStatus status;
    for (auto& [id, protocol] : protocols_) {
        const std::size_t first = status.sockets.size();
        protocol->CollectStatus(status.sockets);
        for (std::size_t i = first; i < status.sockets.size(); ++i) {
            status.sockets[i].protocol = id;
        }
        status.drops += protocol->DroppedDatagrams();
        AnswerRejections rejections = protocol->Rejections();
        if (rejections.faults != 0 || rejections.refused != 0) {
            rejections.protocol = id;
            status.rejections.push_back(rejections);
        }
    }
    status.interfaces_loaded = interfaces_loaded_.load();
    {
        std::lock_guard lock(interfaces_lock_);
        status.interface_count = interfaces_.size();
    }
    status.searches = search_count_.load();
    status.repeats = repeat_count_.load();
    status.answers_lost = answers_lost_.load();
    status.adapter_changes = adapter_changes_.load();
    bool changed = false;
    {
        std::lock_guard lock(status_lock_);
        changed = !SameStatus(status_, status);
        if (changed) status_ = status;
    }
    if (changed && status_callback_) status_callback_(status);
}

SearchStatus SearchBusiness::Status() const {
    std::lock_guard lock(status_lock_);
    return status_;
}

bool SearchBusiness::CanConfigure(const DeviceEntry& entry) {
    return entry.protocol == kProtocolBinary || entry.protocol == kProtocolText;
}

std::optional<std::uint64_t> SearchBusiness::KeyValue(std::string_view key) {
    // Only the text the table's keys are written as names an entry:
    // upper-case digits and dashes, as TableKeyText writes them.
    std::uint64_t value = 0;
    if (!ParseTableKey(key, value) || TableKeyText(value) != key) return {};
    return value;
}

bool SearchBusiness::GetDevice(std::string_view key, DeviceEntry& entry) const {
    const std::optional<std::uint64_t> value = KeyValue(key);
    if (!value) return false;
    std::shared_lock lock(table_lock_);
    const auto found = devices_.find(*value);
    if (found == devices_.end()) return false;
    entry = found->second.entry;
    return true;
}

std::optional<DeviceUpdate> SearchBusiness::GetUpdate(std::string_view key) const {
    const std::optional<std::uint64_t> value = KeyValue(key);
    if (!value) return std::nullopt;
    std::optional<DeviceUpdate> update;
    {
        std::shared_lock lock(table_lock_);
        const auto found = devices_.find(*value);
        if (found == devices_.end()) return std::nullopt;
        update = MakeUpdate(*value, found->second);
    }
    update->outside_subnet = OutsideSubnet(update->entry);
    return update;
}

bool SearchBusiness::SetDeviceRow(std::string_view key, std::int32_t row) {
    const std::optional<std::uint64_t> value = KeyValue(key);
    if (!value) return false;
    // Exclusive, although only one thread writes rows: the copies that
    // `CopyDevices` takes under the shared lock may run on other threads.
    std::unique_lock lock(table_lock_);
    const auto found = devices_.find(*value);
    if (found == devices_.end()) return false;
    found->second.entry.row = row;
    return true;
}

void SearchBusiness::ClearDevices() {
    {
        std::unique_lock lock(table_lock_);
        devices_.clear();
        wsd_.clear();
    }
    {
        std::lock_guard lock(pending_lock_);
        pending_.clear();
    }
    RequestRefresh();
}

void SearchBusiness::RequestRefresh() {
    refreshRequested.store(true);
    waiter_.Wake();
}

std::uint64_t SearchBusiness::SendCommand(const DeviceEntry& entry, const NetSettings& settings,
                                          std::int32_t type) {
    const auto found = protocols_.find(entry.protocol);
    if (found == protocols_.end() || !CanConfigure(entry)) return 0;
    // The ticket is taken with the queueing under one lock, so that two
    // threads that queue at once get tickets in queue order.
    std::lock_guard lock(command_lock_);
    found->second->QueueCommand(entry.info, settings, type, entry.interface_address);
    return queued_.at(entry.protocol).fetch_add(1) + 1;
}

bool SearchBusiness::CommandLeft(std::int32_t protocol, std::uint64_t ticket) const {
    const auto found = protocols_.find(protocol);
    if (found == protocols_.end() || ticket == 0) return false;
    return found->second->FlushedCommands() >= ticket;
}

std::optional<LocalInterface> SearchBusiness::FindInterface(std::uint32_t interface_address) const {
    const std::string text = AddressText(interface_address);
    std::lock_guard lock(interfaces_lock_);
    for (const LocalInterface& record : interfaces_) {
        if (GetText(record.ip) == text) return record;
    }
    return std::nullopt;
}

std::vector<LocalInterface> SearchBusiness::InterfaceAddresses(
    std::uint32_t interface_address) const {
    std::vector<LocalInterface> addresses;
    const auto record = FindInterface(interface_address);
    if (!record) return addresses;
    addresses.push_back(*record);
    const std::string_view name = GetText(record->name);
    if (name.empty()) return addresses;
    std::lock_guard lock(interfaces_lock_);
    for (const LocalInterface& other : interfaces_) {
        if (GetText(other.name) == name && GetText(other.ip) != GetText(record->ip)) {
            addresses.push_back(other);
        }
    }
    return addresses;
}

bool SearchBusiness::OutsideSubnet(const DeviceEntry& entry) const {
    const std::vector<LocalInterface> addresses = InterfaceAddresses(entry.interface_address);
    if (addresses.empty()) return false;
    std::uint32_t device = 0;
    if (!ParseAddress(GetText(entry.info.ip), device)) return true;
    for (const LocalInterface& record : addresses) {
        const auto subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
        if (subnet && subnet->Contains(device)) return false;
    }
    return true;
}

bool SearchBusiness::IsOutsideSubnet(const DeviceEntry& entry) const {
    return OutsideSubnet(entry);
}

bool SearchBusiness::MatchAddress(const DeviceEntry& entry) {
    const BatchPlan plan = PlanMatch({entry}, LinkProbe{});
    if (plan.moves.empty()) return false;
    const auto settings = MatchSettings(entry, plan.moves.front().address, Credentials{});
    if (!settings) return false;
    ApplySettings(entry, *settings);
    return true;
}

AddressFacts SearchBusiness::AddressFactsFor(const DeviceEntry& entry) const {
    AddressFacts facts;
    for (const LocalInterface& record : InterfaceAddresses(entry.interface_address)) {
        const auto subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
        if (subnet) facts.interface_subnets.push_back(*subnet);
    }
    {
        std::lock_guard lock(interfaces_lock_);
        for (const LocalInterface& record : interfaces_) {
            std::uint32_t address = 0;
            if (ParseAddress(GetText(record.ip), address)) facts.pc_addresses.insert(address);
            if (ParseAddress(GetText(record.gateway), address)) facts.gateways.insert(address);
        }
    }
    std::shared_lock lock(table_lock_);
    for (const auto& [key, stored] : devices_) {
        std::uint32_t address = 0;
        if (ParseAddress(GetText(stored.entry.info.ip), address)) {
            facts.camera_addresses.emplace(address, DeviceKey(stored.entry.info));
        }
    }
    return facts;
}

std::optional<std::pair<LocalInterface, std::vector<std::uint32_t>>>
SearchBusiness::MatchCandidates(const DeviceEntry& entry) const {
    // WS-Discovery finds a camera but cannot change its settings.
    if (!CanConfigure(entry)) return std::nullopt;
    const std::vector<LocalInterface> addresses = InterfaceAddresses(entry.interface_address);
    // The device moves into the subnet of the interface's first address that
    // has a usable mask.
    const LocalInterface* home = nullptr;
    std::optional<Ipv4Subnet> subnet;
    for (const LocalInterface& record : addresses) {
        subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
        if (subnet) {
            home = &record;
            break;
        }
    }
    if (home == nullptr) return std::nullopt;
    // Host number k names the k-th address of the PC's own /24 inside a
    // subnet of /24 or wider (on a /24, the last octet as ever), else the
    // k-th host of the subnet; numbers that name no host address of the
    // subnet are left out.
    std::uint32_t pc_address = 0;
    ParseAddress(GetText(home->ip), pc_address);
    const std::uint32_t base =
        subnet->PrefixLength() <= 24 ? ntohl(pc_address) & 0xFFFFFF00u : ntohl(subnet->Network());
    std::vector<std::uint32_t> candidates;
    const auto add = [&](std::int32_t k) {
        if (k < 1 || k > 255) return;
        const std::uint32_t address = htonl(base + static_cast<std::uint32_t>(k));
        if (subnet->IsHostAddress(address)) candidates.push_back(address);
    };
    // From `nextOctet` up to `matchMax`, then once round from `matchMin`, so
    // that numbers below `nextOctet` are found when the top of the range is
    // taken.
    for (std::int32_t k = nextOctet; k <= matchMax; ++k) add(k);
    for (std::int32_t k = matchMin; k < nextOctet && k <= matchMax; ++k) add(k);
    // A subnet narrower than a /24 (a /29, say) may hold no host number of
    // the range at all: then any host of the subnet will do.
    if (candidates.empty() && subnet->PrefixLength() > 24 && matchMin <= matchMax) {
        for (std::int32_t k = 1; k <= 255; ++k) add(k);
    }
    return std::pair{*home, std::move(candidates)};
}

SearchBusiness::BatchPlan SearchBusiness::PlanBatch(const std::vector<DeviceEntry>& all,
                                                    std::uint32_t start, std::uint32_t mask,
                                                    const LinkProbe& probe) const {
    BatchPlan batch;
    // A camera no protocol can change gets no address: one handed to it
    // would be lost to the rest of the batch.
    std::vector<DeviceEntry> entries;
    for (const DeviceEntry& entry : all) {
        (CanConfigure(entry) ? entries : batch.unplaced).push_back(entry);
    }
    if (entries.empty()) return batch;
    // Every camera of a batch sits on the same link as the first one heard.
    AddressFacts facts = AddressFactsFor(entries.front());
    const Ipv4Subnet subnet{start, mask};
    const std::vector<std::uint32_t> candidates =
        ConsecutiveAddresses(start, subnet, std::size_t{subnet.HostCount()} + 2);
    std::vector<std::string> keys;
    for (const DeviceEntry& entry : entries) keys.push_back(DeviceKey(entry.info));
    const auto check = [&](std::uint32_t address, std::size_t camera) {
        return CheckAddress(address, mask, facts, keys[camera]);
    };
    const AddressPlan plan =
        PlanAddressesOnLink(candidates, entries.size(), check, probe, facts.answered_on_link);
    for (const PlannedMove& move : plan.moves)
        batch.moves.push_back({entries[move.camera], move.address});
    batch.skipped = plan.skipped;
    for (std::size_t i = plan.moves.size(); i < entries.size(); ++i)
        batch.unplaced.push_back(entries[i]);
    return batch;
}

SearchBusiness::BatchPlan SearchBusiness::PlanMatch(const std::vector<DeviceEntry>& entries,
                                                    const LinkProbe& probe) {
    BatchPlan batch;
    // Addresses handed out to earlier cameras of this batch count as taken.
    std::map<std::uint32_t, std::string> given;
    for (const DeviceEntry& entry : entries) {
        if (!OutsideSubnet(entry)) continue;
        const auto target = MatchCandidates(entry);
        if (!target) {
            batch.unplaced.push_back(entry);
            continue;
        }
        AddressFacts facts = AddressFactsFor(entry);
        facts.camera_addresses.insert(given.begin(), given.end());
        std::uint32_t mask = 0;
        ParseAddress(GetText(target->first.mask), mask);
        const std::string key = DeviceKey(entry.info);
        const auto check = [&](std::uint32_t address, std::size_t) {
            return CheckAddress(address, mask, facts, key);
        };
        const AddressPlan plan =
            PlanAddressesOnLink(target->second, 1, check, probe, facts.answered_on_link);
        for (const SkippedAddress& skipped : plan.skipped) {
            const bool known =
                std::any_of(batch.skipped.begin(), batch.skipped.end(),
                            [&](const SkippedAddress& s) { return s.address == skipped.address; });
            if (!known) batch.skipped.push_back(skipped);
        }
        if (plan.moves.empty()) {
            batch.unplaced.push_back(entry);
            continue;
        }
        const std::uint32_t address = plan.moves.front().address;
        given.emplace(address, key);
        batch.moves.push_back({entry, address});
        const std::int32_t k = static_cast<std::int32_t>(ntohl(address) & 0xFFu);
        if (k >= matchMin && k <= matchMax) nextOctet = k + 1 > matchMax ? matchMin : k + 1;
    }
    return batch;
}

std::optional<NetSettings> SearchBusiness::MatchSettings(const DeviceEntry& entry,
                                                         std::uint32_t address,
                                                         const Credentials& given) const {
    const auto target = MatchCandidates(entry);
    if (!target) return std::nullopt;
    const LocalInterface& home = target->first;
    NetSettings settings{};
    ApplyCredentials(settings, given, entry.info);
    SetText(settings.ip, AddressText(address));
    SetText(settings.mask, GetText(home.mask));
    SetText(settings.gateway, GetText(home.gateway));
    SetText(settings.dns1, GetText(home.dns1));
    SetText(settings.dns2, GetText(home.dns2));
    settings.http_port = entry.info.http_port;
    settings.dhcp = 0;
    return settings;
}

SearchBusiness::ChangeTicket SearchBusiness::ApplySettings(const DeviceEntry& entry,
                                                           const NetSettings& settings) {
    ChangeTicket ticket;
    ticket.protocol = entry.protocol;
    ticket.first = SendCommand(entry, settings, kCommandNetSettings);
    if (ticket.first == 0 || entry.protocol != kProtocolText ||
        settings.http_port == entry.info.http_port) {
        return ticket;
    }
    std::lock_guard lock(deferred_lock_);
    ticket.change = ++next_change_;
    deferred_.push_back({ticket.change, entry, settings, ticket.first, std::nullopt});
    deferred_tickets_[ticket.change] = 0;
    waiter_.Wake();
    return ticket;
}

bool SearchBusiness::ChangeLeft(const ChangeTicket& ticket) const {
    if (!CommandLeft(ticket.protocol, ticket.first)) return false;
    if (ticket.change == 0) return true;
    std::uint64_t second = 0;
    {
        std::lock_guard lock(deferred_lock_);
        const auto found = deferred_tickets_.find(ticket.change);
        if (found == deferred_tickets_.end()) return false;
        second = found->second;
    }
    return second != 0 && CommandLeft(ticket.protocol, second);
}

void SearchBusiness::RunDeferredCommands() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<Deferred> due;
    {
        std::lock_guard lock(deferred_lock_);
        for (auto it = deferred_.begin(); it != deferred_.end();) {
            if (!it->left_at && CommandLeft(it->entry.protocol, it->after)) it->left_at = now;
            if (it->left_at && now - *it->left_at >= kHttpPortDelay) {
                due.push_back(*it);
                it = deferred_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Deferred& d : due) {
        const std::uint64_t ticket = SendCommand(d.entry, d.settings, kCommandHttpPort);
        std::lock_guard lock(deferred_lock_);
        // A command that could not be queued counts as left, as a dropped one does.
        deferred_tickets_[d.change] = ticket != 0 ? ticket : d.after;
    }
}

std::vector<DeviceEntry> SearchBusiness::CopyDevices() const {
    std::shared_lock lock(table_lock_);
    std::vector<DeviceEntry> copies;
    copies.reserve(devices_.size());
    for (const auto& [key, stored] : devices_) copies.push_back(stored.entry);
    return copies;
}

std::vector<DeviceUpdate> SearchBusiness::CopyUpdates() const {
    std::vector<DeviceUpdate> updates;
    {
        std::shared_lock lock(table_lock_);
        updates.reserve(devices_.size());
        for (const auto& [key, stored] : devices_) updates.push_back(MakeUpdate(key, stored));
    }
    for (DeviceUpdate& update : updates) update.outside_subnet = OutsideSubnet(update.entry);
    return updates;
}

std::size_t SearchBusiness::DeviceCount() const {
    std::shared_lock lock(table_lock_);
    return devices_.size();
}

std::size_t SearchBusiness::InterfaceCount() const {
    std::lock_guard lock(interfaces_lock_);
    return interfaces_.size();
}

std::vector<LocalInterface> SearchBusiness::CopyInterfaces() const {
    std::lock_guard lock(interfaces_lock_);
    return interfaces_;
}

}  // namespace quorvex
