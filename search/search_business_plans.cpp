#include "search/search_business.h"

// The planning of address changes, kept apart from the search itself.

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <string>

#include "core/ipv4_subnet.h"
#include "search/address_check.h"

namespace quorvex {

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
    for (const LocalInterface& record : interfaces_.Addresses(entry.interface_address)) {
        const auto subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
        if (subnet) facts.interface_subnets.push_back(*subnet);
    }
    for (const LocalInterface& record : interfaces_.Copy()) {
        std::uint32_t address = 0;
        if (ParseAddress(GetText(record.ip), address)) facts.pc_addresses.insert(address);
        if (ParseAddress(GetText(record.gateway), address)) facts.gateways.insert(address);
    }
    for (const DeviceEntry& camera : table_.CopyEntries()) {
        std::uint32_t address = 0;
        if (ParseAddress(GetText(camera.info.ip), address))
            facts.camera_addresses.emplace(address, DeviceKey(camera.info));
    }
    return facts;
}

std::optional<std::pair<LocalInterface, std::vector<std::uint32_t>>>
SearchBusiness::MatchCandidates(const DeviceEntry& entry) const {
    // WS-Discovery finds a camera but cannot change its settings.
    if (!CanConfigure(entry)) return std::nullopt;
    const std::vector<LocalInterface> addresses = interfaces_.Addresses(entry.interface_address);
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
        if (!interfaces_.IsOutsideSubnet(entry)) continue;
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

}  // namespace quorvex
