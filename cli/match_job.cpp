#include <ostream>

#include "cli/batch_change.h"
#include "cli/device_search.h"
#include "cli/jobs.h"
#include "search/neighbour_probe.h"
#include "search/text_encoding.h"

namespace quorvex {

int RunMatch(const JobContext& job) {
    const CliOptions& o = job.options;
    Credentials credentials;
    if (const int code = ReadCredentials(job, "match", credentials); code != kExitSuccess)
        return code;
    DeviceSearch search(job.settings, o.interfaces, job.progress);
    if (!search.Start()) {
        job.err << "quorvex-cli: match: no interface to search on\n";
        return kExitNotDone;
    }
    SearchBusiness& business = search.business();
    const bool json = o.format == OutputFormat::kJson;

    // With --all every answer counts, so the whole wait is taken; named
    // devices end the wait as soon as all of them have answered, and then the
    // site is heard out, since an address is free only if no camera holds it.
    if (o.all) {
        search.Watch(o.wait_seconds, "searching");
    } else if (search.Watch(o.wait_seconds, "searching", [&] {
                   for (const std::string& key : o.macs)
                       if (!search.Find(key)) return false;
                   return true;
               })) {
        search.WatchUntilQuiet("searching");
    }

    bool failed = false;
    std::vector<DeviceEntry> targets;
    if (o.all) {
        const std::vector<DeviceEntry> devices = search.Devices();
        if (devices.empty()) {
            job.err << "quorvex-cli: match: no device answered\n";
            return kExitNotDone;
        }
        for (const DeviceEntry& entry : devices)
            if (business.IsOutsideSubnet(entry)) targets.push_back(entry);
    } else {
        for (const std::string& key : o.macs) {
            const auto entry = search.Find(key);
            if (!entry) {
                job.err << "quorvex-cli: match: device " << key << " not found\n";
                failed = true;
            } else if (!business.IsOutsideSubnet(*entry)) {
                if (!json)
                    job.out << key << ": already in the subnet of "
                            << AddressText(entry->interface_address) << " ("
                            << TerminalText(GetText(entry->info.ip)) << "), left alone\n";
            } else {
                targets.push_back(*entry);
            }
        }
    }

    const NeighbourProbe probe;
    const LinkProbe ask_link = [&](const std::vector<std::uint32_t>& addresses) {
        job.progress.Note("asking the link about " + std::to_string(addresses.size()) +
                          " address(es)");
        auto found = probe.InUse(addresses);
        job.progress.Clear();
        return found;
    };
    const SearchBusiness::BatchPlan plan = business.PlanMatch(targets, ask_link);
    std::vector<PlannedChange> changes;
    std::string plan_json, skipped_json, unmoved_json, results_json;
    for (const SkippedAddress& skipped : plan.skipped) {
        if (json)
            skipped_json += std::string(skipped_json.empty() ? "" : ",") + "{\"address\":\"" +
                            AddressText(skipped.address) +
                            "\",\"reason\":" + JsonString(VerdictText(skipped.why)) + "}";
        else
            job.out << "skip " << AddressText(skipped.address) << ": " << VerdictText(skipped.why)
                    << "\n";
    }
    for (const auto& move : plan.moves) {
        const auto settings = business.MatchSettings(move.entry, move.address, credentials);
        if (!settings) continue;
        const std::string key = DeviceKey(move.entry.info);
        if (json)
            plan_json += std::string(plan_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                         "\",\"from\":" + JsonString(GetText(move.entry.info.ip)) + ",\"to\":\"" +
                         AddressText(move.address) + "\"}";
        else
            job.out << key << "  " << TerminalText(GetText(move.entry.info.ip)) << " -> "
                    << AddressText(move.address) << "\n";
        changes.push_back({move.entry, *settings});
    }
    for (const DeviceEntry& entry : plan.unplaced) {
        failed = true;
        const std::string key = DeviceKey(entry.info);
        if (json)
            unmoved_json += std::string(unmoved_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                            "\",\"reason\":\"no free address left\"}";
    }
    if (!plan.unplaced.empty() && !json)
        job.err << "quorvex-cli: match: " << plan.unplaced.size()
                << " device(s) not moved: no free host number left from "
                << job.settings.app.match_min << " to " << job.settings.app.match_max << "\n";
    job.out << std::flush;

    const std::vector<ChangeResult> results =
        changes.empty() ? std::vector<ChangeResult>{}
                        : ApplyAndConfirm(search, changes, o.wait_seconds);
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::string key = DeviceKey(changes[i].entry.info);
        const std::string ip(GetText(changes[i].settings.ip));
        if (results[i] != ChangeResult::confirmed) failed = true;
        if (json)
            results_json += std::string(results_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                            "\",\"result\":\"" + ResultText(results[i]) + "\"}";
        else if (results[i] == ChangeResult::confirmed)
            job.out << key << ": answers at " << ip << "\n";
        else
            job.err << "quorvex-cli: match: " << key << " does not answer at " << ip << " ("
                    << ResultText(results[i]) << ")\n";
    }
    if (json)
        job.out << "{\"plan\":[" << plan_json << "],\"skipped\":[" << skipped_json
                << "],\"not_moved\":[" << unmoved_json << "],\"results\":[" << results_json
                << "]}\n";
    else if (changes.empty() && !failed)
        job.out << "no device to move\n";
    return failed ? kExitNotDone : kExitSuccess;
}

}  // namespace quorvex
