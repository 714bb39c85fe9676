#include "search/plan_facts.h"

#include <algorithm>

namespace quorvex {

SiteFacts PlanFactsOf(const SearchBusiness& business, std::int32_t match_min,
                      std::int32_t match_max) {
    SiteFacts facts;
    facts.interfaces = business.CopyInterfaces();
    facts.devices = business.CopyUpdates();
    std::sort(
        facts.devices.begin(), facts.devices.end(),
        [](const DeviceUpdate& a, const DeviceUpdate& b) { return TableKey(a) < TableKey(b); });
    facts.match_min = match_min;
    facts.match_max = match_max;
    return facts;
}

}  // namespace quorvex
