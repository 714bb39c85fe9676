#include <bit>
#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/jobs.h"
#include "search/get_net_config.h"
#include "search/linux_adapters.h"
#include "search/text_encoding.h"

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
        // Keys as `ip -j` users expect them: ifname, and the prefix as a
        // length; the kind is a word.
        std::string text = reports.empty() ? "[]\n" : "[\n";
        for (std::size_t i = 0; i < reports.size(); ++i) {
            const AdapterReport& r = reports[i];
            const LocalInterface& s = r.settings;
            nlohmann::ordered_json o;
            o["ifname"] = ToValidUtf8(r.adapter.name);
            o["kind"] = TypeName(r.adapter.type);
            o["description"] = ToValidUtf8(r.adapter.description);
            o["chosen"] = r.chosen;
            o["reason"] = Reason(r);
            const auto address = [](const LocalInterface& one, nlohmann::ordered_json& to) {
                to["ip"] = ToValidUtf8(GetText(one.ip));
                std::uint32_t mask = 0;
                if (ParseAddress(GetText(one.mask), mask))
                    to["prefix_length"] = std::popcount(mask);
                else
                    to["prefix_length"] = nullptr;
                to["mask"] = ToValidUtf8(GetText(one.mask));
            };
            address(s, o);
            o["gateway"] = ToValidUtf8(GetText(s.gateway));
            o["dns1"] = ToValidUtf8(GetText(s.dns1));
            o["dns2"] = ToValidUtf8(GetText(s.dns2));
            o["dhcp"] = r.dhcp;
            // The fields above describe the first address; every address,
            // the first included, is listed here.
            o["addresses"] = nlohmann::ordered_json::array();
            for (std::size_t a = 0; a < r.records.size(); ++a) {
                const LocalInterface& one = r.records[a].record;
                if (GetText(one.ip).empty()) continue;
                nlohmann::ordered_json entry;
                address(one, entry);
                entry["dhcp"] = r.records[a].dhcp;
                o["addresses"].push_back(entry);
            }
            text += "  " + o.dump() + (i + 1 < reports.size() ? ",\n" : "\n");
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
