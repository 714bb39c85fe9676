// The device management codec: requests as a camera expects them and answers
// as cameras (and things that are not cameras) send them.
#include "core/onvif_device_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "core/device_records.h"

namespace quorvex {
namespace {

using Codec = OnvifDeviceCodec;
using Error = Codec::Error;
using Operation = Codec::Operation;

std::uint32_t Ip(std::string_view text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// An answer with the usual prefixes, or with `extra` declarations on the
// envelope for a test that binds its own.
std::string Answer(const std::string& body, const std::string& extra = {}) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>)"
           R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope")"
           R"( xmlns:tds="http://www.onvif.org/ver10/device/wsdl")"
           R"( xmlns:tt="http://www.onvif.org/ver10/schema")"
           R"( xmlns:ter="http://www.onvif.org/ver10/error")" +
           extra + "><env:Header/><env:Body>" + body + "</env:Body></env:Envelope>";
}

std::string DateTime(const std::string& utc) {
    return "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
           "<tt:DateTimeType>NTP</tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings>"
           "<tt:TimeZone><tt:TZ>CST-8</tt:TZ></tt:TimeZone>"
           "<tt:UTCDateTime>" +
           utc + "</tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
}

std::string Interface(const std::string& attributes, const std::string& mac,
                      const std::string& config) {
    return "<tds:NetworkInterfaces" + attributes +
           "><tt:Enabled>true</tt:Enabled>"
           "<tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>" +
           mac +
           "</tt:HwAddress><tt:MTU>1500</tt:MTU></tt:Info>"
           "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>" +
           config + "</tt:Config></tt:IPv4></tds:NetworkInterfaces>";
}

TEST(OnvifDeviceRequests, EveryOperationHasItsElementAndAction) {
    const std::string request = *Codec::BuildRequest(Operation::kGetDns);
    EXPECT_NE(request.find("<env:Body><tds:GetDNS/></env:Body>"), std::string::npos) << request;
    EXPECT_EQ(request.find("Header"), std::string::npos) << "no header without a token";
    EXPECT_EQ(Codec::Action(Operation::kGetDns), "http://www.onvif.org/ver10/device/wsdl/GetDNS");
    EXPECT_EQ(Codec::Action(Operation::kSystemReboot),
              "http://www.onvif.org/ver10/device/wsdl/SystemReboot");
    // What takes arguments has a builder of its own.
    for (const Operation set :
         {Operation::kSetNetworkInterfaces, Operation::kSetDns,
          Operation::kSetNetworkDefaultGateway, Operation::kSetNetworkProtocols})
        EXPECT_FALSE(Codec::BuildRequest(set));
}

TEST(OnvifDeviceRequests, UsernameTokenDigestFollowsTheProfileFormula) {
    Codec::UsernameToken token;
    token.user = "ad<min";
    token.password = "pa&<ss>";
    for (std::uint8_t i = 0; i < 16; ++i) token.nonce[i] = i;
    token.created = Codec::CreatedText(1796705353);
    EXPECT_EQ(token.created, "2026-12-08T04:49:13Z");
    EXPECT_EQ(Codec::CreatedText(1709251199), "2024-02-29T23:59:59Z");
    EXPECT_EQ(Codec::CreatedText(-1), "");

    // Base64(SHA-1(bytes 00..0f, "2026-12-08T04:49:13Z", "pa&<ss>")), computed
    // apart from this code with `openssl dgst -sha1 -binary | base64`.
    EXPECT_EQ(Codec::PasswordDigest(token.nonce, token.created, token.password),
              "5WROsp31HwI44kb9Bf7+0AUMjuU=");
    const std::string request = *Codec::BuildRequest(Operation::kGetNetworkInterfaces, &token);
    for (const char* part : {
             R"(env:mustUnderstand="true")",
             "<wsse:Username>ad&lt;min</wsse:Username>",
             "#PasswordDigest\">5WROsp31HwI44kb9Bf7+0AUMjuU=</wsse:Password>",
             "#Base64Binary\">AAECAwQFBgcICQoLDA0ODw==</wsse:Nonce>",
             "<wsu:Created>2026-12-08T04:49:13Z</wsu:Created>",
         })
        EXPECT_NE(request.find(part), std::string::npos) << part << "\n" << request;
    EXPECT_EQ(request.find("pa&"), std::string::npos) << "the password never travels";

    token.user = std::string("a\x01", 2);
    EXPECT_FALSE(Codec::BuildRequest(Operation::kGetDns, &token)) << "XML cannot carry it";
    token.user = "admin";
    token.created.clear();
    EXPECT_FALSE(Codec::BuildRequest(Operation::kGetDns, &token));
}

TEST(OnvifDeviceRequests, SetNetworkInterfacesSendsOnlyWhatChangesInSchemaOrder) {
    Codec::InterfaceChange change;
    change.token = "eth0&1";
    change.address = Ip("192.168.7.20");
    change.prefix_length = 24;
    change.dhcp = false;
    EXPECT_NE(Codec::BuildSetNetworkInterfaces(change)->find(
                  "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0&amp;1</tds:InterfaceToken>"
                  "<tds:NetworkInterface><tt:IPv4><tt:Manual><tt:Address>192.168.7.20</tt:Address>"
                  "<tt:PrefixLength>24</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP>"
                  "</tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>"),
              std::string::npos);

    change.dhcp = true;
    EXPECT_FALSE(Codec::BuildSetNetworkInterfaces(change)) << "an address and DHCP at once";
    change.dhcp.reset();
    for (const int prefix : {0, 33}) {
        change.prefix_length = prefix;
        EXPECT_FALSE(Codec::BuildSetNetworkInterfaces(change)) << prefix;
    }
    change.prefix_length = 24;
    change.token.clear();
    EXPECT_FALSE(Codec::BuildSetNetworkInterfaces(change));

    Codec::InterfaceChange dhcp;
    dhcp.token = "eth0";
    EXPECT_FALSE(Codec::BuildSetNetworkInterfaces(dhcp)) << "nothing to change";
    dhcp.dhcp = true;
    dhcp.enabled = true;
    const std::string request = *Codec::BuildSetNetworkInterfaces(dhcp);
    EXPECT_NE(request.find("<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
                           "<tt:DHCP>true</tt:DHCP></tt:IPv4></tds:NetworkInterface>"),
              std::string::npos)
        << request;
    EXPECT_EQ(request.find("Manual"), std::string::npos);
}

TEST(OnvifDeviceRequests, GatewayDnsAndProtocolSetters) {
    EXPECT_FALSE(Codec::BuildSetNetworkDefaultGateway({})) << "never an empty Set";
    const std::uint32_t gateways[] = {Ip("192.168.7.1")};
    EXPECT_NE(Codec::BuildSetNetworkDefaultGateway(gateways)->find(
                  "<tds:SetNetworkDefaultGateway><tds:IPv4Address>192.168.7.1</tds:IPv4Address>"
                  "</tds:SetNetworkDefaultGateway>"),
              std::string::npos);

    Codec::DnsSettings dns;
    dns.search_domains = {"site.local"};
    dns.dns_manual = {Ip("10.0.0.53"), Ip("10.0.0.54")};
    EXPECT_NE(Codec::BuildSetDns(dns)->find(
                  "<tds:SetDNS><tds:FromDHCP>false</tds:FromDHCP>"
                  "<tds:SearchDomain>site.local</tds:SearchDomain>"
                  "<tds:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.0.0.53</tt:IPv4Address>"
                  "</tds:DNSManual><tds:DNSManual><tt:Type>IPv4</tt:Type>"
                  "<tt:IPv4Address>10.0.0.54</tt:IPv4Address></tds:DNSManual></tds:SetDNS>"),
              std::string::npos);
    dns.dns_manual.push_back(0);
    EXPECT_FALSE(Codec::BuildSetDns(dns));

    using Name = Codec::ProtocolName;
    const std::vector<Codec::NetworkProtocol> read = {
        {Name::kHttp, true, {80, 8080}}, {Name::kHttps, false, {443}}, {Name::kRtsp, true, {554}}};
    EXPECT_NE(
        Codec::BuildSetNetworkProtocols(read, 8080)
            ->find("<tds:NetworkProtocols><tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled>"
                   "<tt:Port>8080</tt:Port></tds:NetworkProtocols>"
                   "<tds:NetworkProtocols><tt:Name>HTTPS</tt:Name><tt:Enabled>false</tt:Enabled>"
                   "<tt:Port>443</tt:Port></tds:NetworkProtocols>"
                   "<tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>true</tt:Enabled>"
                   "<tt:Port>554</tt:Port></tds:NetworkProtocols>"),
        std::string::npos)
        << "HTTP moves to 8080 once; the others stay as read";
    EXPECT_FALSE(Codec::BuildSetNetworkProtocols(read, 0));
    EXPECT_FALSE(Codec::BuildSetNetworkProtocols(std::span(read).subspan(1), 8080)) << "no HTTP";
}

TEST(OnvifDeviceAnswers, ClockReadsUtcTimeThenDate) {
    const std::string time =
        "<tt:Time><tt:Hour>4</tt:Hour><tt:Minute>49</tt:Minute>"
        "<tt:Second>13</tt:Second></tt:Time>";
    const std::string date =
        "<tt:Date><tt:Year>2026</tt:Year><tt:Month>12</tt:Month>"
        "<tt:Day>8</tt:Day></tt:Date>";
    const auto good = Codec::ReadSystemDateAndTime(Bytes(Answer(DateTime(time + date))));
    ASSERT_TRUE(good.value) << static_cast<int>(good.error);
    EXPECT_EQ(*good.value, 1796705353);

    // Other prefixes for the same namespaces read the same.
    std::string renamed =
        Answer(DateTime(time + date), R"( xmlns:x="http://www.onvif.org/ver10/schema")");
    for (std::size_t at = 0; (at = renamed.find("tt:", at)) != std::string::npos;) {
        if (renamed.compare(at - 6, 6, "xmlns:") != 0) renamed.replace(at, 3, "x:");
        ++at;
    }
    EXPECT_EQ(Codec::ReadSystemDateAndTime(Bytes(renamed)).value, 1796705353);

    EXPECT_EQ(Codec::ReadSystemDateAndTime(Bytes(Answer(DateTime(date + time)))).error,
              Error::kMissingElement)
        << "Date before Time";
    // The same prefix bound to a foreign namespace is not the schema's.
    std::string foreign = DateTime(time + date);
    foreign.replace(foreign.find("<tt:UTCDateTime>"), 16,
                    R"(<tt:UTCDateTime xmlns:tt="urn:other">)");
    EXPECT_EQ(Codec::ReadSystemDateAndTime(Bytes(Answer(foreign))).error, Error::kMissingElement);
    std::string february = date;
    february.replace(february.find(">12<"), 4, ">2<");
    february.replace(february.find(">8<"), 3, ">30<");
    EXPECT_EQ(Codec::ReadSystemDateAndTime(Bytes(Answer(DateTime(time + february)))).error,
              Error::kInvalidValue);
    std::string hour = time;
    hour.replace(hour.find(">4<"), 3, ">24<");
    EXPECT_EQ(Codec::ReadSystemDateAndTime(Bytes(Answer(DateTime(hour + date)))).error,
              Error::kInvalidValue);
}

TEST(OnvifDeviceAnswers, CapabilitiesAndDeviceInformation) {
    const auto caps = Codec::ReadServiceCapabilities(Bytes(Answer(
        "<tds:GetServiceCapabilitiesResponse><tds:Capabilities>"
        R"(<tds:Network IPFilter="false"/><tds:Security UsernameToken="true" HttpDigest="1"/>)"
        R"(<tds:System NetworkConfigNotSupported="true"/>)"
        "</tds:Capabilities></tds:GetServiceCapabilitiesResponse>")));
    ASSERT_TRUE(caps.value);
    EXPECT_TRUE(caps.value->username_token && caps.value->http_digest &&
                caps.value->network_config_not_supported);
    EXPECT_EQ(Codec::ReadServiceCapabilities(
                  Bytes(Answer("<tds:GetServiceCapabilitiesResponse><tds:Capabilities>"
                               R"(<tds:Security UsernameToken="yes"/>)"
                               "</tds:Capabilities></tds:GetServiceCapabilitiesResponse>")))
                  .error,
              Error::kInvalidValue);

    const std::string long_model = "Modèle" + std::string(200, 'x');
    const std::string info =
        "<tds:GetDeviceInformationResponse>"
        "<tds:Manufacturer>Acme &amp; Co</tds:Manufacturer><tds:Model>" +
        long_model +
        "</tds:Model><tds:FirmwareVersion>1.2</tds:FirmwareVersion>"
        "<tds:SerialNumber>SN1</tds:SerialNumber>"
        "<tds:HardwareId>HW</tds:HardwareId></tds:GetDeviceInformationResponse>";
    const auto device = Codec::ReadDeviceInformation(Bytes(Answer(info)));
    ASSERT_TRUE(device.value);
    EXPECT_EQ(device.value->manufacturer, "Acme & Co");
    EXPECT_EQ(device.value->model.size(), Codec::kMaxTextBytes);
    EXPECT_EQ(device.value->hardware_id, "HW");
    std::string no_serial = info;
    no_serial.erase(no_serial.find("<tds:SerialNumber>"), 36);
    EXPECT_EQ(Codec::ReadDeviceInformation(Bytes(Answer(no_serial))).error, Error::kMissingElement);
}

TEST(OnvifDeviceAnswers, NetworkInterfacesReadTokenMacAndIpv4Configuration) {
    const std::string manual =
        "<tt:Manual><tt:Address>192.168.1.64</tt:Address>"
        "<tt:PrefixLength>24</tt:PrefixLength></tt:Manual>";
    const std::string dhcp =
        "<tt:FromDHCP><tt:Address>10.1.2.3</tt:Address>"
        "<tt:PrefixLength>16</tt:PrefixLength></tt:FromDHCP>"
        "<tt:DHCP>true</tt:DHCP>";
    const auto read = [](const std::string& interfaces) {
        return Codec::ReadNetworkInterfaces(
            Bytes(Answer("<tds:GetNetworkInterfacesResponse>" + interfaces +
                         "</tds:GetNetworkInterfacesResponse>")));
    };
    const auto good = read(
        Interface(R"( token="eth0")", "00:11:22:aa:bb:CC", manual + dhcp) +
        Interface(R"( token="eth1")", "00-11-22-33-44-55", manual + "<tt:DHCP>false</tt:DHCP>"));
    ASSERT_TRUE(good.value) << static_cast<int>(good.error);
    ASSERT_EQ(good.value->size(), 2u);
    const Codec::NetworkInterface& eth0 = good.value->front();
    EXPECT_EQ(eth0.token, "eth0");
    EXPECT_EQ(*eth0.mac, (std::array<std::uint8_t, 6>{0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}));
    EXPECT_TRUE(eth0.enabled && eth0.has_ipv4 && eth0.ipv4_enabled && eth0.dhcp);
    ASSERT_EQ(eth0.manual.size(), 1u);
    EXPECT_EQ(eth0.manual[0].address, Ip("192.168.1.64"));
    EXPECT_EQ(eth0.manual[0].prefix_length, 24);
    EXPECT_EQ(eth0.from_dhcp->address, Ip("10.1.2.3"));
    EXPECT_FALSE(good.value->back().dhcp);

    EXPECT_EQ(read(Interface("", "00:11:22:33:44:55", manual + dhcp)).error, Error::kInvalidValue)
        << "no token to send back";
    EXPECT_EQ(read(Interface(R"( token="eth0")", "00:11:22:33:44", manual + dhcp)).error,
              Error::kInvalidValue);
    std::string bad_address = manual;
    bad_address.replace(bad_address.find("64"), 2, "300");
    EXPECT_EQ(read(Interface(R"( token="eth0")", "001122334455", bad_address + dhcp)).error,
              Error::kInvalidValue);
    EXPECT_EQ(read(Interface(R"( token="eth0")", "001122334455", manual)).error,
              Error::kMissingElement)
        << "DHCP is required";
    EXPECT_EQ(read(Interface(R"( token="eth0")", "001122334455", dhcp + manual)).error,
              Error::kMissingElement)
        << "a Manual after DHCP is out of order, which leaves DHCP missing";
    EXPECT_EQ(read("").error, Error::kMissingElement);
}

TEST(OnvifDeviceAnswers, GatewayDnsProtocolsRebootAndAcknowledgements) {
    const auto gateway = Codec::ReadNetworkDefaultGateway(Bytes(Answer(
        "<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>"
        "<tt:IPv4Address>192.168.1.1</tt:IPv4Address><tt:IPv6Address>fe80::1</tt:IPv6Address>"
        "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>")));
    ASSERT_TRUE(gateway.value);
    EXPECT_EQ(*gateway.value, std::vector<std::uint32_t>{Ip("192.168.1.1")});

    const auto dns = Codec::ReadDns(Bytes(Answer(
        "<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP>"
        "<tt:SearchDomain>site.local</tt:SearchDomain>"
        "<tt:DNSManual><tt:Type>IPv6</tt:Type><tt:IPv6Address>::1</tt:IPv6Address></tt:DNSManual>"
        "<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.0.0.53</tt:IPv4Address>"
        "</tt:DNSManual></tds:DNSInformation></tds:GetDNSResponse>")));
    ASSERT_TRUE(dns.value);
    EXPECT_FALSE(dns.value->from_dhcp);
    EXPECT_EQ(dns.value->search_domains, std::vector<std::string>{"site.local"});
    EXPECT_EQ(dns.value->dns_manual, std::vector<std::uint32_t>{Ip("10.0.0.53")});

    const auto protocols = Codec::ReadNetworkProtocols(Bytes(
        Answer("<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols><tt:Name>HTTP</tt:Name>"
               "<tt:Enabled>true</tt:Enabled><tt:Port>80</tt:Port><tt:Port>8000</tt:Port>"
               "</tds:NetworkProtocols><tds:NetworkProtocols><tt:Name>RTSP</tt:Name>"
               "<tt:Enabled>true</tt:Enabled><tt:Port>554</tt:Port></tds:NetworkProtocols>"
               "</tds:GetNetworkProtocolsResponse>")));
    ASSERT_TRUE(protocols.value);
    ASSERT_EQ(protocols.value->size(), 2u);
    EXPECT_EQ(protocols.value->front().ports, (std::vector<std::uint16_t>{80, 8000}));
    EXPECT_EQ(protocols.value->back().name, Codec::ProtocolName::kRtsp);
    EXPECT_EQ(Codec::ReadNetworkProtocols(
                  Bytes(Answer("<tds:GetNetworkProtocolsResponse><tds:NetworkProtocols>"
                               "<tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled>"
                               "<tt:Port>70000</tt:Port></tds:NetworkProtocols>"
                               "</tds:GetNetworkProtocolsResponse>")))
                  .error,
              Error::kInvalidValue);

    const auto reboot = Codec::ReadSetNetworkInterfaces(
        Bytes(Answer("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>true</tds:RebootNeeded>"
                     "</tds:SetNetworkInterfacesResponse>")));
    EXPECT_EQ(reboot.value, true);
    EXPECT_EQ(
        Codec::ReadSetNetworkInterfaces(Bytes(Answer("<tds:SetNetworkInterfacesResponse/>"))).error,
        Error::kMissingElement);
    EXPECT_EQ(Codec::ReadAcknowledgement(Operation::kSetDns, Bytes(Answer("<tds:SetDNSResponse/>")))
                  .value,
              true);
    EXPECT_EQ(Codec::ReadAcknowledgement(Operation::kSetDns, Bytes(Answer("<tds:SetNTPResponse/>")))
                  .error,
              Error::kUnexpectedAnswer);
    EXPECT_EQ(Codec::ReadAcknowledgement(Operation::kSetDns, Bytes(Answer(""))).error,
              Error::kMissingElement);
}

TEST(OnvifDeviceAnswers, FaultsCarryTheirSubcodeChainByNamespace) {
    const auto fault = [](const std::string& error_prefix) {
        return "<env:Fault><env:Code><env:Value>env:Sender</env:Value><env:Subcode>"
               "<env:Value>" +
               error_prefix + ":InvalidArgVal</env:Value><env:Subcode><env:Value>" + error_prefix +
               ":InvalidIPv4Address</env:Value></env:Subcode></env:Subcode></env:Code>"
               "<env:Reason><env:Text xml:lang=\"en\">Bad address</env:Text></env:Reason>"
               "</env:Fault>";
    };
    const std::string errors = R"( xmlns:e="http://www.onvif.org/ver10/error")";
    const std::string answer = Answer(fault("e"), errors);
    const auto set = Codec::ReadSetNetworkInterfaces(Bytes(answer));
    ASSERT_EQ(set.error, Error::kFault);
    EXPECT_TRUE(set.fault.code.Is(Codec::kEnvelope, "Sender"));
    ASSERT_EQ(set.fault.subcodes.size(), 2u);
    EXPECT_TRUE(set.fault.subcodes[0].Is(Codec::kErrors, "InvalidArgVal"));
    EXPECT_TRUE(set.fault.Names(Codec::kErrors, "InvalidIPv4Address"));
    EXPECT_EQ(set.fault.reason, "Bad address");
    EXPECT_TRUE(Codec::IsFault(Bytes(answer)));
    EXPECT_FALSE(Codec::IsFault(Bytes(Answer("<tds:SetDNSResponse/>"))));

    // "ter" bound elsewhere names another fault, however alike it looks.
    const auto foreign =
        Codec::ReadNetworkInterfaces(Bytes(Answer(fault("x"), R"( xmlns:x="urn:vendor:errors")")));
    ASSERT_EQ(foreign.error, Error::kFault);
    EXPECT_FALSE(foreign.fault.Names(Codec::kErrors, "InvalidIPv4Address"));
    EXPECT_TRUE(foreign.fault.Names("urn:vendor:errors", "InvalidIPv4Address"));
}

TEST(OnvifDeviceAnswers, WhatIsNoAnswerIsRefusedWithItsReason) {
    const auto error = [](const std::string& bytes) { return Codec::ReadDns(Bytes(bytes)).error; };
    // An error page is refused at its root, well-formed or not.
    EXPECT_EQ(error("<html><body><h1>401 Unauthorized<br></body></html>"), Error::kNotSoap);
    EXPECT_EQ(error("401 Unauthorized\r\n"), Error::kMalformed);
    EXPECT_EQ(error(""), Error::kMalformed);
    EXPECT_EQ(error(R"(<?xml version="1.0"?><!DOCTYPE e [<!ENTITY a "aaaaaaaa">]>)"
                    R"(<e>&a;&a;&a;</e>)"),
              Error::kDocumentType);
    EXPECT_EQ(error(Answer("<tds:GetDNSResponse>\xff\xfe</tds:GetDNSResponse>")),
              Error::kInvalidUtf8);
    EXPECT_EQ(error(Answer(std::string(Codec::kMaxAnswerBytes, ' '))), Error::kOversized);
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "<a>";
    EXPECT_EQ(error(Answer(deep)), Error::kTooComplex);
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "<a/>";
    EXPECT_EQ(error(Answer(many)), Error::kTooComplex);
    // SOAP 1.1 is not what the device service speaks.
    EXPECT_EQ(error(R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">)"
                    "<s:Body/></s:Envelope>"),
              Error::kNotSoap);
    EXPECT_EQ(error(Answer("<tds:GetNetworkProtocolsResponse/>")), Error::kUnexpectedAnswer);
}

}  // namespace
}  // namespace quorvex
