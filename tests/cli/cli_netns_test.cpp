// The real quorvex-cli in a private "PC" namespace against simulated cameras
// behind veth links: reports field by field, settings changes down to the
// datagrams the cameras received, and misuse that never reaches the network.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/cli/cli_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::Cli;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::ReadFile;
using testing::ReadJson;
using testing::Simulator;
using testing::StartSim;
using testing::WriteFile;
using Result = testing::CliResult;
using Records = std::vector<std::vector<std::string>>;

// Records of RFC 4180 text with CRLF line ends; nullopt when it is not
// well-formed (a bare LF or a quote inside a bare field, an unterminated
// quoted field, a missing final CRLF).
std::optional<Records> ReadCsv(const std::string& text) {
    Records records(text.empty() ? 0 : 1);
    std::string field;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
                if (text[i] == '"') ++i;  // a doubled quote stands for one
                field += text[i];
            }
            ++i;
        } else {
            for (; i < text.size() && text[i] != ',' && text[i] != '\r'; field += text[i++])
                if (text[i] == '"' || text[i] == '\n') return std::nullopt;
        }
        if (i >= text.size()) return std::nullopt;
        records.back().push_back(field);
        field.clear();
        const char end = text[i++];
        if (end == ',') continue;
        if (end != '\r' || i >= text.size() || text[i++] != '\n') return std::nullopt;
        if (i < text.size()) records.emplace_back();
    }
    return records;
}

// A config.xml naming the interfaces to search on (veth links are chosen only
// by name) and the host-number range for `match`.
std::string WriteConfig(NetnsLab& lab, const std::vector<std::string>& interfaces, int min = 10,
                        int max = 253) {
    std::string xml = "<config><match_address><min>" + std::to_string(min) + "</min><max>" +
                      std::to_string(max) + "</max></match_address><interfaces>";
    for (const std::string& name : interfaces) xml += "<interface>" + name + "</interface>";
    return WriteFile(lab.scratch_dir() + "/site/config.xml", xml + "</interfaces></config>\n");
}

std::string Text(const LoggedDatagram& d) {
    return std::string(d.bytes.begin(), d.bytes.end());
}
// The settings commands the simulator received on `port`.
std::vector<LoggedDatagram> Commands(const Simulator& sim, std::uint16_t port) {
    std::vector<LoggedDatagram> out;
    for (const LoggedDatagram& d : sim.ReadLog())
        if (d.destination_port == port && (d.bytes.size() == 324 || Text(d).rfind("CMD", 0) == 0))
            out.push_back(d);
    return out;
}

// A text-protocol command as the run sent it: its client id is the one of the
// last search request before it (each run has an id of its own).
std::string TextCommand(const Simulator& sim, const LoggedDatagram& command, int sequence,
                        const std::string& device_id, const std::string& body,
                        const std::string& password = "") {
    std::string client;
    for (const LoggedDatagram& d : sim.ReadLog()) {
        const std::string text = Text(d);
        const std::size_t at = text.find("Client-ID:");
        if (d.time > command.time) break;
        if (text.rfind("SEARCH", 0) == 0 && at != std::string::npos)
            client = text.substr(at + 10, text.find("\r\n", at) - at - 10);
    }
    return "CMD * HDS/1.0\r\nCSeq:" + std::to_string(sequence) + "\r\nClient-ID:" + client +
           "\r\nAccept-Type:text/HDP\r\nAuthorization:Basic admin:" + password +
           "\r\nDevice-ID:" + device_id + "\r\nContent-Length:" + std::to_string(body.size()) +
           "\r\n\r\n" + body + "\r\n\r\n";
}

// The 324-byte binary settings command: the texts in the order ip, mask,
// gateway, dns1, dns2, uid, name, software and web version, user, password.
std::vector<std::uint8_t> BinaryCommand(const std::vector<std::string>& texts,
                                        std::uint8_t mac_last, std::uint16_t port,
                                        std::uint8_t aux_flag) {
    std::vector<std::uint8_t> bytes(324, 0);
    const std::uint8_t head[] = {0x44, 0x48, 0x02, 0x01};                    // 0: command header
    const int offsets[] = {4, 20, 36, 52, 68, 92, 124, 204, 220, 236, 268};  // NUL-padded texts
    const std::uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, mac_last};     // 84: MAC
    std::memcpy(bytes.data(), head, 4);
    for (std::size_t i = 0; i < texts.size(); ++i)
        std::memcpy(&bytes[offsets[i]], texts[i].data(), texts[i].size());
    std::memcpy(&bytes[84], mac, 6);
    bytes[90] = port & 0xFF;  // 90: HTTP port, little-endian
    bytes[91] = port >> 8;
    bytes[300] = aux_flag;  // 300: aux flag as the device reported it; 301: DHCP off
    return bytes;
}

const std::string kBinaryName70 =
    "North gate camera over the loading dock, mounted high on the pole #1";
const std::string kTextName70 =
    "Yard camera beside the diesel pumps and the wash bay, facing the gate";

TEST(CliNetns, ScanReportsBothProtocolsOnTwoInterfacesFieldByField) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string if_a = lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24");
    const std::string if_b = lab->AddSite("b", "10.77.2.1/24", "10.77.2.2/24");
    ASSERT_FALSE(if_a.empty() || if_b.empty()) << lab->last_error();
    // Site a: a binary camera with a 70-character name at its factory address,
    // a text camera with a 70-character name (the protocol keeps 63) and empty
    // fields, a binary camera whose name is not UTF-8. Site b: a text camera.
    const auto sim_a = StartSim(*lab, "a",
                                R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": ")" +
                                    kBinaryName70 + R"(",
   "uid": "UID-A1", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
   "dns1": "192.168.0.1", "dns2": "8.8.4.4", "software_version": "67.1.61.5",
   "web_version": "3.2.1", "http_port": 8080, "dhcp": 1, "user": "admin", "password": "Pw-a1"},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": ")" +
                                    kTextName70 + R"(", "uid": "",
   "ip": "10.77.1.20", "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "", "dns2": "",
   "software_version": "V5.5.0", "web_version": "", "http_port": 80, "dhcp": 0, "password": "",
   "device_id": "cam-yard"},
  {"mac": "00:1a:2b:3c:4d:03", "protocol": "binary", "name": "Gate \"North\", caf)" +
                                    "\xE9" + R"(",
   "uid": "UID-A3", "ip": "10.77.1.30", "mask": "255.255.255.0", "gateway": "10.77.1.1",
   "dns1": "10.77.1.1", "dns2": "0.0.0.0", "software_version": "66.0.1.2", "web_version": "1.0",
   "http_port": 81, "dhcp": 0, "user": "operator", "password": "Pw-a3"}])");
    const auto sim_b = StartSim(*lab, "b", R"([
  {"mac": "00-1A-2B-3C-4D-04", "protocol": "text", "name": "\u6444\u50cf\u673a 4", "uid": "UID-B4",
   "ip": "10.77.2.40", "mask": "255.255.255.0", "gateway": "10.77.2.1", "dns1": "10.77.2.1",
   "dns2": "10.77.2.2", "software_version": "V5.6.1", "web_version": "W2", "http_port": 8000,
   "dhcp": 1, "password": "", "device_id": "cam-b4"}])");
    ASSERT_TRUE(sim_a && sim_b);
    const std::string m = "255.255.255.0";
    Records expected = {// in the report's column order without the protocols and the
                        // WS-Discovery fields, sorted by MAC
                        {"00-1A-2B-3C-4D-01", "H", "binary", kBinaryName70, "UID-A1",
                         "192.168.0.64", m, "192.168.0.1", "192.168.0.1", "8.8.4.4", "8080", "true",
                         "67.1.61.5", "3.2.1", "admin", "", "10.77.1.1", if_a, "true"},
                        {"00-1A-2B-3C-4D-02", "E", "text", kTextName70.substr(0, 63), "",
                         "10.77.1.20", m, "10.77.1.1", "", "", "80", "false", "V5.5.0", "", "admin",
                         "cam-yard", "10.77.1.1", if_a, "false"},
                        // A byte that opens a character the name's end cuts
                        // short goes, as in the window.
                        {"00-1A-2B-3C-4D-03", "J", "binary", "Gate \"North\", caf", "UID-A3",
                         "10.77.1.30", m, "10.77.1.1", "10.77.1.1", "0.0.0.0", "81", "false",
                         "66.0.1.2", "1.0", "operator", "", "10.77.1.1", if_a, "false"},
                        {"00-1A-2B-3C-4D-04", "E", "text", "\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA 4",
                         "UID-B4", "10.77.2.40", m, "10.77.2.1", "10.77.2.1", "10.77.2.2", "8000",
                         "true", "V5.6.1", "W2", "admin", "cam-b4", "10.77.2.1", if_b, "false"}};
    // Only their own protocol heard them: it is the one named, and nothing
    // WS-Discovery says is known.
    for (auto& record : expected) {
        record.insert(record.begin() + 3, record[2]);
        record.insert(record.begin() + 17, {"", "", "", "0", "false"});
        record.insert(record.end(), {"false", ""});  // no conflict, no endpoint reference
    }

    // Field by field as CSV (the JSON writer shares the rows, and every other
    // run here reads it), with the interfaces named on the command line.
    const Result csv =
        Cli(*lab, {"scan", "--wait", "1.5", "--interface", if_a, "--interface", if_b, "--csv"});
    ASSERT_EQ(csv.exit_code, 0) << csv.err;
    auto records = ReadCsv(csv.out);
    ASSERT_TRUE(records && !records->empty()) << csv.out;  // the header is the report's own
    EXPECT_EQ(Records(records->begin() + 1, records->end()), expected);
    EXPECT_TRUE(csv.out.find("password") == csv.out.npos && csv.out.find("Pw-a") == csv.out.npos)
        << csv.out;
}

TEST(CliNetns, SetChangesADeviceOfEachProtocolWithTheWindowsDatagrams) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.1.1/24", "10.77.1.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    const auto sim = StartSim(*lab, "cams", R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": "north gate", "uid": "UID-B1",
   "ip": "10.77.1.50", "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "10.77.1.1",
   "dns2": "8.8.4.4", "software_version": "67.1.61.5", "web_version": "3.2.1", "http_port": 80,
   "dhcp": 0, "user": "admin", "password": "admin", "aux_flag": 5},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "yard", "ip": "10.77.1.20",
   "mask": "255.255.255.0", "gateway": "10.77.1.1", "dns1": "10.77.1.1", "dns2": "",
   "software_version": "V5.5.0", "http_port": 80, "dhcp": 0, "password": "",
   "device_id": "cam-yard"}])");
    ASSERT_TRUE(sim);

    // Binary: one full settings command carries the port too; the MAC may be
    // written with colons.
    const Result binary = Cli(
        *lab,
        {"set", "00:1a:2b:3c:4d:01", "--ip", "10.77.1.60", "--mask", "255.255.255.0", "--gateway",
         "10.77.1.254", "--http-port", "8081", "--password-stdin", "--interface", pc_if},
        "admin\n");
    EXPECT_EQ(binary.exit_code, 0) << binary.out << binary.err;
    EXPECT_NE(binary.out.find("00-1A-2B-3C-4D-01: confirmed"), std::string::npos) << binary.out;
    const auto binary_commands = Commands(*sim, 8600);
    ASSERT_EQ(binary_commands.size(), 1u);
    // New address, mask, gateway and port; the rest as the device reported it,
    // the password from standard input.
    EXPECT_EQ(binary_commands[0].bytes,
              BinaryCommand({"10.77.1.60", "255.255.255.0", "10.77.1.254", "10.77.1.1", "8.8.4.4",
                             "UID-B1", "north gate", "67.1.61.5", "3.2.1", "admin", "admin"},
                            0x01, 8081, 5));

    // Text: the network settings, then the HTTP-port command two seconds
    // later, both with the empty password typed for it.
    const Result text = Cli(*lab,
                            {"set", "00-1A-2B-3C-4D-02", "--dns2", "10.77.1.53", "--http-port",
                             "8090", "--password-stdin", "--interface", pc_if},
                            "\n");
    EXPECT_EQ(text.exit_code, 0) << text.out << text.err;
    const auto commands = Commands(*sim, 12109);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(Text(commands[0]),
              TextCommand(*sim, commands[0], 2, "cam-yard",
                          "netconf set -ipaddr 10.77.1.20 -netmask 255.255.255.0 -gateway "
                          "10.77.1.1 -dhcp off -fdnsip 10.77.1.1 -sdnsip 10.77.1.53 -dnsstat 0 "
                          "-hwaddr 00:1A:2B:3C:4D:02"));
    EXPECT_EQ(Text(commands[1]),
              TextCommand(*sim, commands[1], 3, "cam-yard", "httpport set -httpport 8090"));
    EXPECT_GE(commands[1].time - commands[0].time, 1.8);  // the window's pause, a lower bound
    EXPECT_EQ(Commands(*sim, 8600).size(), 1u);

    // A wrong password: the device ignores the command, the tool says so and
    // never repeats the password.
    const Result refused = Cli(*lab,
                               {"set", "00-1A-2B-3C-4D-01", "--http-port", "9000",
                                "--password-stdin", "--wait", "1.5", "--interface", pc_if},
                               "wrong-Zq7\n");
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ((refused.out + refused.err).find("wrong-Zq7"), std::string::npos)
        << refused.out << refused.err;
    EXPECT_NE(refused.err.find("not confirmed: it answers with ip 10.77.1.60"), std::string::npos)
        << refused.err;
    EXPECT_EQ(Commands(*sim, 8600).size(), 2u);
}

// Standard cameras, found only by WS-Discovery, are changed through their
// device service: a dry run calls nothing, a move is read back at the new
// address, a wrong password changes nothing, a refusal is named, and so is a
// web page where SOAP should be.
TEST(CliNetns, SetMovesAStandardCameraThroughItsDeviceService) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.1.1/24", "10.77.1.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--subnet", "10.77.1.", "--first-host", "50", "--password", "pw", "--standard-port",
         "8080", "--standard", "4", "--standard-auth", "digest", "--standard-behaviour",
         "normal,normal,faults,html-error", "--standard-move-delay", "200"},
        &why);
    ASSERT_TRUE(sim) << why;
    const auto scan = [&] {
        std::map<std::string, std::pair<std::string, std::string>> found;  // ip: key, endpoint
        for (const auto& c :
             ReadJson(Cli(*lab, {"scan", "--wait", "2", "--json", "--interface", pc_if}).out))
            found[c.second.get<std::string>("ip")] = {c.second.get<std::string>("mac"),
                                                      c.second.get<std::string>("endpoint", "")};
        return found;
    };
    auto before = scan();
    const auto [key, endpoint] = before["10.77.1.50"];
    ASSERT_EQ(endpoint.rfind("urn:uuid:", 0), 0u) << key;
    const auto calls = [&] {
        std::vector<LoggedDatagram> out;
        for (const LoggedDatagram& d : sim->ReadLog())
            if (!d.operation.empty()) out.push_back(d);
        return out;
    };
    const auto set = [&](std::string name, std::string ip, std::string extra,
                         std::string password) {
        std::vector<std::string> args = {
            "set", name, "--ip", ip, "--user", "admin", "--interface", pc_if, "--password-stdin"};
        if (!extra.empty()) args.push_back(extra);
        return Cli(*lab, args, password + "\n");
    };

    const Result dry = set(endpoint, "10.77.1.60", "--dry-run", "pw");
    EXPECT_EQ(dry.exit_code, 0) << dry.out << dry.err;
    EXPECT_NE(dry.out.find(key + "  10.77.1.50 -> 10.77.1.60"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("nothing sent"), std::string::npos);
    EXPECT_TRUE(calls().empty());

    const Result moved = set(key, "10.77.1.60", "", "pw");
    EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
    EXPECT_NE(moved.out.find(key + ": answers at 10.77.1.60"), std::string::npos) << moved.out;
    EXPECT_EQ((moved.out + moved.err).find("pw\n"), std::string::npos);
    const auto after = scan();
    ASSERT_TRUE(after.count("10.77.1.60")) << moved.out;
    EXPECT_EQ(after.at("10.77.1.60").second, endpoint);
    EXPECT_FALSE(after.count("10.77.1.50"));

    // A wrong password: refused at the read, no Set* accepted, never repeated.
    const std::string other = before["10.77.1.51"].first;
    ASSERT_FALSE(other.empty());
    const Result refused = set(other, "10.77.1.61", "", "wrong-Zq7");
    EXPECT_EQ(refused.exit_code, 1) << refused.out << refused.err;
    EXPECT_NE(refused.err.find(other + " not confirmed: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("wrong user or password?"), std::string::npos) << refused.err;
    EXPECT_EQ((refused.out + refused.err).find("wrong-Zq7"), std::string::npos);
    for (const LoggedDatagram& d : calls())
        if (d.address == "10.77.1.51" && d.operation.starts_with("Set"))
            ADD_FAILURE() << d.operation << " " << d.result;

    // A camera that refuses the address: named by the fault's subcode.
    const Result fault = set(before["10.77.1.52"].first, "10.77.1.62", "", "pw");
    EXPECT_EQ(fault.exit_code, 1) << fault.out << fault.err;
    EXPECT_NE(fault.err.find("the camera refused the address: ter:InvalidIPv4Address"),
              std::string::npos)
        << fault.err;
    // One whose device service sits behind a web server that serves pages.
    const Result page = set(before["10.77.1.53"].first, "10.77.1.63", "", "pw");
    EXPECT_EQ(page.exit_code, 1) << page.out << page.err;
    EXPECT_NE(page.err.find("it answered HTTP 405 with a web page"), std::string::npos) << page.err;
    EXPECT_EQ(sim->Stop(), 0);
}

// One batch from one start address over all three kinds of camera: the
// binary and text cameras by datagram, the two standard cameras (one Digest,
// one UsernameToken) over HTTP at the same time; one credentials line for
// all, no address given twice, each change confirmed where it was sent.
TEST(CliNetns, AMixedBatchFromOneStartAddressGivesEachKindItsOwnAddress) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.2.1/24", "10.77.2.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("cams"),
                         {"--subnet", "10.77.2.", "--first-host", "50", "--password", "pw",
                          "--binary-h", "1", "--text", "1", "--standard", "2", "--standard-auth",
                          "digest,token", "--standard-move-delay", "200"},
                         &why);
    ASSERT_TRUE(sim) << why;
    const std::string config = WriteConfig(*lab, {pc_if});
    const auto scan = [&] {
        std::map<std::string, std::string> found;  // ip: key
        for (const auto& c :
             ReadJson(Cli(*lab, {"--config", config, "scan", "--wait", "2", "--json"}).out))
            found[c.second.get<std::string>("ip")] = c.second.get<std::string>("mac");
        return found;
    };
    const auto before = scan();
    ASSERT_EQ(before.size(), 4u);
    std::vector<std::string> args = {"--config", config, "set"};
    for (const auto& [ip, key] : before) args.push_back(key);
    for (const char* more : {"--ip-from", "10.77.2.60", "--user", "admin", "--password-stdin",
                             "--wait", "4", "--json"})
        args.push_back(more);

    const Result batch = Cli(*lab, args, "pw\n");
    EXPECT_EQ(batch.exit_code, 0) << batch.out << batch.err;
    const auto outcome = ReadJson(batch.out);
    std::map<std::string, std::string> planned;  // key: to
    for (const auto& c : outcome.get_child("plan"))
        planned[c.second.get<std::string>("mac")] = c.second.get<std::string>("to");
    std::set<std::string> given;
    for (const auto& [key, to] : planned) given.insert(to);
    EXPECT_EQ(given,
              (std::set<std::string>{"10.77.2.60", "10.77.2.61", "10.77.2.62", "10.77.2.63"}));
    std::size_t confirmed = 0;
    for (const auto& r : outcome.get_child("results"))
        confirmed += r.second.get<std::string>("result") == "confirmed";
    EXPECT_EQ(confirmed, 4u) << batch.out;

    // Each camera answers where its plan sent it, and nowhere else.
    std::map<std::string, std::string> expected;
    for (const auto& [key, to] : planned) expected[to] = key;
    EXPECT_EQ(scan(), expected);
    EXPECT_EQ(sim->Stop(), 0);
}

// Every camera outside the subnet moves past the addresses taken on the link,
// with the interface's values; nothing goes that was not asked for or cannot
// be read, and the cameras (whose text parser splits commands on blanks, as
// firmware does) hold afterwards what was sent.
TEST(CliNetns, MatchAllMovesDevicesIntoTheSubnetPastTakenAddressesAndTheyHoldWhatWasSent) {
    QUORVEX_LAB_OR_SKIP(lab);
    // The PC's interface has no gateway. Another host on the link holds host
    // number 10; a camera inside the subnet holds 11 (the device table knows
    // it); three sit at factory addresses.
    const std::string pc_if = lab->AddSite("cams", "10.77.3.1/24", "10.77.3.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    ASSERT_TRUE(
        lab->AddAddress(lab->site_namespace("cams"), lab->site_interface("cams"), "10.77.3.10/24"))
        << lab->last_error();
    const auto sim = StartSim(*lab, "cams", R"([
  {"mac": "00-1A-2B-3C-4D-01", "protocol": "binary", "name": "b1", "ip": "192.168.0.64",
   "mask": "255.255.255.0", "gateway": "192.168.0.1", "dns1": "192.168.0.2",
   "dns2": "192.168.0.3", "http_port": 80, "password": "12345"},
  {"mac": "00-1A-2B-3C-4D-02", "protocol": "text", "name": "t2", "ip": "192.168.0.64",
   "mask": "255.255.255.0", "gateway": "192.168.0.1", "dns1": "192.168.0.2",
   "dns2": "192.168.0.3", "http_port": 80, "password": "12345"},
  {"mac": "00-1A-2B-3C-4D-03", "protocol": "binary", "name": "b3", "uid": "UID-B3",
   "ip": "192.168.1.108", "mask": "255.255.255.0", "gateway": "192.168.1.1",
   "software_version": "66.0.1.2", "web_version": "1.0", "http_port": 8080, "user": "admin",
   "password": "12345", "aux_flag": 9},
  {"mac": "00-1A-2B-3C-4D-04", "protocol": "text", "name": "inside", "ip": "10.77.3.11",
   "mask": "255.255.255.0", "gateway": "10.77.3.1", "http_port": 80, "password": ""}])");
    ASSERT_TRUE(sim);
    const std::string config = WriteConfig(*lab, {pc_if}, 10, 20);
    const auto cli = [&](std::vector<std::string> args, const std::string& in = "12345\n") {
        args.insert(args.begin(), {"--config", config});
        return Cli(*lab, args, in);
    };

    // A dry run, no line on standard input, the camera's own gateway as its
    // address (the PC has no default route to know it by): nothing is sent.
    const Result dry = cli({"match", "--all", "--dry-run", "--password-stdin", "--wait", "1.5"});
    EXPECT_EQ(dry.exit_code, 0) << dry.out << dry.err;
    for (const char* line : {"skip 10.77.3.10: another host answers",
                             "00-1A-2B-3C-4D-01  192.168.0.64 -> 10.77.3.12\n",
                             "00-1A-2B-3C-4D-02  192.168.0.64 -> 10.77.3.13\n",
                             "00-1A-2B-3C-4D-03  192.168.1.108 -> 10.77.3.14\n",
                             "dry run: 3 change(s) planned, nothing sent"})
        EXPECT_NE(dry.out.find(line), std::string::npos) << line << dry.out;
    EXPECT_EQ(dry.out.find("00-1A-2B-3C-4D-04"), std::string::npos);
    const Result no_password = cli({"match", "--all", "--password-stdin", "--wait", "1"}, "");
    EXPECT_EQ(no_password.exit_code, 2);
    EXPECT_NE(no_password.err.find("--password-stdin found no line"), std::string::npos)
        << no_password.err;
    const Result gateway = cli({"set", "00-1A-2B-3C-4D-01", "--ip", "192.168.0.1", "--force"});
    EXPECT_EQ(gateway.exit_code, 1);
    EXPECT_NE(gateway.err.find("the new address is the gateway's"), std::string::npos)
        << gateway.err;
    EXPECT_EQ(Commands(*sim, 8600).size() + Commands(*sim, 12109).size(), 0u);

    const Result moved = cli({"match", "--all", "--password-stdin", "--wait", "1.5"});
    EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
    for (const char* line :
         {"00-1A-2B-3C-4D-01: answers at 10.77.3.12", "00-1A-2B-3C-4D-02: answers at 10.77.3.13",
          "00-1A-2B-3C-4D-03: answers at 10.77.3.14"})
        EXPECT_NE(moved.out.find(line), std::string::npos) << line << moved.out;
    EXPECT_EQ(moved.out.find("00-1A-2B-3C-4D-04"), std::string::npos);

    // One command per moved device: the address found, the interface's mask,
    // gateway and name servers as the adapter report shows them (one it lacks:
    // the camera's own, but a text camera's gateway outside the new subnet is
    // left out), the credentials and port, DHCP off.
    std::string gateway_ip, dns1, dns2;
    for (const auto& item : ReadJson(cli({"interfaces", "--json"}).out))
        if (item.second.get<std::string>("ifname") == pc_if) {
            for (auto [key, value] :
                 {std::pair{"gateway", &gateway_ip}, {"dns1", &dns1}, {"dns2", &dns2}})
                if ((*value = item.second.get<std::string>(key, "")) == "0.0.0.0") value->clear();
            EXPECT_EQ(item.second.get<std::string>("prefix_length"), "24");
            EXPECT_EQ(item.second.get<std::string>("kind"), "ethernet");
        }
    const auto own = [](const std::string& value, const char* kept) {
        return value.empty() ? std::string(kept) : value;
    };
    const auto binary = Commands(*sim, 8600);
    ASSERT_EQ(binary.size(), 2u);
    EXPECT_EQ(binary[1].bytes,
              BinaryCommand({"10.77.3.14", "255.255.255.0", own(gateway_ip, "192.168.1.1"), dns1,
                             dns2, "UID-B3", "b3", "66.0.1.2", "1.0", "admin", "12345"},
                            0x03, 8080, 9));
    const auto text = Commands(*sim, 12109);
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(Text(text[0]),
              TextCommand(*sim, text[0], 2, "001A2B3C4D02",
                          "netconf set -ipaddr 10.77.3.13 -netmask 255.255.255.0" +
                              (gateway_ip.empty() ? "" : " -gateway " + gateway_ip) + " -dhcp off" +
                              " -fdnsip " + own(dns1, "192.168.0.2") + " -sdnsip " +
                              own(dns2, "192.168.0.3") + " -dnsstat 0 -hwaddr 00:1A:2B:3C:4D:02",
                          "12345"));
    // What a scan lists afterwards: every other value intact.
    std::map<std::string, std::string> held;
    for (const auto& c : ReadJson(cli({"scan", "--wait", "1.5", "--json"}).out)) {
        const auto field = [&](const char* key) { return c.second.get<std::string>(key); };
        held[field("mac")] =
            field("ip") + " " + field("gateway") + " " + field("dns1") + " " + field("dns2");
    }
    const std::string kept = " " + own(gateway_ip, "192.168.0.1") + " " + own(dns1, "192.168.0.2") +
                             " " + own(dns2, "192.168.0.3");
    EXPECT_EQ(held["00-1A-2B-3C-4D-01"], "10.77.3.12" + kept);
    EXPECT_EQ(held["00-1A-2B-3C-4D-02"], "10.77.3.13" + kept);

    // Zero-padded decimal goes out as the number it names.
    const Result padded = cli({"set", "00-1A-2B-3C-4D-02", "--ip", "010.077.003.005", "--gateway",
                               "010.077.003.253", "--password-stdin", "--wait", "1.5"});
    EXPECT_EQ(padded.exit_code, 0) << padded.out << padded.err;
    EXPECT_NE(padded.out.find("00-1A-2B-3C-4D-02  10.77.3.13 -> 10.77.3.5\n    gateway "),
              std::string::npos)
        << padded.out;
    EXPECT_NE(padded.out.find(" -> 10.77.3.253\n"), std::string::npos) << padded.out;
    for (const std::uint16_t port : {8600, 12109})
        for (const LoggedDatagram& command : Commands(*sim, port))
            EXPECT_TRUE(Text(command).find("  ") == std::string::npos &&
                        Text(command).find("0.0.0.0") == std::string::npos)
                << Text(command);
    EXPECT_NE(Text(Commands(*sim, 12109).back())
                  .find("-ipaddr 10.77.3.5 -netmask 255.255.255.0 -gateway 10.77.3.253 "),
              std::string::npos);
}

// `count` cameras at factory addresses outside the lab's subnets, binary and
// text alternately, all with the password "pw-9x".
std::string Cameras(int count, int first_mac = 1) {
    std::string json = "[";
    for (int i = 0; i < count; ++i) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "00-1A-2B-3C-4D-%02X", first_mac + i);
        json += std::string(i ? "," : "") + R"({"mac": ")" + mac + R"(", "protocol": ")" +
                (i % 2 ? "text" : "binary") + R"(", "name": "c)" + std::to_string(i) +
                R"(", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
                "http_port": 80, "user": "admin", "password": "pw-9x"})";
    }
    return json + "]";
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(CliNetns, BatchGivesConsecutiveFreeAddressesRefusesTakenOnesAndStopsWhenTheyRunOut) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.8.1/24", "10.77.8.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // Two addresses of the batch's range are held by another host on the link.
    for (const char* taken : {"10.77.8.52/24", "10.77.8.55/24"})
        ASSERT_TRUE(
            lab->AddAddress(lab->site_namespace("cams"), lab->site_interface("cams"), taken))
            << lab->last_error();
    const auto sim = StartSim(*lab, "cams", Cameras(20));
    ASSERT_TRUE(sim);
    const std::string config = WriteConfig(*lab, {pc_if});

    // The plan alone sends nothing.
    const Result dry = Cli(*lab,
                           {"--config", config, "set", "--all-outside", "--ip-from", "10.77.8.50",
                            "--password-stdin", "--dry-run", "--wait", "1.5", "--json"},
                           "pw-9x\n");
    EXPECT_EQ(dry.exit_code, 0) << dry.err;
    const auto plan = ReadJson(dry.out);
    EXPECT_EQ(plan.get_child("plan").size(), 20u);
    EXPECT_EQ(plan.get_child("results").size(), 0u);
    std::vector<std::string> skipped;
    for (const auto& entry : plan.get_child("skipped"))
        skipped.push_back(entry.second.get<std::string>("address"));
    EXPECT_EQ(skipped, (std::vector<std::string>{"10.77.8.52", "10.77.8.55"}));
    EXPECT_EQ(Commands(*sim, 8600).size() + Commands(*sim, 12109).size(), 0u);

    // 20 cameras get 50..71 without 52 and 55, each confirmed; the text
    // cameras need the password the user gives.
    const Result batch = Cli(*lab,
                             {"--config", config, "set", "--all-outside", "--ip-from", "10.77.8.50",
                              "--password-stdin", "--wait", "3"},
                             "pw-9x\n");
    EXPECT_EQ(batch.exit_code, 0) << batch.out << batch.err;
    EXPECT_NE(batch.out.find("skip 10.77.8.52: another host answers"), std::string::npos)
        << batch.out;
    EXPECT_NE(batch.out.find("skip 10.77.8.55: another host answers"), std::string::npos);
    EXPECT_NE(batch.out.find("00-1A-2B-3C-4D-01  192.168.0.64 -> 10.77.8.50\n"), std::string::npos);
    EXPECT_NE(batch.out.find("00-1A-2B-3C-4D-03  192.168.0.64 -> 10.77.8.53\n"), std::string::npos);
    EXPECT_NE(batch.out.find("00-1A-2B-3C-4D-14  192.168.0.64 -> 10.77.8.71\n"), std::string::npos);
    EXPECT_EQ(Count(batch.out, ": confirmed"), 20u) << batch.out;

    // A taken address is refused in set, with its reason (the rule's other
    // reasons are the address check's own): nothing is sent.
    for (const auto& [ip, why] : {std::pair{"10.77.8.55", "another host answers for it"},
                                  {"10.77.8.51", "another camera's address"}}) {
        const Result r = Cli(
            *lab, {"--config", config, "set", "00-1A-2B-3C-4D-01", "--ip", ip, "--wait", "1.5"});
        EXPECT_EQ(r.exit_code, 1) << ip;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << ip;
    }
    EXPECT_EQ(Commands(*sim, 8600).size() + Commands(*sim, 12109).size(), 20u);

    // More cameras than free addresses: 253 and 254 are the last two hosts,
    // the third camera stays where it is.
    const Result short_batch =
        Cli(*lab, {"--config", config, "set", "00-1A-2B-3C-4D-01", "00-1A-2B-3C-4D-03",
                   "00-1A-2B-3C-4D-05", "--ip-from", "10.77.8.253", "--wait", "4", "--json"});
    EXPECT_EQ(short_batch.exit_code, 1) << short_batch.out << short_batch.err;
    EXPECT_NE(short_batch.err.find("1 device(s) not moved: no free address left"),
              std::string::npos)
        << short_batch.err;
    const auto outcome = ReadJson(short_batch.out);
    std::vector<std::string> results;
    for (const auto& r : outcome.get_child("results"))
        results.push_back(r.second.get<std::string>("mac") + " " +
                          r.second.get<std::string>("result"));
    EXPECT_EQ(results, (std::vector<std::string>{"00-1A-2B-3C-4D-01 confirmed",
                                                 "00-1A-2B-3C-4D-03 confirmed"}));
    EXPECT_EQ(outcome.get_child("not_moved").front().second.get<std::string>("mac"),
              "00-1A-2B-3C-4D-05");
    EXPECT_EQ(Commands(*sim, 8600).size() + Commands(*sim, 12109).size(), 22u);
}

// A camera that vanishes once its command has arrived is reported gone: a
// text camera whose port changes, so that its HTTP-port command holds the
// confirmation back by two seconds while it goes.
TEST(CliNetns, ACameraThatVanishesAfterItsCommandIsReportedGone) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.9.1/24", "10.77.9.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    auto sim = StartSim(*lab, "cams", Cameras(2, 0x30));
    ASSERT_TRUE(sim);
    const std::string config = WriteConfig(*lab, {pc_if});
    const std::string out_file = lab->scratch_dir() + "/vanish.out";
    const std::string err_file = lab->scratch_dir() + "/vanish.err";
    auto run = lab->Spawn(
        lab->pc_namespace(),
        {"sh", "-c", "echo pw-9x | \"$@\"", "sh", QUORVEX_CLI_PATH, "--config", config, "set",
         "00-1A-2B-3C-4D-31", "--http-port", "8081", "--password-stdin", "--wait", "2"},
        out_file, err_file);
    ASSERT_EQ(
        sim->WaitForLog([](const LoggedDatagram& d) { return Text(d).rfind("CMD", 0) == 0; }, 1),
        1u);
    sim->Stop();
    EXPECT_EQ(run.Wait(std::chrono::seconds(30)), 1);
    const std::string err = ReadFile(err_file);
    EXPECT_NE(err.find("00-1A-2B-3C-4D-31 not confirmed: it did not answer again (gone)"),
              std::string::npos)
        << err;
}

// Impostors answer every search with the MACs of two cameras inside the
// subnet and an outside address: the scan marks both in conflict, `match
// --all` moves neither and says why, and only a camera named with `set` is
// changed, after a warning.
TEST(CliNetns, ImpostorsOfCameraMacsMoveNothingUnlessACameraIsNamed) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.8.1/24", "10.77.8.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--spoof-macs", "--devices", WriteFile(lab->scratch_dir() + "/spoof.json", R"([
  {"mac": "00-1A-2B-3C-4D-41", "protocol": "binary", "name": "b", "ip": "10.77.8.21",
   "mask": "255.255.255.0", "gateway": "10.77.8.1", "http_port": 80, "password": "pw-9x"},
  {"mac": "00-1A-2B-3C-4D-42", "protocol": "text", "name": "t", "ip": "10.77.8.22",
   "mask": "255.255.255.0", "gateway": "10.77.8.1", "http_port": 80, "password": "pw-9x"}])")},
        &why);
    ASSERT_TRUE(sim) << why;
    const std::string config = WriteConfig(*lab, {pc_if});
    const auto cli = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--config", config});
        return Cli(*lab, args, "pw-9x\n");
    };

    const Result scan = cli({"scan", "--json", "--wait", "1.5"});
    ASSERT_EQ(ReadJson(scan.out).size(), 2u) << scan.out;
    for (const auto& item : ReadJson(scan.out))
        EXPECT_TRUE(item.second.get<bool>("conflict")) << item.second.get<std::string>("mac");
    // A row keeps the address of whichever answer came first: an impostor's
    // outside address is refused as a conflict, the camera's own is already
    // inside. Either way nothing moves.
    const Result match = cli({"match", "--all", "--password-stdin", "--wait", "1.5"});
    const std::string said = match.out + match.err;
    EXPECT_EQ(Count(said, "not changed"), Count(said, "another host may pose as it")) << said;
    EXPECT_EQ(said.find("answers at"), std::string::npos) << said;
    EXPECT_EQ(Commands(*sim, 8600).size() + Commands(*sim, 12109).size(), 0u);

    const Result named = cli(
        {"set", "00-1A-2B-3C-4D-41", "--ip", "10.77.8.31", "--password-stdin", "--wait", "1.5"});
    EXPECT_NE((named.out + named.err).find("changed because it was named"), std::string::npos)
        << named.out << named.err;
    EXPECT_EQ(Commands(*sim, 8600).size(), 1u);
    EXPECT_EQ(Commands(*sim, 12109).size(), 0u);
}

// A listed interface that does not exist at the start is named on stderr at
// once while the scan runs on the other, and searched as soon as it comes
// with an address (the site's veth end waits under another name).
TEST(CliNetns, AListedInterfaceThatAppearsDuringTheScanIsNamedThenSearched) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string if_a = lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24");
    const std::string if_late = lab->AddSite("late", "10.77.6.1/24", "10.77.6.2/24");
    ASSERT_FALSE(if_a.empty() || if_late.empty()) << lab->last_error();
    const std::string held = "qvxheld" + std::to_string(::getpid() % 100000);
    const auto ip = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "ip");
        return lab->Run(lab->pc_namespace(), args);
    };
    ASSERT_EQ(ip({"link", "set", "dev", if_late, "down"}), 0);
    ASSERT_EQ(ip({"addr", "flush", "dev", if_late}), 0);
    ASSERT_EQ(ip({"link", "set", "dev", if_late, "name", held}), 0);
    const auto sim_a = StartSim(*lab, "a", Cameras(1, 0x61));
    const auto sim_late = StartSim(*lab, "late", Cameras(2, 0x62));
    ASSERT_TRUE(sim_a && sim_late);
    const std::string out_file = lab->scratch_dir() + "/late.out";
    const std::string err_file = lab->scratch_dir() + "/late.err";
    auto run = lab->Spawn(lab->pc_namespace(),
                          {QUORVEX_CLI_PATH, "--config", WriteConfig(*lab, {if_a, if_late}), "scan",
                           "--wait", "8", "--csv"},
                          out_file, err_file);
    ASSERT_TRUE(testing::WaitUntil([&] {
        return ReadFile(err_file).find(if_late) != std::string::npos;
    })) << ReadFile(err_file);
    EXPECT_NE(ReadFile(err_file).find("interface " + if_late + " is listed but missing"),
              std::string::npos);
    ASSERT_EQ(ip({"link", "set", "dev", held, "name", if_late}), 0);
    ASSERT_EQ(ip({"link", "set", "dev", if_late, "up"}), 0);
    ASSERT_TRUE(lab->AddAddress(lab->pc_namespace(), if_late, "10.77.6.1/24"));
    EXPECT_EQ(run.Wait(std::chrono::seconds(30)), 0) << ReadFile(err_file);
    const std::string out = ReadFile(out_file);
    for (const char* mac : {"00-1A-2B-3C-4D-61", "00-1A-2B-3C-4D-62", "00-1A-2B-3C-4D-63"})
        EXPECT_NE(out.find(mac), std::string::npos) << mac << "\n" << out;
    EXPECT_NE(out.find(if_late), std::string::npos) << out;
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

    // Misuse that shows only after parsing (what parsing refuses is the
    // command-line test's): exit 2, one line on standard error, nothing on
    // standard output, no socket.
    const std::string config = WriteConfig(*lab, {pc_if});
    const std::vector<std::string> late[] = {
        {"no adapter named 'nosuch0'", "scan", "--interface", "nosuch0"},
        {"no adapter named 'eth77'", "set", "00-1A-2B-3C-4D-5E", "--interface", pc_if,
         "--interface", "eth77"},
        {"cannot read configuration file", "--config", lab->scratch_dir() + "/none.xml", "match",
         "--all"},
        {"the password is longer than 31 bytes", "--config", config, "set", "00-1A-2B-3C-4D-5E",
         "--password-stdin"},
    };
    for (const auto& c : late) {
        const Result r = Cli(*lab, {c.begin() + 1, c.end()}, std::string(32, 'p') + "\n");
        EXPECT_EQ(r.exit_code, 2) << c[0];
        EXPECT_EQ(r.err.rfind("quorvex-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c[0]), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_EQ(r.out, "");
    }

    // The read-only commands.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"interfaces"},
                                                 {"--config", config, "interfaces", "--json"},
                                                 {"--config", config, "-q", "config"},
                                                 {"scan", "--help"}}) {
        const Result r = Cli(*lab, args);
        EXPECT_EQ(r.exit_code, 0) << args[0] << r.err;
        EXPECT_NE(r.out.find(args[0] == "scan" ? "Usage: quorvex-cli scan" : pc_if), r.out.npos);
    }
    EXPECT_EQ(Cli(*lab, {"--version"}).out, "quorvex-cli 1.0.0\n");

    // config.xml is looked up per user before the shipped file. One that
    // exists but does not parse may hide the adapters the user allows probes
    // on: it is named, and no search runs on the automatic choice.
    const std::string xdg = lab->scratch_dir() + "/xdg";
    WriteFile(xdg + "/quorvex/config.xml", "<config><interfaces>");
    for (const std::string command : {"scan", "match", "set"}) {
        std::vector<std::string> argv = {"env", "XDG_CONFIG_HOME=" + xdg, QUORVEX_CLI_PATH, command,
                                         command == "match" ? "--all" : "--wait"};
        if (command != "match") argv.push_back("1");
        if (command == "set") argv.push_back("00-1A-2B-3C-4D-5E");
        Result r;
        r.exit_code = lab->Run(lab->pc_namespace(), argv, &r.out, &r.err);
        EXPECT_EQ(r.exit_code, 2) << command << r.err;
        EXPECT_NE(r.err.find("cannot read configuration file '" + xdg + "/quorvex/config.xml'"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("--any-interface"), std::string::npos) << r.err;
    }
    Result shown;
    shown.exit_code =
        lab->Run(lab->pc_namespace(), {"env", "XDG_CONFIG_HOME=" + xdg, QUORVEX_CLI_PATH, "config"},
                 &shown.out, &shown.err);
    EXPECT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_NE(shown.out.find(xdg + "/quorvex/config.xml (not read)"), std::string::npos)
        << shown.out;

    // Output that cannot be written whole is a failure with a message, whether
    // the very first write fails (/dev/full) or only the last flush (a full
    // file system: the whole document still sits in the stream's buffer).
    const std::string full_dir = lab->scratch_dir() + "/full";
    std::filesystem::create_directories(full_dir);
    const std::string script =
        "d=$1; shift; mount -t tmpfs -o size=16k tmpfs \"$d\" || exit 99; "
        "cat /dev/zero > \"$d/fill\" 2>/dev/null; \"$@\" > \"$d/out\"";
    for (const std::vector<std::string>& shell :
         {std::vector<std::string>{"sh", "-c", "exec \"$@\" > /dev/full", "sh"},
          {"unshare", "-m", "--propagation", "private", "sh", "-c", script, "sh", full_dir}}) {
        std::vector<std::string> argv = shell;
        for (const std::string& a : {std::string(QUORVEX_CLI_PATH), std::string("--config"), config,
                                     std::string("interfaces"), std::string("--json")})
            argv.push_back(a);
        Result r;
        r.exit_code = lab->Run(lab->pc_namespace(), argv, &r.out, &r.err);
        EXPECT_EQ(r.exit_code, 1) << shell[0] << r.err;
        EXPECT_NE(r.err.find("quorvex-cli: cannot write the output: No space left on device"),
                  std::string::npos)
            << r.err;
    }

    // Not one datagram reached the cameras, though they do hear a scan.
    EXPECT_EQ(sim->WaitForLog([](const LoggedDatagram&) { return true; }, 1, 1s), 0u);
    EXPECT_EQ(Cli(*lab, {"--config", config, "scan", "--wait", "1"}).exit_code, 0);
    EXPECT_GE(sim->WaitForLog([](const LoggedDatagram&) { return true; }, 2), 2u);
}

}  // namespace
}  // namespace quorvex
