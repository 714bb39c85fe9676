#pragma once

// How `set` and `match` show a change plan and its outcome: per camera every
// value that changes, old -> new, and the addresses skipped, on standard
// output; refusals and warnings with their reasons on standard error; then the
// results. With --json, one document written from the plan's values.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "cli/device_search.h"
#include "search/change_confirmation.h"
#include "search/change_planner.h"
#include "search/standard_change.h"

namespace quorvex {

struct ChangeOutput {
    std::string_view command;  // "set" or "match"
    bool json = false;
    // The tool chose the cameras: one already inside its subnet is not named.
    bool chosen_by_tool = false;
    // Ends the line that counts cameras left without an address.
    std::string no_free_note;
};

// Adds to `devices` every device of `facts` whose key is one of `keys`, and
// names on `err` each key no device answers to. True when every key was found.
bool TakeNamedDevices(const SiteFacts& facts, const std::vector<std::string>& keys,
                      std::string_view command, std::vector<DeviceUpdate>& devices,
                      std::ostream& err);

// Shows the plan before anything is sent. True when some camera is refused
// (a camera a match finds already inside its subnet is no failure).
bool ShowPlan(const ChangePlan& plan, const ChangeOutput& how, std::ostream& out,
              std::ostream& err);

// Shows the results, one per change of `plan.ToSend()` (none for a dry run),
// then one per `plan.ToSendStandard()` in `standard`; with --json the whole
// document. True when some change is not confirmed.
bool ShowResults(const ChangePlan& plan, const std::vector<ChangeResult>& results,
                 const DeviceSearch& search, const ChangeOutput& how, std::ostream& out,
                 std::ostream& err, const std::vector<StandardChangeOutcome>& standard = {});

}  // namespace quorvex
