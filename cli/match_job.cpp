#include <ostream>

#include "cli/batch_change.h"
#include "cli/device_search.h"
#include "cli/interrupt_watch.h"
#include "cli/jobs.h"
#include "cli/plan_output.h"
#include "cli/site_facts.h"

namespace quorvex {

int RunMatch(const JobContext& job) {
    const CliOptions& o = job.options;
    ChangeRequest request;
    if (const int code = ReadCredentials(job, "match", request.credentials); code != kExitSuccess)
        return code;
    // Before the search starts a thread: they all inherit the blocked signals.
    InterruptWatch interrupts("match");
    RemoveLeftoverTemporaryAddresses();
    DeviceSearch search(job.settings, o.interfaces, job.progress, o.protocols);
    if (!search.Start()) {
        job.err << "quorvex-cli: match: no interface to search on\n";
        return kExitNotDone;
    }

    // With --all every answer counts, so the whole wait is taken; named
    // devices end the wait as soon as all of them have answered, and then the
    // site is heard out, since an address is free only if no camera holds it.
    if (o.all) {
        search.Watch(o.wait_seconds, "searching");
    } else if (search.Watch(o.wait_seconds, "searching", [&] {
                   for (const std::string& key : o.macs)
                       if (!search.Heard(key)) return false;
                   return true;
               })) {
        search.WatchUntilQuiet("searching");
    }

    const SiteFacts facts = GatherSiteFacts(search.business(), job.settings);
    bool failed = false;
    if (o.all) {
        if (facts.devices.empty()) {
            job.err << "quorvex-cli: match: no device answered\n";
            return kExitNotDone;
        }
        request.devices = facts.devices;
    }
    if (!TakeNamedDevices(facts, o.macs, "match", request.devices, job.err)) failed = true;

    request.kind = ChangeKind::match;
    request.named = !o.all;
    request.force = o.force;
    request.dry_run = o.dry_run;
    request.standard_cameras = true;
    request.temporary_address = o.temporary_address;
    const NeighbourProbe neighbours;
    const ArpProbe arp;
    const ChangePlan plan = PlanChange(request, facts, PlanProbe(job, facts, neighbours, arp));
    const ChangeOutput how{"match", o.format == OutputFormat::kJson, o.all,
                           " (host numbers " + std::to_string(facts.match_min) + " to " +
                               std::to_string(facts.match_max) + ")"};
    failed = ShowPlan(plan, how, job.out, job.err) || failed;
    std::optional<TemporaryAddresses> temporary;
    if (!TakeTemporaryAddresses(job, "match", plan, interrupts, temporary)) return kExitNotDone;
    StandardChangeBatch standard_batch(plan, SessionOptions(o), 8,
                                       &search.business().StandardCameras());
    const std::vector<ChangeResult> results = ApplyAndConfirm(search, plan, o.wait_seconds);
    const std::vector<StandardChangeOutcome> standard =
        FinishStandardChanges(standard_batch, job.progress);
    interrupts.OnInterrupt({});
    temporary.reset();
    failed = ShowResults(plan, results, search, how, job.out, job.err, standard) || failed;
    if (!how.json && plan.Planned() == 0 && !failed) job.out << "no device to move\n";
    return failed ? kExitNotDone : kExitSuccess;
}

}  // namespace quorvex
