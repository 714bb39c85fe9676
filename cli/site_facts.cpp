#include "cli/site_facts.h"

#include "search/link_answers.h"
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
        progress.Note("asking the link about " + std::to_string(addresses.size()) + " address(es)");
        auto found = AddressesInUse(addresses, facts.interfaces, neighbours, arp);
        progress.Clear();
        return found;
    };
}

}  // namespace quorvex
