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

}  // namespace

SearchBusiness::SearchBusiness() : SearchBusiness(MakeProtocols()) {}

SearchBusiness::SearchBusiness(ProtocolMap protocols) : protocols_(std::move(protocols)) {
    std::erase_if(protocols_, [](const auto& item) { return !item.second; });
    for (auto& [id, protocol] : protocols_) {
        protocol->SetCallback(&SearchBusiness::DeliverCallback, this, 0);
        protocol->SetWsdCallback(&SearchBusiness::WsdCallback, this, 0);
    }
    standard_cameras_.SetMacCallback(
        [this](const std::string& endpoint, const std::array<std::uint8_t, 6>& mac) {
            LearnMac(endpoint, mac);
        });
}

SearchBusiness::~SearchBusiness() {
    Stop();
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
    table_.Clear();
    interfaces_.Clear();
    interfaces_ready_.store(false);
    {
        std::lock_guard lock(status_lock_);
        status_ = SearchStatus{};
    }
    handles_.clear();
    handle_owners_.clear();
    repeats_.Clear();
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
    self.interfaces_ready_.store(true);

    // None: the next pass searches.
    std::optional<Clock::time_point> lastSearch;
    Clock::time_point last_activity = Clock::now();
    while (self.worker_.running()) {
        const auto limit =
            std::chrono::milliseconds(std::int64_t{self.searchInterval.load()} * 1000);
        Clock::time_point until = Clock::now() + kPassLength;
        if (lastSearch && Clock::now() - last_activity >= kSettleTime) {
            // Idle: nothing is due before the next search or deferred command;
            // sockets, adapter changes and commands wake the worker earlier.
            until = std::max(until, *lastSearch + limit);
            if (const auto next = self.commands_.NextDeferred(Clock::now()))
                until = std::max(std::min(until, *next), Clock::now() + kPassLength);
        }
        bool active = self.ReceivePass(until);
        if (!self.worker_.running()) break;
        self.TakeLearnedMacs();
        if (self.refreshRequested.exchange(false)) {
            // A refresh also takes in adapters that came or changed since.
            self.LoadInterfaces();
            lastSearch.reset();
        }
        // An interface that appeared, or got or lost an address, is searched
        // (or dropped) at once.
        if (monitor && self.monitor_ready_) {
            self.monitor_ready_ = false;
            active = true;
            if (monitor->Drain() && self.LoadInterfaces()) lastSearch.reset();
        }

        const bool due = !lastSearch || std::chrono::duration_cast<std::chrono::milliseconds>(
                                            Clock::now() - *lastSearch) >= limit;
        const bool settling = Clock::now() - last_activity < kSettleTime;
        if (due && self.InterfaceCount() > 0) {
            self.table_.SearchStarts(self.search_count_.load());
            self.SendSearches();
            lastSearch = Clock::now();
            active = true;
        } else {
            self.commands_.RunDeferred(Clock::now());
            for (auto& [id, protocol] : self.protocols_) {
                const std::uint64_t before = protocol->FlushedCommands();
                protocol->FlushCommands();
                active = active || protocol->FlushedCommands() != before;
            }
            // Drops are read only while there is something to read them for.
            if (active || settling) active = self.RepeatIfAnswersWereLost() || active;
        }
        if (active || settling) {
            // Answers that came back at once are read in this pass, after the sends.
            for (auto& [id, protocol] : self.protocols_) {
                if (protocol->ReceiveAnswers(0) > 0) self.repeats_.Heard(id, Clock::now());
            }
        }
        self.FlushUpdates();
        if (active || settling) self.RefreshStatus();
        if (active) last_activity = Clock::now();
    }
    self.FlushUpdates();
    self.monitor_handle_ = -1;
    return 0;
}

void SearchBusiness::SendSearches() {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [id, protocol] : protocols_) {
        protocol->SendSearch();
        repeats_.Searched(id, {protocol->DroppedDatagrams(), table_.Added(id)}, now);
    }
    repeats_pending_.store(false);
    answers_lost_.store(false);
    search_count_.fetch_add(1);
}

bool SearchBusiness::RepeatIfAnswersWereLost() {
    const auto now = std::chrono::steady_clock::now();
    std::map<std::int32_t, RepeatPolicy::Counts> counts;
    for (auto& [id, protocol] : protocols_)
        counts[id] = {protocol->DroppedDatagrams(), table_.Added(id)};
    const std::optional<std::int32_t> repeat = repeats_.Next(counts, now);
    if (repeat) {
        IDeviceSearch& protocol = *protocols_.at(*repeat);
        protocol.SendSearch();
        repeats_.Repeated(*repeat, protocol.DroppedDatagrams(), now);
        repeat_count_.fetch_add(1);
    }
    repeats_pending_.store(repeats_.Pending());
    answers_lost_.store(repeats_.Lost());
    return repeat.has_value() || repeats_.Pending();
}

bool SearchBusiness::ReceivePass(std::chrono::steady_clock::time_point until) {
    bool read_some = false;
    std::vector<int> watched = handles_;
    if (monitor_handle_ >= 0 && !monitor_ready_) watched.push_back(monitor_handle_);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return read_some;
        // poll takes an int of milliseconds: a very long interval wakes once an hour.
        const SocketWaiter::Result result =
            waiter_.Wait(watched, std::min(left, std::chrono::milliseconds(3'600'000)));
        if (result.woken) return read_some;  // a stop, a refresh, a command: the pass ends
        for (const int handle : result.invalid) std::erase(watched, handle);
        std::set<std::int32_t> ready_protocols;
        for (const int handle : result.ready) {
            if (handle == monitor_handle_) {
                // Read at the end of the pass, when a burst of changes (a
                // link with its addresses and routes) has arrived whole.
                monitor_ready_ = true;
                std::erase(watched, handle);
                until = std::min(until, std::chrono::steady_clock::now() + kPassLength);
                continue;
            }
            const auto at = std::find(handles_.begin(), handles_.end(), handle);
            if (at != handles_.end()) ready_protocols.insert(handle_owners_[at - handles_.begin()]);
        }
        bool read_any = false;
        for (const std::int32_t id : ready_protocols) {
            if (protocols_.at(id)->ReceiveAnswers(0) > 0) {
                read_any = true;
                repeats_.Heard(id, std::chrono::steady_clock::now());
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
        read_some = read_some || read_any;
        if (read_any) FlushUpdates();
        if (read_any && waiter_.Wait({}, kGatherTime).woken) return read_some;
    }
}

bool SearchBusiness::LoadInterfaces() {
    std::shared_ptr<const AdapterSource> source = adapter_source_;
    if (!source) source = std::make_shared<LinuxAdapters>();
    if (!interfaces_.Load(*source, interface_names_)) return false;
    const std::vector<LocalInterface> loaded = interfaces_.Copy();

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
    table_.Record(entry, nullptr, search_count_.load(), NowMs());
}

void SearchBusiness::OnWsdDeviceFound(const WsdDevice& device) {
    table_.Record(device.entry, &device.wsd, search_count_.load(), NowMs());
}

void SearchBusiness::LearnMac(const std::string& endpoint, const std::array<std::uint8_t, 6>& mac) {
    {
        const std::lock_guard lock(learned_lock_);
        learned_.emplace_back(endpoint, mac);
    }
    waiter_.Wake();
}

void SearchBusiness::TakeLearnedMacs() {
    std::vector<std::pair<std::string, std::array<std::uint8_t, 6>>> learned;
    {
        const std::lock_guard lock(learned_lock_);
        learned.swap(learned_);
    }
    for (const auto& [endpoint, mac] : learned) table_.LearnMac(endpoint, mac);
}

void SearchBusiness::FlushUpdates() {
    std::vector<DeviceUpdate> updates = table_.TakeChanged();
    if (!updates.empty() && devices_callback_) devices_callback_(std::move(updates));
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
    status.interfaces_loaded = interfaces_.Loaded();
    status.interface_count = interfaces_.Count();
    status.missing_interfaces = interfaces_.Missing();
    status.searches = search_count_.load();
    status.repeats = repeat_count_.load();
    status.answers_lost = answers_lost_.load();
    status.adapter_changes = interfaces_.Changes();
    bool changed = false;
    {
        std::lock_guard lock(status_lock_);
        changed = !(status_ == status);
        if (changed) status_ = status;
    }
    if (changed && status_callback_) status_callback_(status);
}

SearchStatus SearchBusiness::Status() const {
    std::lock_guard lock(status_lock_);
    return status_;
}

bool SearchBusiness::CanConfigure(const DeviceEntry& entry) {
    return CommandScheduler::CanConfigure(entry);
}

std::optional<DeviceUpdate> SearchBusiness::GetUpdate(std::string_view key) const {
    return table_.Get(key);
}

void SearchBusiness::ClearDevices() {
    table_.Clear();
    RequestRefresh();
}

void SearchBusiness::RequestRefresh() {
    refreshRequested.store(true);
    waiter_.Wake();
}

std::uint64_t SearchBusiness::SendCommand(const DeviceEntry& entry, const NetSettings& settings,
                                          std::int32_t type) {
    const std::uint64_t ticket = commands_.Send(entry, settings, type);
    // The worker sends queued commands on its next pass; an idle one sleeps.
    if (ticket != 0) waiter_.Wake();
    return ticket;
}

bool SearchBusiness::CommandLeft(std::int32_t protocol, std::uint64_t ticket) const {
    return commands_.Left(protocol, ticket);
}

SearchBusiness::ChangeTicket SearchBusiness::ApplySettings(const DeviceEntry& entry,
                                                           const NetSettings& settings) {
    const ChangeTicket ticket = commands_.Apply(entry, settings);
    waiter_.Wake();
    return ticket;
}

bool SearchBusiness::ChangeLeft(const ChangeTicket& ticket) const {
    return commands_.ChangeLeft(ticket);
}

bool SearchBusiness::IsOutsideSubnet(const DeviceEntry& entry) const {
    return interfaces_.IsOutsideSubnet(entry);
}

std::vector<DeviceEntry> SearchBusiness::CopyDevices() const {
    return table_.CopyEntries();
}

std::vector<DeviceUpdate> SearchBusiness::CopyUpdates() const {
    return table_.CopyUpdates();
}

bool SearchBusiness::MatchAddress(const DeviceEntry& entry, const LinkProbe& probe) {
    ChangeRequest request;
    request.kind = ChangeKind::match;
    // The table's record carries the conflict mark, which keeps a camera
    // another host may pose as where it is.
    DeviceUpdate device = GetUpdate(TableKeyText(TableKey(entry))).value_or(DeviceUpdate{});
    device.entry = entry;
    request.devices = {device};
    SiteFacts facts = PlanFacts();
    facts.match_next = nextOctet;
    const std::vector<PlannedChange> changes = PlanChange(request, facts, probe).ToSend();
    if (changes.empty()) return false;
    ApplySettings(changes.front().entry, changes.front().settings);
    std::uint32_t address = 0;
    if (ParseAddress(GetText(changes.front().settings.ip), address)) {
        const auto k = static_cast<std::int32_t>(ntohl(address) & 0xFFu);
        if (k >= matchMin && k <= matchMax) nextOctet = k + 1 > matchMax ? matchMin : k + 1;
    }
    return true;
}

SiteFacts SearchBusiness::PlanFacts() const {
    SiteFacts facts;
    facts.interfaces = interfaces_.Copy();
    facts.devices = table_.CopyUpdates();
    facts.match_min = matchMin;
    facts.match_max = matchMax;
    return facts;
}

std::size_t SearchBusiness::DeviceCount() const {
    return table_.Count();
}

std::size_t SearchBusiness::InterfaceCount() const {
    return interfaces_.Count();
}

std::vector<LocalInterface> SearchBusiness::CopyInterfaces() const {
    return interfaces_.Copy();
}

}  // namespace quorvex
