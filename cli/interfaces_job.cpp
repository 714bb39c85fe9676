#include <ostream>

#include "cli/jobs.h"
#include "search/text_encoding.h"
#include "search/get_net_config.h"
#include "search/linux_adapters.h"

namespace quorvex {

namespace {

std::string TypeName(std::uint32_t type) {
    switch (type) {
        case kAdapterTypeEthernet:
            return "ethernet";
        case kAdapterTypeWireless:
            return "wireless";
        case kAdapterTypeLoopback:
            return "loopback";
        case kAdapterTypeTunnel:
            return "tunnel";
        case kAdapterTypePpp:
            return "ppp";
        default:
            return "other";
    }
}

std::string Reason(const AdapterReport& report) {
    std::string reason = AdapterChoiceText(report.choice);
    if (report.choice == AdapterChoice::kListed && report.list_position >= 0)
        reason += " (" + std::to_string(report.list_position + 1) + ")";
    return reason;
}

}  // namespace

std::string UnknownInterface(const std::vector<std::string>& names) {
    const auto adapters = LinuxAdapters().ListAdapters();
    if (!adapters) return "";
    for (const std::string& name : names) {
        bool known = false;
        for (const Adapter& adapter : *adapters) known = known || adapter.name == name;
        if (!known) return name;
    }
    return "";
}

int RunInterfaces(const JobContext& job) {
    const LinuxAdapters source;
    const GetNetConfig config(source, job.settings.app.interfaces);
    const std::vector<AdapterReport> reports = config.ReportAdapters();

    if (job.options.format == OutputFormat::kJson) {
        std::string text = reports.empty() ? "[]\n" : "[\n";
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const AdapterReport& r = reports[i];
            const LocalInterface& s = r.settings;
            const auto field = [&](const char* key, std::string_view value) {
                text += std::string("\"") + key + "\": " + JsonString(value) + ", ";
            };
            text += "  {";
            field("name", r.adapter.name);
            text += "\"type\": " + std::to_string(r.adapter.type) + ", ";
            field("type_name", TypeName(r.adapter.type));
            field("description", r.adapter.description);
            text += std::string("\"chosen\": ") + (r.chosen ? "true" : "false") + ", ";
            field("reason", Reason(r));
            field("ip", GetText(s.ip));
            field("prefix", GetText(s.prefix));
            field("mask", GetText(s.mask));
            field("gateway", GetText(s.gateway));
            field("dns1", GetText(s.dns1));
            field("dns2", GetText(s.dns2));
            text += std::string("\"dhcp\": ") + (r.dhcp ? "true" : "false") + ", ";
            // The fields above describe the first address; every address,
            // the first included, is listed here.
            text += "\"addresses\": [";
            bool first = true;
            for (std::size_t a = 0; a < r.records.size(); ++a) {
                const LocalInterface& one = r.records[a].record;
                if (GetText(one.ip).empty()) continue;
                text += first ? "{" : ", {";
                first = false;
                field("ip", GetText(one.ip));
                field("prefix", GetText(one.prefix));
                field("mask", GetText(one.mask));
                text += std::string("\"dhcp\": ") + (r.records[a].dhcp ? "true" : "false") + "}";
            }
            text += "]}";
            text += i + 1 < reports.size() ? ",\n" : "\n";
        }
        if (!reports.empty()) text += "]\n";
        job.out << text;
    } else {
        std::vector<std::vector<std::string>> lines = {{"Name", "Type", "Description", "Chosen",
                                                        "Reason", "IP", "Prefix", "Mask", "Gateway",
                                                        "DNS1", "DNS2", "DHCP"}};
        for (const AdapterReport& r : reports) {
            const LocalInterface& s = r.settings;
            lines.push_back({TerminalText(r.adapter.name), TypeName(r.adapter.type),
                             TerminalText(r.adapter.description), r.chosen ? "yes" : "no",
                             TerminalText(Reason(r)), TerminalText(GetText(s.ip)),
                             TerminalText(GetText(s.prefix)), TerminalText(GetText(s.mask)),
                             TerminalText(GetText(s.gateway)), TerminalText(GetText(s.dns1)),
                             TerminalText(GetText(s.dns2)), r.dhcp ? "yes" : "no"});
            // Further addresses of the same adapter, one line each.
            for (std::size_t a = 1; a < r.records.size(); ++a) {
                const LocalInterface& one = r.records[a].record;
                lines.push_back({"", "", "", "", "", TerminalText(GetText(one.ip)),
                                 TerminalText(GetText(one.prefix)), TerminalText(GetText(one.mask)),
                                 "", "", "", r.records[a].dhcp ? "yes" : "no"});
            }
        }
        job.out << AlignColumns(lines);
    }
    if (reports.empty()) {
        // Every host has at least its loopback link, so an empty list means
        // the list could not be read.
        job.err << "quorvex-cli: interfaces: the adapter list cannot be read\n";
        return kExitNotDone;
    }
    return kExitSuccess;
}

}  // namespace quorvex
