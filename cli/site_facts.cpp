#include "cli/site_facts.h"

#include <algorithm>
#include <set>

#include "core/ipv4_subnet.h"
#include "search/plan_facts.h"

namespace quorvex {

SiteFacts GatherSiteFacts(const SearchBusiness& business, const EffectiveSettings& settings) {
    return PlanFactsOf(business, settings.app.match_min, settings.app.match_max);
}

LinkProbe AskTheLink(ProgressDisplay& progress, const NeighbourProbe& neighbours) {
    return [&progress, &neighbours](const std::vector<std::uint32_t>& addresses) {
        progress.Note("asking the link about " + std::to_string(addresses.size()) + " address(es)");
        auto found = neighbours.InUse(addresses);
        progress.Clear();
        return found;
    };
}

LinkProbe AskTheLinkBeyondRoutes(ProgressDisplay& progress, const NeighbourProbe& neighbours,
                                 const ArpProbe& arp, const SiteFacts& facts) {
    return [&progress, &neighbours, &arp, &facts](const std::vector<std::uint32_t>& addresses) {
        std::vector<std::uint32_t> routed, beyond;
        for (const std::uint32_t address : addresses) {
            const bool inside = std::any_of(
                facts.interfaces.begin(), facts.interfaces.end(), [&](const LocalInterface& r) {
                    const auto subnet = Ipv4Subnet::FromTexts(GetText(r.ip), GetText(r.mask));
                    return subnet && subnet->Contains(address);
                });
            (inside ? routed : beyond).push_back(address);
        }
        std::set<std::uint32_t> found =
            routed.empty() ? std::set<std::uint32_t>{} : AskTheLink(progress, neighbours)(routed);
        if (beyond.empty()) return found;
        std::set<std::string> names;
        for (const LocalInterface& record : facts.interfaces)
            if (!GetText(record.name).empty()) names.emplace(GetText(record.name));
        progress.Note("asking the link about " + std::to_string(beyond.size()) + " address(es)");
        for (const std::string& name : names) found.merge(arp.InUse(name, beyond));
        progress.Clear();
        return found;
    };
}

}  // namespace quorvex
