#include <ostream>

#include "cli/device_search.h"
#include "cli/jobs.h"

namespace quorvex {

int RunScan(const JobContext& job) {
    DeviceSearch search(job.settings, job.options.interfaces, job.progress, job.options.protocols);
    if (!search.Start()) {
        job.err << "quorvex-cli: scan: no interface to search on\n";
        return kExitNotDone;
    }
    // Named at once: the scan runs on the others meanwhile, and searches a
    // listed interface as soon as it appears.
    for (const std::string& line : search.MissingInterfaces())
        job.err << "quorvex-cli: scan: " << line << "\n";
    if (job.options.wait_auto) {
        search.WatchUntilQuiet("searching");
    } else {
        search.Watch(job.options.wait_seconds, "searching");
    }
    const std::vector<DeviceReportRow> rows = search.Rows();
    // A place that could not listen means the list may lack devices: the
    // list is still printed, but the run does not count as a success.
    const std::vector<std::string> problems = search.Problems();
    for (const std::string& line : problems) job.err << "quorvex-cli: scan: " << line << "\n";
    // A refused datagram is named but fails nothing: anyone on the link can
    // send one, and it must not be able to fail a scan.
    for (const std::string& line : search.Notes()) job.err << "quorvex-cli: scan: " << line << "\n";

    switch (job.options.format) {
        case OutputFormat::kJson:
            job.out << FormatJson(rows);
            break;
        case OutputFormat::kCsv:
            job.out << FormatCsv(rows, job.options.bom);
            break;
        case OutputFormat::kTable:
            job.out << FormatTable(rows, job.settings.outside_note);
            break;
    }
    if (rows.empty()) {
        job.err << "quorvex-cli: scan: no device answered\n";
        return kExitNotDone;
    }
    if (!problems.empty()) {
        job.err << "quorvex-cli: scan: the list may be incomplete\n";
        return kExitNotDone;
    }
    return kExitSuccess;
}

}  // namespace quorvex
