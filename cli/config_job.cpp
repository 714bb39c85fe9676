#include <ostream>

#include "cli/jobs.h"
#include "search/text_encoding.h"

namespace quorvex {

int RunConfig(const JobContext& job) {
    const EffectiveSettings& s = job.settings;
    if (job.options.format == OutputFormat::kJson) {
        std::string list;
        for (const std::string& name : s.app.interfaces)
            list += (list.empty() ? "" : ", ") + JsonString(name);
        job.out << "{\"search_interval\": " << s.app.search_interval
                << ", \"match_min\": " << s.app.match_min << ", \"match_max\": " << s.app.match_max
                << ", \"language\": " << JsonString(s.language)
                << ", \"language_file\": " << JsonString(s.language_file) << ", \"interfaces\": ["
                << list << "], \"config_file\": " << JsonString(s.config_file) << "}\n";
        return kExitSuccess;
    }
    std::string list;
    for (const std::string& name : s.app.interfaces) list += (list.empty() ? "" : " ") + name;
    const std::vector<std::vector<std::string>> lines = {
        {"search_interval", std::to_string(s.app.search_interval)},
        {"match_min", std::to_string(s.app.match_min)},
        {"match_max", std::to_string(s.app.match_max)},
        {"language", TerminalText(s.language)},
        {"language_file", TerminalText(s.language_file)},
        {"interfaces", TerminalText(list)},
        {"config_file", TerminalText(s.config_file) + (s.config_loaded ? "" : " (not read)")},
    };
    job.out << AlignColumns(lines);
    return kExitSuccess;
}

}  // namespace quorvex
