#include "core/ws_discovery_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace quorvex {
namespace {

using Codec = WsDiscoveryCodec;

constexpr std::uint32_t kInterface = 0x0101A8C0;  // 192.168.1.1
constexpr std::uint32_t kMask = 0x00FFFFFF;       // 255.255.255.0
constexpr std::uint32_t kSource = 0x4001A8C0;     // 192.168.1.64

Codec::ParseResult Parse(std::string_view text) {
    return Codec::Parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}
Codec::Message Message(std::string_view text) {
    Codec::ParseResult result = Parse(text);
    EXPECT_EQ(result.refusal, Codec::Refusal::kNone);
    return result.message.value_or(Codec::Message{});
}

// A ProbeMatches in the plainest style: every prefix on the Envelope.
const std::string kPlainMatches =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    // SOAP 1.2 under the prefix "SOAP-ENV", addressing "wsa", discovery "d",
    // the camera's type namespace "dn".
    R"(<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope")"
    R"( xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing")"
    R"( xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery")"
    R"( xmlns:dn="http://www.onvif.org/ver10/network/wsdl">)"
    R"(<SOAP-ENV:Header>)"
    R"(<wsa:MessageID>urn:uuid:0a6dc791-2a1b-4d2c-9e3f-00c0ffee0001</wsa:MessageID>)"
    // Names the probe this answers.
    R"(<wsa:RelatesTo>urn:uuid:11111111-2222-4333-8444-555555555555</wsa:RelatesTo>)"
    R"(<wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>)"
    R"(<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>)"
    R"(</SOAP-ENV:Header><SOAP-ENV:Body><d:ProbeMatches><d:ProbeMatch>)"
    // The identity: an endpoint reference that outlives address changes.
    R"(<wsa:EndpointReference><wsa:Address>urn:uuid:cafe0001-0000-4000-8000-00112233445f)"
    R"(</wsa:Address></wsa:EndpointReference>)"
    R"(<d:Types>dn:NetworkVideoTransmitter</d:Types>)"
    // Percent-encoded values, scope names in any case, location in two parts.
    R"(<d:Scopes>onvif://www.onvif.org/type/video_encoder)"
    R"( onvif://www.onvif.org/name/Lobby%20Camera)"
    R"( onvif://www.onvif.org/Hardware/QX-200%2FB)"
    R"( ONVIF://www.onvif.org/location/city/Oslo)"
    R"( onvif://www.onvif.org/location/building/North%20Wing)"
    R"( onvif://www.onvif.org/MAC/00:1a:2b:3c:4d:5f</d:Scopes>)"
    // Link-local first, the subnet's address second, IPv6 last; newlines and
    // tabs separate them as well as blanks.
    "<d:XAddrs>http://169.254.10.20/onvif/device_service\n"
    "\thttp://192.168.1.64/onvif/device_service http://[fe80::1%25eth0]:8080/onvif</d:XAddrs>"
    R"(<d:MetadataVersion>3</d:MetadataVersion>)"
    R"(</d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>)";

TEST(WsDiscoveryCodecParse, PlainProbeMatchesIntoAnEntry) {
    const Codec::Message m = Message(kPlainMatches);
    EXPECT_EQ(m.kind, Codec::Kind::kProbeMatches);
    EXPECT_EQ(m.relates_to, "urn:uuid:11111111-2222-4333-8444-555555555555");
    EXPECT_EQ(m.action, "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches");
    ASSERT_EQ(m.matches.size(), 1u);
    const Codec::Match& match = m.matches[0];
    EXPECT_EQ(match.xaddrs.size(), 3u);
    EXPECT_EQ(match.scopes.size(), 6u);
    EXPECT_EQ(match.metadata_version, 3u);
    EXPECT_TRUE(Codec::IsVideoDevice(match));

    // Heard from the link-local address: the shown address is still the one
    // on the interface's subnet, with its port made explicit.
    const WsdDevice device = Codec::MakeDevice(match, kInterface, kMask, 0x140AFEA9);
    EXPECT_EQ(GetText(device.entry.info.ip), "192.168.1.64");
    EXPECT_EQ(device.entry.info.http_port, 80);
    EXPECT_EQ(GetText(device.entry.info.name), "Lobby Camera");
    EXPECT_EQ(GetText(device.wsd.hardware), "QX-200/B");
    EXPECT_EQ(GetText(device.wsd.location), "city/Oslo building/North Wing");
    EXPECT_EQ(DeviceKey(device.entry.info), "00-1A-2B-3C-4D-5F");
    EXPECT_EQ(TableKey(device), 0x001A2B3C4D5Full);
    EXPECT_EQ(GetText(device.wsd.xaddrs),
              "http://169.254.10.20:80/onvif/device_service "
              "http://192.168.1.64:80/onvif/device_service http://[fe80::1%25eth0]:8080/onvif");
    EXPECT_EQ(GetText(device.wsd.types), "NetworkVideoTransmitter");
    EXPECT_EQ(GetText(device.entry.info.uid), "urn:uuid:cafe0001-0000-4000-8000-00112233445f");
    EXPECT_EQ(device.wsd.flags, kWsdLinkLocal | kWsdIpv6);
    EXPECT_EQ(device.entry.family, kFamilyWsDiscovery);
    EXPECT_EQ(device.entry.protocol, kProtocolWsDiscovery);
    EXPECT_EQ(device.entry.protocols, 1u << kProtocolWsDiscovery);
    EXPECT_EQ(device.wsd.metadata_version, 3u);

    // Heard on another subnet: none of its XAddrs is there, so the sender is
    // shown, with the port of the XAddr that names it.
    const WsdDevice away = Codec::MakeDevice(match, 0x01000A0A, kMask, kSource);
    EXPECT_EQ(GetText(away.entry.info.ip), "192.168.1.64");
    EXPECT_EQ(away.wsd.flags & kWsdFromSource, kWsdFromSource);
    EXPECT_EQ(away.entry.info.http_port, 80);
    EXPECT_TRUE(SameContents(device, Codec::MakeDevice(match, kInterface, kMask, 0x140AFEA9)));
}

// Odd but valid: a default namespace for SOAP, addressing declared on the
// Header, discovery on the Body, the type prefix declared on Types itself,
// two matches in one answer, a host name and https.
const std::string kOddMatches =
    R"(<Envelope xmlns="http://www.w3.org/2003/05/soap-envelope">)"
    R"(<Header xmlns:x="http://schemas.xmlsoap.org/ws/2004/08/addressing">)"
    R"(<x:RelatesTo> urn:uuid:aaaa </x:RelatesTo></Header>)"
    R"(<Body xmlns:q="http://schemas.xmlsoap.org/ws/2005/04/discovery"><q:ProbeMatches>)"
    // First match: no MAC scope, a host name and https without a port.
    R"(<q:ProbeMatch><a:EndpointReference xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing">)"
    R"(<a:Address>urn:uuid:0000beef-0000-4000-8000-000000000001</a:Address></a:EndpointReference>)"
    R"(<q:Types xmlns:t="http://www.onvif.org/ver10/device/wsdl">t:Device</q:Types>)"
    R"(<q:XAddrs>https://cam-7.site.example/onvif</q:XAddrs>)"
    R"(<q:Scopes>onvif://www.onvif.org/NAME/Gate</q:Scopes></q:ProbeMatch>)"
    // Second match: "dn" bound to a wrong namespace, so its type is no camera's.
    R"(<q:ProbeMatch xmlns:dn="http://example.com/not-onvif"><q:Types>dn:NetworkVideoTransmitter)"
    R"(</q:Types></q:ProbeMatch>)"
    R"(</q:ProbeMatches></Body></Envelope>)";

TEST(WsDiscoveryCodecParse, NamespacesByUriNotPrefix) {
    const Codec::Message m = Message(kOddMatches);
    EXPECT_EQ(m.kind, Codec::Kind::kProbeMatches);
    EXPECT_EQ(m.relates_to, "urn:uuid:aaaa");
    ASSERT_EQ(m.matches.size(), 2u);
    EXPECT_TRUE(Codec::IsVideoDevice(m.matches[0]));
    EXPECT_FALSE(Codec::IsVideoDevice(m.matches[1]));

    const WsdDevice device = Codec::MakeDevice(m.matches[0], kInterface, kMask, kSource);
    EXPECT_EQ(GetText(device.entry.info.ip), "192.168.1.64");  // the sender
    EXPECT_EQ(device.entry.info.http_port, 443);
    EXPECT_EQ(device.wsd.flags, kWsdHostName | kWsdHttps | kWsdFromSource);
    EXPECT_EQ(GetText(device.wsd.xaddrs), "https://cam-7.site.example:443/onvif");
    EXPECT_EQ(GetText(device.entry.info.name), "Gate");
    // No MAC: keyed by endpoint and sender, apart from another sender.
    const std::uint64_t key = TableKey(device);
    EXPECT_EQ(key & ~0xFFFFFFFFFFFFull, kWsdKeyTag);
    EXPECT_NE(key, TableKey(Codec::MakeDevice(m.matches[0], kInterface, kMask, kSource + 1)));
    const std::string text = TableKeyText(key);
    EXPECT_EQ(text.size(), kWsdKeyLength);
    EXPECT_TRUE(text.starts_with("WSD-"));
    std::uint64_t back = 0;
    ASSERT_TRUE(ParseTableKey(text, back));
    EXPECT_EQ(back, key);
    ASSERT_TRUE(ParseTableKey("00-1A-2B-3C-4D-5F", back));
    EXPECT_EQ(TableKeyText(back), "00-1A-2B-3C-4D-5F");
    EXPECT_FALSE(ParseTableKey("WSD-12345", back));
}

TEST(WsDiscoveryCodecParse, HelloByeAndFault) {
    const std::string head = R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope")"
                             R"( xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing")"
                             R"( xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery")"
                             R"( xmlns:dn="http://www.onvif.org/ver10/network/wsdl")"
                             R"( xmlns:p="http://schemas.xmlsoap.org/ws/2006/02/devprof"><s:Body>)";
    const std::string tail = "</s:Body></s:Envelope>";
    // A camera announcing itself: endpoint, type, one XAddr.
    const Codec::Message hello =
        Message(head +
                "<d:Hello><a:EndpointReference><a:Address>urn:uuid:hello-1</a:Address>"
                "</a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
                "<d:XAddrs>http://192.168.1.77:8000/onvif/device_service</d:XAddrs>"
                "<d:MetadataVersion>1</d:MetadataVersion></d:Hello>" +
                tail);
    EXPECT_EQ(hello.kind, Codec::Kind::kHello);
    ASSERT_EQ(hello.matches.size(), 1u);
    EXPECT_TRUE(Codec::IsVideoDevice(hello.matches[0]));
    EXPECT_EQ(Codec::MakeDevice(hello.matches[0], kInterface, kMask, 0).entry.info.http_port, 8000);
    // A printer's Hello: a Device type, but of the devices-profile namespace.
    const Codec::Message printer =
        Message(head + "<d:Hello><d:Types>p:Device</d:Types></d:Hello>" + tail);
    ASSERT_EQ(printer.matches.size(), 1u);
    EXPECT_FALSE(Codec::IsVideoDevice(printer.matches[0]));
    // Leaving: only the endpoint.
    const Codec::Message bye =
        Message(head +
                "<d:Bye><a:EndpointReference><a:Address>urn:uuid:hello-1</a:Address>"
                "</a:EndpointReference></d:Bye>" +
                tail);
    EXPECT_EQ(bye.kind, Codec::Kind::kBye);
    ASSERT_EQ(bye.matches.size(), 1u);
    EXPECT_EQ(bye.matches[0].endpoint, "urn:uuid:hello-1");
    // A SOAP 1.2 Fault: code, subcode and the first reason text.
    const Codec::Message fault = Message(
        head +
        "<s:Fault><s:Code><s:Value>s:Sender</s:Value><s:Subcode><s:Value>d:MatchingRuleNotSupported"
        "</s:Value></s:Subcode></s:Code><s:Reason><s:Text xml:lang=\"en\">rule not supported"
        "</s:Text></s:Reason></s:Fault>" +
        tail);
    EXPECT_EQ(fault.kind, Codec::Kind::kFault);
    EXPECT_EQ(fault.fault_code, "s:Sender d:MatchingRuleNotSupported");
    EXPECT_EQ(fault.fault_reason, "rule not supported");
    EXPECT_TRUE(fault.matches.empty());
}

TEST(WsDiscoveryCodecParse, HostileAnswersRefused) {
    // Billion laughs: ten levels of ten references. Refused at the DOCTYPE,
    // before any entity is declared, let alone expanded.
    std::string laughs = R"(<?xml version="1.0"?><!DOCTYPE s:Envelope [<!ENTITY l0 "ha">)";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += R"(]><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"><s:Body>&l9;)"
              R"(</s:Body></s:Envelope>)";
    EXPECT_EQ(Parse(laughs).refusal, Codec::Refusal::kDocumentType);
    // A bare DOCTYPE with an external subset is refused the same way.
    EXPECT_EQ(Parse(R"(<!DOCTYPE x SYSTEM "file:///etc/passwd"><x/>)").refusal,
              Codec::Refusal::kDocumentType);

    // One byte over the cap is refused unread, even if well-formed.
    std::string big = kPlainMatches;
    big.insert(big.find("<SOAP-ENV:Body>"), Codec::kMaxMessageBytes + 1 - big.size(), ' ');
    EXPECT_EQ(Parse(big).refusal, Codec::Refusal::kOversized);
    big.erase(big.find("<SOAP-ENV:Body>") - 1, 1);  // exactly at the cap: read
    EXPECT_EQ(Parse(big).refusal, Codec::Refusal::kNone);

    std::string deep = R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope">)";
    for (std::size_t i = 0; i < Codec::kMaxDepth; ++i) deep += "<x>";
    EXPECT_EQ(Parse(deep).refusal, Codec::Refusal::kTooComplex);
    EXPECT_EQ(Parse("<Envelope/>").refusal, Codec::Refusal::kNotSoapEnvelope);
    EXPECT_EQ(Parse(kPlainMatches.substr(0, kPlainMatches.size() / 2)).refusal,
              Codec::Refusal::kMalformed);
    EXPECT_EQ(Parse("").refusal, Codec::Refusal::kMalformed);
    EXPECT_EQ(Parse("HDS/1.0 200 OK\r\n").refusal, Codec::Refusal::kMalformed);
}

TEST(WsDiscoveryCodecBuild, TypedProbesReadBack) {
    std::array<std::uint8_t, 16> random{};
    random.fill(0xAB);
    const std::string id = Codec::MakeMessageId(random);
    EXPECT_EQ(id, "urn:uuid:abababab-abab-4bab-abab-abababababab");

    std::array<std::uint8_t, 2048> buffer{};
    for (const auto type :
         {Codec::ProbeType::kNetworkVideoTransmitter, Codec::ProbeType::kDevice}) {
        const std::size_t n = Codec::BuildProbe(buffer, type, id);
        ASSERT_GT(n, 0u);
        const std::string probe(buffer.begin(), buffer.begin() + n);
        // Every prefix is declared on the Envelope and nowhere else.
        const std::size_t envelope_end = probe.find('>', probe.find("<soap:Envelope"));
        EXPECT_EQ(probe.find("xmlns", envelope_end), std::string::npos);
        EXPECT_NE(probe.find("<wsa:To soap:mustUnderstand=\"1\">"
                             "urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"),
                  std::string::npos);
        const Codec::Message m = Message(probe);
        EXPECT_EQ(m.kind, Codec::Kind::kProbe);
        EXPECT_EQ(m.message_id, id);
        EXPECT_EQ(m.action, "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe");
        // Too small a buffer builds nothing.
        EXPECT_EQ(Codec::BuildProbe(std::span(buffer).first(n), type, id), 0u);
    }
    const std::size_t n = Codec::BuildProbe(buffer, Codec::ProbeType::kDevice, id);
    EXPECT_NE(std::string(buffer.begin(), buffer.begin() + n)
                  .find("xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""),
              std::string::npos);
    EXPECT_EQ(Codec::BuildProbe(buffer, Codec::ProbeType::kDevice, "urn:<x>"), 0u);
}

TEST(WsDiscoveryCodecParse, ServiceAddressesAndScopeValues) {
    const auto address = [](std::string_view text) {
        const auto parsed = Codec::ParseServiceAddress(text);
        return parsed ? Codec::ServiceAddressText(*parsed) : std::string("-");
    };
    EXPECT_EQ(address("http://10.0.0.5"), "http://10.0.0.5:80/");
    EXPECT_EQ(address("HTTPS://10.0.0.5:8443/x?y"), "https://10.0.0.5:8443/x?y");
    EXPECT_EQ(address("http://user@[2001:db8::5]/onvif"), "http://[2001:db8::5]:80/onvif");
    EXPECT_EQ(address("http://10.0.0.5:0/"), "-");
    EXPECT_EQ(address("http://10.0.0.5:70000/"), "-");
    EXPECT_EQ(address("http://:80/"), "-");
    EXPECT_EQ(address("ftp://10.0.0.5/"), "-");
    EXPECT_EQ(address("http://10.0.0.5/a\x7F"), "-");
    EXPECT_EQ(address("http://[fe80::1/"), "-");
    EXPECT_EQ(Codec::PercentDecode("a%20b%2fc%zz%4"), "a b/c%zz%4");

    // Values are cut at their field, never spilling; control characters from
    // decoding (a zero among them) never end a field early.
    Codec::Match match;
    match.endpoint = std::string(300, 'e');
    match.scopes = {"onvif://www.onvif.org/name/" + std::string(100, 'n'),
                    "onvif://www.onvif.org/hardware/a%00b%0Ac", "onvif://www.onvif.org/mac/zz",
                    "onvif://www.onvif.org/mac/00-00-00-00-00-00"};
    match.xaddrs.assign(40, "http://192.168.1.9:8080/onvif/device_service");
    const WsdDevice device = Codec::MakeDevice(match, kInterface, kMask, kSource);
    EXPECT_EQ(GetText(device.entry.info.name).size(), sizeof device.entry.info.name - 1);
    EXPECT_EQ(GetText(device.wsd.endpoint).size(), sizeof device.wsd.endpoint - 1);
    EXPECT_EQ(GetText(device.wsd.hardware), "a b c");
    EXPECT_EQ(DeviceKey(device.entry.info), "00-00-00-00-00-00");  // bad and zero MACs ignored
    // Whole XAddrs only: as many as fit.
    const std::string_view xaddrs = GetText(device.wsd.xaddrs);
    EXPECT_TRUE(xaddrs.ends_with("/onvif/device_service"));
    EXPECT_EQ(GetText(device.entry.info.ip), "192.168.1.9");
    EXPECT_EQ(device.entry.info.http_port, 8080);

    // Service addresses a front-end must never open: a match naming only
    // those is no camera, and beside a web one they are not kept.
    Codec::Match hostile;
    hostile.xaddrs = {"javascript:alert(1)//http://192.168.1.9/", "file:///etc/passwd",
                      "HTTPX://192.168.1.9/", "data:text/html,x"};
    EXPECT_FALSE(Codec::OffersWebService(hostile));
    hostile.xaddrs.push_back("https://192.168.1.9/onvif");
    EXPECT_TRUE(Codec::OffersWebService(hostile));
    EXPECT_EQ(GetText(Codec::MakeDevice(hostile, kInterface, kMask, kSource).wsd.xaddrs),
              "https://192.168.1.9:443/onvif");
    EXPECT_TRUE(Codec::OffersWebService(Codec::Match{}));  // found at its sender's address
}

}  // namespace
}  // namespace quorvex
