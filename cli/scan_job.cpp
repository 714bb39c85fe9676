#include <ostream>

#include "cli/device_search.h"
#include "cli/jobs.h"

namespace quorvex {

int RunScan(const JobContext& job) {
    DeviceSearch search(job.settings, job.options.interfaces, job.progress);
    if (!search.Start()) {
        job.err << "quorvex-cli: scan: no interface to search on\n";
        return kExitNotDone;
    }
    search.Watch(job.options.wait_seconds, "searching");
    const std::vector<DeviceReportRow> rows = search.Rows();

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
    return kExitSuccess;
}

}  // namespace quorvex
