#include "search/interface_set.h"

#include <algorithm>
#include <cstring>

#include "core/ipv4_subnet.h"
#include "search/get_net_config.h"

namespace quorvex {

namespace {

std::uint32_t RecordAddress(const LocalInterface& record) {
    std::uint32_t address = 0;
    return ParseAddress(GetText(record.ip), address) ? address : 0;
}

// Two sets are the same when they hold the same records in the same order:
// then the open sockets still fit.
bool SameRecords(const std::vector<LocalInterface>& a, const std::vector<LocalInterface>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return std::memcmp(&x, &y, sizeof(LocalInterface)) == 0;
           });
}

}  // namespace

bool InterfaceSet::Load(const AdapterSource& source, const std::vector<std::string>& names) {
    const GetNetConfig config(source, names);
    // The adapter set may change between counting and filling: the array is
    // sized by the count and the fill writes no more than that.
    const int count = config.GetLocalInterfaces();
    std::vector<LocalInterface> loaded(std::max(count, 0));
    if (count > 0) {
        const int filled = config.GetLocalInterfaces(loaded);
        loaded.resize(std::clamp(filled, 0, count));
    }
    // A record without a usable address opens nothing that could be heard.
    std::erase_if(loaded, [](const LocalInterface& record) { return RecordAddress(record) == 0; });
    std::vector<std::string> missing;
    for (const std::string& name : names) {
        const bool present = std::any_of(loaded.begin(), loaded.end(), [&](const auto& record) {
            return GetText(record.name) == name;
        });
        if (!present && std::find(missing.begin(), missing.end(), name) == missing.end())
            missing.push_back(name);
    }

    std::lock_guard lock(lock_);
    missing_ = std::move(missing);
    const bool changed = !loaded_ || !SameRecords(records_, loaded);
    if (loaded_ && changed) ++changes_;
    loaded_ = true;
    if (changed) records_ = std::move(loaded);
    return changed;
}

void InterfaceSet::Clear() {
    std::lock_guard lock(lock_);
    records_.clear();
    missing_.clear();
    loaded_ = false;
}

std::vector<LocalInterface> InterfaceSet::Copy() const {
    std::lock_guard lock(lock_);
    return records_;
}

std::size_t InterfaceSet::Count() const {
    std::lock_guard lock(lock_);
    return records_.size();
}

bool InterfaceSet::Loaded() const {
    std::lock_guard lock(lock_);
    return loaded_;
}

std::uint64_t InterfaceSet::Changes() const {
    std::lock_guard lock(lock_);
    return changes_;
}

std::vector<std::string> InterfaceSet::Missing() const {
    std::lock_guard lock(lock_);
    return missing_;
}

std::optional<LocalInterface> InterfaceSet::Find(std::uint32_t interface_address) const {
    std::lock_guard lock(lock_);
    for (const LocalInterface& record : records_) {
        if (RecordAddress(record) == interface_address && interface_address != 0) return record;
    }
    return std::nullopt;
}

std::vector<LocalInterface> InterfaceSet::Addresses(std::uint32_t interface_address) const {
    std::vector<LocalInterface> addresses;
    const auto home = Find(interface_address);
    if (!home) return addresses;
    addresses.push_back(*home);
    const std::string_view name = GetText(home->name);
    if (name.empty()) return addresses;
    std::lock_guard lock(lock_);
    for (const LocalInterface& other : records_) {
        if (GetText(other.name) == name && RecordAddress(other) != interface_address)
            addresses.push_back(other);
    }
    return addresses;
}

bool InterfaceSet::IsOutsideSubnet(const DeviceEntry& entry) const {
    const std::vector<LocalInterface> addresses = Addresses(entry.interface_address);
    if (addresses.empty()) return false;
    std::uint32_t device = 0;
    if (!ParseAddress(GetText(entry.info.ip), device)) return true;
    for (const LocalInterface& record : addresses) {
        const auto subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
        if (subnet && subnet->Contains(device)) return false;
    }
    return true;
}

std::string InterfaceNameOf(const std::vector<LocalInterface>& records,
                            std::uint32_t interface_address) {
    for (const LocalInterface& record : records) {
        if (RecordAddress(record) == interface_address && interface_address != 0)
            return std::string(GetText(record.name));
    }
    return {};
}

}  // namespace quorvex
