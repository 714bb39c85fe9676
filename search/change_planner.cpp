#include "search/change_planner.h"

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "core/ipv4_subnet.h"
#include "search/change_values.h"
#include "search/search_business.h"
#include "search/standard_change_steps.h"

namespace quorvex {

namespace {

std::optional<std::uint32_t> Read(std::string_view text) {
    std::uint32_t address = 0;
    if (!ParseAddress(text, address)) return std::nullopt;
    return address;
}

// The addresses of the interface that heard a camera, that one first; empty
// when it is not searched on.
std::vector<const LocalInterface*> HomeAddresses(const SiteFacts& facts, std::uint32_t heard) {
    std::vector<const LocalInterface*> addresses;
    for (const LocalInterface& record : facts.interfaces)
        if (Read(record.ip) == heard) {
            addresses.push_back(&record);
            break;
        }
    if (addresses.empty() || GetText(addresses.front()->name).empty()) return addresses;
    for (const LocalInterface& record : facts.interfaces)
        if (&record != addresses.front() &&
            GetText(record.name) == GetText(addresses.front()->name))
            addresses.push_back(&record);
    return addresses;
}

std::vector<Ipv4Subnet> Subnets(const std::vector<const LocalInterface*>& addresses) {
    std::vector<Ipv4Subnet> subnets;
    for (const LocalInterface* record : addresses)
        if (const auto subnet = Ipv4Subnet::FromTexts(GetText(record->ip), GetText(record->mask)))
            subnets.push_back(*subnet);
    return subnets;
}

AddressFacts FactsFor(const SiteFacts& site, const std::vector<const LocalInterface*>& home,
                      const std::map<std::uint32_t, std::string>& given) {
    AddressFacts facts;
    facts.interface_subnets = Subnets(home);
    for (const LocalInterface& record : site.interfaces) {
        if (const auto address = Read(record.ip)) facts.pc_addresses.insert(*address);
        if (const auto gateway = Read(record.gateway)) facts.gateways.insert(*gateway);
    }
    for (const DeviceUpdate& device : site.devices)
        if (const auto address = Read(device.entry.info.ip))
            facts.camera_addresses.emplace(*address, PlanKey(device));
    // Addresses this plan hands out count as taken, the camera's own included.
    for (const auto& [address, key] : given) facts.camera_addresses[address] = key;
    return facts;
}

// Host number k of a match names the k-th address of the PC's own /24 inside
// a subnet of /24 or wider (on a /24, the last octet as ever), else the k-th
// host of the subnet; numbers that name no host address are left out. A
// subnet narrower than a /24 may hold no number of the range at all: then any
// host of it will do.
std::vector<std::uint32_t> MatchCandidates(const Ipv4Subnet& subnet, std::uint32_t pc_address,
                                           std::int32_t min, std::int32_t max, std::int32_t next) {
    const std::uint32_t base =
        subnet.PrefixLength() <= 24 ? ntohl(pc_address) & 0xFFFFFF00u : ntohl(subnet.Network());
    std::vector<std::uint32_t> candidates;
    const auto add = [&](std::int32_t k) {
        const std::uint32_t address = htonl(base + static_cast<std::uint32_t>(k));
        if (subnet.IsHostAddress(address)) candidates.push_back(address);
    };
    const std::int32_t first = next >= min && next <= max ? next : min;
    for (std::int32_t k = std::max(first, 1); k <= std::min(max, 255); ++k) add(k);
    for (std::int32_t k = std::max(min, 1); k < first && k <= 255; ++k) add(k);
    if (candidates.empty() && subnet.PrefixLength() > 24 && min <= max)
        for (std::int32_t k = 1; k <= 255; ++k) add(k);
    return candidates;
}

bool InsideAnyInterface(const SiteFacts& facts, std::uint32_t address) {
    return std::any_of(
        facts.interfaces.begin(), facts.interfaces.end(), [&](const LocalInterface& record) {
            const auto subnet = Ipv4Subnet::FromTexts(GetText(record.ip), GetText(record.mask));
            return subnet && subnet->Contains(address);
        });
}

void AddSkipped(ChangePlan& plan, const std::vector<SkippedAddress>& skipped) {
    for (const SkippedAddress& s : skipped)
        if (std::none_of(plan.skipped.begin(), plan.skipped.end(),
                         [&](const SkippedAddress& k) { return k.address == s.address; }))
            plan.skipped.push_back(s);
}

class Planner {
public:
    Planner(const ChangeRequest& request, const SiteFacts& facts, const LinkProbe& probe)
        : request_(request), facts_(facts), probe_(probe) {
        plan_.kind = request.kind;
        plan_.dry_run = request.dry_run;
        for (const DeviceUpdate& device : request.devices) {
            CameraPlan camera;
            camera.device = device;
            plan_.cameras.push_back(std::move(camera));
        }
        // Every camera's own gateway is some host's: handing it to a camera of
        // the batch would take that host's place.
        for (const DeviceUpdate& device : request.devices)
            if (const auto gateway = Read(device.entry.info.gateway))
                own_gateways_.insert(*gateway);
    }

    ChangePlan Run() {
        for (CameraPlan& camera : plan_.cameras) Screen(camera);
        switch (request_.kind) {
            case ChangeKind::settings:
                for (CameraPlan& camera : plan_.cameras)
                    if (Open(camera)) PlanSettings(camera);
                break;
            case ChangeKind::batch:
                PlanBatch();
                break;
            case ChangeKind::match:
                PlanMatches();
                break;
        }
        PlanTemporaryAddresses();
        for (CameraPlan& camera : plan_.cameras) {
            if (!camera.settings) continue;
            camera.changes = ChangedValues(camera.device.entry.info, *camera.settings);
            // A standard camera's user only signs the requests: it is no setting.
            if (camera.standard)
                std::erase_if(camera.changes,
                              [](const ValueChange& c) { return c.field == PlanField::user; });
        }
        return std::move(plan_);
    }

private:
    static bool Open(const CameraPlan& camera) {
        return camera.refusal.problem == PlanProblem::none;
    }
    static void Refuse(CameraPlan& camera, PlanIssue issue) {
        camera.settings.reset();
        camera.refusal = issue;
    }
    static std::string Key(const CameraPlan& camera) { return PlanKey(camera.device); }
    std::vector<const LocalInterface*> Home(const CameraPlan& camera) const {
        return HomeAddresses(facts_, camera.device.entry.interface_address);
    }

    // The refusals that do not depend on the kind's addresses.
    void Screen(CameraPlan& camera) {
        const DeviceEntry& entry = camera.device.entry;
        camera.standard = !SearchBusiness::CanConfigure(entry) && request_.standard_cameras &&
                          HasDeviceService(camera.device);
        if (!SearchBusiness::CanConfigure(entry) && !camera.standard)
            return Refuse(camera, {PlanProblem::not_configurable});
        // An HTTP request needs a route; a datagram of the own protocols
        // reaches a camera by broadcast, wherever its address lies.
        if (camera.standard)
            if (const auto host = ServiceHost(camera.device);
                host && !InsideAnyInterface(facts_, *host)) {
                if (!request_.temporary_address)
                    return Refuse(camera, {PlanProblem::needs_temporary_address});
                outside_.emplace(&camera, *host);
            }
        if (request_.kind != ChangeKind::settings && Home(camera).empty())
            return Refuse(camera, {PlanProblem::no_interface});
        if (request_.kind == ChangeKind::match) {
            const auto address = Read(entry.info.ip);
            for (const Ipv4Subnet& subnet : Subnets(Home(camera)))
                if (address && subnet.Contains(*address))
                    return Refuse(camera, {PlanProblem::already_inside});
        }
        if (camera.device.mac_conflict) {
            if (!request_.named) return Refuse(camera, {PlanProblem::in_conflict});
            camera.warnings.push_back({PlanProblem::named_in_conflict});
        }
        if (const PlanIssue issue = CheckCredentials(request_.credentials, entry.protocol);
            issue.problem != PlanProblem::none)
            Refuse(camera, issue);
    }

    // The values for `camera` with `source`; false with the refusal set.
    bool Resolve(CameraPlan& camera, const ValueSource& source) {
        PlanIssue issue;
        camera.settings = ResolveSettings(request_, camera.device.entry.info,
                                          camera.device.entry.protocol, source, issue);
        if (!camera.settings) Refuse(camera, issue);
        return camera.settings.has_value();
    }

    // A value problem found before an address is handed out keeps the camera
    // out of the batch; only the gateway's clash with a trial address waits
    // for the address it really gets.
    bool Admit(CameraPlan& camera, const ValueSource& trial) {
        if (Resolve(camera, trial) || camera.refusal.problem == PlanProblem::gateway_is_address) {
            camera.refusal = {};
            camera.settings.reset();
            return true;
        }
        return false;
    }

    // The typed address is checked before the values that depend on it: a
    // gateway outside the subnet of a refused address says less than the
    // address's own refusal. False with the refusal set.
    bool CheckTypedAddress(CameraPlan& camera) {
        const DeviceInfo& info = camera.device.entry.info;
        const bool fixed = request_.dhcp ? !*request_.dhcp : info.dhcp == 0;
        if (!request_.ip || !fixed) return true;
        const auto address = Read(*request_.ip);
        auto mask = request_.mask ? Read(*request_.mask) : Read(info.mask);
        // Discovery tells no standard camera's mask, and its device service
        // keeps the camera's prefix when none is sent: its address is checked
        // with the mask of the interface that heard it, and is refused when
        // that interface is not searched.
        if (!mask && !request_.mask && camera.standard) {
            const std::vector<const LocalInterface*> home = Home(camera);
            if (home.empty()) {
                Refuse(camera, {PlanProblem::no_mask, PlanField::mask});
                return false;
            }
            mask = Read(home.front()->mask);
        }
        // An address or mask that does not read is refused with the values.
        if (!address || !mask || !MaskPrefixLength(*mask)) return true;
        AddressFacts facts = FactsFor(facts_, Home(camera), given_);
        if (probe_ && Read(info.ip) != address)
            facts.answered_on_link = probe_(std::vector<std::uint32_t>{*address});
        AddressVerdict verdict = CheckAddress(*address, *mask, facts, Key(camera));
        // An address the camera keeps takes nobody's: whoever else the link,
        // the PC or its gateway says holds it held it before this change.
        if (IsOverridable(verdict) && Read(info.ip) == address) verdict = AddressVerdict::free;
        if (verdict == AddressVerdict::free) return true;
        if (!request_.force || !IsOverridable(verdict)) {
            Refuse(camera, {PlanProblem::bad_address, PlanField::ip, verdict});
            return false;
        }
        camera.warnings.push_back({PlanProblem::forced, PlanField::ip, verdict});
        return true;
    }

    void PlanSettings(CameraPlan& camera) {
        if (!CheckTypedAddress(camera) || !Resolve(camera, {})) return;
        if (request_.ip && camera.settings->dhcp == 0)
            given_[*Read(GetText(camera.settings->ip))] = Key(camera);
    }

    // Each camera of a DHCP batch takes its address from the network: there
    // is no start and nothing is handed out; its other values are settled as
    // for one camera.
    void PlanDhcpBatch() {
        ChangeRequest own = request_;
        own.ip.reset();
        for (CameraPlan& camera : plan_.cameras) {
            if (!Open(camera)) continue;
            PlanIssue issue;
            camera.settings = ResolveSettings(own, camera.device.entry.info,
                                              camera.device.entry.protocol, {}, issue);
            if (!camera.settings) Refuse(camera, issue);
        }
    }

    // A batch's start is refused only for what no camera of its subnet could
    // hold (checked before each camera's values, which depend on it); the
    // addresses others hold are skipped when they are handed out. False with
    // every open camera refused.
    bool CheckStart(std::uint32_t start) {
        const auto first = std::find_if(plan_.cameras.begin(), plan_.cameras.end(), Open);
        if (first == plan_.cameras.end()) return true;
        // Every camera of a batch sits on the link of the first one heard.
        const std::vector<const LocalInterface*> home = Home(*first);
        const auto mask = request_.mask ? Read(*request_.mask) : Read(home.front()->mask);
        if (!mask || !MaskPrefixLength(*mask)) return true;  // refused with the values
        AddressFacts bare;
        bare.interface_subnets = Subnets(home);
        const AddressVerdict verdict = CheckAddress(start, *mask, bare);
        if (verdict == AddressVerdict::free) return true;
        for (CameraPlan& camera : plan_.cameras)
            if (Open(camera)) Refuse(camera, {PlanProblem::bad_address, PlanField::ip, verdict});
        return false;
    }

    void PlanBatch() {
        if (request_.dhcp.value_or(false)) return PlanDhcpBatch();
        const auto start = request_.ip ? Read(*request_.ip) : std::nullopt;
        if (start && !CheckStart(*start)) return;
        std::vector<CameraPlan*> cameras;
        for (CameraPlan& camera : plan_.cameras) {
            if (!Open(camera)) continue;
            if (!start)
                Refuse(camera,
                       {PlanProblem::bad_address, PlanField::ip, AddressVerdict::not_an_address});
            else if (Admit(camera, {Home(camera).front(), start}))
                cameras.push_back(&camera);
        }
        if (cameras.empty()) return;
        // Every camera of a batch sits on the link of the first one heard.
        const std::vector<const LocalInterface*> home = Home(*cameras.front());
        const auto mask = request_.mask ? Read(*request_.mask) : Read(home.front()->mask);
        if (!mask || !MaskPrefixLength(*mask)) {
            for (CameraPlan* camera : cameras)
                Refuse(*camera, {PlanProblem::no_mask, PlanField::mask});
            return;
        }
        AddressFacts facts = FactsFor(facts_, home, given_);
        facts.gateways.insert(own_gateways_.begin(), own_gateways_.end());
        const Ipv4Subnet subnet{*start, *mask};
        // A wide mask would list millions of candidates (billions for a /1)
        // and plan while the user types: past the addresses known to be
        // taken, a batch looks this far at most.
        constexpr std::size_t kSpareCandidates = 65536;
        const std::size_t known = cameras.size() + facts.camera_addresses.size() +
                                  facts.pc_addresses.size() + facts.gateways.size() + 2;
        const std::vector<std::uint32_t> candidates = ConsecutiveAddresses(
            *start, subnet,
            std::min(std::size_t{subnet.HostCount()} + 2, known + kSpareCandidates));
        const auto check = [&](std::uint32_t address, std::size_t i) {
            return CheckAddress(address, *mask, facts, Key(*cameras[i]));
        };
        const AddressPlan addresses =
            PlanAddressesOnLink(candidates, cameras.size(), check, probe_, facts.answered_on_link);
        AddSkipped(plan_, addresses.skipped);
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            if (i >= addresses.moves.size()) {
                Refuse(*cameras[i], {PlanProblem::no_free_address});
                continue;
            }
            Resolve(*cameras[i], {Home(*cameras[i]).front(), addresses.moves[i].address});
        }
    }

    // Every camera of a match is planned without the link first; then every
    // address handed out is asked at once, and the match is planned again
    // with what answered, until no new address is handed out. One question
    // to the link per round, not one per camera: each unanswered question
    // waits a whole patience, and a site moves hundreds of cameras at once.
    void PlanMatches() {
        std::vector<CameraPlan*> open;
        for (CameraPlan& camera : plan_.cameras)
            if (Open(camera)) open.push_back(&camera);
        std::set<std::uint32_t> asked;
        for (;;) {
            given_.clear();
            home_facts_.clear();
            plan_.skipped.clear();
            std::vector<std::uint32_t> unasked;
            for (CameraPlan* camera : open) {
                camera->refusal = {};
                camera->settings.reset();
                if (const auto address = PlanMatch(*camera))
                    if (asked.insert(*address).second) unasked.push_back(*address);
            }
            if (unasked.empty() || !probe_) return;
            const std::set<std::uint32_t> found = probe_(unasked);
            if (found.empty()) return;
            answered_.insert(found.begin(), found.end());
        }
    }

    // The address `camera` gets, if any, with what the link answered so far.
    std::optional<std::uint32_t> PlanMatch(CameraPlan& camera) {
        // The camera moves into the subnet of the interface's first address
        // that has a usable mask.
        const LocalInterface* target = nullptr;
        std::optional<Ipv4Subnet> subnet;
        const std::vector<const LocalInterface*> home = Home(camera);
        for (const LocalInterface* record : home)
            if ((subnet = Ipv4Subnet::FromTexts(GetText(record->ip), GetText(record->mask)))) {
                target = record;
                break;
            }
        if (target == nullptr) {
            Refuse(camera, {PlanProblem::no_interface});
            return std::nullopt;
        }
        std::vector<std::uint32_t> candidates = MatchCandidates(
            *subnet, *Read(target->ip), facts_.match_min, facts_.match_max, facts_.match_next);
        if (candidates.empty()) {
            Refuse(camera, {PlanProblem::no_free_address});
            return std::nullopt;
        }
        if (!Admit(camera, {target, candidates.front()})) return std::nullopt;
        // An address this plan gave to an earlier camera is not a candidate
        // at all: it is not "skipped because another camera has it".
        std::erase_if(candidates, [this](std::uint32_t a) { return given_.count(a) != 0; });
        const AddressFacts& facts = HomeFacts(camera, home);
        const std::string key = Key(camera);
        const auto check = [&](std::uint32_t address, std::size_t) {
            return CheckAddress(address, subnet->mask, facts, key);
        };
        const AddressPlan addresses = PlanAddresses(candidates, 1, check);
        AddSkipped(plan_, addresses.skipped);
        if (addresses.moves.empty()) {
            Refuse(camera, {PlanProblem::no_free_address});
            return std::nullopt;
        }
        const std::uint32_t address = addresses.moves.front().address;
        if (!Resolve(camera, {target, address})) return std::nullopt;
        Give(address, key);
        return address;
    }

    // The facts of the link that heard `camera`, built once per interface:
    // the table is read once, not once per camera.
    const AddressFacts& HomeFacts(const CameraPlan& camera,
                                  const std::vector<const LocalInterface*>& home) {
        auto [it, added] = home_facts_.try_emplace(camera.device.entry.interface_address);
        if (added) {
            it->second = FactsFor(facts_, home, given_);
            it->second.gateways.insert(own_gateways_.begin(), own_gateways_.end());
        }
        it->second.answered_on_link = answered_;
        return it->second;
    }

    void Give(std::uint32_t address, const std::string& key) {
        given_[address] = key;
        for (auto& [heard, facts] : home_facts_) facts.camera_addresses[address] = key;
    }

    // Never the address of a camera, of the plan or of the PC, nor one that
    // answers on the link. Cameras of one /24 heard on one interface share
    // an address.
    void PlanTemporaryAddresses() {
        std::map<std::pair<std::string, std::uint32_t>, std::vector<CameraPlan*>> groups;
        for (auto& [camera, host] : outside_) {
            if (!camera->settings) continue;
            const std::vector<const LocalInterface*> home = Home(*camera);
            if (home.empty() || GetText(home.front()->name).empty()) {
                Refuse(*camera, {PlanProblem::no_interface});
                continue;
            }
            groups[{std::string(GetText(home.front()->name)), ntohl(host) & 0xFFFFFF00u}].push_back(
                camera);
        }
        std::set<std::uint32_t> taken;
        for (const DeviceUpdate& device : facts_.devices) {
            if (const auto address = Read(device.entry.info.ip)) taken.insert(*address);
            if (device.wsd) taken.insert(device.wsd->source_address);
        }
        for (const auto& [camera, host] : outside_) taken.insert(host);
        for (const CameraPlan& camera : plan_.cameras)
            if (camera.settings)
                if (const auto address = Read(camera.settings->ip)) taken.insert(*address);
        for (auto& [group, cameras] : groups) {
            const auto address = FreeTemporaryAddress(
                htonl(group.second), taken,
                [this](std::uint32_t a) {
                    return answered_.count(a) == 0 && !InsideAnyInterface(facts_, a);
                },
                probe_);
            for (CameraPlan* camera : cameras) {
                if (!address) {
                    Refuse(*camera, {PlanProblem::no_free_address});
                    continue;
                }
                camera->temporary = TemporaryAddressPlan{0, group.first, *address, 24};
            }
            if (address) taken.insert(*address);
        }
    }

    const ChangeRequest& request_;
    const SiteFacts& facts_;
    const LinkProbe& probe_;
    ChangePlan plan_;
    std::set<std::uint32_t> own_gateways_;
    std::map<std::uint32_t, std::string> given_;        // addresses handed out so far
    std::map<std::uint32_t, AddressFacts> home_facts_;  // by the address that heard
    std::set<std::uint32_t> answered_;                  // by another host, on the link
    std::map<CameraPlan*, std::uint32_t> outside_;      // standard cameras by service host
};

}  // namespace

std::vector<PlannedChange> ChangePlan::ToSend() const {
    std::vector<PlannedChange> changes;
    if (dry_run) return changes;
    for (const CameraPlan& camera : cameras)
        if (camera.settings && !camera.standard)
            changes.push_back({camera.device.entry, *camera.settings});
    return changes;
}

std::vector<const CameraPlan*> ChangePlan::ToSendStandard() const {
    std::vector<const CameraPlan*> changes;
    if (dry_run) return changes;
    for (const CameraPlan& camera : cameras)
        if (camera.settings && camera.standard) changes.push_back(&camera);
    return changes;
}

std::vector<TemporaryAddressPlan> ChangePlan::TemporaryAddresses() const {
    std::vector<TemporaryAddressPlan> addresses;
    for (const CameraPlan* camera : ToSendStandard())
        if (camera->temporary &&
            std::find(addresses.begin(), addresses.end(), *camera->temporary) == addresses.end())
            addresses.push_back(*camera->temporary);
    return addresses;
}

bool HasDeviceService(const DeviceUpdate& device) {
    return device.entry.protocol == kProtocolWsDiscovery && device.wsd &&
           !OrderServiceUrls(GetText(device.wsd->xaddrs), device.wsd->source_address).empty();
}

std::string PlanKey(const DeviceUpdate& device) {
    return TableKeyText(TableKey(device));
}

std::size_t ChangePlan::Planned() const {
    return static_cast<std::size_t>(
        std::count_if(cameras.begin(), cameras.end(),
                      [](const CameraPlan& c) { return c.settings.has_value(); }));
}

std::size_t ChangePlan::Refused() const {
    return cameras.size() - Planned();
}

bool ChangePlan::Clean() const {
    return Refused() == 0 && std::all_of(cameras.begin(), cameras.end(),
                                         [](const CameraPlan& c) { return c.warnings.empty(); });
}

ChangePlan PlanChange(const ChangeRequest& request, const SiteFacts& facts,
                      const LinkProbe& probe) {
    return Planner(request, facts, probe).Run();
}

}  // namespace quorvex
