#pragma once

// The jobs of quorvex-cli, one per command. Each gets arguments that parsing
// has already validated and the settings read from config.xml, writes results
// to `out` and problems to `err`, and returns the exit code.
//
// `interfaces` and `config` only read the host and the files: they open no
// socket and send nothing. `scan`, `set` and `match` search.

#include <cstdio>
#include <iosfwd>
#include <optional>

#include "cli/command_line.h"
#include "cli/effective_settings.h"
#include "cli/progress_display.h"
#include "search/change_planner.h"
#include "search/credentials.h"
#include "search/temporary_address.h"

namespace quorvex {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitNotDone = 1;  // nothing found, device not found, change not confirmed
inline constexpr int kExitUsage = 2;

struct JobContext {
    const CliOptions& options;
    const EffectiveSettings& settings;
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    ProgressDisplay& progress;
};

int RunInterfaces(const JobContext& job);
int RunConfig(const JobContext& job);
int RunScan(const JobContext& job);
int RunSet(const JobContext& job);
int RunMatch(const JobContext& job);

// Reads --user and --password-stdin into `credentials` and checks that they
// can go on the wire; kExitSuccess, or kExitUsage with the reason on stderr.
int ReadCredentials(const JobContext& job, std::string_view command, Credentials& credentials);

class ArpProbe;
class InterruptWatch;
class NeighbourProbe;

// Adds the temporary addresses of `plan` into `held` (a holder of none when
// it has none) and has `interrupts` remove them should the tool be stopped;
// false, with the reason on stderr, when they cannot all be added: then
// nothing is to be sent. `held` must stay where it is until `interrupts`
// forgets it.
bool TakeTemporaryAddresses(const JobContext& job, std::string_view command, const ChangePlan& plan,
                            InterruptWatch& interrupts, std::optional<TemporaryAddresses>& held);

// The probe a plan asks the link through: past the PC's routes too when
// `--temporary-address` may need an address there.
LinkProbe PlanProbe(const JobContext& job, const SiteFacts& facts, const NeighbourProbe& neighbours,
                    const ArpProbe& arp);

// The first of `names` that is not an adapter of this host, or empty when all
// are (also when the adapter list cannot be read). Reads only.
std::string UnknownInterface(const std::vector<std::string>& names);

}  // namespace quorvex
