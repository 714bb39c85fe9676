#include "search/device_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "search/device_name.h"

namespace quorvex {
namespace {

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD
const char kPassword[] = "hunter2-secret";

// A binary device outside its subnet whose 70-character name runs from `name`
// on into `reserved`, and a text device whose texts need escaping.
std::vector<DeviceReportRow> Rows() {
    DeviceEntry b{}, t{};
    std::memset(b.info.name, 'N', sizeof b.info.name);
    std::memset(b.info.reserved, 'N', 6);
    SetText(b.info.ip, "192.168.0.64");
    SetText(b.info.password, kPassword);
    const std::uint8_t mac_b[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(b.info.mac, mac_b, 6);
    b.info.http_port = 8080;
    b.info.dhcp = 1;
    b.family = 1;
    b.protocol = kProtocolBinary;
    EXPECT_TRUE(ParseAddress("10.77.1.1", b.interface_address));

    SetText(t.info.name, "Gate \"North\", cam\\1\nline2\xFF");
    SetText(t.info.ip, "10.77.1.20");
    SetText(t.info.device_id, "dev\nid");
    SetText(t.info.web_version, "\xE6\x91\x84\xE5\x83\x8F");  // two CJK characters
    const std::uint8_t mac_t[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x01};
    std::memcpy(t.info.mac, mac_t, 6);
    t.info.http_port = 80;
    t.family = 3;
    t.protocol = kProtocolText;
    EXPECT_TRUE(ParseAddress("10.77.1.1", t.interface_address));
    std::vector<DeviceReportRow> rows = {MakeReportRow(b, true, "eth0"), MakeReportRow(t, false)};
    SortByMac(rows);
    return rows;
}

TEST(DeviceReportRow, ReadsALongNameOnIntoReservedOnlyWhenNameIsFullAndLeavesUnknownCodesEmpty) {
    EXPECT_EQ(Rows()[1].name, std::string(70, 'N'));
    DeviceEntry e{};
    std::memset(e.info.name, 'M', 63);
    SetText(e.info.reserved, "junk");
    e.family = 0;
    e.protocol = 9;
    const DeviceReportRow row = MakeReportRow(e, false);
    EXPECT_EQ(row.name, std::string(63, 'M'));
    EXPECT_EQ(row.family, "");
    EXPECT_EQ(row.protocol, "");

    // An 81-byte Chinese name as the binary field carries it, 80 bytes: the
    // half character at the end goes, no U+FFFD comes in its place.
    std::string chinese;
    for (int i = 0; i < 9; ++i) chinese += "\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA";  // 摄像机
    ASSERT_EQ(chinese.size(), 81u);
    DeviceEntry cut{};
    std::memcpy(cut.info.name, chinese.data(), sizeof cut.info.name);
    std::memcpy(cut.info.reserved, chinese.data() + sizeof cut.info.name,
                80 - sizeof cut.info.name);
    const DeviceReportRow cut_row = MakeReportRow(cut, false);
    EXPECT_EQ(cut_row.name, chinese.substr(0, 78));
    for (const std::string& out : {FormatCsv({cut_row}), FormatJson({cut_row})})
        EXPECT_EQ(out.find(kR), std::string::npos) << out;
    // A right-to-left override would turn "gnp.exe" into "exe.png" and the
    // cells after it around; the window drops it, and so does every output.
    DeviceEntry bidi{};
    SetText(bidi.info.name, "Cam \xE2\x80\xAEgnp.exe\xE2\x81\xA6x\xE2\x81\xA9");
    const DeviceReportRow bidi_row = MakeReportRow(bidi, false);
    EXPECT_EQ(bidi_row.name, "Cam gnp.exex");
    EXPECT_EQ(bidi_row.name, DeviceNameUtf8(bidi.info));
    EXPECT_NE(FormatTable({bidi_row}, "outside").find("Cam gnp.exex"), std::string::npos);
}

// A camera only WS-Discovery heard, without MAC, and one the text protocol
// and WS-Discovery both heard: the key, the protocols and what WS-Discovery
// said come from the update, in every format.
TEST(DeviceReportRow, CarriesTheProtocolsAndWhatWsDiscoverySaidOfADevice) {
    DeviceUpdate only;
    only.entry.family = kFamilyWsDiscovery;
    only.entry.protocol = kProtocolWsDiscovery;
    only.entry.protocols = 1u << kProtocolWsDiscovery;
    SetText(only.entry.info.ip, "10.77.1.30");
    auto details = std::make_shared<WsdInfo>();
    SetText(details->endpoint, "urn:uuid:0001");
    SetText(details->xaddrs, "http://10.77.1.30:80/onvif/device_service https://cam:443/onvif");
    SetText(details->hardware, "QX-200/B");
    SetText(details->location, "city/Oslo");
    details->metadata_version = 7;
    details->flags = kWsdGone;
    only.wsd = details;
    const DeviceReportRow row = MakeReportRow(only);
    EXPECT_EQ(row.mac, TableKeyText(WsdTableKey("urn:uuid:0001", 0)));
    EXPECT_EQ(row.family + " " + row.protocol + " " + row.protocols, "WS-Discovery wsd wsd");
    EXPECT_EQ(row.hardware + " " + row.location, "QX-200/B city/Oslo");
    EXPECT_EQ(row.metadata_version, 7u);
    EXPECT_TRUE(row.gone);

    DeviceUpdate both = only;
    both.entry.family = 3;
    both.entry.protocol = kProtocolText;
    both.entry.protocols |= 1u << kProtocolText;
    both.entry.info.mac[5] = 0x42;
    both.mac_conflict = true;
    const DeviceReportRow merged = MakeReportRow(both, "eth0");
    EXPECT_EQ(merged.mac, "00-00-00-00-00-42");
    EXPECT_EQ(merged.protocols, "text,wsd");

    const std::string csv = FormatCsv({row, merged});
    EXPECT_NE(csv.find(",http://10.77.1.30:80/onvif/device_service https://cam:443/onvif,QX-200/B,"
                       "city/Oslo,7,true,"),
              std::string::npos)
        << csv;
    EXPECT_TRUE(csv.ends_with(",eth0,false,true,urn:uuid:0001\r\n")) << csv;
    const auto json = nlohmann::json::parse(FormatJson({row, merged}));
    EXPECT_EQ(json[1]["protocols"], "text,wsd");
    EXPECT_EQ(json[0]["gone"], true);
    EXPECT_EQ(json[0]["conflict"], false);
    EXPECT_EQ(json[1]["conflict"], true);
    EXPECT_EQ(json[0]["endpoint"], "urn:uuid:0001");
    const std::string table = FormatTable({row, merged}, "outside");
    EXPECT_NE(table.find("WS-Discovery"), std::string::npos) << table;
    EXPECT_NE(table.find("00-00-00-00-00-42 (conflict)  text,wsd   eth0\n"), std::string::npos)
        << table;
}

TEST(DeviceReportFormats, NeverPrintThePassword) {
    const auto rows = Rows();
    EXPECT_EQ(FormatJson(rows).find(kPassword), std::string::npos);
    EXPECT_EQ(FormatCsv(rows).find(kPassword), std::string::npos);
    EXPECT_EQ(FormatTable(rows, "outside").find(kPassword), std::string::npos);
}

TEST(DeviceReportFormats, WriteTypedJsonAndCsvWithTheInterfaceAndATableThatMarksOutsideAddresses) {
    EXPECT_EQ(FormatJson({}), "[]\n");
    // The names and order scripts rely on; new fields only at the end.
    const std::string csv = FormatCsv({});
    EXPECT_EQ(
        csv,
        "mac,family,protocol,protocols,name,uid,ip,mask,gateway,dns1,dns2,http_port,dhcp,"
        "software_version,web_version,user,device_id,xaddrs,hardware,location,"
        "metadata_version,gone,interface,interface_name,outside_subnet,conflict,endpoint\r\n");
    EXPECT_EQ(FormatCsv({}, true), "\xEF\xBB\xBF" + csv);

    const std::string json = FormatJson(Rows());
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 4);  // [, two devices, ]
    const auto parsed = nlohmann::json::parse(json);
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0]["http_port"], 80);
    EXPECT_EQ(parsed[0]["dhcp"], false);
    // A name keeps no control character; other texts are escaped.
    EXPECT_EQ(parsed[0]["name"], "Gate \"North\", cam\\1line2" + kR);
    EXPECT_EQ(parsed[0]["device_id"], "dev\nid");
    EXPECT_EQ(parsed[0]["interface_name"], "");
    EXPECT_EQ(parsed[1]["http_port"], 8080);
    EXPECT_EQ(parsed[1]["outside_subnet"], true);
    EXPECT_EQ(parsed[1]["interface"], "10.77.1.1");
    EXPECT_EQ(parsed[1]["interface_name"], "eth0");

    const std::string rows_csv = FormatCsv(Rows());
    EXPECT_NE(rows_csv.find(",10.77.1.1,eth0,true,false,\r\n"), std::string::npos) << rows_csv;

    // Every address shows; the one outside its subnet carries the mark, and
    // the interface is named where its name is known.
    const std::string table = FormatTable(Rows(), "outside the subnet");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;
    EXPECT_NE(table.find("10.77.1.20:80  "), std::string::npos) << table;
    EXPECT_NE(table.find("192.168.0.64:8080 (outside the subnet)"), std::string::npos);
    EXPECT_NE(table.find("  eth0\n"), std::string::npos);
    EXPECT_NE(table.find("  10.77.1.1\n"), std::string::npos) << table;
}

}  // namespace
}  // namespace quorvex
