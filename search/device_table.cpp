#include "search/device_table.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

namespace {

// The address an answer of the own protocols reports; 0 for WS-Discovery or
// an address that does not read as one.
std::uint32_t ReportedAddress(const DeviceEntry& entry) {
    std::uint32_t address = 0;
    if (entry.protocol == kProtocolWsDiscovery) return 0;
    return ParseAddress(GetText(entry.info.ip), address) ? address : 0;
}

// Two values disagree when both are known and differ.
bool Disagree(std::uint32_t a, std::uint32_t b) {
    return a != 0 && b != 0 && a != b;
}

}  // namespace

bool DeviceTable::CheckConflict(Stored& stored, const DeviceEntry& entry, std::uint64_t search,
                                bool& changed) {
    const std::uint32_t address = ReportedAddress(entry);
    if (stored.marks_search != search) {
        stored.marks_search = search;
        stored.first_address = address;
        stored.first_sender = entry.sender_address;
        stored.disagreed = false;
        return stored.conflict;
    }
    if (Disagree(stored.first_address, address) ||
        Disagree(stored.first_sender, entry.sender_address)) {
        stored.disagreed = true;
        if (!stored.conflict) changed = true;
        stored.conflict = true;
        return true;
    }
    if (stored.first_address == 0) stored.first_address = address;
    if (stored.first_sender == 0) stored.first_sender = entry.sender_address;
    return stored.conflict;
}

const DeviceEntry& DeviceTable::Relabel(const DeviceEntry& answer, const WsdInfo* wsd,
                                        DeviceEntry& relabelled) const {
    if (wsd == nullptr || answer.protocol != kProtocolWsDiscovery || TableKey(answer) != 0)
        return answer;
    std::uint64_t mac = 0;
    {
        std::shared_lock lock(lock_);
        if (learned_.empty()) return answer;
        const auto found = learned_.find(std::string(GetText(wsd->endpoint)));
        if (found == learned_.end()) return answer;
        mac = found->second;
    }
    relabelled = answer;
    for (int i = 0; i < 6; ++i)
        relabelled.info.mac[i] = static_cast<std::uint8_t>(mac >> (8 * (5 - i)));
    return relabelled;
}

void DeviceTable::LearnMac(std::string_view endpoint, const std::array<std::uint8_t, 6>& mac) {
    std::uint64_t mac_key = 0;
    for (const std::uint8_t byte : mac) mac_key = (mac_key << 8) | byte;
    if (endpoint.empty() || mac_key == 0) return;
    std::unique_lock lock(lock_);
    const std::string name(endpoint);
    if (learned_.size() >= kMaxDevices && learned_.count(name) == 0) return;
    learned_[name] = mac_key;
    std::vector<std::uint64_t> old_keys;
    for (const auto& [key, details] : wsd_) {
        if ((key & ~0xFFFFFFFFFFFFull) == kWsdKeyTag && GetText(details->endpoint) == endpoint)
            old_keys.push_back(key);
    }
    for (const std::uint64_t old : old_keys) {
        auto row = devices_.extract(old);
        auto details = wsd_.extract(old);
        if (row.empty()) continue;
        Stored moved = row.mapped();
        std::memcpy(moved.entry.info.mac, mac.data(), mac.size());
        const auto kept = devices_.find(mac_key);
        if (kept == devices_.end()) {
            devices_.emplace(mac_key, moved);
        } else {
            // The rules of one camera heard by several protocols: the own
            // protocols' record stays, the protocols add up.
            Stored& stored = kept->second;
            const DeviceEntry merged = MergeEntry(stored.entry, moved.entry);
            stored.entry.info = merged.info;
            stored.entry.family = merged.family;
            stored.entry.protocol = merged.protocol;
            stored.entry.protocols = merged.protocols;
            if (moved.heard_search > stored.heard_search) {
                stored.heard_search = moved.heard_search;
                stored.heard_ms = moved.heard_ms;
                stored.missed = moved.missed;
            }
        }
        // Details already kept under the MAC came from an answer naming it.
        if (!details.empty() && wsd_.count(mac_key) == 0) wsd_.emplace(mac_key, details.mapped());
        retired_[mac_key].push_back(old);
        changed_.push_back(mac_key);
    }
}

void DeviceTable::Record(const DeviceEntry& answer, const WsdInfo* wsd, std::uint64_t search,
                         std::int64_t now_ms) {
    DeviceEntry relabelled;
    const DeviceEntry& entry = Relabel(answer, wsd, relabelled);
    std::uint64_t key = TableKey(entry, wsd);
    const bool bye = wsd != nullptr && (wsd->flags & kWsdGone) != 0;
    bool changed = false;
    bool added = false;
    std::uint32_t stored_interface = 0;
    {
        std::unique_lock lock(lock_);
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
                found = std::find_if(devices_.begin(), devices_.end(), [&](const auto& item) {
                    const DeviceEntry& e = item.second.entry;
                    return e.protocol != kProtocolWsDiscovery &&
                           e.interface_address == entry.interface_address &&
                           GetText(e.info.ip) == GetText(entry.info.ip);
                });
            }
            if (found != devices_.end()) key = found->first;
        }
        if (found == devices_.end()) {
            if (!bye && devices_.size() < kMaxDevices) {
                Stored stored{MergeEntry(entry, entry), search, now_ms};
                stored.marks_search = search;
                stored.first_address = ReportedAddress(entry);
                stored.first_sender = entry.sender_address;
                devices_.emplace(key, stored);
                if (wsd != nullptr) wsd_[key] = std::make_shared<const WsdInfo>(*wsd);
                ++added_[entry.protocol];
                changed = true;
                added = true;
            }
        } else {
            Stored& stored = found->second;
            stored.heard_search = search;
            stored.heard_ms = now_ms;
            if (stored.missed >= kMissedSearchesForSilent) changed = true;  // answers again
            stored.missed = 0;
            // A Bye only marks the device gone: it says nothing of its
            // address; nor does an answer while the MAC is in conflict.
            const bool conflict = !bye && CheckConflict(stored, entry, search, changed);
            // A device that says Bye and is heard again has moved (as a
            // changed camera does, announcing it): its answers after the
            // Bye are compared among themselves, not with those before.
            if (bye) stored.marks_search = 0;
            const DeviceEntry merged =
                bye || conflict ? stored.entry : MergeEntry(stored.entry, entry);
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
        if (changed) changed_.push_back(key);
    }
    // Heard on another address than the one on record (a second address of
    // the interface, or a second interface on the same segment): the device
    // belongs to the address whose subnet holds it, so that it counts as
    // inside and its commands leave where it can be reached; and to any
    // address that hears it once the one on record has gone.
    if (added || stored_interface == 0 || stored_interface == entry.interface_address) return;
    DeviceEntry as_stored = entry;
    as_stored.interface_address = stored_interface;
    const bool heard_on_known = !interfaces_.Addresses(entry.interface_address).empty();
    const bool stored_gone = interfaces_.Addresses(stored_interface).empty();
    if (!heard_on_known || (!stored_gone && (!interfaces_.IsOutsideSubnet(as_stored) ||
                                             interfaces_.IsOutsideSubnet(entry)))) {
        return;
    }
    std::unique_lock lock(lock_);
    const auto found = devices_.find(key);
    if (found == devices_.end()) return;
    found->second.entry.interface_address = entry.interface_address;
    changed_.push_back(key);
}

void DeviceTable::SearchStarts(std::uint64_t previous) {
    if (previous == 0) return;
    std::unique_lock lock(lock_);
    for (auto& [key, stored] : devices_) {
        if (stored.heard_search < previous) {
            ++stored.missed;
            if (stored.missed == kMissedSearchesForSilent) changed_.push_back(key);
        }
        if (stored.conflict && stored.marks_search == previous && !stored.disagreed) {
            stored.conflict = false;
            changed_.push_back(key);
        }
    }
}

DeviceUpdate DeviceTable::MakeUpdate(std::uint64_t key, const Stored& stored) const {
    DeviceUpdate update;
    update.entry = stored.entry;
    if (const auto details = wsd_.find(key); details != wsd_.end()) update.wsd = details->second;
    update.missed_searches = stored.missed;
    update.answering = stored.missed < kMissedSearchesForSilent;
    update.last_heard_ms = stored.heard_ms;
    update.heard_search = stored.heard_search;
    update.mac_conflict = stored.conflict;
    return update;
}

std::vector<DeviceUpdate> DeviceTable::Finish(std::vector<DeviceUpdate> updates) const {
    for (DeviceUpdate& update : updates)
        update.outside_subnet = interfaces_.IsOutsideSubnet(update.entry);
    return updates;
}

std::vector<DeviceUpdate> DeviceTable::TakeChanged() {
    std::vector<DeviceUpdate> updates;
    {
        std::unique_lock lock(lock_);
        if (changed_.empty()) return updates;
        // A device changed twice since the last batch goes out once, as it is now.
        std::sort(changed_.begin(), changed_.end());
        changed_.erase(std::unique(changed_.begin(), changed_.end()), changed_.end());
        updates.reserve(changed_.size());
        for (const std::uint64_t key : changed_) {
            const auto found = devices_.find(key);
            if (found == devices_.end()) continue;
            updates.push_back(MakeUpdate(key, found->second));
            if (const auto retired = retired_.find(key); retired != retired_.end())
                updates.back().replaces = std::move(retired->second);
        }
        changed_.clear();
        retired_.clear();
    }
    return Finish(std::move(updates));
}

std::optional<DeviceUpdate> DeviceTable::Get(std::string_view key) const {
    // Only the text the table's keys are written as names an entry:
    // upper-case digits and dashes, as TableKeyText writes them.
    std::uint64_t value = 0;
    if (!ParseTableKey(key, value) || TableKeyText(value) != key) return std::nullopt;
    std::vector<DeviceUpdate> one;
    {
        std::shared_lock lock(lock_);
        const auto found = devices_.find(value);
        if (found == devices_.end()) return std::nullopt;
        one.push_back(MakeUpdate(value, found->second));
    }
    return Finish(std::move(one)).front();
}

std::vector<DeviceEntry> DeviceTable::CopyEntries() const {
    std::shared_lock lock(lock_);
    std::vector<DeviceEntry> copies;
    copies.reserve(devices_.size());
    for (const auto& [key, stored] : devices_) copies.push_back(stored.entry);
    return copies;
}

std::vector<DeviceUpdate> DeviceTable::CopyUpdates() const {
    std::vector<DeviceUpdate> updates;
    {
        std::shared_lock lock(lock_);
        updates.reserve(devices_.size());
        for (const auto& [key, stored] : devices_) updates.push_back(MakeUpdate(key, stored));
    }
    return Finish(std::move(updates));
}

std::size_t DeviceTable::Count() const {
    std::shared_lock lock(lock_);
    return devices_.size();
}

std::uint64_t DeviceTable::Added(std::int32_t protocol) const {
    std::shared_lock lock(lock_);
    const auto found = added_.find(protocol);
    return found == added_.end() ? 0 : found->second;
}

void DeviceTable::Clear() {
    std::unique_lock lock(lock_);
    devices_.clear();
    wsd_.clear();
    changed_.clear();
    retired_.clear();
}

}  // namespace quorvex
