#pragma once

// The part of `set` and `match` that follows the plan: send every change,
// know when its commands have left, search again and judge each device by
// the rule of search/change_confirmation.h; and the words for the reasons
// that search/ gives as values.

#include <string>
#include <vector>

#include "cli/device_search.h"
#include "core/device_records.h"
#include "search/address_check.h"
#include "search/change_confirmation.h"
#include "search/wire_value.h"

namespace quorvex {

struct PlannedChange {
    DeviceEntry entry{};
    NetSettings settings{};
};

// Sends every change, waits until their commands have left, then searches
// again for up to `seconds` until each device answers with its new settings.
// One result per change, in order.
std::vector<ChangeResult> ApplyAndConfirm(DeviceSearch& search,
                                          const std::vector<PlannedChange>& changes,
                                          double seconds);

std::string VerdictText(AddressVerdict verdict);
std::string ResultText(ChangeResult result);
std::string WireProblemText(WireValueProblem problem);

}  // namespace quorvex
