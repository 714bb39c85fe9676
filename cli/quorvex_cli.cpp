#include "cli/quorvex_cli.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <istream>
#include <ostream>

#include "cli/command_line.h"
#include "cli/effective_settings.h"
#include "cli/jobs.h"
#include "cli/progress_display.h"
#include "search/adapter_choice.h"

namespace quorvex {

namespace {

int RunParsed(const ParsedCommandLine& parsed, std::istream& in, std::ostream& out,
              std::ostream& err) {
    if (parsed.kind == ParsedCommandLine::Kind::kHelp) {
        out << parsed.text;
        return kExitSuccess;
    }
    if (parsed.kind == ParsedCommandLine::Kind::kError) {
        err << "quorvex-cli: " << parsed.text << "\n";
        return kExitUsage;
    }
    const CliOptions& options = parsed.options;

    std::string problem;
    const std::optional<EffectiveSettings> settings =
        LoadEffectiveSettings(options.config_file, &problem);
    if (!settings) {
        err << "quorvex-cli: " << problem << "\n";
        return kExitUsage;
    }
    if (settings->config_unreadable) {
        err << "quorvex-cli: cannot read configuration file '" << settings->config_file
            << "' (unreadable or not XML)\n";
        const bool searches = options.command == CliCommand::kScan ||
                              options.command == CliCommand::kSet ||
                              options.command == CliCommand::kMatch;
        const AdapterChoice choice = !options.interfaces.empty() ? AdapterChoice::named
                                     : options.any_interface     ? AdapterChoice::any
                                                                 : AdapterChoice::automatic;
        if (searches && !SearchAllowed(choice, settings->config_unreadable)) {
            err << "quorvex-cli: not searching on the automatic adapter choice while the "
                   "configuration file cannot be read; name adapters with --interface or "
                   "use --any-interface\n";
            return kExitUsage;
        }
    }
    const std::string unknown = UnknownInterface(options.interfaces);
    if (!unknown.empty()) {
        err << "quorvex-cli: no adapter named '" << unknown << "' (see quorvex-cli interfaces)\n";
        return kExitUsage;
    }

    ProgressDisplay progress =
        options.quiet ? ProgressDisplay(stderr, false) : ProgressDisplay::ForStandardError();
    const JobContext job{options, *settings, in, out, err, progress};
    try {
        switch (options.command) {
            case CliCommand::kInterfaces:
                return RunInterfaces(job);
            case CliCommand::kConfig:
                return RunConfig(job);
            case CliCommand::kScan:
                return RunScan(job);
            case CliCommand::kSet:
                return RunSet(job);
            case CliCommand::kMatch:
                return RunMatch(job);
        }
    } catch (const std::exception& e) {
        progress.Clear();
        err << "quorvex-cli: " << e.what() << "\n";
    }
    return kExitNotDone;
}

}  // namespace

int RunQuorvexCli(const std::vector<std::string_view>& args, std::istream& in, std::ostream& out,
                  std::ostream& err) {
    const ParsedCommandLine parsed = ParseCommandLine(args);
    const int code = RunParsed(parsed, in, out, err);
    // Output goes through a buffer, so a full disk or a closed pipe often
    // shows only at the last flush. A document that did not reach its file
    // whole is a failure, whatever the command found.
    errno = 0;
    out.flush();
    if (!out) {
        const int error = errno;
        err << "quorvex-cli: cannot write the output"
            << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << "\n";
        return code == kExitUsage ? kExitUsage : kExitNotDone;
    }
    return code;
}

}  // namespace quorvex
