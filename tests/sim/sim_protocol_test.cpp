// The simulator's device side and hostile modes, without a network: answers
// at hand-written offsets, commands matched against MAC and credentials, and
// hostile datagrams judged by the PC's own parsers.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "core/ws_discovery_codec.h"
#include "sim/binary_device_protocol.h"
#include "sim/device_file.h"
#include "sim/flood_datagrams.h"
#include "sim/flood_responder.h"
#include "sim/http_request_reader.h"
#include "sim/soap_request.h"
#include "sim/spoof_responder.h"
#include "sim/text_device_protocol.h"
#include "sim/wsd_device_protocol.h"
#include "sim/wsd_responder.h"

namespace quorvex::sim {
namespace {

using Message = std::array<std::uint8_t, kBinaryMessageLength>;

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string Field(const Message& m, std::size_t offset, std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && m[i] != 0; ++i) text.push_back(char(m[i]));
    return text;
}

std::uint32_t Address(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

SimDevice Device(DeviceProtocol protocol) {
    return {.protocol = protocol,
            .mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
            .name = std::string(90, 'N'),  // longer than the 80-byte field
            .uid = "UID-1",
            .ip = "192.168.0.64",
            .mask = "255.255.255.0",
            .gateway = "192.168.0.1",
            .dns1 = "",
            .dns2 = "",
            .software_version = "67.1.61.5",
            .web_version = "",
            .password = "secret",
            .device_id = "DEV-7",
            .http_port = 8080,
            .dhcp = 1,
            .aux_flag = 0xA5,
            .reply = ReplyMode::kUnicast,
            .wsd_too = false,
            .wsd_style = WsdStyle::kPlain,
            .endpoint = "urn:uuid:5157001a-2b3c-4d5e-8000-000000000001",
            .hardware = "QX-200/B",
            .location = "Hall 1"};
}

TEST(SimBinaryAnswer, FieldsSitAtTheirOffsetsAndLongTextKeepsATerminator) {
    Message m{};
    ASSERT_EQ(BuildBinaryAnswer(Device(DeviceProtocol::kBinary), m), 324u);
    EXPECT_EQ(std::memcmp(m.data(), "\x44\x48\x01\x08", 4), 0);  // 0: header 44 48 01 08
    EXPECT_EQ(Field(m, 4, 16), "192.168.0.64");                  // 4: IP
    EXPECT_EQ(Field(m, 20, 16), "255.255.255.0");                // 20: mask
    EXPECT_EQ(Field(m, 36, 16), "192.168.0.1");                  // 36: gateway
    EXPECT_EQ(std::memcmp(m.data() + 84, "\x00\x1A\x2B\x3C\x4D\x5E", 6), 0);  // 84: MAC
    EXPECT_EQ(m[90] | m[91] << 8, 8080);                 // 90: HTTP port, little-endian
    EXPECT_EQ(Field(m, 92, 32), "UID-1");                // 92: UID
    EXPECT_EQ(Field(m, 124, 80), std::string(79, 'N'));  // 124: name, cut to 79 + zero
    EXPECT_EQ(Field(m, 204, 16), "67.1.61.5");           // 204: software version
    EXPECT_EQ(Field(m, 236, 32), "admin");               // 236: user
    EXPECT_EQ(Field(m, 268, 32), "secret");              // 268: password
    EXPECT_EQ(m[300], 0xA5);                             // 300: flag byte
    EXPECT_EQ(m[301], 1);                                // 301: DHCP on
    EXPECT_TRUE(std::all_of(m.begin() + 302, m.begin() + 324, [](auto b) { return b == 0; }));
}

TEST(SimBinaryCommand, AppliesOnlyWithItsMacAndPasswordAndWholeLayout) {
    SimDevice d = Device(DeviceProtocol::kBinary);
    const auto command = [&](const char* password) {
        Message m{};
        BuildBinaryAnswer(d, m);
        m[2] = 0x02;  // 0: header 44 48 02 01
        m[3] = 0x01;
        std::memset(m.data() + 4, 0, 16);
        std::memcpy(m.data() + 4, "10.77.1.50", 10);  // 4: new IP
        std::memset(m.data() + 268, 0, 32);
        std::memcpy(m.data() + 268, password, std::strlen(password));  // 268: password
        m[301] = 0;                                                    // 301: DHCP off
        return m;
    };
    const Message right = command("secret");
    EXPECT_FALSE(ParseBinaryCommand(std::span(right).first(301)));  // stops before DHCP
    Message foreign = right;
    foreign[3] = 0x08;
    EXPECT_FALSE(ParseBinaryCommand(foreign));
    const auto wrong = ParseBinaryCommand(command("guess"));
    const auto good = ParseBinaryCommand(std::span(right).first(302));
    ASSERT_TRUE(wrong && good);
    SimDevice other = d;
    other.mac[5] = 0x5F;
    EXPECT_FALSE(ApplyBinaryCommand(*good, other));
    EXPECT_FALSE(ApplyBinaryCommand(*wrong, d));
    EXPECT_EQ(d.ip, "192.168.0.64");
    EXPECT_TRUE(ApplyBinaryCommand(*good, d));
    EXPECT_EQ(d.ip, "10.77.1.50");
    EXPECT_EQ(d.dhcp, 0);
    EXPECT_EQ(d.name, std::string(90, 'N'));  // identity is not taken from a command
}

TEST(SimTextSearch, AnswerHasEveryHeaderInTheOrderThePcReads) {
    const std::string answer = BuildTextAnswer(Device(DeviceProtocol::kText), "C-1");
    EXPECT_EQ(answer.rfind("HDS/1.0 200 OK\r\n", 0), 0u);
    std::size_t at = 0;  // the PC reads the headers in this order
    for (const char* header :
         {"Client-ID:C-1\r\n", "Device-ID:DEV-7\r\n", "Device-Name:N", "UID:UID-1\r\n",
          "IP:192.168.0.64\r\n", "MASK:", "MAC:00:1A:2B:3C:4D:5E\r\n",
          "Gateway:", "Software-Version:", "Web-Version:", "Http-Port:8080\r\n", "Dhcp:1\r\n",
          "Fdns:", "Sdns:"}) {
        at = answer.find(header, at);
        ASSERT_NE(at, std::string::npos) << header;
    }
    EXPECT_EQ(answer.substr(answer.size() - 4), "\r\n\r\n");
}

std::string TextCommand(const std::string& auth, const std::string& id, const std::string& body) {
    return "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:C-1\r\nAccept-Type:text/HDP\r\n"
           "Authorization:Basic " +
           auth + "\r\nDevice-ID:" + id + "\r\nContent-Length:" + std::to_string(body.size()) +
           "\r\n\r\n" + body + "\r\n\r\n";
}

TEST(SimTextCommand, AppliesToTheNamedDeviceWithItsCredentialsAndMalformedOnesAreNone) {
    SimDevice d = Device(DeviceProtocol::kText);
    const auto set = [&d](const std::string& pairs) {
        const auto c = ParseTextCommand(Bytes(TextCommand(
            "admin:secret", "DEV-7", "netconf set " + pairs + " -hwaddr 00:1A:2B:3C:4D:5E")));
        return c && ApplyTextCommand(*c, d);
    };
    ASSERT_TRUE(set("-ipaddr 10.77.2.99 -netmask 255.255.0.0 -dhcp off -fdnsip 10.77.2.1"));
    EXPECT_EQ(d.ip + " " + d.mask + " " + d.gateway + " " + d.dns1,
              "10.77.2.99 255.255.0.0 192.168.0.1 10.77.2.1");
    EXPECT_EQ(d.dhcp, 0);
    // Split on blanks into strict pairs, as firmware does: the empty gateway
    // takes "-dhcp" for its value and every pair after it shifts, so the
    // switch and the name servers stay as they were.
    d.dhcp = 1;
    ASSERT_TRUE(set("-ipaddr 10.77.2.98 -gateway  -dhcp off -fdnsip 10.77.2.2 -sdnsip 10.77.2.3"));
    EXPECT_EQ(d.ip + " " + d.gateway + " " + d.dns1 + "|" + d.dns2, "10.77.2.98 -dhcp 10.77.2.1|");
    EXPECT_EQ(d.dhcp, 1);
    for (const auto& [auth, id] :
         {std::pair{"admin:wrong", "DEV-7"}, std::pair{"root:secret", "DEV-7"},
          std::pair{"admin:secret", "DEV-8"}, std::pair{"admin:secret", "DEV-7"}}) {
        const auto c =
            ParseTextCommand(Bytes(TextCommand(auth, id, "httpport set -httpport 9000")));
        ASSERT_TRUE(c);
        const bool right = std::string(auth) == "admin:secret" && std::string(id) == "DEV-7";
        EXPECT_EQ(ApplyTextCommand(*c, d), right) << auth << " " << id;
    }
    EXPECT_EQ(d.http_port, 9000);
    for (const std::string body : {"httpport set -httpport 70000", "httpport set -httpport",
                                   "netconf get", "reboot now", "", "netconf set -dhcp maybe"})
        EXPECT_FALSE(ParseTextCommand(Bytes(TextCommand("admin:secret", "DEV-7", body)))) << body;
    EXPECT_FALSE(
        ParseTextCommand(Bytes("CMD * HDS/1.0\r\nDevice-ID:DEV-7\r\n\r\n"
                               "httpport set -httpport 1\r\n\r\n")));  // no credentials
    std::string zero = TextCommand("admin:secret", "DEV-7", "httpport set -httpport 81");
    zero[3] = '\0';
    EXPECT_FALSE(ParseTextCommand(Bytes(zero)));
}

const std::string kClientId = MorvainSearch::MakeClientId(0xC0FFEE);
const std::vector<std::uint8_t> kProbe = {0x44, 0x48, 0x01, 0x01};

std::optional<DeviceEntry> ParseAnswer(std::span<const std::uint8_t> bytes) {
    auto binary = BrannocSearch::ParseAnswerBytes(bytes, 1);
    return binary ? binary : MorvainSearch::ParseAnswerBytes(bytes, kClientId, 1);
}

ReceivedDatagram Heard(SocketKind socket, const std::vector<std::uint8_t>& bytes) {
    ReceivedDatagram d;
    d.socket = socket;
    d.source_address = htonl(0x0A4D0101);  // 10.77.1.1
    d.source_port = socket == SocketKind::kBinary ? 40001 : 12109;
    d.bytes = bytes;
    return d;
}

std::vector<std::uint8_t> TextSearch() {
    const std::string text = "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:" + kClientId +
                             "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
    return {text.begin(), text.end()};
}

// Runs a flood of `count` through the PC's probes on both ports until done.
std::vector<OutgoingDatagram> Flood(FloodKind kind, std::uint64_t count) {
    FloodResponder flood(kind, count, 0, FloodAim::kMixed, 4, nullptr);
    std::vector<OutgoingDatagram> out;
    flood.OnDatagram(Heard(SocketKind::kBinary, kProbe), {}, out);
    flood.OnDatagram(Heard(SocketKind::kText, TextSearch()), {}, out);
    for (int ticks = 0; !flood.done() && ticks < 100; ++ticks) flood.OnTick({}, {}, out);
    EXPECT_EQ(out.size(), count);
    return out;
}

// The simulator's WS-Discovery side, judged by the PC's own codec: the probe
// the PC builds is read, every style reads back to the same camera, each style
// answers the probe types it should, the malformed answers are refused, and
// the cameras of one simulator name addresses of their own.
TEST(SimWsd, StylesReadBackByThePcCodecAndMalformedOnesAreRefused) {
    using Codec = WsDiscoveryCodec;
    std::array<std::uint8_t, 2048> buffer{};
    const std::string id = "urn:uuid:00000000-1111-4222-8333-444444444444";
    const std::size_t n = Codec::BuildProbe(buffer, Codec::ProbeType::kDevice, id);
    const auto probe = ParseWsdProbe(std::span(buffer).first(n));
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->message_id, id);
    EXPECT_TRUE(probe->device);
    EXPECT_FALSE(probe->video);

    SimDevice device = Device(DeviceProtocol::kWsd);
    device.name = "Lobby 1";
    for (const WsdStyle style : {WsdStyle::kPlain, WsdStyle::kOdd, WsdStyle::kIpv6First}) {
        SCOPED_TRACE(static_cast<int>(style));
        device.wsd_style = style;
        EXPECT_EQ(AnswersWsdProbe(device, WsdProbe{id, true, false}), style != WsdStyle::kOdd);
        EXPECT_EQ(AnswersWsdProbe(device, WsdProbe{id, false, true}),
                  style != WsdStyle::kIpv6First);
        const auto parsed = Codec::Parse(Bytes(BuildWsdProbeMatches(device, id, 1)));
        ASSERT_TRUE(parsed.message);
        EXPECT_EQ(parsed.message->kind, Codec::Kind::kProbeMatches);
        EXPECT_EQ(parsed.message->relates_to, id);
        ASSERT_EQ(parsed.message->matches.size(), 1u);
        EXPECT_TRUE(Codec::IsVideoDevice(parsed.message->matches[0]));
        const WsdDevice d = Codec::MakeDevice(parsed.message->matches[0], Address("192.168.0.1"),
                                              Address("255.255.255.0"), Address("192.168.0.64"));
        EXPECT_EQ(GetText(d.entry.info.ip), "192.168.0.64");
        EXPECT_EQ(d.entry.info.http_port, 8080);
        EXPECT_EQ(GetText(d.entry.info.name), "Lobby 1");
        EXPECT_EQ(GetText(d.wsd.hardware), "QX-200/B");
        EXPECT_EQ(GetText(d.wsd.endpoint), device.endpoint);
        // Only the odd style of a WS-Discovery-only camera leaves out its MAC.
        EXPECT_EQ(DeviceKey(d.entry.info) == "00-1A-2B-3C-4D-5E", style != WsdStyle::kOdd);
    }
    for (const std::string& text : {BuildWsdHello(device, 2), BuildWsdBye(device, 3)}) {
        const auto parsed = Codec::Parse(Bytes(text));
        ASSERT_TRUE(parsed.message);
        ASSERT_EQ(parsed.message->matches.size(), 1u);
        EXPECT_EQ(parsed.message->matches[0].endpoint, device.endpoint);
    }
    // A device never takes its own kind of answer for a probe.
    EXPECT_FALSE(ParseWsdProbe(Bytes(BuildWsdProbeMatches(device, id, 1))));
    const auto malformed = BuildWsdMalformed(id);
    ASSERT_EQ(malformed.size(), 5u);
    for (std::size_t i = 0; i + 1 < malformed.size(); ++i) {
        EXPECT_FALSE(Codec::Parse(Bytes(malformed[i])).message) << i;
        EXPECT_LE(malformed[i].size(), 65507u);
    }
    EXPECT_EQ(Codec::Parse(Bytes(malformed.back())).message->kind, Codec::Kind::kFault);

    // Every answer leaves from the simulator's address: cameras whose own
    // address lies outside the probed subnet each name one of their own in it.
    device.wsd_style = WsdStyle::kPlain;
    device.ip = "10.77.1.30";
    SimDevice away = device, dual = Device(DeviceProtocol::kText);
    away.ip = "10.78.5.6";
    away.reply_delay_ms = 900;
    dual.wsd_too = true;  // states its address in its own protocol too
    WsdResponder responder({device, away, away, dual}, {},
                           {{"veth0", inet_addr("10.77.1.254"), inet_addr("255.255.255.0")}});
    std::vector<OutgoingDatagram> out;
    const Clock::time_point now{std::chrono::seconds(5)};
    responder.OnDatagram(Heard(SocketKind::kWsd, {buffer.begin(), buffer.begin() + n}), now, out);
    std::vector<std::string> named;
    for (const OutgoingDatagram& o : out)
        named.push_back(Codec::Parse(o.bytes).message.value().matches.at(0).xaddrs.at(0));
    EXPECT_EQ(named, (std::vector<std::string>{"http://10.77.1.30:8080/onvif/device_service",
                                               "http://10.77.1.252:8080/onvif/device_service",
                                               "http://10.77.1.251:8080/onvif/device_service",
                                               "http://192.168.0.64:8080/onvif/device_service"}));
    EXPECT_EQ(out.at(1).due - now, std::chrono::milliseconds(900));
}

TEST(FloodResponder, JunkNeverFormsAWholeAnswerAndRandomMacsAreValidAndDistinct) {
    // Random bytes and near misses of every variant, judged by the PC's parsers.
    for (const FloodKind kind : {FloodKind::kRandom, FloodKind::kNearMiss})
        for (const OutgoingDatagram& o : Flood(kind, 3000)) ASSERT_FALSE(ParseAnswer(o.bytes));
    std::vector<std::vector<std::uint8_t>> decoys;  // whole answers the PC takes
    for (const auto protocol : {DeviceProtocol::kBinary, DeviceProtocol::kText})
        for (int i = 0; i < kDecoyCount; ++i) {
            decoys.push_back(AnswerBytes(DecoyDevice(protocol, i), kClientId));
            ASSERT_TRUE(ParseAnswer(decoys.back()));
        }
    for (const OutgoingDatagram& o : Flood(FloodKind::kTruncated, 3000)) {
        // A strict prefix of some decoy's whole answer.
        ASSERT_TRUE(std::any_of(decoys.begin(), decoys.end(), [&](const auto& whole) {
            return o.bytes.size() < whole.size() &&
                   std::equal(o.bytes.begin(), o.bytes.end(), whole.begin());
        }));
    }
    std::vector<std::string> keys;
    for (const OutgoingDatagram& o : Flood(FloodKind::kRandomMacs, 4000)) {
        const auto entry = ParseAnswer(o.bytes);
        ASSERT_TRUE(entry);
        keys.push_back(DeviceKey(entry->info));
    }
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::unique(keys.begin(), keys.end()), keys.end());
}

TEST(SpoofResponder, AnswersEachSearchOnceMoreJustAfterTheCameraWithItsMac) {
    SimDevice binary = Device(DeviceProtocol::kBinary), text = Device(DeviceProtocol::kText);
    binary.name = "gate";
    text.mac[5] = 0x5F;
    text.reply = ReplyMode::kMulticast;
    SpoofResponder spoof({binary, text});
    std::vector<OutgoingDatagram> out;
    spoof.OnDatagram(Heard(SocketKind::kBinary, kProbe), {}, out);
    spoof.OnDatagram(Heard(SocketKind::kText, TextSearch()), {}, out);
    spoof.OnDatagram(Heard(SocketKind::kBinary, {0x44, 0x48, 0x02, 0x01}), {}, out);  // command
    ASSERT_EQ(out.size(), 2u);
    const auto b = ParseAnswer(out[0].bytes), t = ParseAnswer(out[1].bytes);
    ASSERT_TRUE(b && t);
    EXPECT_GT(out[0].due, Clock::time_point{});
    EXPECT_EQ(DeviceKey(b->info), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(DeviceName(b->info), "spoofed gate");
    EXPECT_EQ(out[0].address, htonl(0x0A4D0101));
    EXPECT_EQ(out[0].port, 40001);
    EXPECT_EQ(DeviceKey(t->info), "00-1A-2B-3C-4D-5F");
    EXPECT_EQ(out[1].address, inet_addr(kTextGroup));  // in the camera's own reply mode
}

TEST(SimStandardRequest, NamespacesDecideAndDoctypesCapsAndStrayKeysRefuse) {
    // The operation is read by namespace: a default namespace on the body
    // element counts, a look-alike prefix bound elsewhere does not.
    const std::string plain =
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>"
        "<SetDNS xmlns=\"http://www.onvif.org/ver10/device/wsdl\"><DNSManual>"
        "<t:IPv4Address xmlns:t=\"http://www.onvif.org/ver10/schema\">10.0.0.9</t:IPv4Address>"
        "</DNSManual></SetDNS></e:Body></e:Envelope>";
    auto parsed = ParseSoapRequest(Bytes(plain));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->operation_prefix, "tds");
    EXPECT_EQ(parsed->operation, "SetDNS");
    EXPECT_EQ(parsed->Text("tds:SetDNS/tds:DNSManual/tt:IPv4Address"), "10.0.0.9");
    EXPECT_EQ(parsed->Text("DNSManual/tt:IPv4Address"), "");  // whole names only
    std::string other = plain;
    other.replace(other.find("ver10/device/wsdl"), 17, "ver10/media/wsdl");
    parsed = ParseSoapRequest(Bytes(other));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->operation_prefix, "?");
    std::string deep = "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\"><e:Body>";
    for (int i = 0; i < 40; ++i) deep += "<x>";
    for (int i = 0; i < 40; ++i) deep += "</x>";
    deep += "</e:Body></e:Envelope>";
    for (const std::string& bad :
         {"<!DOCTYPE e [<!ENTITY a \"aaaa\">]>" + plain,
          std::string("<Envelope><Body/></Envelope>"), plain.substr(0, plain.size() - 3),
          std::string(),
          std::string("<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\">"
                      "</e:Envelope>"),
          deep})
        EXPECT_FALSE(ParseSoapRequest(Bytes(bad))) << bad.substr(0, 60);

    // HTTP: whole, cut short, two in a row, and each cap.
    const std::string post =
        "POST /s HTTP/1.1\r\nHost: x\r\nauthorization: Digest a=b\r\n"
        "Expect: 100-continue\r\nContent-Length: 4\r\n\r\nbody";
    HttpRequestHead head;
    std::size_t head_size = 0;
    EXPECT_EQ(ReadHttpRequest(Bytes(post + post), head, head_size), HttpReadStatus::kComplete);
    EXPECT_EQ(head.target, "/s");
    EXPECT_EQ(head.authorization, "Digest a=b");
    EXPECT_TRUE(head.expects_continue);
    EXPECT_EQ(head_size + head.content_length, post.size());
    EXPECT_EQ(ReadHttpRequest(Bytes(post.substr(0, post.size() - 1)), head, head_size),
              HttpReadStatus::kIncomplete);
    EXPECT_EQ(
        ReadHttpRequest(Bytes("POST / HTTP/1.1\r\nContent-Length: 65537\r\n\r\n"), head, head_size),
        HttpReadStatus::kTooLarge);
    EXPECT_EQ(ReadHttpRequest(Bytes(std::string(kMaxRequestHead, 'A')), head, head_size),
              HttpReadStatus::kTooLarge);
    EXPECT_EQ(ReadHttpRequest(Bytes("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"), head,
                              head_size),
              HttpReadStatus::kNoLength);
    for (const char* bad :
         {"POST /\r\n\r\n", "POST / HTTP/2\r\n\r\n",
          "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", "POST / HTTP/1.1\r\nno colon\r\n\r\n"})
        EXPECT_EQ(ReadHttpRequest(Bytes(bad), head, head_size), HttpReadStatus::kBadRequest) << bad;

    // Device files: a standard camera with its keys; the keys on another
    // device, or a camera without an address, are refused.
    std::vector<SimDevice> devices;
    std::string error;
    ASSERT_TRUE(DevicesFromJson(
        R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "standard", "ip": "10.0.0.5",
             "mask": "255.255.0.0", "http_port": 8000, "auth": "token",
             "behaviour": "strict-gateway", "clock_offset_s": -259200, "path": "/dev"}])",
        ReplyMode::kUnicast, devices, error))
        << error;
    ASSERT_EQ(devices.size(), 1u);
    const SimDevice& d = devices[0];
    EXPECT_TRUE(d.standard.on && d.standard.strict_gateway);
    EXPECT_EQ(d.standard.auth, StandardAuth::kUsernameToken);
    EXPECT_EQ(d.standard.clock_offset_s, -259200);
    EXPECT_EQ(d.service_path, "/dev");
    EXPECT_EQ(d.endpoint.rfind("urn:uuid:001A2B3C-4D5E-", 0), 0u) << d.endpoint;
    EXPECT_NE(BuildWsdHello(d, 1).find("<wsd:XAddrs>http://10.0.0.5:8000/dev</wsd:XAddrs>"),
              std::string::npos);
    for (const char* bad :
         {R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "text", "auth": "token"}])",
          R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "standard", "ip": "10.0.0.5"}])",
          R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "standard", "ip": "10.0.0.5",
               "mask": "255.0.0.0", "behaviour": "sleepy"}])"})
        EXPECT_FALSE(DevicesFromJson(bad, ReplyMode::kUnicast, devices, error)) << bad;
}

}  // namespace
}  // namespace quorvex::sim
