#pragma once

// Which addresses a host on the link already holds, whether or not the PC
// has a route to them yet: an address inside a subnet of the searched
// interfaces is asked through the kernel's neighbour resolution; one outside
// all of them (a temporary address the PC may take to reach a camera on its
// factory address) by an ARP probe on each searched interface, since the
// kernel resolves nothing it has no route to. Blocks for one patience of
// each probe used: run it off the window's thread.

#include <cstdint>
#include <set>
#include <vector>

#include "core/device_records.h"
#include "search/arp_probe.h"
#include "search/neighbour_probe.h"

namespace quorvex {

std::set<std::uint32_t> AddressesInUse(const std::vector<std::uint32_t>& addresses,
                                       const std::vector<LocalInterface>& interfaces,
                                       const NeighbourProbe& neighbours, const ArpProbe& arp);

}  // namespace quorvex
