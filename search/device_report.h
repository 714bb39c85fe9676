#pragma once

// The device list as both front-ends write it: an aligned table with the
// window's seven columns plus the interface, one JSON array, or CSV with a
// header row. The window's export and quorvex-cli write the same fields with
// the same encoding through these functions. Device passwords are never part
// of a report.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/device_records.h"
#include "search/device_update.h"

namespace quorvex {

// One device, flattened to the fields that every format prints. Texts are the
// device's raw bytes; each format makes them valid UTF-8 and escapes them.
struct DeviceReportRow {
    std::string mac;     // device key, "00-1A-2B-3C-4D-5E" ("WSD-..." without a MAC)
    std::string family;  // "H", "J", "E", "WS-Discovery", or empty for an unknown code
    // The protocol that owns the record: "binary", "text", "wsd", or empty
    // for an unknown id.
    std::string protocol;
    // Every protocol that heard the device, in that spelling, joined by
    // commas in id order ("text,wsd").
    std::string protocols;
    std::string name;  // may run on into `reserved` (binary names of 64..79)
    std::string uid;
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
    std::uint16_t http_port = 0;
    bool dhcp = false;
    std::string software_version;
    std::string web_version;
    std::string user;
    std::string device_id;
    // What WS-Discovery said (empty, 0 and false for a device it never heard):
    // every service address, blank-separated; the hardware and location
    // scopes; the metadata version; whether the device said Bye.
    std::string xaddrs;
    std::string hardware;
    std::string location;
    std::uint32_t metadata_version = 0;
    bool gone = false;
    std::string interface;       // dotted address of the interface that heard it
    std::string interface_name;  // its adapter name ("eth0"), empty when unknown
    bool outside_subnet = false;
    // Its MAC answered with different addresses or from different senders
    // within one search (`DeviceUpdate::mac_conflict`).
    bool conflict = false;
    // The endpoint reference WS-Discovery gave it ("urn:uuid:..."), the
    // identity that stays when its address changes; empty when never heard.
    std::string endpoint;
};

// One field of the JSON object and the CSV row: its name, which is the JSON
// key and the CSV header, and the row member it shows. Texts are written as
// strings, numbers as numbers, flags as true or false.
struct ReportColumn {
    std::string_view name;
    std::variant<std::string DeviceReportRow::*, std::uint16_t DeviceReportRow::*,
                 std::uint32_t DeviceReportRow::*, bool DeviceReportRow::*>
        field;
};

// Every field in the order both formats write it. Scripts read these names
// and this order: a new field goes at the end.
inline constexpr std::array<ReportColumn, 27> kReportColumns = {{
    {"mac", &DeviceReportRow::mac},
    {"family", &DeviceReportRow::family},
    {"protocol", &DeviceReportRow::protocol},
    {"protocols", &DeviceReportRow::protocols},
    {"name", &DeviceReportRow::name},
    {"uid", &DeviceReportRow::uid},
    {"ip", &DeviceReportRow::ip},
    {"mask", &DeviceReportRow::mask},
    {"gateway", &DeviceReportRow::gateway},
    {"dns1", &DeviceReportRow::dns1},
    {"dns2", &DeviceReportRow::dns2},
    {"http_port", &DeviceReportRow::http_port},
    {"dhcp", &DeviceReportRow::dhcp},
    {"software_version", &DeviceReportRow::software_version},
    {"web_version", &DeviceReportRow::web_version},
    {"user", &DeviceReportRow::user},
    {"device_id", &DeviceReportRow::device_id},
    {"xaddrs", &DeviceReportRow::xaddrs},
    {"hardware", &DeviceReportRow::hardware},
    {"location", &DeviceReportRow::location},
    {"metadata_version", &DeviceReportRow::metadata_version},
    {"gone", &DeviceReportRow::gone},
    {"interface", &DeviceReportRow::interface},
    {"interface_name", &DeviceReportRow::interface_name},
    {"outside_subnet", &DeviceReportRow::outside_subnet},
    {"conflict", &DeviceReportRow::conflict},
    {"endpoint", &DeviceReportRow::endpoint},
}};

// Builds the row of one stored entry; `outside_subnet` is the search
// manager's verdict for it, `interface_name` the name of the adapter whose
// address is `entry.interface_address`.
DeviceReportRow MakeReportRow(const DeviceEntry& entry, bool outside_subnet,
                              std::string_view interface_name = {});
// The row of a device as the search manager hands it out, with what
// WS-Discovery said of it.
DeviceReportRow MakeReportRow(const DeviceUpdate& update, std::string_view interface_name = {});

// Sorts rows by device key, which orders them by MAC address.
void SortByMac(std::vector<DeviceReportRow>& rows);

// The aligned table (the window's columns, the protocols, the interface).
// The address column always shows the device's address
// and port; "(outside_mark)" follows it for a device outside its interface's
// subnet, and "(conflict)" follows the MAC of a device in MAC conflict. The
// interface column shows the adapter name (its address when the name is
// unknown). Ends with a newline; a header line alone without rows.
std::string FormatTable(const std::vector<DeviceReportRow>& rows, std::string_view outside_mark);

// One JSON array, one object per line, keyed as `kReportColumns` in its
// order. "[]" when empty.
std::string FormatJson(const std::vector<DeviceReportRow>& rows);

// RFC 4180: a header row of the `kReportColumns` names, then one record per
// row, CRLF line ends; fields are
// made safe for spreadsheets (see CsvField). With `byte_order_mark` the text
// starts with U+FEFF, which some spreadsheets need to read UTF-8.
std::string FormatCsv(const std::vector<DeviceReportRow>& rows, bool byte_order_mark = false);

}  // namespace quorvex
