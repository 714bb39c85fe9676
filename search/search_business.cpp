#include "search/search_business.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "search/get_net_config.h"
#include "search/linux_adapters.h"

namespace quorvex {

namespace {

SearchBusiness::ProtocolMap MakeProtocols() {
    SearchBusiness::ProtocolMap protocols;
    protocols.emplace(kProtocolBinary, std::make_unique<BrannocSearch>());
    protocols.emplace(kProtocolText, std::make_unique<MorvainSearch>());
    return protocols;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The host number that follows `prefix` in `ip`, read as a decimal number:
// optional blanks, an optional sign, then digits; 0 when no digit follows.
int HostNumber(std::string_view ip, std::string_view prefix) {
    const std::string rest(ip.substr(prefix.size()));
    const long value = std::strtol(rest.c_str(), nullptr, 10);
    // Out-of-range numbers are no host number of any range; keep them so.
    return static_cast<int>(std::clamp(value, -1L, 100000L));
}

}  // namespace

SearchBusiness::SearchBusiness() : SearchBusiness(MakeProtocols()) {}

SearchBusiness::SearchBusiness(ProtocolMap protocols) : protocols_(std::move(protocols)) {
    std::erase_if(protocols_, [](const auto& item) { return !item.second; });
    for (auto& [id, protocol] : protocols_) {
        protocol->SetCallback(&SearchBusiness::DeliverCallback, this, 0);
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
    }
    {
        std::lock_guard lock(interfaces_lock_);
        interfaces_.clear();
    }
    interfaces_loaded_.store(false);
    handles_.clear();
    handle_owners_.clear();
    // A wake-up left over from a `Stop` that found no worker must not cut the
    // first pass of the next `Start` short.
    waiter_.Wait({}, std::chrono::milliseconds(0));
}

int SearchBusiness::SearchLoop(void* argument) {
    auto& self = *static_cast<SearchBusiness*>(argument);
    if (!self.LoadInterfaces()) return 0;

    using Clock = std::chrono::steady_clock;
    // None: the next pass searches.
    std::optional<Clock::time_point> lastSearch;
    // Per protocol: the drops counted when it last searched, and the repeats
    // its current search may still make.
    struct Repeat {
        std::uint64_t drops = 0;
        int left = 0;
    };
    std::map<std::int32_t, Repeat> repeats;
    while (self.worker_.running()) {
        self.ReceivePass(Clock::now() + kPassLength);
        if (!self.worker_.running()) break;
        if (self.refreshRequested.exchange(false)) lastSearch.reset();

        const auto limit =
            std::chrono::milliseconds(std::int64_t{self.searchInterval.load()} * 1000);
        const bool due = !lastSearch || std::chrono::duration_cast<std::chrono::milliseconds>(
                                            Clock::now() - *lastSearch) >= limit;
        if (due) {
            for (auto& [id, protocol] : self.protocols_) {
                protocol->SendSearch();
                repeats[id] = Repeat{protocol->DroppedDatagrams(), kRepeatSearches};
            }
            lastSearch = Clock::now();
            self.search_count_.fetch_add(1);
        } else {
            for (auto& [id, protocol] : self.protocols_) {
                protocol->FlushCommands();
                // Answers lost to an overflow come back with a repeated search.
                Repeat& repeat = repeats[id];
                const std::uint64_t drops = protocol->DroppedDatagrams();
                if (repeat.left > 0 && drops > repeat.drops) {
                    protocol->SendSearch();
                    repeat.drops = drops;
                    --repeat.left;
                    self.repeat_count_.fetch_add(1);
                }
            }
        }
        // Answers that came back at once are read in this pass, after the sends.
        for (auto& [id, protocol] : self.protocols_) protocol->ReceiveAnswers(0);
    }
    return 0;
}

void SearchBusiness::ReceivePass(std::chrono::steady_clock::time_point until) {
    std::vector<int> watched = handles_;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        const SocketWaiter::Result result = waiter_.Wait(watched, left);
        if (result.woken) return;  // a stop or a refresh: the pass ends at once
        for (const int handle : result.invalid) std::erase(watched, handle);
        std::set<std::int32_t> ready_protocols;
        for (const int handle : result.ready) {
            const auto at = std::find(handles_.begin(), handles_.end(), handle);
            if (at != handles_.end()) ready_protocols.insert(handle_owners_[at - handles_.begin()]);
        }
        bool read_any = false;
        for (const std::int32_t id : ready_protocols) {
            if (protocols_.at(id)->ReceiveAnswers(0) > 0) {
                read_any = true;
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
        if (read_any && waiter_.Wait({}, kGatherTime).woken) return;
    }
}

bool SearchBusiness::LoadInterfaces() {
    std::shared_ptr<const AdapterSource> source = adapter_source_;
    if (!source) source = std::make_shared<LinuxAdapters>();
    const GetNetConfig config(*source, interface_names_);

    // The adapter set may change between counting and filling: the array is
    // sized by the count and the fill writes no more than that.
    const int count = config.GetLocalInterfaces(nullptr);
    std::vector<LocalInterface> loaded(std::max(count, 0));
    if (count > 0) {
        const int filled = config.GetLocalInterfaces(loaded.data(), count);
        loaded.resize(std::clamp(filled, 0, count));
    }
    {
        std::lock_guard lock(interfaces_lock_);
        interfaces_ = loaded;
    }
    interfaces_loaded_.store(true);
    if (loaded.empty()) return false;

    handles_.clear();
    handle_owners_.clear();
    for (auto& [id, protocol] : protocols_) {
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

void SearchBusiness::OnDeviceFound(const DeviceEntry& entry) {
    const std::uint64_t key = MacValue(entry.info.mac);
    bool changed = false;
    {
        std::unique_lock lock(table_lock_);
        const auto found = devices_.find(key);
        if (found == devices_.end()) {
            if (devices_.size() < kMaxDevices) {
                DeviceEntry& stored = devices_.emplace(key, entry).first->second;
                stored.row = -1;
                changed = true;
            }
        } else if (!SameContents(found->second, entry)) {
            found->second.info = entry.info;
            found->second.family = entry.family;
            found->second.protocol = entry.protocol;
            changed = true;
        }
    }
    if (changed && notify_ != nullptr) {
        notify_(DeviceKey(entry.info).c_str(), notify_context_, notify_tag_);
    }
}

std::uint64_t SearchBusiness::MacValue(const std::uint8_t (&mac)[6]) {
    std::uint64_t value = 0;
    for (const std::uint8_t byte : mac) value = value << 8 | byte;
    return value;
}

std::optional<std::uint64_t> SearchBusiness::KeyValue(std::string_view key) {
    // Only the text the table's keys are written as names an entry:
    // upper-case digits and dashes, as DeviceKey writes them.
    std::uint8_t mac[6] = {};
    if (key.size() != kDeviceKeyLength || key[2] != '-' || !ParseDeviceKey(key, mac)) return {};
    for (const char c : key) {
        if (c >= 'a' && c <= 'f') return {};
    }
    return MacValue(mac);
}

bool SearchBusiness::GetDevice(std::string_view key, DeviceEntry& entry) const {
    const std::optional<std::uint64_t> value = KeyValue(key);
    if (!value) return false;
    std::shared_lock lock(table_lock_);
    const auto found = devices_.find(*value);
    if (found == devices_.end()) return false;
    entry = found->second;
    return true;
}

bool SearchBusiness::SetDeviceRow(std::string_view key, std::int32_t row) {
    const std::optional<std::uint64_t> value = KeyValue(key);
    if (!value) return false;
    // Exclusive, although only one thread writes rows: the copies that
    // `CopyDevices` takes under the shared lock may run on other threads.
    std::unique_lock lock(table_lock_);
    const auto found = devices_.find(*value);
    if (found == devices_.end()) return false;
    found->second.row = row;
    return true;
}

void SearchBusiness::ClearDevices() {
    {
        std::unique_lock lock(table_lock_);
        devices_.clear();
    }
    RequestRefresh();
}

void SearchBusiness::RequestRefresh() {
    refreshRequested.store(true);
    waiter_.Wake();
}

void SearchBusiness::SendCommand(const DeviceEntry& entry, const NetSettings& settings,
                                 std::int32_t type) {
    const auto found = protocols_.find(entry.protocol);
    if (found == protocols_.end()) return;
    found->second->QueueCommand(entry.info, settings, type, entry.interface_address);
}

std::optional<LocalInterface> SearchBusiness::FindInterface(std::uint32_t interface_address) const {
    const std::string text = AddressText(interface_address);
    std::lock_guard lock(interfaces_lock_);
    for (const LocalInterface& record : interfaces_) {
        if (GetText(record.ip) == text) return record;
    }
    return std::nullopt;
}

bool SearchBusiness::IsOutsideSubnet(const DeviceEntry& entry) const {
    const auto record = FindInterface(entry.interface_address);
    if (!record) return false;
    return !StartsWith(GetText(entry.info.ip), GetText(record->prefix));
}

std::vector<int> SearchBusiness::CollectUsedOctets(std::string_view prefix) const {
    std::vector<int> used;
    std::shared_lock lock(table_lock_);
    for (const auto& [key, stored] : devices_) {
        const std::string_view ip = GetText(stored.info.ip);
        if (StartsWith(ip, prefix)) used.push_back(HostNumber(ip, prefix));
    }
    return used;
}

bool SearchBusiness::MatchAddress(const DeviceEntry& entry) {
    return MatchAddress(entry, AddressTaken{}).has_value();
}

std::optional<NetSettings> SearchBusiness::MatchAddress(const DeviceEntry& entry,
                                                        const AddressTaken& taken) {
    const auto record = FindInterface(entry.interface_address);
    if (!record) return std::nullopt;
    const std::string_view prefix = GetText(record->prefix);
    if (StartsWith(GetText(entry.info.ip), prefix)) return std::nullopt;

    std::vector<int> used = CollectUsedOctets(prefix);
    // Handing a device the PC's own address or its gateway's would cut the PC
    // or the whole subnet off.
    for (const std::string_view own : {GetText(record->ip), GetText(record->gateway)}) {
        if (StartsWith(own, prefix)) used.push_back(HostNumber(own, prefix));
    }
    const auto is_free = [&](std::int32_t k) {
        // Only 1..254 can be a host number of the subnet that `prefix` names.
        if (k < 1 || k > 254) return false;
        if (std::find(used.begin(), used.end(), k) != used.end()) return false;
        return !taken || !taken(std::string(prefix) + std::to_string(k));
    };
    // From `nextOctet` up to `matchMax`, then once round from `matchMin`, so
    // that numbers below `nextOctet` are found when the top of the range is
    // taken.
    std::optional<std::int32_t> chosen;
    for (std::int32_t k = nextOctet; k <= matchMax && !chosen; ++k) {
        if (is_free(k)) chosen = k;
    }
    for (std::int32_t k = matchMin; k < nextOctet && k <= matchMax && !chosen; ++k) {
        if (is_free(k)) chosen = k;
    }
    if (!chosen) return std::nullopt;
    nextOctet = *chosen + 1 > matchMax ? matchMin : *chosen + 1;

    NetSettings settings{};
    SetText(settings.user, GetText(entry.info.user));
    SetText(settings.password, GetText(entry.info.password));
    SetText(settings.ip, std::string(prefix) + std::to_string(*chosen));
    SetText(settings.mask, GetText(record->mask));
    SetText(settings.gateway, GetText(record->gateway));
    SetText(settings.dns1, GetText(record->dns1));
    SetText(settings.dns2, GetText(record->dns2));
    settings.http_port = entry.info.http_port;
    settings.dhcp = 0;
    SendCommand(entry, settings, kCommandNetSettings);
    return settings;
}

std::vector<DeviceEntry> SearchBusiness::CopyDevices() const {
    std::shared_lock lock(table_lock_);
    std::vector<DeviceEntry> copies;
    copies.reserve(devices_.size());
    for (const auto& [key, stored] : devices_) copies.push_back(stored);
    return copies;
}

std::size_t SearchBusiness::DeviceCount() const {
    std::shared_lock lock(table_lock_);
    return devices_.size();
}

std::vector<LocalInterface> SearchBusiness::CopyInterfaces() const {
    std::lock_guard lock(interfaces_lock_);
    return interfaces_;
}

}  // namespace quorvex
