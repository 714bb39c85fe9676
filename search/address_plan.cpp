#include "search/address_plan.h"

#include <arpa/inet.h>

namespace quorvex {

AddressPlan PlanAddresses(std::span<const std::uint32_t> candidates, std::size_t cameras,
                          const CameraAddressCheck& check) {
    AddressPlan plan;
    std::set<std::uint32_t> given;
    for (const std::uint32_t address : candidates) {
        if (plan.moves.size() == cameras) break;
        if (given.count(address) != 0) continue;  // a candidate listed twice
        const AddressVerdict verdict = check(address, plan.moves.size());
        if (verdict != AddressVerdict::free) {
            plan.skipped.push_back({address, verdict});
            continue;
        }
        given.insert(address);
        plan.moves.push_back({plan.moves.size(), address});
    }
    plan.unplaced = cameras - plan.moves.size();
    return plan;
}

AddressPlan PlanAddressesOnLink(std::span<const std::uint32_t> candidates, std::size_t cameras,
                                const CameraAddressCheck& check, const LinkProbe& probe,
                                std::set<std::uint32_t>& answered) {
    std::set<std::uint32_t> asked;
    for (;;) {
        AddressPlan plan = PlanAddresses(candidates, cameras, check);
        std::vector<std::uint32_t> unasked;
        for (const PlannedMove& move : plan.moves) {
            if (asked.insert(move.address).second) unasked.push_back(move.address);
        }
        // Every round asks about addresses never asked before, and there are
        // finitely many candidates, so this ends.
        if (unasked.empty() || !probe) return plan;
        const std::set<std::uint32_t> found = probe(unasked);
        answered.insert(found.begin(), found.end());
        if (found.empty()) return plan;
    }
}

std::vector<std::uint32_t> ConsecutiveAddresses(std::uint32_t start, const Ipv4Subnet& subnet,
                                                std::size_t count) {
    std::vector<std::uint32_t> addresses;
    const std::uint32_t last = ntohl(subnet.Broadcast());
    for (std::uint32_t host = ntohl(start);
         addresses.size() < count && subnet.Contains(htonl(host)); ++host) {
        addresses.push_back(htonl(host));
        if (host == last) break;
    }
    return addresses;
}

}  // namespace quorvex
