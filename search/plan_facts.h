#pragma once

// What the change planner knows of the site, read from the search manager's
// public values: the same facts for the window and the command line.

#include <cstdint>

#include "search/change_planner.h"
#include "search/search_business.h"

namespace quorvex {

// The searched interfaces, every device (sorted by table key, so a batch
// hands out addresses in the same order each time) and the host-number range
// of a match.
SiteFacts PlanFactsOf(const SearchBusiness& business, std::int32_t match_min,
                      std::int32_t match_max);

}  // namespace quorvex
