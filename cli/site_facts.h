#pragma once

// What the change planner knows of the site, as the command line gathers it
// from the search manager's public values once the search has been heard out.

#include "cli/effective_settings.h"
#include "cli/progress_display.h"
#include "search/arp_probe.h"
#include "search/change_planner.h"
#include "search/neighbour_probe.h"
#include "search/search_business.h"

namespace quorvex {

// The searched interfaces, every device (sorted by table key) and the
// host-number range of config.xml.
SiteFacts GatherSiteFacts(const SearchBusiness& business, const EffectiveSettings& settings);

// Asks the link through `neighbours`, saying so on the progress line.
LinkProbe AskTheLink(ProgressDisplay& progress, const NeighbourProbe& neighbours);

// As `AskTheLink`; an address in no subnet of `facts`' interfaces (a
// temporary address the PC may take, which it has no route to yet) is asked
// by an ARP probe on each searched interface instead.
LinkProbe AskTheLinkBeyondRoutes(ProgressDisplay& progress, const NeighbourProbe& neighbours,
                                 const ArpProbe& arp, const SiteFacts& facts);

}  // namespace quorvex
