#include "sim/standard_soap_replies.h"

#include <cstdio>

namespace quorvex::sim {

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + Escaped(text) + "</" + name + ">";
}

std::string Bool(bool value) {
    return value ? "true" : "false";
}

}  // namespace

std::string SoapEnvelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
           " xmlns:ter=\"http://www.onvif.org/ver10/error\">"
           "<env:Body>" +
           body + "</env:Body></env:Envelope>";
}

std::string SoapFault(const std::string& code, const std::vector<std::string>& subcodes,
                      const std::string& reason) {
    std::string nested;
    for (auto it = subcodes.rbegin(); it != subcodes.rend(); ++it)
        nested = "<env:Subcode>" + Element("env:Value", *it) + nested + "</env:Subcode>";
    return "<env:Fault><env:Code>" + Element("env:Value", code) + nested +
           "</env:Code><env:Reason><env:Text xml:lang=\"en\">" + Escaped(reason) +
           "</env:Text></env:Reason></env:Fault>";
}

std::string DateTimeResponse(std::chrono::system_clock::time_point camera_now) {
    using namespace std::chrono;
    const auto day = floor<days>(camera_now);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(camera_now - day)};
    return "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
           "<tt:DateTimeType>Manual</tt:DateTimeType>"
           "<tt:DaylightSavings>false</tt:DaylightSavings>"
           "<tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>"
           "<tt:UTCDateTime><tt:Time>" +
           Element("tt:Hour", std::to_string(time.hours().count())) +
           Element("tt:Minute", std::to_string(time.minutes().count())) +
           Element("tt:Second", std::to_string(time.seconds().count())) + "</tt:Time><tt:Date>" +
           Element("tt:Year", std::to_string(int(date.year()))) +
           Element("tt:Month", std::to_string(unsigned(date.month()))) +
           Element("tt:Day", std::to_string(unsigned(date.day()))) +
           "</tt:Date></tt:UTCDateTime>"
           "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
}

std::string CapabilitiesResponse(const StandardSettings& s) {
    const bool token = s.auth == StandardAuth::kUsernameToken;
    return "<tds:GetServiceCapabilitiesResponse><tds:Capabilities>"
           "<tds:Network IPFilter=\"false\" ZeroConfiguration=\"false\" IPVersion6=\"false\""
           " DynDNS=\"false\" HostnameFromDHCP=\"false\" NTP=\"0\"/>"
           "<tds:Security TLS1.2=\"false\" UsernameToken=\"" +
           Bool(token) + "\" HttpDigest=\"" + Bool(!token) +
           "\"/>"
           "<tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"true\""
           " RemoteDiscovery=\"false\" SystemBackup=\"false\" SystemLogging=\"false\""
           " FirmwareUpgrade=\"false\" NetworkConfigNotSupported=\"false\"/>"
           "</tds:Capabilities></tds:GetServiceCapabilitiesResponse>";
}

std::string DeviceInformationResponse(const SimDevice& d) {
    return "<tds:GetDeviceInformationResponse>" + Element("tds:Manufacturer", "Quorvex Sim") +
           Element("tds:Model", d.hardware.empty() ? "QX-Standard" : d.hardware) +
           Element("tds:FirmwareVersion",
                   d.software_version.empty() ? "1.0.0" : d.software_version) +
           Element("tds:SerialNumber", MacHex(d.mac)) +
           Element("tds:HardwareId", d.hardware.empty() ? "QX" : d.hardware) +
           "</tds:GetDeviceInformationResponse>";
}

std::string InterfacesResponse(const SimDevice& d, const StandardNetwork& n) {
    std::string ipv4 = "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>";
    if (!n.dhcp) {
        ipv4 += "<tt:Manual>" + Element("tt:Address", n.address) +
                Element("tt:PrefixLength", std::to_string(n.prefix_length)) + "</tt:Manual>";
    } else {
        ipv4 += "<tt:FromDHCP>" + Element("tt:Address", n.address) +
                Element("tt:PrefixLength", std::to_string(n.prefix_length)) + "</tt:FromDHCP>";
    }
    ipv4 += Element("tt:DHCP", Bool(n.dhcp)) + "</tt:Config></tt:IPv4>";
    return std::string("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"") +
           kInterfaceToken + "\"><tt:Enabled>true</tt:Enabled><tt:Info>" +
           Element("tt:Name", kInterfaceToken) + Element("tt:HwAddress", MacText(d.mac)) +
           "<tt:MTU>1500</tt:MTU></tt:Info>" + ipv4 +
           "</tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>";
}

std::string GatewayResponse(const StandardNetwork& n) {
    return "<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>" +
           (n.gateway.empty() ? std::string() : Element("tt:IPv4Address", n.gateway)) +
           "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>";
}

std::string DnsResponse(const StandardNetwork& n) {
    std::string out =
        "<tds:GetDNSResponse><tds:DNSInformation>" + Element("tt:FromDHCP", Bool(n.dns_from_dhcp));
    for (const std::string& server : n.dns) {
        out += "<tt:DNSManual><tt:Type>IPv4</tt:Type>" + Element("tt:IPv4Address", server) +
               "</tt:DNSManual>";
    }
    return out + "</tds:DNSInformation></tds:GetDNSResponse>";
}

std::string ProtocolsResponse(const StandardNetwork& n) {
    const auto protocol = [](const char* name, bool enabled, std::uint16_t port) {
        return "<tds:NetworkProtocols>" + Element("tt:Name", name) +
               Element("tt:Enabled", Bool(enabled)) + Element("tt:Port", std::to_string(port)) +
               "</tds:NetworkProtocols>";
    };
    return "<tds:GetNetworkProtocolsResponse>" + protocol("HTTP", true, n.http_port) +
           protocol("HTTPS", false, 443) + protocol("RTSP", n.rtsp_enabled, n.rtsp_port) +
           "</tds:GetNetworkProtocolsResponse>";
}

std::string RebootNeededResponse(bool reboot_needed) {
    return "<tds:SetNetworkInterfacesResponse>" + Element("tds:RebootNeeded", Bool(reboot_needed)) +
           "</tds:SetNetworkInterfacesResponse>";
}

std::string RebootResponse() {
    return "<tds:SystemRebootResponse><tds:Message>Rebooting in a moment</tds:Message>"
           "</tds:SystemRebootResponse>";
}

std::string EmptyResponse(const std::string& operation) {
    return "<tds:" + operation + "Response/>";
}

}  // namespace quorvex::sim
