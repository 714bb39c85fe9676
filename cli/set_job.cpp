#include <istream>
#include <ostream>

#include "cli/batch_change.h"
#include "cli/device_search.h"
#include "cli/jobs.h"
#include "core/ipv4_subnet.h"
#include "search/neighbour_probe.h"
#include "search/text_encoding.h"

namespace quorvex {

namespace {

// The device's current settings with the given ones put in their place; with
// `home`, what the options leave open of mask, gateway and name servers comes
// from the interface that heard it (the device is moving into its subnet).
NetSettings BuildSettings(const DeviceInfo& info, const CliOptions& o,
                          const Credentials& credentials, const LocalInterface* home) {
    NetSettings s{};
    ApplyCredentials(s, credentials, info);
    const auto pick = [&](const std::optional<std::string>& given, std::string_view device,
                          std::string_view interface) {
        return given ? std::string_view(*given) : home ? interface : device;
    };
    SetText(s.ip, o.ip ? std::string_view(*o.ip) : GetText(info.ip));
    SetText(s.mask, pick(o.mask, GetText(info.mask), home ? GetText(home->mask) : ""));
    SetText(s.gateway, pick(o.gateway, GetText(info.gateway), home ? GetText(home->gateway) : ""));
    SetText(s.dns1, pick(o.dns1, GetText(info.dns1), home ? GetText(home->dns1) : ""));
    SetText(s.dns2, pick(o.dns2, GetText(info.dns2), home ? GetText(home->dns2) : ""));
    s.http_port = o.http_port ? *o.http_port : info.http_port;
    s.dhcp = o.dhcp ? (*o.dhcp ? 1 : 0) : info.dhcp;
    return s;
}

std::string Describe(const NetSettings& s) {
    return "ip " + std::string(GetText(s.ip)) + ", mask " + std::string(GetText(s.mask)) +
           ", gateway " + std::string(GetText(s.gateway)) + ", dns1 " +
           std::string(GetText(s.dns1)) + ", dns2 " + std::string(GetText(s.dns2)) +
           ", http port " + std::to_string(s.http_port) + ", dhcp " + (s.dhcp ? "on" : "off");
}

std::string DescribeDevice(const DeviceInfo& i) {
    return "ip " + std::string(GetText(i.ip)) + ", mask " + std::string(GetText(i.mask)) +
           ", gateway " + std::string(GetText(i.gateway)) + ", dns1 " +
           std::string(GetText(i.dns1)) + ", dns2 " + std::string(GetText(i.dns2)) +
           ", http port " + std::to_string(i.http_port) + ", dhcp " + (i.dhcp ? "on" : "off");
}

// The record of the interface that heard `entry`.
std::optional<LocalInterface> HomeOf(SearchBusiness& business, const DeviceEntry& entry) {
    for (const LocalInterface& record : business.CopyInterfaces())
        if (GetText(record.ip) == AddressText(entry.interface_address)) return record;
    return std::nullopt;
}

}  // namespace

int ReadCredentials(const JobContext& job, std::string_view command, Credentials& credentials) {
    const CliOptions& o = job.options;
    // Read and checked before anything is searched, printed or sent.
    if (o.password_stdin) {
        std::string password;
        std::getline(job.in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
        credentials.password = password;
    }
    credentials.user = o.user;
    for (const auto& [name, value] :
         {std::pair{"user name", credentials.user}, std::pair{"password", credentials.password}}) {
        const WireValueProblem problem = value ? CheckWireValue(*value) : WireValueProblem::none;
        if (problem != WireValueProblem::none) {
            job.err << "quorvex-cli: " << command << ": the " << name << " "
                    << WireProblemText(problem) << "\n";
            return kExitUsage;
        }
    }
    return kExitSuccess;
}

int RunSet(const JobContext& job) {
    const CliOptions& o = job.options;
    Credentials credentials;
    if (const int code = ReadCredentials(job, "set", credentials); code != kExitSuccess)
        return code;

    DeviceSearch search(job.settings, o.interfaces, job.progress);
    if (!search.Start()) {
        job.err << "quorvex-cli: set: no interface to search on\n";
        return kExitNotDone;
    }
    SearchBusiness& business = search.business();
    bool failed = false;
    std::vector<DeviceEntry> targets;
    if (o.all_outside) {
        search.Watch(o.wait_seconds, "searching");
        for (const DeviceEntry& entry : search.Devices())
            if (business.IsOutsideSubnet(entry)) targets.push_back(entry);
    } else {
        const bool all_found = search.Watch(o.wait_seconds, "searching", [&] {
            for (const std::string& key : o.macs)
                if (!search.Find(key)) return false;
            return true;
        });
        // An address is free only if no camera holds it: hear the site out
        // before any address is checked.
        if (all_found && (o.ip || o.ip_from)) search.WatchUntilQuiet("searching");
        for (const std::string& key : o.macs) {
            if (const auto entry = search.Find(key)) {
                targets.push_back(*entry);
            } else {
                job.err << "quorvex-cli: set: device " << key << " not found\n";
                failed = true;
            }
        }
    }
    if (targets.empty()) {
        if (!failed) job.out << "no device to change\n";
        return failed ? kExitNotDone : kExitSuccess;
    }

    const bool json = o.format == OutputFormat::kJson;
    const NeighbourProbe probe;
    const LinkProbe ask_link = [&](const std::vector<std::uint32_t>& addresses) {
        job.progress.Note("asking the link about " + std::to_string(addresses.size()) +
                          " address(es)");
        auto found = probe.InUse(addresses);
        job.progress.Clear();
        return found;
    };
    std::vector<PlannedChange> changes;
    std::string plan_json, skipped_json, unmoved_json;
    if (o.ip_from) {
        std::uint32_t start = 0;
        ParseAddress(*o.ip_from, start);
        const auto home = HomeOf(business, targets.front());
        std::uint32_t mask = 0;
        if (!ParseAddress(o.mask ? *o.mask : home ? GetText(home->mask) : "", mask)) {
            job.err << "quorvex-cli: set: no mask for the batch (give --mask)\n";
            return kExitUsage;
        }
        const SearchBusiness::BatchPlan plan = business.PlanBatch(targets, start, mask, ask_link);
        for (const SkippedAddress& skipped : plan.skipped) {
            if (json) {
                skipped_json += std::string(skipped_json.empty() ? "" : ",") + "{\"address\":\"" +
                                AddressText(skipped.address) +
                                "\",\"reason\":" + JsonString(VerdictText(skipped.why)) + "}";
            } else {
                job.out << "skip " << AddressText(skipped.address) << ": "
                        << VerdictText(skipped.why) << "\n";
            }
        }
        for (const auto& move : plan.moves) {
            PlannedChange change{move.entry, BuildSettings(move.entry.info, o, credentials,
                                                           home ? &*home : nullptr)};
            SetText(change.settings.ip, AddressText(move.address));
            changes.push_back(change);
        }
        for (const DeviceEntry& entry : plan.unplaced) {
            const std::string key = DeviceKey(entry.info);
            if (json)
                unmoved_json += std::string(unmoved_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                                "\",\"reason\":\"no free address left\"}";
            failed = true;
        }
        if (!plan.unplaced.empty() && !json)
            job.err << "quorvex-cli: set: " << plan.unplaced.size()
                    << " device(s) not moved: no free address left from " << *o.ip_from << "\n";
    } else {
        for (const DeviceEntry& entry : targets)
            changes.push_back({entry, BuildSettings(entry.info, o, credentials, nullptr)});
        // One device, one address: the same check as every batch.
        if (o.ip && changes.size() == 1 && changes.front().settings.dhcp == 0) {
            const PlannedChange& change = changes.front();
            const std::string key = DeviceKey(change.entry.info);
            AddressFacts facts = business.AddressFactsFor(change.entry);
            std::uint32_t address = 0;
            ParseAddress(*o.ip, address);
            if (address != 0 && GetText(change.entry.info.ip) != *o.ip)
                facts.answered_on_link = probe.InUse(std::vector<std::uint32_t>{address});
            const AddressVerdict verdict =
                CheckAddress(*o.ip, GetText(change.settings.mask), facts, key);
            if (verdict != AddressVerdict::free) {
                if (!o.force || !IsOverridable(verdict)) {
                    job.err << "quorvex-cli: set: " << *o.ip << " refused: " << VerdictText(verdict)
                            << (IsOverridable(verdict) ? " (--force sends it anyway)" : "") << "\n";
                    return kExitNotDone;
                }
                job.err << "quorvex-cli: set: warning: " << *o.ip << " is " << VerdictText(verdict)
                        << "; sending it as --force asks\n";
            }
        }
    }

    for (const PlannedChange& change : changes) {
        const std::string key = DeviceKey(change.entry.info);
        if (json) {
            plan_json += std::string(plan_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                         "\",\"from\":" + JsonString(GetText(change.entry.info.ip)) + ",\"to\":\"" +
                         std::string(GetText(change.settings.ip)) + "\"}";
        } else if (o.ip_from) {
            job.out << key << "  " << TerminalText(GetText(change.entry.info.ip)) << " -> "
                    << GetText(change.settings.ip) << "\n";
        } else {
            job.out << key << ": sending " << TerminalText(Describe(change.settings)) << "\n";
        }
    }
    job.out << std::flush;

    std::vector<ChangeResult> results;
    if (!o.dry_run && !changes.empty()) results = ApplyAndConfirm(search, changes, o.wait_seconds);
    std::string results_json;
    for (std::size_t i = 0; i < results.size(); ++i) {
        const std::string key = DeviceKey(changes[i].entry.info);
        if (results[i] != ChangeResult::confirmed) failed = true;
        if (json) {
            results_json += std::string(results_json.empty() ? "" : ",") + "{\"mac\":\"" + key +
                            "\",\"result\":\"" + ResultText(results[i]) + "\"}";
        } else if (results[i] == ChangeResult::confirmed) {
            job.out << key << ": confirmed, the device answers with the new settings\n";
        } else if (results[i] == ChangeResult::answers_old) {
            const auto now = search.Find(key);
            job.err << "quorvex-cli: set: " << key << " not confirmed: it answers with "
                    << TerminalText(now ? DescribeDevice(now->info) : std::string()) << "\n";
        } else {
            job.err << "quorvex-cli: set: " << key
                    << " not confirmed: it did not answer again (gone)\n";
        }
    }
    if (json)
        job.out << "{\"plan\":[" << plan_json << "],\"skipped\":[" << skipped_json
                << "],\"not_moved\":[" << unmoved_json << "],\"results\":[" << results_json
                << "]}\n";
    return failed ? kExitNotDone : kExitSuccess;
}

}  // namespace quorvex
