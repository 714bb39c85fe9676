// The simulator's device side of both protocols, its device files and its
// generated devices, without a network.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sim/binary_device_protocol.h"
#include "sim/device_file.h"
#include "sim/json_reader.h"
#include "sim/sim_options.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Field(const std::array<std::uint8_t, kBinaryMessageLength>& m, std::size_t offset,
                  std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && m[i] != 0; ++i) text.push_back(char(m[i]));
    return text;
}

SimDevice BinaryDevice() {
    SimDevice d;
    d.protocol = DeviceProtocol::kBinary;
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(d.mac, mac, 6);
    d.ip = "192.168.0.64";
    d.mask = "255.255.255.0";
    d.gateway = "192.168.0.1";
    d.name = std::string(90, 'N');  // longer than the 80-byte field
    d.uid = "UID-1";
    d.software_version = "67.1.61.5";
    d.user = "admin";
    d.password = "secret";
    d.http_port = 8080;
    d.dhcp = 1;
    d.aux_flag = 0xA5;
    return d;
}

TEST(SimBinaryAnswer, FieldsSitAtTheirOffsetsAndLongTextKeepsATerminator) {
    std::array<std::uint8_t, kBinaryMessageLength> m{};
    ASSERT_EQ(BuildBinaryAnswer(BinaryDevice(), m), 324u);
    EXPECT_EQ(m[0], 0x44);  // 0: header 44 48 01 08
    EXPECT_EQ(m[1], 0x48);
    EXPECT_EQ(m[2], 0x01);
    EXPECT_EQ(m[3], 0x08);
    EXPECT_EQ(Field(m, 4, 16), "192.168.0.64");    // 4: IP
    EXPECT_EQ(Field(m, 20, 16), "255.255.255.0");  // 20: mask
    EXPECT_EQ(Field(m, 36, 16), "192.168.0.1");    // 36: gateway
    EXPECT_EQ(m[84], 0x00);                        // 84: MAC, raw bytes
    EXPECT_EQ(m[89], 0x5E);
    EXPECT_EQ(m[90], 0x90);  // 90: HTTP port 8080, little-endian
    EXPECT_EQ(m[91], 0x1F);
    EXPECT_EQ(Field(m, 92, 32), "UID-1");                // 92: UID
    EXPECT_EQ(Field(m, 124, 80), std::string(79, 'N'));  // 124: name, cut to 79 + zero
    EXPECT_EQ(m[203], 0);
    EXPECT_EQ(Field(m, 204, 16), "67.1.61.5");  // 204: software version
    EXPECT_EQ(Field(m, 236, 32), "admin");      // 236: user
    EXPECT_EQ(Field(m, 268, 32), "secret");     // 268: password
    EXPECT_EQ(m[300], 0xA5);                    // 300: flag byte
    EXPECT_EQ(m[301], 1);                       // 301: DHCP on
    for (std::size_t i = 302; i < 324; ++i) EXPECT_EQ(m[i], 0) << i;
}

// A command built in the shared layout from the device's own answer.
std::vector<std::uint8_t> CommandFor(const SimDevice& d, const char* password) {
    std::array<std::uint8_t, kBinaryMessageLength> m{};
    BuildBinaryAnswer(d, m);
    m[2] = 0x02;  // 0: header 44 48 02 01
    m[3] = 0x01;
    std::memset(m.data() + 4, 0, 16);
    std::memcpy(m.data() + 4, "10.77.1.50", 10);  // 4: new IP
    m[90] = 0x51;                                 // 90: HTTP port 81
    m[91] = 0x00;
    std::memset(m.data() + 268, 0, 32);
    std::memcpy(m.data() + 268, password, std::strlen(password));  // 268: password
    m[301] = 0;                                                    // 301: DHCP off
    return {m.begin(), m.end()};
}

TEST(SimBinaryCommand, AppliesOnlyWithItsMacAndCredentials) {
    SimDevice d = BinaryDevice();
    auto command = ParseBinaryCommand(CommandFor(d, "secret"));
    ASSERT_TRUE(command);
    SimDevice other = BinaryDevice();
    other.mac[5] = 0x5F;
    EXPECT_FALSE(ApplyBinaryCommand(*command, other));
    EXPECT_EQ(other.ip, "192.168.0.64");

    auto wrong = ParseBinaryCommand(CommandFor(d, "guess"));
    ASSERT_TRUE(wrong);
    EXPECT_FALSE(ApplyBinaryCommand(*wrong, d));
    EXPECT_EQ(d.ip, "192.168.0.64");

    EXPECT_TRUE(ApplyBinaryCommand(*command, d));
    EXPECT_EQ(d.ip, "10.77.1.50");
    EXPECT_EQ(d.http_port, 81);
    EXPECT_EQ(d.dhcp, 0);
    EXPECT_EQ(d.name, std::string(90, 'N'));  // identity is not taken from a command
}

TEST(SimBinaryCommand, ShortOrForeignDatagramsAreNotCommands) {
    const SimDevice d = BinaryDevice();
    std::vector<std::uint8_t> command = CommandFor(d, "secret");
    EXPECT_TRUE(ParseBinaryCommand(std::span(command).first(302)));
    EXPECT_FALSE(ParseBinaryCommand(std::span(command).first(301)));  // stops before DHCP
    command[3] = 0x08;
    EXPECT_FALSE(ParseBinaryCommand(command));
    const std::uint8_t probe[] = {0x44, 0x48, 0x01, 0x01};
    EXPECT_EQ(ClassifyBinary(probe), BinaryMessage::kProbe);
    EXPECT_EQ(ClassifyBinary(std::span(probe).first(3)), BinaryMessage::kNone);
}

SimDevice TextDevice() {
    SimDevice d;
    d.protocol = DeviceProtocol::kText;
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x03, 0x04, 0x05};
    std::memcpy(d.mac, mac, 6);
    d.device_id = "DEV-7";
    d.name = "Gate IP camera";
    d.ip = "10.77.2.20";
    d.password = "pw";
    d.http_port = 80;
    return d;
}

TEST(SimTextSearch, AnswersOnlyRequestsWithAClientIdAndEchoesIt) {
    const std::string request =
        "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:MorvainControl-Tesslar-1F\r\n"
        "Accept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
    EXPECT_EQ(ParseTextSearch(Bytes(request)), "MorvainControl-Tesslar-1F");
    EXPECT_FALSE(ParseTextSearch(Bytes("SEARCH * HDS/1.0\r\nCSeq:1\r\n\r\n")));
    EXPECT_FALSE(ParseTextSearch(Bytes("HDS/1.0 200 OK\r\nClient-ID:x\r\n\r\n")));

    const std::string answer = BuildTextAnswer(TextDevice(), "C-1");
    EXPECT_EQ(answer.rfind("HDS/1.0 200 OK\r\n", 0), 0u);
    // The PC reads the headers in this order from just past the client id.
    std::size_t at = answer.find("Client-ID:C-1\r\n");
    ASSERT_NE(at, std::string::npos);
    for (const char* header : {"Device-ID:DEV-7\r\n", "Device-Name:Gate IP camera\r\n", "UID:\r\n",
                               "IP:10.77.2.20\r\n", "MASK:", "MAC:00:1A:2B:03:04:05\r\n",
                               "Gateway:", "Software-Version:", "Web-Version:", "Http-Port:80\r\n",
                               "Dhcp:0\r\n", "Fdns:", "Sdns:"}) {
        const std::size_t next = answer.find(header, at);
        ASSERT_NE(next, std::string::npos) << header;
        at = next;
    }
    EXPECT_EQ(answer.substr(answer.size() - 4), "\r\n\r\n");
}

std::string TextCommandText(const std::string& auth, const std::string& id,
                            const std::string& body) {
    return "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:C-1\r\nAccept-Type:text/HDP\r\n"
           "Authorization:Basic " +
           auth + "\r\nDevice-ID:" + id + "\r\nContent-Length:" + std::to_string(body.size()) +
           "\r\n\r\n" + body + "\r\n\r\n";
}

TEST(SimTextCommand, NetconfAndHttpPortApplyToTheNamedDeviceWithItsPassword) {
    SimDevice d = TextDevice();
    // An empty gateway leaves "-gateway" right before "-dhcp".
    const std::string netconf =
        "netconf set -ipaddr 10.77.2.99 -netmask 255.255.0.0 -gateway  -dhcp on "
        "-fdnsip 10.77.2.1 -sdnsip 0.0.0.0 -dnsstat 0 -hwaddr 00:1A:2B:03:04:05";
    auto c = ParseTextCommand(Bytes(TextCommandText("admin:pw", "DEV-7", netconf)));
    ASSERT_TRUE(c);
    EXPECT_TRUE(ApplyTextCommand(*c, d));
    EXPECT_EQ(d.ip, "10.77.2.99");
    EXPECT_EQ(d.mask, "255.255.0.0");
    EXPECT_EQ(d.gateway, "");
    EXPECT_EQ(d.dhcp, 1);
    EXPECT_EQ(d.dns1, "10.77.2.1");

    auto port = ParseTextCommand(
        Bytes(TextCommandText("admin:pw", "DEV-7", "httpport set -httpport 8080")));
    ASSERT_TRUE(port);
    EXPECT_TRUE(ApplyTextCommand(*port, d));
    EXPECT_EQ(d.http_port, 8080);
    EXPECT_EQ(d.ip, "10.77.2.99");

    for (const auto& [auth, id] : {std::pair{"admin:wrong", "DEV-7"}, std::pair{"root:pw", "DEV-7"},
                                   std::pair{"admin:pw", "DEV-8"}}) {
        auto other =
            ParseTextCommand(Bytes(TextCommandText(auth, id, "httpport set -httpport 9000")));
        ASSERT_TRUE(other);
        EXPECT_FALSE(ApplyTextCommand(*other, d)) << auth << " " << id;
    }
    EXPECT_EQ(d.http_port, 8080);
}

TEST(SimTextCommand, MalformedCommandsAreNotCommands) {
    for (const std::string& body :
         {std::string("httpport set -httpport 70000"), std::string("httpport set -httpport"),
          std::string("netconf get"), std::string("reboot now"), std::string(""),
          std::string("netconf set -dhcp maybe")}) {
        EXPECT_FALSE(ParseTextCommand(Bytes(TextCommandText("admin:pw", "DEV-7", body)))) << body;
    }
    EXPECT_FALSE(
        ParseTextCommand(Bytes("CMD * HDS/1.0\r\nDevice-ID:DEV-7\r\n\r\n"
                               "httpport set -httpport 1\r\n\r\n")));  // no credentials
    std::string zero = TextCommandText("admin:pw", "DEV-7", "httpport set -httpport 81");
    zero[3] = '\0';
    EXPECT_FALSE(ParseTextCommand(Bytes(zero)));
}

TEST(SimJson, MalformedTextIsRejectedWithItsPosition) {
    JsonValue value;
    std::string error;
    for (const char* bad : {"", "[", "[1,]", "{\"a\" 1}", "[\"open", "[01x]", "{\"a\":1,\"a\":2}",
                            "[tru]", "[\"\\q\"]", "[1] 2", "[\"\\ud800\\u0041\"]"}) {
        EXPECT_FALSE(ParseJson(bad, value, error)) << bad;
        EXPECT_NE(error.find("line 1, column"), std::string::npos) << error;
    }
    EXPECT_FALSE(ParseJson(std::string(100000, '['), value, error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);

    ASSERT_TRUE(
        ParseJson("[{\"a\": \"\\u00e9\\n\", \"b\": -1.5e2, \"c\": [true, null]}]", value, error))
        << error;
    const JsonValue& object = value.items.at(0);
    EXPECT_EQ(object.members.at(0).second.text, "\xC3\xA9\n");
    EXPECT_EQ(object.members.at(1).second.number, -150);
    EXPECT_EQ(object.members.at(2).second.items.size(), 2u);
}

TEST(SimDeviceFile, ReadsEveryKeyAndFillsDefaults) {
    const char* text = R"([
      {"mac": "00:1a:2b:3c:4d:5e", "protocol": "binary", "name": "Lobby", "uid": "U1",
       "ip": "192.168.0.9", "mask": "255.255.255.0", "gateway": "192.168.0.1",
       "dns1": "8.8.8.8", "dns2": "0.0.0.0", "http_port": 8080, "dhcp": true,
       "software_version": "67.2.70.1", "web_version": "3.1", "user": "root",
       "password": "pw", "aux_flag": 7, "reply": "broadcast"},
      {"mac": "00-1A-2B-3C-4D-5F", "family": "E"},
      {"mac": "00-1A-2B-3C-4D-60", "family": "J"}
    ])";
    std::vector<SimDevice> devices;
    std::string error;
    ASSERT_TRUE(DevicesFromJson(text, ReplyMode::kUnicast, devices, error)) << error;
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].mac[0], 0x00);
    EXPECT_EQ(devices[0].mac[5], 0x5E);
    EXPECT_EQ(devices[0].http_port, 8080);
    EXPECT_EQ(devices[0].dhcp, 1);
    EXPECT_EQ(devices[0].aux_flag, 7);
    EXPECT_EQ(devices[0].user, "root");
    EXPECT_EQ(devices[0].reply, ReplyMode::kBroadcast);
    EXPECT_EQ(FamilyLetter(devices[0]), 'H');
    EXPECT_EQ(devices[1].protocol, DeviceProtocol::kText);
    EXPECT_EQ(devices[1].device_id, "001A2B3C4D5F");
    EXPECT_EQ(devices[1].user, "admin");
    EXPECT_EQ(devices[1].reply, ReplyMode::kUnicast);
    EXPECT_EQ(EffectiveReply(devices[0]), ReplyMode::kBroadcast);
    EXPECT_EQ(FamilyLetter(devices[2]), 'J');
}

TEST(SimDeviceFile, MistakesAreErrorsThatNameTheDevice) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"mac": "00-1A-2B-3C-4D-5E"})", "array"},
        {R"([{"protocol": "binary"}])", "\"mac\" is missing"},
        {R"([{"mac": "00-1A-2B-3C-4D", "protocol": "binary"}])", "\"mac\""},
        {R"([{"mac": "00-1A-2B-3C-4D-5E"}])", "\"protocol\""},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "colour": "red"}])", "colour"},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "http_port": 70000}])",
         "http_port"},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "http_port": "80"}])", "http_port"},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "text", "family": "H"}])", "family"},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "family": "H", "software_version": "66.1.70.1"}])",
         "family J"},
        {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "reply": "loud"}])", "reply"},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<SimDevice> devices(1);
        std::string error;
        EXPECT_FALSE(DevicesFromJson(text, ReplyMode::kUnicast, devices, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_EQ(devices.size(), 1u);  // untouched
    }
}

TEST(SimGenerator, DevicesAreDeterministicDistinctAndOfTheirFamily) {
    GeneratorSettings s;
    s.binary_h = 4000;
    s.binary_j = 3000;
    s.text = 3000;
    s.seed = 7;
    s.subnet = "10.77.";
    s.outside = 10;
    const auto devices = GenerateDevices(s);
    ASSERT_EQ(devices.size(), 10000u);
    EXPECT_EQ(GenerateDevices(s)[1234].name, devices[1234].name);
    std::set<std::string> macs;
    int h = 0, j = 0, e = 0, outside = 0;
    for (const auto& d : devices) {
        macs.insert(MacText(d.mac));
        const char f = FamilyLetter(d);
        h += f == 'H';
        j += f == 'J';
        e += f == 'E';
        outside += d.ip.rfind("192.168.0.", 0) == 0;
        EXPECT_EQ(d.ip.rfind("10.77.", 0) == 0 || d.ip.rfind("192.168.0.", 0) == 0, true) << d.ip;
    }
    EXPECT_EQ(macs.size(), 10000u);
    EXPECT_EQ(h, 4000);
    EXPECT_EQ(j, 3000);
    EXPECT_EQ(e, 3000);
    EXPECT_EQ(outside, 10);
    s.seed = 8;
    EXPECT_NE(MacText(GenerateDevices(s)[0].mac), MacText(devices[0].mac));
}

TEST(SimOptionsParse, BadArgumentsAreRefusedWithAReason) {
    for (const std::vector<const char*>& argv : {std::vector<const char*>{"sim", "--binary-h"},
                                                 {"sim", "--binary-h", "-1"},
                                                 {"sim", "--text", "1x"},
                                                 {"sim", "--reply", "shout"},
                                                 {"sim", "--subnet", "10.77.1"},
                                                 {"sim", "--subnet", "300.1.1."},
                                                 {"sim", "--outside", "3", "--text", "2"},
                                                 {"sim", "--first-host", "255"},
                                                 {"sim", "--frobnicate"},
                                                 {"sim", "extra"},
                                                 {"sim", "--interface", "a-name-far-too-long"}}) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, error))
            << argv.back();
        EXPECT_FALSE(error.empty());
    }
    const char* good[] = {"sim",         "--text=3", "--reply",  "mixed",    "--interface", "eth0",
                          "--interface", "eth1",     "--subnet", "10.77.1.", "--spread",    "250"};
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(12, good, options, error)) << error;
    EXPECT_EQ(options.generator.text, 3);
    EXPECT_TRUE(options.generator.mixed);
    EXPECT_EQ(options.interfaces.size(), 2u);
    EXPECT_EQ(options.spread_ms, 250);
}

}  // namespace
}  // namespace quorvex::sim
