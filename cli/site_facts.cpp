#include "cli/site_facts.h"

#include <algorithm>

namespace quorvex {

SiteFacts GatherSiteFacts(const SearchBusiness& business, const EffectiveSettings& settings) {
    SiteFacts facts;
    facts.interfaces = business.CopyInterfaces();
    facts.devices = business.CopyUpdates();
    std::sort(
        facts.devices.begin(), facts.devices.end(),
        [](const DeviceUpdate& a, const DeviceUpdate& b) { return TableKey(a) < TableKey(b); });
    facts.match_min = settings.app.match_min;
    facts.match_max = settings.app.match_max;
    return facts;
}

LinkProbe AskTheLink(ProgressDisplay& progress, const NeighbourProbe& neighbours) {
    return [&progress, &neighbours](const std::vector<std::uint32_t>& addresses) {
        progress.Note("asking the link about " + std::to_string(addresses.size()) + " address(es)");
        auto found = neighbours.InUse(addresses);
        progress.Clear();
        return found;
    };
}

}  // namespace quorvex
