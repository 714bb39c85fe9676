#include "search/device_report.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <type_traits>

#include "core/protocol_names.h"
#include "search/device_name.h"
#include "search/text_encoding.h"

namespace quorvex {

namespace {

std::string FamilyLetter(std::int32_t family) {
    switch (family) {
        case 1:
            return "H";
        case 2:
            return "J";
        case 3:
            return "E";
        case kFamilyWsDiscovery:
            return "WS-Discovery";
        default:
            return "";
    }
}

std::string ProtocolNames(const DeviceEntry& entry) {
    // A device only the own protocols heard keeps no list: its protocol is
    // the one.
    if (entry.protocols == 0) return std::string(ProtocolKey(entry.protocol));
    std::string names;
    for (std::int32_t id = 1; id < 16; ++id) {
        const std::string_view name = ProtocolKey(id);
        if ((entry.protocols & (1u << id)) == 0 || name.empty()) continue;
        if (!names.empty()) names += ',';
        names += name;
    }
    return names;
}

constexpr std::size_t kTableColumns = 9;

const std::array<std::string, kTableColumns> kTableTitles = {
    "Kind", "Name",      "Address",  "UID", "System firmware", "Application firmware",
    "MAC",  "Protocols", "Interface"};

std::array<std::string, kTableColumns> TableCells(const DeviceReportRow& row,
                                                  std::string_view outside_mark) {
    std::string address = row.ip + ":" + std::to_string(row.http_port);
    if (row.outside_subnet) address += " (" + std::string(outside_mark) + ")";
    return {TerminalText(row.family),
            TerminalText(row.name),
            TerminalText(address),
            TerminalText(row.uid),
            TerminalText(row.software_version),
            TerminalText(row.web_version),
            TerminalText(row.conflict ? row.mac + " (conflict)" : row.mac),
            TerminalText(row.protocols),
            TerminalText(row.interface_name.empty() ? row.interface : row.interface_name)};
}

// The CSV text of one value; texts made safe for spreadsheets.
std::string CsvValue(const DeviceReportRow& row, const ReportColumn& column) {
    return std::visit(
        [&](auto field) -> std::string {
            const auto& value = row.*field;
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::string>) {
                return CsvField(value);
            } else if constexpr (std::is_same_v<Value, bool>) {
                return value ? "true" : "false";
            } else {
                return std::to_string(value);
            }
        },
        column.field);
}

}  // namespace

DeviceReportRow MakeReportRow(const DeviceEntry& entry, bool outside_subnet,
                              std::string_view interface_name) {
    const DeviceInfo& info = entry.info;
    DeviceReportRow row;
    row.mac = DeviceKey(info);
    row.family = FamilyLetter(entry.family);
    row.protocol = ProtocolKey(entry.protocol);
    row.protocols = ProtocolNames(entry);
    row.name = DeviceNameUtf8(info);
    row.uid = GetText(info.uid);
    row.ip = GetText(info.ip);
    row.mask = GetText(info.mask);
    row.gateway = GetText(info.gateway);
    row.dns1 = GetText(info.dns1);
    row.dns2 = GetText(info.dns2);
    row.http_port = info.http_port;
    row.dhcp = info.dhcp != 0;
    row.software_version = GetText(info.software_version);
    row.web_version = GetText(info.web_version);
    row.user = GetText(info.user);
    row.device_id = GetText(info.device_id);
    row.interface = AddressText(entry.interface_address);
    row.interface_name = std::string(interface_name);
    row.outside_subnet = outside_subnet;
    return row;
}

DeviceReportRow MakeReportRow(const DeviceUpdate& update, std::string_view interface_name) {
    DeviceReportRow row = MakeReportRow(update.entry, update.outside_subnet, interface_name);
    row.mac = TableKeyText(TableKey(update));
    row.conflict = update.mac_conflict;
    if (const WsdInfo* wsd = update.wsd.get()) {
        row.xaddrs = GetText(wsd->xaddrs);
        row.endpoint = GetText(wsd->endpoint);
        row.hardware = GetText(wsd->hardware);
        row.location = GetText(wsd->location);
        row.metadata_version = wsd->metadata_version;
        row.gone = (wsd->flags & kWsdGone) != 0;
    }
    return row;
}

void SortByMac(std::vector<DeviceReportRow>& rows) {
    std::stable_sort(
        rows.begin(), rows.end(),
        [](const DeviceReportRow& a, const DeviceReportRow& b) { return a.mac < b.mac; });
}

std::string FormatTable(const std::vector<DeviceReportRow>& rows, std::string_view outside_mark) {
    std::vector<std::vector<std::string>> lines;
    lines.reserve(rows.size() + 1);
    lines.emplace_back(kTableTitles.begin(), kTableTitles.end());
    for (const DeviceReportRow& row : rows) {
        const auto cells = TableCells(row, outside_mark);
        lines.emplace_back(cells.begin(), cells.end());
    }
    return AlignColumns(lines);
}

std::string FormatJson(const std::vector<DeviceReportRow>& rows) {
    if (rows.empty()) return "[]\n";
    // ordered_json keeps the keys in the order written, so a reader (or a
    // person) sees the same layout as the CSV header.
    std::string out = "[\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const DeviceReportRow& r = rows[i];
        nlohmann::ordered_json o;
        for (const ReportColumn& column : kReportColumns) {
            std::visit(
                [&](auto field) {
                    const auto& value = r.*field;
                    if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                        o[std::string(column.name)] = ToValidUtf8(value);
                    else
                        o[std::string(column.name)] = value;
                },
                column.field);
        }
        out += "  " + o.dump();
        out += i + 1 < rows.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

std::string FormatCsv(const std::vector<DeviceReportRow>& rows, bool byte_order_mark) {
    std::string out = byte_order_mark ? "\xEF\xBB\xBF" : "";
    for (const ReportColumn& column : kReportColumns) {
        if (&column != &kReportColumns.front()) out += ',';
        out += column.name;
    }
    out += "\r\n";
    for (const DeviceReportRow& r : rows) {
        for (const ReportColumn& column : kReportColumns) {
            if (&column != &kReportColumns.front()) out += ',';
            out += CsvValue(r, column);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace quorvex
