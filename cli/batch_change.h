#pragma once

// The part of `set` and `match` that follows the plan (search/change_watch.h
// on the command line's clock, with progress), and the words for the reasons
// that search/ gives as values.

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/device_search.h"
#include "cli/progress_display.h"
#include "core/device_records.h"
#include "search/address_check.h"
#include "search/change_confirmation.h"
#include "search/change_planner.h"
#include "search/change_watch.h"
#include "search/standard_change.h"
#include "search/standard_change_batch.h"
#include "search/wire_value.h"

namespace quorvex {

// Sends every change of `plan` (none for a dry run), waits until their
// commands have left, then searches again for up to `seconds` until each
// device answers with its new settings. One result per change of
// `plan.ToSend()`, in order.
std::vector<ChangeResult> ApplyAndConfirm(DeviceSearch& search, const ChangePlan& plan,
                                          double seconds);

// How the standard cameras' sessions go as the options ask.
StandardCameraSession::Options SessionOptions(const CliOptions& options);

// Waits, with a progress note, for the standard cameras' changes that
// `batch` carries out (it was started before the own protocols' changes
// went out, so both run at once). One outcome per change, in order.
std::vector<StandardChangeOutcome> FinishStandardChanges(StandardChangeBatch& batch,
                                                         ProgressDisplay& progress);
// Why a standard camera's change is not confirmed. Never names a credential.
std::string StandardOutcomeText(const StandardChangeOutcome& outcome);

std::string VerdictText(AddressVerdict verdict);
std::string FieldText(PlanField field);
// Why a camera is not changed, or what its warning says.
std::string IssueText(const PlanIssue& issue);
std::string ResultText(ChangeResult result);
std::string WireProblemText(WireValueProblem problem);

}  // namespace quorvex
