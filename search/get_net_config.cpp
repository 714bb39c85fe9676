#include "search/get_net_config.h"

#include <algorithm>
#include <cstdint>

#include "core/ipv4_subnet.h"

namespace quorvex {

namespace {

// A text value as a fixed buffer read of it yields: the first of several
// zero-separated strings.
std::optional<std::string_view> FirstString(const AdapterValues& values, std::string_view name) {
    const auto it = values.texts.find(name);
    if (it == values.texts.end()) return std::nullopt;
    std::string_view text = it->second;
    return text.substr(0, text.find('\0'));
}

// A single address: the text up to its first blank.
template <std::size_t N>
void ReadSingle(const AdapterValues& values, std::string_view name, char (&field)[N]) {
    const auto text = FirstString(values, name);
    if (!text) return;
    SetText(field, text->substr(0, text->find(' ')));
}

// `prefix`: `ip` up to and including its last dot; empty without a dot.
void SetPrefix(LocalInterface& record) {
    const std::string_view ip = GetText(record.ip);
    const std::size_t last_dot = ip.rfind('.');
    SetText(record.prefix,
            last_dot == std::string_view::npos ? std::string_view{} : ip.substr(0, last_dot + 1));
}

// Name servers: the first two blank-separated servers. A list of three or more
// gives the second alone in `dns2`, so that the field always holds one address.
void ReadNameServers(const AdapterValues& values, std::string_view name, LocalInterface& record) {
    const auto text = FirstString(values, name);
    if (!text) return;
    const std::size_t blank = text->find(' ');
    if (blank == std::string_view::npos) {
        SetText(record.dns1, *text);
        SetText(record.dns2, "0.0.0.0");
        return;
    }
    SetText(record.dns1, text->substr(0, blank));
    const std::string_view rest = text->substr(blank + 1);
    SetText(record.dns2, rest.substr(0, rest.find(' ')));
}

// Fills a zeroed record from one adapter's values; returns the DHCP flag.
bool FillRecord(const std::optional<AdapterValues>& values, LocalInterface& record) {
    record = {};
    if (!values) return false;
    const auto dhcp_value = values->numbers.find("EnableDHCP");
    const bool dhcp = dhcp_value != values->numbers.end() && dhcp_value->second != 0;
    ReadSingle(*values, dhcp ? "DhcpIPAddress" : "IPAddress", record.ip);
    ReadSingle(*values, dhcp ? "DhcpDefaultGateway" : "DefaultGateway", record.gateway);
    ReadSingle(*values, dhcp ? "DhcpSubnetMask" : "SubnetMask", record.mask);
    ReadNameServers(*values, dhcp ? "DhcpNameServer" : "NameServer", record);
    SetPrefix(record);
    return dhcp;
}

// The zero-separated strings of a text value; empty when it is missing.
std::vector<std::string_view> Strings(const AdapterValues& values, std::string_view name) {
    std::vector<std::string_view> strings;
    const auto it = values.texts.find(name);
    if (it == values.texts.end()) return strings;
    std::string_view text = it->second;
    for (;;) {
        const std::size_t zero = text.find('\0');
        strings.push_back(text.substr(0, zero));
        if (zero == std::string_view::npos) break;
        text.remove_prefix(zero + 1);
    }
    return strings;
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
    std::vector<AddressSettings> records;
    if (values && !values->addresses.empty()) {
        for (const AdapterAddress& address : values->addresses) {
            AddressSettings one = base;
            one.dhcp = address.dhcp;
            SetText(one.record.ip, AddressText(address.address));
            SetText(
                one.record.mask,
                AddressText(PrefixMask(static_cast<int>(std::min(address.prefix_length, 32u)))));
            SetPrefix(one.record);
            records.push_back(one);
        }
        return records;
    }
    // Values in the registry's shape: several addresses are zero-separated
    // strings, their masks the strings of the mask value in the same order.
    const std::vector<std::string_view> ips =
        values ? Strings(*values, base.dhcp ? "DhcpIPAddress" : "IPAddress")
               : std::vector<std::string_view>{};
    const std::vector<std::string_view> masks =
        values ? Strings(*values, base.dhcp ? "DhcpSubnetMask" : "SubnetMask")
               : std::vector<std::string_view>{};
    records.push_back(base);
    for (std::size_t i = 1; i < ips.size(); ++i) {
        // A multi-string ends in empty strings; they are no addresses.
        if (ips[i].empty()) continue;
        AddressSettings one = base;
        SetText(one.record.ip, ips[i].substr(0, ips[i].find(' ')));
        SetText(one.record.mask, i < masks.size() ? masks[i].substr(0, masks[i].find(' ')) : "");
        SetPrefix(one.record);
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

int GetNetConfig::GetLocalInterfaces(LocalInterface* interfaces, int capacity) const {
    const auto chain = source_.ListAdapters();
    if (!chain) return 0;
    std::size_t count = 0;
    const std::size_t room = interfaces == nullptr ? 0 : std::max(capacity, 0);
    for (const Adapter& adapter : Chosen(*chain)) {
        for (const AddressSettings& one :
             AdapterRecords(adapter.name, source_.ReadValues(adapter.name))) {
            if (count < room) interfaces[count] = one.record;
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
