#include "cli/device_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/cli/report_readers.h"

namespace quorvex {
namespace {

using testing::DeviceFields;
using testing::Keys;
using testing::ReadCsv;
using testing::ReadJson;

const std::string kReplacement = "\xEF\xBF\xBD";
const char kPassword[] = "hunter2-secret";

std::uint32_t Address(const char* dotted) {
    std::uint32_t a = 0;
    EXPECT_TRUE(ParseAddress(dotted, a));
    return a;
}

// A binary-protocol device as its answer leaves it: a 70-character name runs
// from `name` on into `reserved`, the answer carried the password.
DeviceEntry BinaryDevice() {
    DeviceEntry e{};
    const std::string name70(70, 'N');
    std::memcpy(e.info.name, name70.data(), 64);
    std::memcpy(e.info.reserved, name70.data() + 64, 6);
    SetText(e.info.uid, "UID-BIN-0001");
    SetText(e.info.ip, "192.168.0.64");
    SetText(e.info.mask, "255.255.255.0");
    SetText(e.info.gateway, "192.168.0.1");
    SetText(e.info.dns1, "8.8.8.8");
    SetText(e.info.dns2, "");
    SetText(e.info.software_version, "67.1.61.5");
    SetText(e.info.web_version, "2.0.1");
    SetText(e.info.user, "admin");
    SetText(e.info.password, kPassword);
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(e.info.mac, mac, 6);
    e.info.http_port = 8080;
    e.info.dhcp = 1;
    e.info.aux_flag = 7;
    e.row = -1;
    e.family = 1;
    e.protocol = kProtocolBinary;
    e.interface_address = Address("10.77.1.1");
    return e;
}

// A text-protocol device whose texts need escaping in every format.
DeviceEntry TextDevice() {
    DeviceEntry e{};
    SetText(e.info.name, "Gate \"North\", cam\\1\nline2\xFF");
    SetText(e.info.uid, "uid,with,commas");
    SetText(e.info.ip, "10.77.1.20");
    SetText(e.info.mask, "255.255.255.0");
    SetText(e.info.gateway, "10.77.1.1");
    SetText(e.info.dns1, "10.77.1.1");
    SetText(e.info.dns2, "0.0.0.0");
    SetText(e.info.software_version, "V5.5.0");
    SetText(e.info.web_version, "\xE6\x91\x84\xE5\x83\x8F");
    SetText(e.info.user, "admin");
    SetText(e.info.device_id, "001A2B3C4D01");
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x01};
    std::memcpy(e.info.mac, mac, 6);
    e.info.http_port = 80;
    e.family = 3;
    e.protocol = kProtocolText;
    e.interface_address = Address("10.77.1.1");
    return e;
}

std::vector<DeviceReportRow> SortedRows() {
    std::vector<DeviceReportRow> rows = {MakeReportRow(BinaryDevice(), true),
                                         MakeReportRow(TextDevice(), false)};
    SortByMac(rows);
    return rows;
}

TEST(DeviceReportRow, ReadsALongNameOnIntoReservedOnlyWhenNameIsFull) {
    EXPECT_EQ(MakeReportRow(BinaryDevice(), true).name, std::string(70, 'N'));
    // 63 characters end inside `name`; whatever `reserved` holds is not read.
    DeviceEntry e = BinaryDevice();
    std::memset(e.info.name, 0, sizeof e.info.name);
    std::memset(e.info.name, 'M', 63);
    SetText(e.info.reserved, "junk");
    EXPECT_EQ(MakeReportRow(e, false).name, std::string(63, 'M'));
    // Codes the window cannot show stay empty rather than guessed.
    e.family = 0;
    e.protocol = 9;
    EXPECT_EQ(MakeReportRow(e, false).family, "");
    EXPECT_EQ(MakeReportRow(e, false).protocol, "");
}

TEST(DeviceReportFormats, NeverPrintThePassword) {
    const auto rows = SortedRows();
    EXPECT_EQ(FormatJson(rows).find(kPassword), std::string::npos);
    EXPECT_EQ(FormatCsv(rows).find(kPassword), std::string::npos);
    EXPECT_EQ(FormatTable(rows, "outside").find(kPassword), std::string::npos);
}

TEST(DeviceReportJson, IsOneArrayWithTheFixedKeysAndTypedValues) {
    EXPECT_EQ(FormatJson({}), "[]\n");

    const std::string text = FormatJson(SortedRows());
    const auto tree = ReadJson(text);
    ASSERT_TRUE(tree) << text;
    ASSERT_EQ(tree->size(), 2u);
    std::vector<boost::property_tree::ptree> devices;
    for (const auto& item : *tree) {
        EXPECT_EQ(item.first, "");  // array element
        EXPECT_EQ(Keys(item.second), DeviceFields());
        devices.push_back(item.second);
    }
    // Sorted by MAC: ...-4D-01 before ...-4D-5E.
    const auto& t = devices[0];
    EXPECT_EQ(t.get<std::string>("mac"), "00-1A-2B-3C-4D-01");
    EXPECT_EQ(t.get<std::string>("name"), "Gate \"North\", cam\\1\nline2" + kReplacement);
    EXPECT_EQ(t.get<std::string>("uid"), "uid,with,commas");
    EXPECT_EQ(t.get<std::string>("web_version"), "\xE6\x91\x84\xE5\x83\x8F");
    EXPECT_EQ(t.get<std::string>("protocol"), "text");
    const auto& b = devices[1];
    EXPECT_EQ(b.get<std::string>("name"), std::string(70, 'N'));
    EXPECT_EQ(b.get<std::string>("dns2"), "");
    EXPECT_EQ(b.get<std::string>("interface"), "10.77.1.1");

    // Numbers and booleans are JSON numbers and booleans, not strings.
    EXPECT_NE(text.find("\"http_port\": 8080, \"dhcp\": true,"), std::string::npos);
    EXPECT_NE(text.find("\"http_port\": 80, \"dhcp\": false,"), std::string::npos);
    EXPECT_NE(text.find("\"outside_subnet\": true}"), std::string::npos);
    EXPECT_NE(text.find("\"outside_subnet\": false}"), std::string::npos);
    // One device per line: the newline inside the name is escaped.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

TEST(DeviceReportCsv, HasAHeaderRowAndQuotesPerRfc4180) {
    const std::string text = FormatCsv(SortedRows());
    const auto records = ReadCsv(text);
    ASSERT_TRUE(records) << text;
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ((*records)[0], DeviceFields());

    const auto& t = (*records)[1];
    ASSERT_EQ(t.size(), DeviceFields().size());
    EXPECT_EQ(t[0], "00-1A-2B-3C-4D-01");
    EXPECT_EQ(t[3], "Gate \"North\", cam\\1\nline2" + kReplacement);
    EXPECT_EQ(t[4], "uid,with,commas");
    EXPECT_EQ(t[10], "80");
    EXPECT_EQ(t[11], "false");
    EXPECT_EQ(t[15], "001A2B3C4D01");
    EXPECT_EQ(t[17], "false");

    const auto& b = (*records)[2];
    EXPECT_EQ(b[1], "H");
    EXPECT_EQ(b[2], "binary");
    EXPECT_EQ(b[3], std::string(70, 'N'));
    EXPECT_EQ(b[9], "");
    EXPECT_EQ(b[10], "8080");
    EXPECT_EQ(b[11], "true");
    EXPECT_EQ(b[16], "10.77.1.1");
    EXPECT_EQ(b[17], "true");

    EXPECT_EQ(FormatCsv({}), text.substr(0, text.find("\r\n") + 2));
}

TEST(DeviceReportTable, ShowsTheWindowColumnsAlignedAndSafeForATerminal) {
    const std::string table = FormatTable(SortedRows(), "outside the subnet");
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = table.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(table.substr(start, end - start));
    ASSERT_EQ(lines.size(), 3u) << table;  // the name's newline did not break its row

    EXPECT_EQ(lines[0].rfind("Kind", 0), 0u);
    EXPECT_NE(lines[1].find("10.77.1.20:80"), std::string::npos);
    EXPECT_NE(lines[1].find("Gate \"North\", cam\\1" + kReplacement + "line2" + kReplacement),
              std::string::npos);
    // The device outside its subnet shows the note instead of its address.
    EXPECT_NE(lines[2].find("outside the subnet"), std::string::npos);
    EXPECT_EQ(lines[2].find("192.168.0.64"), std::string::npos);
    EXPECT_NE(lines[2].find("00-1A-2B-3C-4D-5E  10.77.1.1"), std::string::npos);

    // The MAC column starts at the same place on both device lines.
    const std::size_t mac1 = lines[1].find("00-1A-2B-3C-4D-01");
    const std::size_t mac2 = lines[2].find("00-1A-2B-3C-4D-5E");
    ASSERT_NE(mac1, std::string::npos);
    // Before its MAC, line 1 holds two replacement characters (3 bytes, 1
    // column each) and two CJK characters (3 bytes, 2 columns each): 6 bytes
    // more than columns. Line 2 is ASCII.
    EXPECT_EQ(mac1 - 6, mac2);
    EXPECT_EQ(FormatTable({}, "x").find('\n'), FormatTable({}, "x").size() - 1);
}

}  // namespace
}  // namespace quorvex
