#include <istream>
#include <ostream>

#include "cli/batch_change.h"
#include "cli/device_search.h"
#include "cli/interrupt_watch.h"
#include "cli/jobs.h"
#include "cli/plan_output.h"
#include "cli/site_facts.h"

namespace quorvex {

int ReadCredentials(const JobContext& job, std::string_view command, Credentials& credentials) {
    const CliOptions& o = job.options;
    // Read and checked before anything is searched, printed or sent.
    if (o.password_stdin) {
        std::string password;
        if (!std::getline(job.in, password)) {
            job.err << "quorvex-cli: " << command
                    << ": --password-stdin found no line on standard input\n";
            return kExitUsage;
        }
        if (!password.empty() && password.back() == '\r') password.pop_back();
        credentials.password = password;
    }
    credentials.user = o.user;
    // What no protocol can carry is refused here; what only the text
    // protocol cannot carry, the plan refuses for its cameras alone.
    for (const auto& [name, value] :
         {std::pair{"user name", credentials.user}, std::pair{"password", credentials.password}}) {
        const WireValueProblem problem =
            value ? CheckCredential(*value, kProtocolBinary) : WireValueProblem::none;
        if (problem != WireValueProblem::none) {
            job.err << "quorvex-cli: " << command << ": the " << name << " "
                    << WireProblemText(problem) << "\n";
            return kExitUsage;
        }
    }
    return kExitSuccess;
}

bool TakeTemporaryAddresses(const JobContext& job, std::string_view command, const ChangePlan& plan,
                            InterruptWatch& interrupts, std::optional<TemporaryAddresses>& held) {
    const std::vector<TemporaryAddressPlan> wanted = plan.TemporaryAddresses();
    if (wanted.empty()) return true;
    std::string error;
    job.progress.Note("adding temporary address(es)");
    held = TemporaryAddresses::Add(wanted, error);
    job.progress.Clear();
    if (!held) {
        job.err << "quorvex-cli: " << command << ": " << error << "; nothing sent\n";
        return false;
    }
    TemporaryAddresses* holder = &*held;
    interrupts.OnInterrupt([holder] { holder->Remove(); });
    return true;
}

LinkProbe PlanProbe(const JobContext& job, const SiteFacts& facts, const NeighbourProbe& neighbours,
                    const ArpProbe& arp) {
    if (job.options.temporary_address)
        return AskTheLinkBeyondRoutes(job.progress, neighbours, arp, facts);
    return AskTheLink(job.progress, neighbours);
}

int RunSet(const JobContext& job) {
    const CliOptions& o = job.options;
    ChangeRequest request;
    if (const int code = ReadCredentials(job, "set", request.credentials); code != kExitSuccess)
        return code;
    // Before the search starts a thread: they all inherit the blocked signals.
    InterruptWatch interrupts("set");
    RemoveLeftoverTemporaryAddresses();

    DeviceSearch search(job.settings, o.interfaces, job.progress, o.protocols);
    if (!search.Start()) {
        job.err << "quorvex-cli: set: no interface to search on\n";
        return kExitNotDone;
    }
    if (o.all_outside) {
        search.Watch(o.wait_seconds, "searching");
    } else if (search.Watch(o.wait_seconds, "searching",
                            [&] {
                                for (const std::string& key : o.macs)
                                    if (!search.Heard(key)) return false;
                                return true;
                            }) &&
               (o.ip || o.ip_from)) {
        // An address is free only if no camera holds it: hear the site out
        // before any address is checked.
        search.WatchUntilQuiet("searching");
    }
    const SiteFacts facts = GatherSiteFacts(search.business(), job.settings);
    bool failed = false;
    if (o.all_outside) {
        for (const DeviceUpdate& device : facts.devices)
            if (device.outside_subnet) request.devices.push_back(device);
    }
    if (!TakeNamedDevices(facts, o.macs, "set", request.devices, job.err)) failed = true;
    if (request.devices.empty()) {
        if (!failed) job.out << "no device to change\n";
        return failed ? kExitNotDone : kExitSuccess;
    }

    request.kind = o.ip_from ? ChangeKind::batch : ChangeKind::settings;
    request.named = !o.all_outside;
    request.ip = o.ip_from ? o.ip_from : o.ip;
    request.mask = o.mask;
    request.gateway = o.gateway;
    request.dns1 = o.dns1;
    request.dns2 = o.dns2;
    request.http_port = o.http_port;
    request.dhcp = o.dhcp;
    request.force = o.force;
    request.dry_run = o.dry_run;
    request.standard_cameras = true;
    request.temporary_address = o.temporary_address;
    const NeighbourProbe neighbours;
    const ArpProbe arp;
    const ChangePlan plan = PlanChange(request, facts, PlanProbe(job, facts, neighbours, arp));
    ChangeOutput how{"set", o.format == OutputFormat::kJson, o.all_outside, {}};
    if (o.ip_from) how.no_free_note = " from " + CanonicalAddress(*o.ip_from).value_or(*o.ip_from);
    failed = ShowPlan(plan, how, job.out, job.err) || failed;
    std::optional<TemporaryAddresses> temporary;
    if (!TakeTemporaryAddresses(job, "set", plan, interrupts, temporary)) return kExitNotDone;
    // The standard cameras are changed over HTTP while the own protocols'
    // changes go out and are confirmed.
    StandardChangeBatch standard_batch(plan, SessionOptions(o), 8,
                                       &search.business().StandardCameras());
    const std::vector<ChangeResult> results = ApplyAndConfirm(search, plan, o.wait_seconds);
    const std::vector<StandardChangeOutcome> standard =
        FinishStandardChanges(standard_batch, job.progress);
    interrupts.OnInterrupt({});
    temporary.reset();
    failed = ShowResults(plan, results, search, how, job.out, job.err, standard) || failed;
    return failed ? kExitNotDone : kExitSuccess;
}

}  // namespace quorvex
