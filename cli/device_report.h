#pragma once

// The device list as the command-line tool prints it: an aligned table with
// the window's seven columns plus the interface, one JSON array, or CSV with a
// header row. Device passwords are never part of a report.

#include <cstdint>
#include <string>
#include <vector>

#include "core/device_records.h"

namespace quorvex {

// One device, flattened to the fields that every format prints. Texts are the
// device's raw bytes; each format makes them valid UTF-8 and escapes them.
struct DeviceReportRow {
    std::string mac;       // device key, "00-1A-2B-3C-4D-5E"
    std::string family;    // "H", "J", "E", or empty for an unknown code
    std::string protocol;  // "binary", "text", or empty for an unknown id
    std::string name;      // may run on into `reserved` (binary names of 64..79)
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
    std::string interface;  // dotted address of the interface that heard it
    bool outside_subnet = false;
};

// Builds the row of one stored entry; `outside_subnet` is the search
// manager's verdict for it.
DeviceReportRow MakeReportRow(const DeviceEntry& entry, bool outside_subnet);

// Sorts rows by device key, which orders them by MAC address.
void SortByMac(std::vector<DeviceReportRow>& rows);

// The aligned table. `outside_note` stands in the address column of a device
// outside its interface's subnet, as in the window. Ends with a newline; a
// header line alone when there are no rows.
std::string FormatTable(const std::vector<DeviceReportRow>& rows, const std::string& outside_note);

// One JSON array, one object per line, keys in a fixed order. "[]" when empty.
std::string FormatJson(const std::vector<DeviceReportRow>& rows);

// RFC 4180: a header row, then one record per row, CRLF line ends.
std::string FormatCsv(const std::vector<DeviceReportRow>& rows);

}  // namespace quorvex
