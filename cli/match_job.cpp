#include <ostream>

#include "cli/device_search.h"
#include "cli/jobs.h"
#include "cli/neighbour_probe.h"
#include "search/text_encoding.h"

namespace quorvex {

namespace {

constexpr auto kConfirmSearchPeriod = std::chrono::milliseconds(1000);

struct Proposal {
    std::string key;
    std::string old_ip;
    std::string new_ip;
};

}  // namespace

int RunMatch(const JobContext& job) {
    const CliOptions& o = job.options;
    DeviceSearch search(job.settings, o.interfaces, job.progress);
    if (!search.Start()) {
        job.err << "quorvex-cli: match: no interface to search on\n";
        return kExitNotDone;
    }

    // With --all every answer counts, so the whole wait is taken; named
    // devices end the wait as soon as all of them have answered.
    if (o.all) {
        search.Watch(o.wait_seconds, "searching");
    } else {
        search.Watch(o.wait_seconds, "searching", [&] {
            for (const std::string& key : o.macs)
                if (!search.Find(key)) return false;
            return true;
        });
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
            if (search.business().IsOutsideSubnet(entry)) targets.push_back(entry);
    } else {
        for (const std::string& key : o.macs) {
            const auto entry = search.Find(key);
            if (!entry) {
                job.err << "quorvex-cli: match: device " << key << " not found\n";
                failed = true;
            } else if (!search.business().IsOutsideSubnet(*entry)) {
                job.out << key << ": already in the subnet of "
                        << AddressText(entry->interface_address) << " ("
                        << TerminalText(GetText(entry->info.ip)) << "), left alone\n";
            } else {
                targets.push_back(*entry);
            }
        }
    }

    const NeighbourProbe probe;
    const auto taken = [&probe](std::string_view address) { return probe.InUse(address); };
    std::vector<Proposal> proposals;
    for (const DeviceEntry& entry : targets) {
        const std::string key = DeviceKey(entry.info);
        job.progress.Note("looking for a free address for " + key);
        const std::optional<NetSettings> settings = search.business().MatchAddress(entry, taken);
        job.progress.Clear();
        if (!settings) {
            job.err << "quorvex-cli: match: " << key << ": no free host number from "
                    << job.settings.app.match_min << " to " << job.settings.app.match_max
                    << " in the subnet of " << AddressText(entry.interface_address) << "\n";
            failed = true;
            continue;
        }
        Proposal p{key, std::string(GetText(entry.info.ip)), std::string(GetText(settings->ip))};
        job.out << key << "  " << TerminalText(p.old_ip) << " -> " << p.new_ip << "\n"
                << std::flush;
        proposals.push_back(std::move(p));
    }
    if (proposals.empty()) {
        if (!failed) job.out << "no device to move\n";
        return failed ? kExitNotDone : kExitSuccess;
    }

    search.LetCommandsLeave();
    search.business().ClearDevices();
    const auto answers_at_new = [&](const Proposal& p) {
        const auto now = search.Find(p.key);
        return now && GetText(now->info.ip) == p.new_ip;
    };
    search.Watch(
        o.wait_seconds, "confirming",
        [&] {
            for (const Proposal& p : proposals)
                if (!answers_at_new(p)) return false;
            return true;
        },
        kConfirmSearchPeriod);

    for (const Proposal& p : proposals) {
        if (answers_at_new(p)) {
            job.out << p.key << ": answers at " << p.new_ip << "\n";
        } else {
            job.err << "quorvex-cli: match: " << p.key << " does not answer at " << p.new_ip
                    << "\n";
            failed = true;
        }
    }
    return failed ? kExitNotDone : kExitSuccess;
}

}  // namespace quorvex
