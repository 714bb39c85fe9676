#include "search/link_answers.h"

#include <algorithm>
#include <string>

#include "core/ipv4_subnet.h"

namespace quorvex {

std::set<std::uint32_t> AddressesInUse(const std::vector<std::uint32_t>& addresses,
                                       const std::vector<LocalInterface>& interfaces,
                                       const NeighbourProbe& neighbours, const ArpProbe& arp) {
    std::vector<std::uint32_t> routed, beyond;
    for (const std::uint32_t address : addresses) {
        const bool inside =
            std::any_of(interfaces.begin(), interfaces.end(), [&](const LocalInterface& r) {
                const auto subnet = Ipv4Subnet::FromTexts(GetText(r.ip), GetText(r.mask));
                return subnet && subnet->Contains(address);
            });
        (inside ? routed : beyond).push_back(address);
    }
    std::set<std::uint32_t> found;
    if (!routed.empty()) found = neighbours.InUse(routed);
    if (beyond.empty()) return found;
    std::set<std::string> names;
    for (const LocalInterface& record : interfaces)
        if (!GetText(record.name).empty()) names.emplace(GetText(record.name));
    for (const std::string& name : names) found.merge(arp.InUse(name, beyond));
    return found;
}

}  // namespace quorvex
