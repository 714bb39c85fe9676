#include "search/device_report.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>

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

std::string ProtocolName(std::int32_t protocol) {
    if (protocol == kProtocolBinary) return "binary";
    if (protocol == kProtocolText) return "text";
    if (protocol == kProtocolWsDiscovery) return "wsd";
    return "";
}

std::string ProtocolNames(const DeviceEntry& entry) {
    // A device only the own protocols heard keeps no list: its protocol is
    // the one.
    if (entry.protocols == 0) return ProtocolName(entry.protocol);
    std::string names;
    for (std::int32_t id = 1; id < 16; ++id) {
        const std::string name = ProtocolName(id);
        if ((entry.protocols & (1u << id)) == 0 || name.empty()) continue;
        if (!names.empty()) names += ',';
        names += name;
    }
    return names;
}

// A name that fills `name` to its last byte has no terminator there and goes
// on in `reserved`: the binary protocol's name field is 80 bytes wide.
std::string FullName(const DeviceInfo& info) {
    std::string name(GetText(info.name));
    if (name.size() == sizeof info.name) name += GetText(info.reserved);
    return name;
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
            TerminalText(row.mac),
            TerminalText(row.protocols),
            TerminalText(row.interface_name.empty() ? row.interface : row.interface_name)};
}

const char* const kCsvHeader =
    "mac,family,protocol,protocols,name,uid,ip,mask,gateway,dns1,dns2,http_port,dhcp,"
    "software_version,web_version,user,device_id,xaddrs,hardware,location,metadata_version,gone,"
    "interface,interface_name,outside_subnet\r\n";

}  // namespace

DeviceReportRow MakeReportRow(const DeviceEntry& entry, bool outside_subnet,
                              std::string_view interface_name) {
    const DeviceInfo& info = entry.info;
    DeviceReportRow row;
    row.mac = DeviceKey(info);
    row.family = FamilyLetter(entry.family);
    row.protocol = ProtocolName(entry.protocol);
    row.protocols = ProtocolNames(entry);
    row.name = FullName(info);
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
    if (const WsdInfo* wsd = update.wsd.get()) {
        row.xaddrs = GetText(wsd->xaddrs);
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
        const auto text = [&](const char* key, const std::string& value) {
            o[key] = ToValidUtf8(value);
        };
        text("mac", r.mac);
        text("family", r.family);
        text("protocol", r.protocol);
        text("protocols", r.protocols);
        text("name", r.name);
        text("uid", r.uid);
        text("ip", r.ip);
        text("mask", r.mask);
        text("gateway", r.gateway);
        text("dns1", r.dns1);
        text("dns2", r.dns2);
        o["http_port"] = r.http_port;
        o["dhcp"] = r.dhcp;
        text("software_version", r.software_version);
        text("web_version", r.web_version);
        text("user", r.user);
        text("device_id", r.device_id);
        text("xaddrs", r.xaddrs);
        text("hardware", r.hardware);
        text("location", r.location);
        o["metadata_version"] = r.metadata_version;
        o["gone"] = r.gone;
        text("interface", r.interface);
        text("interface_name", r.interface_name);
        o["outside_subnet"] = r.outside_subnet;
        out += "  " + o.dump();
        out += i + 1 < rows.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

std::string FormatCsv(const std::vector<DeviceReportRow>& rows, bool byte_order_mark) {
    std::string out = byte_order_mark ? "\xEF\xBB\xBF" : "";
    out += kCsvHeader;
    for (const DeviceReportRow& r : rows) {
        const std::string fields[] = {CsvField(r.mac),
                                      CsvField(r.family),
                                      CsvField(r.protocol),
                                      CsvField(r.protocols),
                                      CsvField(r.name),
                                      CsvField(r.uid),
                                      CsvField(r.ip),
                                      CsvField(r.mask),
                                      CsvField(r.gateway),
                                      CsvField(r.dns1),
                                      CsvField(r.dns2),
                                      std::to_string(r.http_port),
                                      r.dhcp ? "true" : "false",
                                      CsvField(r.software_version),
                                      CsvField(r.web_version),
                                      CsvField(r.user),
                                      CsvField(r.device_id),
                                      CsvField(r.xaddrs),
                                      CsvField(r.hardware),
                                      CsvField(r.location),
                                      std::to_string(r.metadata_version),
                                      r.gone ? "true" : "false",
                                      CsvField(r.interface),
                                      CsvField(r.interface_name),
                                      r.outside_subnet ? "true" : "false"};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0) out += ',';
            out += fields[i];
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace quorvex
