#include "sim/wsd_device_protocol.h"

#include <cstdio>
#include <string_view>

namespace quorvex::sim {

namespace {

constexpr std::string_view kSoap = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kWsa = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view kWsd = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr std::string_view kNetwork = "http://www.onvif.org/ver10/network/wsdl";
constexpr std::string_view kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";

std::string S(std::string_view v) {
    return std::string(v);
}

// The text between the end of the first "<...Name" start tag and its end tag.
std::string ElementText(std::string_view xml, std::string_view local) {
    std::size_t at = 0;
    while ((at = xml.find(local, at)) != std::string_view::npos) {
        const bool start = at > 0 && (xml[at - 1] == '<' || xml[at - 1] == ':');
        const std::size_t after = at + local.size();
        if (start && after < xml.size() && (xml[after] == '>' || xml[after] == ' ')) {
            std::size_t open = xml.rfind('<', at);
            if (open != std::string_view::npos && xml[open + 1] != '/') {
                const std::size_t close = xml.find('>', after);
                const std::size_t end = xml.find("</", close);
                if (close == std::string_view::npos || end == std::string_view::npos) return {};
                return std::string(xml.substr(close + 1, end - close - 1));
            }
        }
        at = after;
    }
    return {};
}

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
            b == '-' || b == '_' || b == '.') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

std::string Mac(const SimDevice& d, char separator, bool lower) {
    char text[18];
    std::snprintf(
        text, sizeof text,
        lower ? "%02x%c%02x%c%02x%c%02x%c%02x%c%02x" : "%02X%c%02X%c%02X%c%02X%c%02X%c%02X",
        d.mac[0], separator, d.mac[1], separator, d.mac[2], separator, d.mac[3], separator,
        d.mac[4], separator, d.mac[5]);
    return text;
}

std::string MessageId(const SimDevice& d, std::uint32_t sequence) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "%08x", sequence);
    return "urn:uuid:" + Mac(d, '0', true).substr(0, 8) + "-0000-4000-8000-0000" + tail;
}

std::string Port(const SimDevice& d) {
    return d.http_port == 80 ? "" : ":" + std::to_string(d.http_port);
}

// The match body: endpoint, types, scopes, XAddrs (naming `ip`), version,
// with the given prefixes for addressing and discovery.
std::string MatchBody(const SimDevice& d, const std::string& a, const std::string& w,
                      const std::string& ip) {
    std::string types, scopes, xaddrs;
    const std::string base = "onvif://www.onvif.org/";
    const bool show_mac = (d.wsd_style != WsdStyle::kOdd || d.protocol != DeviceProtocol::kWsd) &&
                          (!d.standard.on || d.standard.mac_scope);
    switch (d.wsd_style) {
        case WsdStyle::kPlain:
            types = "dn:NetworkVideoTransmitter";
            scopes = base + "type/video_encoder " + base + "name/" + PercentEncode(d.name) + " " +
                     base + "hardware/" + PercentEncode(d.hardware) + " " + base + "location/" +
                     PercentEncode(d.location);
            if (show_mac) scopes += " " + base + "MAC/" + Mac(d, ':', false);
            xaddrs = "http://" + ip + Port(d) + d.service_path;
            break;
        case WsdStyle::kOdd:
            types = "t:Device";
            scopes = "ONVIF://www.onvif.org/Name/" + PercentEncode(d.name) + " " + base +
                     "HARDWARE/" + PercentEncode(d.hardware);
            if (show_mac) scopes += " " + base + "mac/" + Mac(d, ':', true);
            xaddrs = "http://" + ip + ":" + std::to_string(d.http_port) + d.service_path +
                     " https://" + ip + d.service_path;
            break;
        case WsdStyle::kIpv6First:
            types = "dn:NetworkVideoTransmitter tds:Device";
            scopes = base + "name/" + PercentEncode(d.name) + "\n\t" + base + "location/" +
                     PercentEncode(d.location) + " " + base + "hardware/" +
                     PercentEncode(d.hardware) + " " + base + "mac/" + Mac(d, '-', true);
            xaddrs = "http://[fe80::" + Mac(d, ':', true).substr(6, 5) +
                     "]/onvif/device_service "
                     "http://169.254." +
                     std::to_string(d.mac[4]) + "." + std::to_string(d.mac[5] | 1) +
                     "/onvif/device_service\nhttp://" + ip + Port(d) + d.service_path;
            break;
    }
    std::string body = "<" + a + ":EndpointReference><" + a + ":Address>" + d.endpoint + "</" + a +
                       ":Address></" + a + ":EndpointReference>";
    if (d.wsd_style == WsdStyle::kOdd) {
        body += "<" + w + ":Types xmlns:t=\"" + S(kDeviceNs) + "\">" + types + "</" + w + ":Types>";
    } else {
        body += "<" + w + ":Types>" + types + "</" + w + ":Types>";
    }
    body += "<" + w + ":Scopes>" + scopes + "</" + w + ":Scopes>";
    body += "<" + w + ":XAddrs>" + xaddrs + "</" + w + ":XAddrs>";
    body += "<" + w + ":MetadataVersion>1</" + w + ":MetadataVersion>";
    return body;
}

std::string PlainEnvelope(const std::string& header, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"" + S(kSoap) +
           "\" xmlns:wsa=\"" + S(kWsa) + "\" xmlns:wsd=\"" + S(kWsd) + "\" xmlns:dn=\"" +
           S(kNetwork) + "\" xmlns:tds=\"" + S(kDeviceNs) + "\"><env:Header>" + header +
           "</env:Header><env:Body>" + body + "</env:Body></env:Envelope>";
}

std::string Action(const std::string& prefix, std::string_view name) {
    return "<" + prefix + ":Action>" + S(kWsd) + "/" + S(name) + "</" + prefix + ":Action>";
}

}  // namespace

std::optional<WsdProbe> ParseWsdProbe(std::span<const std::uint8_t> bytes) {
    const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (xml.find("/discovery/Probe<") == std::string_view::npos &&
        xml.find(":Probe>") == std::string_view::npos)
        return std::nullopt;
    if (xml.find("<!") != std::string_view::npos) return std::nullopt;
    WsdProbe probe;
    probe.message_id = ElementText(xml, "MessageID");
    if (probe.message_id.empty()) return std::nullopt;
    const std::string types = ElementText(xml, "Types");
    probe.video = types.find("NetworkVideoTransmitter") != std::string::npos;
    probe.device = types.find(":Device") != std::string::npos;
    return probe;
}

bool AnswersWsdProbe(const SimDevice& device, const WsdProbe& probe) {
    if (!SpeaksWsd(device)) return false;
    if (!probe.video && !probe.device) return true;
    switch (device.wsd_style) {
        case WsdStyle::kOdd:
            return probe.device;
        case WsdStyle::kIpv6First:
            return probe.video;
        default:
            return true;
    }
}

std::string BuildWsdProbeMatches(const SimDevice& d, const std::string& relates_to,
                                 std::uint32_t sequence, const std::string& address) {
    const std::string id = MessageId(d, sequence);
    const std::string& ip = address.empty() ? d.ip : address;
    if (d.wsd_style == WsdStyle::kOdd) {
        return "<Envelope xmlns=\"" + S(kSoap) + "\"><Header xmlns:x=\"" + S(kWsa) + "\">" +
               "<x:MessageID>" + id + "</x:MessageID><x:RelatesTo>" + relates_to +
               "</x:RelatesTo>" + Action("x", "ProbeMatches") +
               "</Header><Body><m:ProbeMatches xmlns:m=\"" + S(kWsd) +
               "\"><m:ProbeMatch xmlns:y=\"" + S(kWsa) + "\">" + MatchBody(d, "y", "m", ip) +
               "</m:ProbeMatch></m:ProbeMatches></Body></Envelope>";
    }
    const std::string header = "<wsa:MessageID>" + id + "</wsa:MessageID><wsa:RelatesTo>" +
                               relates_to + "</wsa:RelatesTo>" + Action("wsa", "ProbeMatches");
    return PlainEnvelope(header, "<wsd:ProbeMatches><wsd:ProbeMatch>" +
                                     MatchBody(d, "wsa", "wsd", ip) +
                                     "</wsd:ProbeMatch></wsd:ProbeMatches>");
}

std::string BuildWsdHello(const SimDevice& d, std::uint32_t sequence, const std::string& address) {
    const std::string header =
        "<wsa:MessageID>" + MessageId(d, sequence) + "</wsa:MessageID>" + Action("wsa", "Hello");
    return PlainEnvelope(header, "<wsd:Hello>" +
                                     MatchBody(d, "wsa", "wsd", address.empty() ? d.ip : address) +
                                     "</wsd:Hello>");
}

std::string BuildWsdBye(const SimDevice& d, std::uint32_t sequence) {
    const std::string header =
        "<wsa:MessageID>" + MessageId(d, sequence) + "</wsa:MessageID>" + Action("wsa", "Bye");
    return PlainEnvelope(header, "<wsd:Bye><wsa:EndpointReference><wsa:Address>" + d.endpoint +
                                     "</wsa:Address></wsa:EndpointReference></wsd:Bye>");
}

std::vector<std::string> BuildWsdMalformed(const std::string& relates_to) {
    const std::string header = "<wsa:RelatesTo>" + relates_to + "</wsa:RelatesTo>";
    const std::string whole = PlainEnvelope(
        header,
        "<wsd:ProbeMatches><wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:bad"
        "</wsa:Address></wsa:EndpointReference><wsd:XAddrs>http://192.0.2.1/</wsd:XAddrs>"
        "</wsd:ProbeMatch></wsd:ProbeMatches>");
    std::vector<std::string> out;
    out.push_back(whole.substr(0, whole.size() * 2 / 3));  // cut short
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"hahahahaha\">";
    for (char c = 'b'; c <= 'j'; ++c) {
        laughs += "<!ENTITY ";
        laughs += c;
        laughs += " \"";
        for (int i = 0; i < 10; ++i) (laughs += '&') += static_cast<char>(c - 1), laughs += ';';
        laughs += "\">";
    }
    out.push_back(laughs + "]>" + PlainEnvelope(header, "&j;"));
    std::string crowd;
    for (int i = 0; i < 6000; ++i) crowd += "<x>.....</x>";  // 72 KB would not fit: 6,000 x 12
    crowd.resize(crowd.size() - 12 * 1100);                  // ~58 KB, 4,900 elements
    out.push_back(PlainEnvelope(header, "<wsd:ProbeMatches><wsd:ProbeMatch>" + crowd +
                                            "</wsd:ProbeMatch></wsd:ProbeMatches>"));
    out.push_back("<Envelope><Body>" + relates_to + "</Body></Envelope>");
    out.push_back(PlainEnvelope(
        header,
        "<env:Fault><env:Code><env:Value>env:Receiver</env:Value></env:Code><env:Reason>"
        "<env:Text xml:lang=\"en\">busy</env:Text></env:Reason></env:Fault>"));
    return out;
}

}  // namespace quorvex::sim
