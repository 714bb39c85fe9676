// The real quorvex-cli in a private "PC" namespace against simulated cameras
// behind veth links: reports field by field, settings changes checked down
// to the datagrams the cameras received, address matching beside a host that
// already holds an address, and misuse that never reaches the network.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/bad_usage_cases.h"
#include "tests/cli/report_readers.h"
#include "tests/cli/run_program.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using boost::property_tree::ptree;
using testing::CliPath;
using testing::DeviceFields;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::ProgramResult;
using testing::ReadCsv;
using testing::ReadJson;
using testing::Simulator;

const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kBinaryName70 =
    "North gate camera over the loading dock, mounted high on the pole #1";
const std::string kTextName70 =
    "Yard camera beside the diesel pumps and the wash bay, facing the gate";

ProgramResult Cli(NetnsLab& lab, std::vector<std::string> args,
                  const std::string& stdin_text = "") {
    args.insert(args.begin(), CliPath());
    ProgramResult r;
    r.exit_code = lab.Run(lab.pc_namespace(), args, &r.out, &r.err, stdin_text, 60s);
    return r;
}

std::string WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A config.xml naming the interfaces to search on (veth links are chosen only
// by name) and the host-number range.
std::string WriteConfig(const std::string& directory, const std::vector<std::string>& interfaces,
                        int min = 10, int max = 253) {
    std::string list;
    for (const std::string& name : interfaces) list += "<interface>" + name + "</interface>";
    std::filesystem::create_directories(directory);
    return WriteFile(directory + "/config.xml",
                     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>"
                     "<search_interval>30</search_interval><match_address><min>" +
                         std::to_string(min) + "</min><max>" + std::to_string(max) +
                         "</max></match_address><interfaces>" + list + "</interfaces></config>\n");
}

bool IsProbe(const LoggedDatagram& d) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return (d.destination_port == 8600 && d.bytes.size() == 4) ||
           (d.destination_port == 12109 && text.rfind("SEARCH", 0) == 0);
}
bool IsBinaryCommand(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 324;
}
bool IsTextCommand(const LoggedDatagram& d) {
    const std::string text(d.bytes.begin(), d.bytes.end());
    return d.destination_port == 12109 && text.rfind("CMD", 0) == 0;
}

std::vector<LoggedDatagram> Matching(const Simulator& sim, bool (*match)(const LoggedDatagram&)) {
    std::vector<LoggedDatagram> out;
    for (const LoggedDatagram& d : sim.ReadLog())
        if (match(d)) out.push_back(d);
    return out;
}

// The text protocol's client id of one run, as the last search request
// before `command` carried it (each run has an id of its own).
std::string ClientId(const Simulator& sim, const LoggedDatagram& command) {
    std::string id;
    for (const LoggedDatagram& d : sim.ReadLog()) {
        if (d.time > command.time) break;
        const std::string text(d.bytes.begin(), d.bytes.end());
        if (text.rfind("SEARCH", 0) != 0) continue;
        const std::size_t at = text.find("Client-ID:");
        if (at == std::string::npos) continue;
        const std::size_t end = text.find("\r\n", at);
        id = text.substr(at + 10, end - at - 10);
    }
    return id;
}

std::map<std::string, ptree> DevicesByMac(const ptree& array) {
    std::map<std::string, ptree> devices;
    for (const auto& item : array) devices[item.second.get<std::string>("mac")] = item.second;
    return devices;
}

// Site "a" holds both protocols: a binary camera with a 70-character name at
// its factory address, a text camera with a 70-character name (the protocol
// keeps 63) and empty fields, and a binary camera whose name is not UTF-8.
const std::string kSiteA = R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": ")" +
                           kBinaryName70 + R"(",
   "uid": "UID-A1", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
   "dns1": "192.168.0.1", "dns2": "8.8.4.4", "software_version": "67.1.61.5",
   "web_version": "3.2.1", "http_port": 8080, "dhcp": 1, "user": "admin", "password": "admin",
   "aux_flag": 5},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": ")" +
                           kTextName70 + R"(",
   "uid": "", "ip": "10.77.1.20", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "dns1": "", "dns2": "", "software_version": "V5.5.0", "web_version": "", "http_port": 80,
   "dhcp": 0, "password": "", "device_id": "cam-yard"},
  {"mac": "00:1a:2b:3c:4d:03", "protocol": "binary", "name": "Gate \"North\", caf)" +
                           std::string("\xE9") + R"(", "uid": "UID-A3",
   "ip": "10.77.1.30", "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "10.77.1.1",
   "dns2": "0.0.0.0", "software_version": "66.0.1.2", "web_version": "1.0", "http_port": 81,
   "dhcp": 0, "user": "operator", "password": "pw"}
])";

// Site "b", on a second interface of the PC.
const std::string kSiteB = R"([
  {"mac": "00-1A-2B-3C-4D-04", "protocol": "text", "name": "\u6444\u50cf\u673a 4",
   "uid": "UID-B4", "ip": "10.77.2.40", "mask": "255.255.255.0", "gateway": "10.77.2.1",
   "dns1": "10.77.2.1", "dns2": "10.77.2.2", "software_version": "V5.6.1", "web_version": "W2",
   "http_port": 8000, "dhcp": 1, "password": "", "device_id": "cam-b4"}
])";

void ExpectReportedDevices(const std::map<std::string, std::map<std::string, std::string>>& got) {
    ASSERT_EQ(got.size(), 4u);
    const std::map<std::string, std::map<std::string, std::string>> expected = {
        {"00-1A-2B-3C-4D-01",
         {{"mac", "00-1A-2B-3C-4D-01"},
          {"family", "H"},
          {"protocol", "binary"},
          {"name", kBinaryName70},
          {"uid", "UID-A1"},
          {"ip", "192.168.0.64"},
          {"mask", "255.255.255.0"},
          {"gateway", "192.168.0.1"},
          {"dns1", "192.168.0.1"},
          {"dns2", "8.8.4.4"},
          {"http_port", "8080"},
          {"dhcp", "true"},
          {"software_version", "67.1.61.5"},
          {"web_version", "3.2.1"},
          {"user", "admin"},
          {"device_id", ""},
          {"interface", "10.77.1.1"},
          {"outside_subnet", "true"}}},
        {"00-1A-2B-3C-4D-02",
         {{"mac", "00-1A-2B-3C-4D-02"},
          {"family", "E"},
          {"protocol", "text"},
          {"name", kTextName70.substr(0, 63)},
          {"uid", ""},
          {"ip", "10.77.1.20"},
          {"mask", "255.255.255.0"},
          {"gateway", "10.77.1.1"},
          {"dns1", ""},
          {"dns2", ""},
          {"http_port", "80"},
          {"dhcp", "false"},
          {"software_version", "V5.5.0"},
          {"web_version", ""},
          {"user", "admin"},
          {"device_id", "cam-yard"},
          {"interface", "10.77.1.1"},
          {"outside_subnet", "false"}}},
        {"00-1A-2B-3C-4D-03",
         {{"mac", "00-1A-2B-3C-4D-03"},
          {"family", "J"},
          {"protocol", "binary"},
          {"name", "Gate \"North\", caf" + kReplacement},
          {"uid", "UID-A3"},
          {"ip", "10.77.1.30"},
          {"mask", "255.255.255.0"},
          {"gateway", "10.77.1.1"},
          {"dns1", "10.77.1.1"},
          {"dns2", "0.0.0.0"},
          {"http_port", "81"},
          {"dhcp", "false"},
          {"software_version", "66.0.1.2"},
          {"web_version", "1.0"},
          {"user", "operator"},
          {"device_id", ""},
          {"interface", "10.77.1.1"},
          {"outside_subnet", "false"}}},
        {"00-1A-2B-3C-4D-04",
         {{"mac", "00-1A-2B-3C-4D-04"},
          {"family", "E"},
          {"protocol", "text"},
          {"name", "\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA 4"},
          {"uid", "UID-B4"},
          {"ip", "10.77.2.40"},
          {"mask", "255.255.255.0"},
          {"gateway", "10.77.2.1"},
          {"dns1", "10.77.2.1"},
          {"dns2", "10.77.2.2"},
          {"http_port", "8000"},
          {"dhcp", "true"},
          {"software_version", "V5.6.1"},
          {"web_version", "W2"},
          {"user", "admin"},
          {"device_id", "cam-b4"},
          {"interface", "10.77.2.1"},
          {"outside_subnet", "false"}}},
    };
    for (const auto& [mac, fields] : expected) {
        ASSERT_TRUE(got.count(mac)) << mac;
        for (const auto& [key, value] : fields)
            EXPECT_EQ(got.at(mac).at(key), value) << mac << " " << key;
    }
}

TEST(CliNetns, ScanReportsBothProtocolsOnTwoInterfacesFieldByField) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string if_a = lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24");
    const std::string if_b = lab->AddSite("b", "10.77.2.1/24", "10.77.2.2/24");
    const std::string if_c = lab->AddSite("c", "10.77.4.1/24", "10.77.4.2/24");
    ASSERT_FALSE(if_a.empty() || if_b.empty() || if_c.empty()) << lab->last_error();
    const std::string dir = lab->scratch_dir();
    std::string why;
    const auto sim_a = Simulator::Start(*lab, lab->site_namespace("a"),
                                        {"--devices", WriteFile(dir + "/a.json", kSiteA)}, &why);
    ASSERT_TRUE(sim_a) << why;
    const auto sim_b = Simulator::Start(*lab, lab->site_namespace("b"),
                                        {"--devices", WriteFile(dir + "/b.json", kSiteB)}, &why);
    ASSERT_TRUE(sim_b) << why;

    // JSON, with the interfaces named on the command line.
    const ProgramResult json =
        Cli(*lab, {"scan", "--wait", "1.5", "--interface", if_a, "--interface", if_b, "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    const auto tree = ReadJson(json.out);
    ASSERT_TRUE(tree) << json.out;
    std::vector<std::string> order;
    std::map<std::string, std::map<std::string, std::string>> from_json;
    for (const auto& item : *tree) {
        EXPECT_EQ(testing::Keys(item.second), DeviceFields());
        const std::string mac = item.second.get<std::string>("mac");
        order.push_back(mac);
        for (const auto& field : item.second) from_json[mac][field.first] = field.second.data();
    }
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    ExpectReportedDevices(from_json);
    EXPECT_EQ(json.out.find("\"password\""), std::string::npos);

    // CSV, with the interfaces taken from config.interfaces instead.
    const std::string config = WriteConfig(dir + "/site", {if_a, if_b});
    const ProgramResult csv = Cli(*lab, {"--config", config, "scan", "--wait", "1.5", "--csv"});
    ASSERT_EQ(csv.exit_code, 0) << csv.err;
    const auto records = ReadCsv(csv.out);
    ASSERT_TRUE(records) << csv.out;
    ASSERT_EQ(records->size(), 5u);
    EXPECT_EQ((*records)[0], DeviceFields());
    std::map<std::string, std::map<std::string, std::string>> from_csv;
    for (std::size_t r = 1; r < records->size(); ++r) {
        ASSERT_EQ((*records)[r].size(), DeviceFields().size());
        for (std::size_t f = 0; f < DeviceFields().size(); ++f)
            from_csv[(*records)[r][0]][DeviceFields()[f]] = (*records)[r][f];
    }
    ExpectReportedDevices(from_csv);

    // The table, with the outside note from the language pack beside config.xml.
    std::filesystem::create_directories(dir + "/site/Language");
    WriteFile(dir + "/site/Language/english.xml",
              "<config><stringlist><string id=\"1\">Not in this PC's subnet</string>"
              "</stringlist></config>");
    const ProgramResult table = Cli(*lab, {"--config", config, "scan", "--wait", "1.5"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = table.out.find('\n', at)) != std::string::npos;
         at = end + 1)
        lines.push_back(table.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 5u) << table.out;
    EXPECT_NE(lines[1].find("Not in this PC's subnet"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].find("192.168.0.64"), std::string::npos);
    EXPECT_NE(lines[2].find("10.77.1.20:80"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("10.77.1.30:81"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("10.77.2.40:8000"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[4].substr(lines[4].size() - 9), "10.77.2.1");
    // Progress never reaches a standard error that is not a terminal.
    EXPECT_EQ(table.err, "");

    // On a terminal the search shows its progress on standard error and
    // erases it again; `script` gives the run a pseudo-terminal.
    std::string terminal;
    ASSERT_EQ(lab->Run(lab->pc_namespace(),
                       {"script", "-qec",
                        CliPath() + " --config " + config + " scan --wait 1.5 --json", "/dev/null"},
                       &terminal),
              0);
    EXPECT_NE(terminal.find("\rsearching: "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find(" s left, "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("\r\x1b[K[\r\n"), std::string::npos) << terminal;

    // An interface with nobody behind it: an empty list and exit 1.
    const ProgramResult none = Cli(*lab, {"scan", "--wait", "0.5", "--interface", if_c, "--json"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.out, "[]\n");
    EXPECT_NE(none.err.find("no device answered"), std::string::npos) << none.err;
}

// The 324-byte binary settings command, laid out field by field.
std::vector<std::uint8_t> BinaryCommand(const std::map<int, std::string>& texts,
                                        const std::uint8_t (&mac)[6], std::uint16_t port,
                                        std::uint8_t aux_flag, std::uint8_t dhcp) {
    std::vector<std::uint8_t> bytes(324, 0);
    const std::uint8_t header[] = {0x44, 0x48, 0x02, 0x01};
    std::memcpy(bytes.data(), header, 4);
    for (const auto& [offset, text] : texts)
        std::memcpy(bytes.data() + offset, text.data(), text.size());
    std::memcpy(bytes.data() + 84, mac, 6);
    bytes[90] = static_cast<std::uint8_t>(port & 0xFF);
    bytes[91] = static_cast<std::uint8_t>(port >> 8);
    bytes[300] = aux_flag;
    bytes[301] = dhcp;
    return bytes;
}

TEST(CliNetns, SetChangesADeviceOfEachProtocolWithTheWindowsDatagrams) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.1.1/24", "10.77.1.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    const std::string devices = WriteFile(lab->scratch_dir() + "/devices.json", R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": "north gate", "uid": "UID-B1",
   "ip": "10.77.1.50", "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "10.77.1.1",
   "dns2": "8.8.4.4", "software_version": "67.1.61.5", "web_version": "3.2.1", "http_port": 80,
   "dhcp": 0, "user": "admin", "password": "admin", "aux_flag": 5},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "yard", "ip": "10.77.1.20",
   "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "10.77.1.1", "dns2": "",
   "software_version": "V5.5.0", "http_port": 80, "dhcp": 0, "password": "",
   "device_id": "cam-yard"}
])");
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("cams"), {"--devices", devices}, &why);
    ASSERT_TRUE(sim) << why;

    // Binary: one full settings command carries the port too; the MAC may be
    // written with colons.
    const ProgramResult binary = Cli(
        *lab,
        {"set", "00:1a:2b:3c:4d:01", "--ip", "10.77.1.60", "--mask", "255.255.255.0", "--gateway",
         "10.77.1.254", "--http-port", "8081", "--password-stdin", "--interface", pc_if},
        "admin\n");
    EXPECT_EQ(binary.exit_code, 0) << binary.out << binary.err;
    EXPECT_NE(binary.out.find("00-1A-2B-3C-4D-01: confirmed"), std::string::npos) << binary.out;
    const auto binary_commands = Matching(*sim, IsBinaryCommand);
    ASSERT_EQ(binary_commands.size(), 1u);
    const std::uint8_t mac1[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x01};
    EXPECT_EQ(binary_commands[0].bytes,
              BinaryCommand({{4, "10.77.1.60"},      // new address
                             {20, "255.255.255.0"},  // new mask
                             {36, "10.77.1.254"},    // new gateway
                             {52, "10.77.1.1"},      // first DNS server, unchanged
                             {68, "8.8.4.4"},        // second DNS server, unchanged
                             {92, "UID-B1"},         // identity as the device reported it
                             {124, "north gate"},
                             {204, "67.1.61.5"},
                             {220, "3.2.1"},
                             {236, "admin"},   // the device's own user
                             {268, "admin"}},  // the password from standard input
                            mac1, 8081, /*aux_flag=*/5, /*dhcp=*/0));
    EXPECT_TRUE(Matching(*sim, IsTextCommand).empty());

    // Text: the network settings, then the HTTP-port command two seconds
    // later, both with the empty password of a text device.
    const ProgramResult text = Cli(*lab, {"set", "00-1A-2B-3C-4D-02", "--dns2", "10.77.1.53",
                                          "--http-port", "8090", "--interface", pc_if});
    EXPECT_EQ(text.exit_code, 0) << text.out << text.err;
    const auto text_commands = Matching(*sim, IsTextCommand);
    ASSERT_EQ(text_commands.size(), 2u);
    const std::string client = ClientId(*sim, text_commands[0]);
    ASSERT_FALSE(client.empty());
    const std::string netconf =
        "netconf set -ipaddr 10.77.1.20 -netmask 255.255.255.0 -gateway 10.77.1.1 -dhcp off "
        "-fdnsip 10.77.1.1 -sdnsip 10.77.1.53 -dnsstat 0 -hwaddr 00:1A:2B:3C:4D:02";
    const auto command = [&](int sequence, const std::string& body) {
        return "CMD * HDS/1.0\r\nCSeq:" + std::to_string(sequence) + "\r\nClient-ID:" + client +
               "\r\nAccept-Type:text/HDP\r\nAuthorization:Basic admin:\r\nDevice-ID:cam-yard\r\n"
               "Content-Length:" +
               std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n\r\n";
    };
    EXPECT_EQ(std::string(text_commands[0].bytes.begin(), text_commands[0].bytes.end()),
              command(2, netconf));
    EXPECT_EQ(std::string(text_commands[1].bytes.begin(), text_commands[1].bytes.end()),
              command(3, "httpport set -httpport 8090"));
    // The window's pause before the port command (a lower bound only).
    EXPECT_GE(text_commands[1].time - text_commands[0].time, 1.8);
    EXPECT_EQ(Matching(*sim, IsBinaryCommand).size(), 1u);

    // The changes stick: a scan shows both devices with their new settings.
    const ProgramResult after = Cli(*lab, {"scan", "--wait", "1", "--interface", pc_if, "--json"});
    ASSERT_EQ(after.exit_code, 0) << after.err;
    const auto devices_now = DevicesByMac(*ReadJson(after.out));
    EXPECT_EQ(devices_now.at("00-1A-2B-3C-4D-01").get<std::string>("ip"), "10.77.1.60");
    EXPECT_EQ(devices_now.at("00-1A-2B-3C-4D-01").get<int>("http_port"), 8081);
    EXPECT_EQ(devices_now.at("00-1A-2B-3C-4D-02").get<std::string>("dns2"), "10.77.1.53");
    EXPECT_EQ(devices_now.at("00-1A-2B-3C-4D-02").get<int>("http_port"), 8090);

    // A wrong password: the device ignores the command, the change is not
    // confirmed and the exit code says so.
    const ProgramResult refused = Cli(*lab,
                                      {"set", "00-1A-2B-3C-4D-01", "--http-port", "9000",
                                       "--password-stdin", "--wait", "1.5", "--interface", pc_if},
                                      "wrong-Zq7\n");
    EXPECT_EQ(refused.exit_code, 1);
    // The typed password appears nowhere in what the tool says.
    EXPECT_EQ(refused.out.find("wrong-Zq7"), std::string::npos) << refused.out;
    EXPECT_EQ(refused.err.find("wrong-Zq7"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("not confirmed: it answers with ip 10.77.1.60"), std::string::npos)
        << refused.err;
    EXPECT_EQ(Matching(*sim, IsBinaryCommand).size(), 2u);

    // A device nobody has: exit 1 and nothing sent.
    const ProgramResult missing = Cli(*lab, {"set", "00-00-00-00-00-99", "--ip", "10.77.1.99",
                                             "--wait", "1", "--interface", pc_if});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("device 00-00-00-00-00-99 not found"), std::string::npos)
        << missing.err;
    EXPECT_EQ(Matching(*sim, IsBinaryCommand).size(), 2u);
    EXPECT_EQ(Matching(*sim, IsTextCommand).size(), 2u);
}

TEST(CliNetns, MatchAllMovesDevicesIntoTheSubnetPastTakenAddresses) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.3.1/24", "10.77.3.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // Another host on the link already uses host number 10.
    ASSERT_TRUE(
        lab->AddAddress(lab->site_namespace("cams"), lab->site_interface("cams"), "10.77.3.10/24"))
        << lab->last_error();
    // Three cameras at factory addresses, and one inside the subnet at host
    // number 11, which the device table therefore holds.
    const std::string devices = WriteFile(lab->scratch_dir() + "/devices.json", R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": "b1", "ip": "192.168.0.64",
   "mask": "255.255.255.0", "gateway": "192.168.0.1", "software_version": "67.1.61.5",
   "http_port": 80, "user": "admin", "password": "admin"},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "t2", "ip": "192.168.0.64",
   "mask": "255.255.255.0", "gateway": "192.168.0.1", "http_port": 80, "password": ""},
  {"mac": "00-1A-2B-3C-4D-03", "protocol": "binary", "name": "b3", "uid": "UID-B3",
   "ip": "192.168.1.108", "mask": "255.255.255.0", "gateway": "192.168.1.1",
   "software_version": "66.0.1.2", "web_version": "1.0", "http_port": 8080, "user": "admin",
   "password": "12345", "aux_flag": 9},
  {"mac": "00-1A-2B-3C-4D-04", "protocol": "text", "name": "inside", "ip": "10.77.3.11",
   "mask": "255.255.255.0", "gateway": "10.77.3.1", "http_port": 80, "password": ""}
])");
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("cams"), {"--devices", devices}, &why);
    ASSERT_TRUE(sim) << why;
    const std::string config = WriteConfig(lab->scratch_dir() + "/site", {pc_if}, 10, 20);

    const ProgramResult moved = Cli(*lab, {"--config", config, "match", "--all", "--wait", "1.5"});
    EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
    EXPECT_NE(moved.out.find("00-1A-2B-3C-4D-01  192.168.0.64 -> 10.77.3.12\n"), std::string::npos)
        << moved.out;
    EXPECT_NE(moved.out.find("00-1A-2B-3C-4D-02  192.168.0.64 -> 10.77.3.13\n"), std::string::npos);
    EXPECT_NE(moved.out.find("00-1A-2B-3C-4D-03  192.168.1.108 -> 10.77.3.14\n"),
              std::string::npos);
    for (const char* line :
         {"00-1A-2B-3C-4D-01: answers at 10.77.3.12", "00-1A-2B-3C-4D-02: answers at 10.77.3.13",
          "00-1A-2B-3C-4D-03: answers at 10.77.3.14"})
        EXPECT_NE(moved.out.find(line), std::string::npos) << line;
    EXPECT_EQ(moved.out.find("00-1A-2B-3C-4D-04"), std::string::npos);

    // Exactly one command per moved device: the address found, the
    // interface's mask, gateway and name servers as the adapter report shows
    // them, the device's own credentials and port, DHCP off.
    const ProgramResult report = Cli(*lab, {"--config", config, "interfaces", "--json"});
    ASSERT_EQ(report.exit_code, 0) << report.err;
    const auto adapters = ReadJson(report.out);
    ASSERT_TRUE(adapters) << report.out;
    ptree interface;
    for (const auto& item : *adapters)
        if (item.second.get<std::string>("name") == pc_if) interface = item.second;
    const std::string gateway = interface.get<std::string>("gateway", "");
    const std::string dns1 = interface.get<std::string>("dns1", "");
    const std::string dns2 = interface.get<std::string>("dns2", "");

    const auto binary = Matching(*sim, IsBinaryCommand);
    ASSERT_EQ(binary.size(), 2u);
    const std::uint8_t mac3[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x03};
    EXPECT_EQ(binary[1].bytes, BinaryCommand({{4, "10.77.3.14"},
                                              {20, "255.255.255.0"},
                                              {36, gateway},
                                              {52, dns1},
                                              {68, dns2},
                                              {92, "UID-B3"},
                                              {124, "b3"},
                                              {204, "66.0.1.2"},
                                              {220, "1.0"},
                                              {236, "admin"},
                                              {268, "12345"}},
                                             mac3, 8080, /*aux_flag=*/9, /*dhcp=*/0));
    const auto text = Matching(*sim, IsTextCommand);
    ASSERT_EQ(text.size(), 1u);
    const std::string body = "netconf set -ipaddr 10.77.3.13 -netmask 255.255.255.0 -gateway " +
                             gateway + " -dhcp off -fdnsip " + dns1 + " -sdnsip " + dns2 +
                             " -dnsstat 0 -hwaddr 00:1A:2B:3C:4D:02";
    EXPECT_EQ(std::string(text[0].bytes.begin(), text[0].bytes.end()),
              "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:" + ClientId(*sim, text[0]) +
                  "\r\nAccept-Type:text/HDP\r\nAuthorization:Basic admin:\r\n"
                  "Device-ID:001A2B3C4D02\r\nContent-Length:" +
                  std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n\r\n");

    // Named devices: one already inside is left alone, an unknown one fails.
    const ProgramResult named = Cli(*lab, {"--config", config, "match", "00-1A-2B-3C-4D-04",
                                           "00:1a:2b:3c:4d:77", "--wait", "1"});
    EXPECT_EQ(named.exit_code, 1);
    EXPECT_NE(named.out.find("00-1A-2B-3C-4D-04: already in the subnet"), std::string::npos)
        << named.out;
    EXPECT_NE(named.err.find("device 00-1A-2B-3C-4D-77 not found"), std::string::npos) << named.err;

    // Everyone is inside now: nothing to do, and nothing more is sent.
    const ProgramResult again = Cli(*lab, {"--config", config, "match", "--all", "--wait", "1"});
    EXPECT_EQ(again.exit_code, 0) << again.err;
    EXPECT_NE(again.out.find("no device to move"), std::string::npos) << again.out;
    EXPECT_EQ(Matching(*sim, IsBinaryCommand).size(), 2u);
    EXPECT_EQ(Matching(*sim, IsTextCommand).size(), 1u);
}

TEST(CliNetns, MisuseAndTheReadOnlyCommandsSendNothing) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.6.1/24", "10.77.6.2/24", "10.77.6.254");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("cams"),
                         {"--binary-h", "1", "--text", "1", "--subnet", "10.77.6."}, &why);
    ASSERT_TRUE(sim) << why;

    for (const testing::BadUsage& c : testing::ParseFailures()) {
        const ProgramResult r = Cli(*lab, c.args);
        EXPECT_EQ(r.exit_code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    // Misuse found after parsing, still before any socket exists.
    const std::string config = WriteConfig(lab->scratch_dir() + "/site", {pc_if});
    struct Late {
        std::vector<std::string> args;
        std::string stdin_text;
        std::string message;
    };
    const Late late[] = {
        {{"scan", "--interface", "nosuch0"}, "", "no adapter named 'nosuch0'"},
        {{"set", "00-1A-2B-3C-4D-5E", "--interface", pc_if, "--interface", "eth77"},
         "",
         "no adapter named 'eth77'"},
        {{"--config", lab->scratch_dir() + "/none.xml", "match", "--all"},
         "",
         "cannot read configuration file"},
        {{"--config", config, "set", "00-1A-2B-3C-4D-5E", "--password-stdin"},
         std::string(32, 'p') + "\n",
         "the password is longer than 31 bytes"},
    };
    for (const Late& c : late) {
        std::vector<std::string> argv = c.args;
        argv.insert(argv.begin(), CliPath());
        std::string out, err;
        EXPECT_EQ(lab->Run(lab->pc_namespace(), argv, &out, &err, c.stdin_text, 60s), 2)
            << c.message;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }

    // The read-only commands: the adapter report shows the veth with the
    // settings read for it, chosen only because config.xml lists it.
    const ProgramResult listed = Cli(*lab, {"--config", config, "interfaces", "--json"});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    const auto adapters = ReadJson(listed.out);
    ASSERT_TRUE(adapters) << listed.out;
    bool seen = false;
    for (const auto& item : *adapters) {
        const ptree& a = item.second;
        if (a.get<std::string>("name") == "lo") {
            EXPECT_EQ(a.get<std::string>("chosen"), "false");
        }
        if (a.get<std::string>("name") != pc_if) continue;
        seen = true;
        EXPECT_EQ(a.get<std::string>("chosen"), "true");
        EXPECT_EQ(a.get<std::string>("reason").rfind("listed", 0), 0u);
        EXPECT_EQ(a.get<std::string>("ip"), "10.77.6.1");
        EXPECT_EQ(a.get<std::string>("prefix"), "10.77.6.");
        EXPECT_EQ(a.get<std::string>("mask"), "255.255.255.0");
        EXPECT_EQ(a.get<std::string>("gateway"), "10.77.6.254");
        EXPECT_EQ(a.get<std::string>("dhcp"), "false");
    }
    EXPECT_TRUE(seen) << listed.out;
    const ProgramResult automatic = Cli(*lab, {"interfaces"});
    ASSERT_EQ(automatic.exit_code, 0) << automatic.err;
    EXPECT_NE(automatic.out.find(pc_if), std::string::npos);
    EXPECT_EQ(Cli(*lab, {"--config", config, "config"}).exit_code, 0);

    // Not one datagram reached the cameras.
    EXPECT_EQ(sim->WaitForLog([](const LoggedDatagram&) { return true; }, 1, 1s), 0u);
    EXPECT_TRUE(sim->ReadLog().empty());

    // The same cameras do hear a scan, so the silence above was real.
    const ProgramResult scan = Cli(*lab, {"--config", config, "scan", "--wait", "1"});
    EXPECT_EQ(scan.exit_code, 0) << scan.err;
    EXPECT_GE(sim->WaitForLog(IsProbe, 2), 2u);
}

}  // namespace
}  // namespace quorvex
