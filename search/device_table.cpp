#include "search/device_table.h"

#include <algorithm>

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

void DeviceTable::Record(const DeviceEntry& entry, const WsdInfo* wsd, std::uint64_t search,
                         std::int64_t now_ms) {
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
            if (found != devices_.end()) updates.push_back(MakeUpdate(key, found->second));
        }
        changed_.clear();
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
}

}  // namespace quorvex
