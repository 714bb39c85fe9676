#include "search/get_net_config.h"

#include <algorithm>
#include <cstdint>

#include "core/ipv4_subnet.h"

namespace quorvex {

namespace {

// `prefix`: `ip` up to and including its last dot; empty without a dot.
void SetPrefix(LocalInterface& record) {
    const std::string_view ip = GetText(record.ip);
    const std::size_t last_dot = ip.rfind('.');
    SetText(record.prefix,
            last_dot == std::string_view::npos ? std::string_view{} : ip.substr(0, last_dot + 1));
}

void SetAddress(LocalInterface& record, const AdapterAddress& address) {
    SetText(record.ip, AddressText(address.address));
    SetText(record.mask,
            AddressText(PrefixMask(static_cast<int>(std::min(address.prefix_length, 32u)))));
    SetPrefix(record);
}

// Fills a zeroed record from one adapter's values, its first address only;
// returns whether that address is leased. A single name server leaves
// "0.0.0.0" in `dns2`, so that the field always holds one address.
bool FillRecord(const std::optional<AdapterValues>& values, LocalInterface& record) {
    record = {};
    if (!values) return false;
    if (values->gateway) SetText(record.gateway, AddressText(*values->gateway));
    const std::vector<std::uint32_t>& servers = values->name_servers;
    if (!servers.empty()) {
        SetText(record.dns1, AddressText(servers[0]));
        SetText(record.dns2, AddressText(servers.size() > 1 ? servers[1] : 0));
    }
    if (values->addresses.empty()) return false;
    SetAddress(record, values->addresses.front());
    return values->addresses.front().dhcp;
}

// The records of one adapter: one per IPv4 address, each with the adapter's
// gateway, name servers and name; a single record without an address when
// the adapter has none (or no values at all), so that a chosen adapter always
// counts.
std::vector<AddressSettings> AdapterRecords(std::string_view name,
                                            const std::optional<AdapterValues>& values) {
    AddressSettings base;
    base.dhcp = FillRecord(values, base.record);
    SetText(base.record.name, name);
    if (!values || values->addresses.empty()) return {base};
    std::vector<AddressSettings> records;
    for (const AdapterAddress& address : values->addresses) {
        AddressSettings one = base;
        one.dhcp = address.dhcp;
        SetAddress(one.record, address);
        records.push_back(one);
    }
    return records;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

const char* AdapterChoiceText(AdapterChoice choice) {
    switch (choice) {
        case AdapterChoice::kSkipped:
            return "skipped";
        case AdapterChoice::kPci:
            return "PCI";
        case AdapterChoice::kHyperV:
            return "Hyper-V";
        case AdapterChoice::kWireless:
            return "wireless";
        case AdapterChoice::kListed:
            return "listed";
        case AdapterChoice::kNotListed:
            return "not listed";
    }
    return "";
}

GetNetConfig::GetNetConfig(const AdapterSource& source, std::vector<std::string> interface_names)
    : source_(source), interface_names_(std::move(interface_names)) {}

AdapterChoice GetNetConfig::ChooseAutomatically(const Adapter& adapter) {
    if (Contains(adapter.description, "PCI")) return AdapterChoice::kPci;
    if (Contains(adapter.description, "Hyper-V")) return AdapterChoice::kHyperV;
    if (adapter.type == kAdapterTypeWireless && !Contains(adapter.description, "Microsoft")) {
        return AdapterChoice::kWireless;
    }
    return AdapterChoice::kSkipped;
}

std::vector<Adapter> GetNetConfig::Chosen(const std::vector<Adapter>& chain) const {
    std::vector<Adapter> chosen;
    if (interface_names_.empty()) {
        for (const Adapter& adapter : chain) {
            if (ChooseAutomatically(adapter) != AdapterChoice::kSkipped) chosen.push_back(adapter);
        }
        return chosen;
    }
    for (const std::string& name : interface_names_) {
        const auto in_chain = std::find_if(chain.begin(), chain.end(),
                                           [&](const Adapter& a) { return a.name == name; });
        // A name listed twice would open two sockets on one interface and hear
        // every device twice.
        const bool already = std::any_of(chosen.begin(), chosen.end(),
                                         [&](const Adapter& a) { return a.name == name; });
        if (in_chain != chain.end() && !already) chosen.push_back(*in_chain);
    }
    return chosen;
}

int GetNetConfig::GetLocalInterfaces(std::span<LocalInterface> interfaces) const {
    const auto chain = source_.ListAdapters();
    if (!chain) return 0;
    std::size_t count = 0;
    for (const Adapter& adapter : Chosen(*chain)) {
        for (const AddressSettings& one :
             AdapterRecords(adapter.name, source_.ReadValues(adapter.name))) {
            if (count < interfaces.size()) interfaces[count] = one.record;
            ++count;
        }
    }
    return static_cast<int>(count);
}

bool GetNetConfig::ReadInterfaceSettings(std::string_view name, LocalInterface& record) const {
    const bool dhcp = FillRecord(source_.ReadValues(name), record);
    SetText(record.name, name);
    return dhcp;
}

std::vector<AdapterReport> GetNetConfig::ReportAdapters() const {
    std::vector<AdapterReport> reports;
    const auto chain = source_.ListAdapters();
    if (!chain) return reports;
    for (const Adapter& adapter : *chain) {
        AdapterReport report;
        report.adapter = adapter;
        if (interface_names_.empty()) {
            report.choice = ChooseAutomatically(adapter);
        } else {
            const auto listed =
                std::find(interface_names_.begin(), interface_names_.end(), adapter.name);
            report.choice = listed == interface_names_.end() ? AdapterChoice::kNotListed
                                                             : AdapterChoice::kListed;
            if (listed != interface_names_.end()) {
                report.list_position = static_cast<int>(listed - interface_names_.begin());
            }
        }
        report.chosen =
            report.choice != AdapterChoice::kSkipped && report.choice != AdapterChoice::kNotListed;
        const auto values = source_.ReadValues(adapter.name);
        report.has_values = values.has_value();
        report.records = AdapterRecords(adapter.name, values);
        report.dhcp = report.records.front().dhcp;
        report.settings = report.records.front().record;
        reports.push_back(std::move(report));
    }
    return reports;
}

}  // namespace quorvex
