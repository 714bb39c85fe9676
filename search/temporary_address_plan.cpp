#include "search/temporary_address_plan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "core/device_records.h"
#include "search/standard_change_steps.h"

namespace quorvex {

std::string TemporaryAddressText(const TemporaryAddressPlan& plan) {
    return AddressText(plan.address) + "/" + std::to_string(plan.prefix_length) + " on " +
           plan.interface_name;
}

std::optional<std::uint32_t> ServiceHost(const DeviceUpdate& device) {
    if (!device.wsd) return std::nullopt;
    const std::vector<std::string> urls =
        OrderServiceUrls(GetText(device.wsd->xaddrs), device.wsd->source_address);
    if (!urls.empty()) {
        std::string_view host = urls.front();
        host.remove_prefix(std::min(host.size(), host.find("://") + 3));
        host = host.substr(0, host.find_first_of(":/"));
        std::uint32_t address = 0;
        if (ParseAddress(host, address)) return address;
    }
    if (device.wsd->source_address != 0) return device.wsd->source_address;
    return std::nullopt;
}

// Discovery tells no camera's mask, so the PC takes an address of the /24
// around it: the subnet of nearly every factory address, and a guess that is
// wrong only harmlessly (a wider subnet holds the /24; a narrower one is rare
// on a camera). The top of it first, where factory ranges and DHCP pools
// seldom reach. The link is asked a few at a time: a whole /24 at once would
// flood it for one answer that the first few nearly always give.
std::optional<std::uint32_t> FreeTemporaryAddress(std::uint32_t camera,
                                                  const std::set<std::uint32_t>& taken,
                                                  const std::function<bool(std::uint32_t)>& usable,
                                                  const LinkProbe& probe) {
    constexpr std::size_t kAskedAtOnce = 8;
    const std::uint32_t network = ntohl(camera) & 0xFFFFFF00u;
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t host = 254; host >= 1; --host) {
        const std::uint32_t address = htonl(network + host);
        if (taken.count(address) == 0 && usable(address)) candidates.push_back(address);
    }
    for (std::size_t first = 0; first < candidates.size(); first += kAskedAtOnce) {
        const auto begin = candidates.begin() + static_cast<std::ptrdiff_t>(first);
        const std::vector<std::uint32_t> asked(
            begin,
            begin + static_cast<std::ptrdiff_t>(std::min(kAskedAtOnce, candidates.size() - first)));
        const std::set<std::uint32_t> found = probe ? probe(asked) : std::set<std::uint32_t>{};
        for (const std::uint32_t address : asked)
            if (found.count(address) == 0) return address;
    }
    return std::nullopt;
}

}  // namespace quorvex
