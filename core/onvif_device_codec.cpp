// OnvifDeviceCodec: the requests and the UsernameToken.
//
// SHA-1 and Base64 come from OpenSSL's libcrypto: a well-kept source for
// both, already on every machine that has libcurl's OpenSSL flavour, rather
// than hand-written code that nobody reviews.
#include "core/onvif_device_codec.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "core/device_records.h"
#include "core/schema_value.h"

namespace quorvex {

namespace {

constexpr std::string_view kSecext =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
constexpr std::string_view kUtility =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
constexpr std::string_view kPasswordDigestType =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
    "#PasswordDigest";
constexpr std::string_view kBase64Type =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0"
    "#Base64Binary";

// XML 1.0 has no form for most control characters, so a text holding one
// cannot be sent at all.
bool AppendEscaped(std::string& out, std::string_view text) {
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
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                    return false;
                out += c;
        }
    }
    return true;
}

void AppendElement(std::string& out, std::string_view name, std::string_view escaped_value) {
    out += '<';
    out += name;
    out += '>';
    out += escaped_value;
    out += "</";
    out += name;
    out += '>';
}

std::string_view BoolText(bool value) {
    return value ? "true" : "false";
}

// The envelope around `body`; none when the token's texts cannot be sent.
std::optional<std::string> Envelope(std::string_view body,
                                    const OnvifDeviceCodec::UsernameToken* token) {
    std::string out = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    out += R"(<env:Envelope xmlns:env=")";
    out += OnvifDeviceCodec::kEnvelope;
    out += R"(" xmlns:tds=")";
    out += OnvifDeviceCodec::kDeviceWsdl;
    out += R"(" xmlns:tt=")";
    out += OnvifDeviceCodec::kSchema;
    out += R"(">)";
    if (token != nullptr) {
        if (token->created.empty()) return std::nullopt;
        out += R"(<env:Header><wsse:Security xmlns:wsse=")";
        out += kSecext;
        out += R"(" xmlns:wsu=")";
        out += kUtility;
        out += R"(" env:mustUnderstand="true"><wsse:UsernameToken><wsse:Username>)";
        if (!AppendEscaped(out, token->user)) return std::nullopt;
        out += R"(</wsse:Username><wsse:Password Type=")";
        out += kPasswordDigestType;
        out += R"(">)";
        out += OnvifDeviceCodec::PasswordDigest(token->nonce, token->created, token->password);
        out += R"(</wsse:Password><wsse:Nonce EncodingType=")";
        out += kBase64Type;
        out += R"(">)";
        out += OnvifDeviceCodec::Base64(token->nonce);
        out += R"(</wsse:Nonce><wsu:Created>)";
        if (!AppendEscaped(out, token->created)) return std::nullopt;
        out += R"(</wsu:Created></wsse:UsernameToken></wsse:Security></env:Header>)";
    }
    out += "<env:Body>";
    out += body;
    out += "</env:Body></env:Envelope>";
    return out;
}

std::string Open(OnvifDeviceCodec::Operation operation) {
    return "<tds:" + std::string(OnvifDeviceCodec::OperationName(operation)) + '>';
}
std::string Close(OnvifDeviceCodec::Operation operation) {
    return "</tds:" + std::string(OnvifDeviceCodec::OperationName(operation)) + '>';
}

std::string_view ProtocolText(OnvifDeviceCodec::ProtocolName name) {
    switch (name) {
        case OnvifDeviceCodec::ProtocolName::kHttp:
            return "HTTP";
        case OnvifDeviceCodec::ProtocolName::kHttps:
            return "HTTPS";
        case OnvifDeviceCodec::ProtocolName::kRtsp:
            return "RTSP";
    }
    return "HTTP";
}

}  // namespace

std::string_view OnvifDeviceCodec::OperationName(Operation operation) {
    switch (operation) {
        case Operation::kGetSystemDateAndTime:
            return "GetSystemDateAndTime";
        case Operation::kGetServiceCapabilities:
            return "GetServiceCapabilities";
        case Operation::kGetDeviceInformation:
            return "GetDeviceInformation";
        case Operation::kGetNetworkInterfaces:
            return "GetNetworkInterfaces";
        case Operation::kSetNetworkInterfaces:
            return "SetNetworkInterfaces";
        case Operation::kGetNetworkDefaultGateway:
            return "GetNetworkDefaultGateway";
        case Operation::kSetNetworkDefaultGateway:
            return "SetNetworkDefaultGateway";
        case Operation::kGetDns:
            return "GetDNS";
        case Operation::kSetDns:
            return "SetDNS";
        case Operation::kGetNetworkProtocols:
            return "GetNetworkProtocols";
        case Operation::kSetNetworkProtocols:
            return "SetNetworkProtocols";
        case Operation::kSystemReboot:
            return "SystemReboot";
    }
    return {};
}

std::string OnvifDeviceCodec::Action(Operation operation) {
    return std::string(kDeviceWsdl) + '/' + std::string(OperationName(operation));
}

std::string OnvifDeviceCodec::CreatedText(std::int64_t unix_seconds) {
    // 9999-12-31T23:59:59Z
    if (unix_seconds < 0 || unix_seconds > 253402300799) return {};
    std::int64_t year = 0;
    int month = 0;
    int day = 0;
    CivilFromDays(unix_seconds / 86400, year, month, day);
    const std::int64_t second_of_day = unix_seconds % 86400;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year),
                  month, day, static_cast<int>(second_of_day / 3600),
                  static_cast<int>(second_of_day / 60 % 60), static_cast<int>(second_of_day % 60));
    return text;
}

std::string OnvifDeviceCodec::Base64(std::span<const std::uint8_t> bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                       static_cast<int>(bytes.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::string OnvifDeviceCodec::PasswordDigest(std::span<const std::uint8_t> nonce,
                                             std::string_view created, std::string_view password) {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    const std::unique_ptr<EVP_MD_CTX, Free> context(EVP_MD_CTX_new());
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), nonce.data(), nonce.size()) != 1 ||
        EVP_DigestUpdate(context.get(), created.data(), created.size()) != 1 ||
        EVP_DigestUpdate(context.get(), password.data(), password.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) {
        return {};
    }
    return Base64(std::span(digest.data(), length));
}

std::optional<std::string> OnvifDeviceCodec::BuildRequest(Operation operation,
                                                          const UsernameToken* token) {
    switch (operation) {
        case Operation::kSetNetworkInterfaces:
        case Operation::kSetNetworkDefaultGateway:
        case Operation::kSetDns:
        case Operation::kSetNetworkProtocols:
            return std::nullopt;
        default:
            break;
    }
    std::string body = "<tds:";
    body += OperationName(operation);
    body += "/>";
    return Envelope(body, token);
}

std::optional<std::string> OnvifDeviceCodec::BuildSetNetworkInterfaces(
    const InterfaceChange& change, const UsernameToken* token) {
    if (change.token.empty()) return std::nullopt;
    if (change.address && (change.dhcp.value_or(false) || *change.address == 0 ||
                           change.prefix_length < 1 || change.prefix_length > 32)) {
        return std::nullopt;
    }
    const bool ipv4 = change.ipv4_enabled || change.address || change.dhcp;
    if (!change.enabled && !ipv4) return std::nullopt;  // nothing to change

    std::string body = Open(Operation::kSetNetworkInterfaces);
    body += "<tds:InterfaceToken>";
    if (!AppendEscaped(body, change.token)) return std::nullopt;
    body += "</tds:InterfaceToken><tds:NetworkInterface>";
    // tt:NetworkInterfaceSetConfiguration: Enabled, Link, MTU, IPv4, IPv6.
    if (change.enabled) AppendElement(body, "tt:Enabled", BoolText(*change.enabled));
    if (ipv4) {
        // tt:IPv4NetworkInterfaceSetConfiguration: Enabled, Manual*, DHCP.
        body += "<tt:IPv4>";
        if (change.ipv4_enabled) AppendElement(body, "tt:Enabled", BoolText(*change.ipv4_enabled));
        if (change.address) {
            body += "<tt:Manual>";
            AppendElement(body, "tt:Address", AddressText(*change.address));
            AppendElement(body, "tt:PrefixLength", std::to_string(change.prefix_length));
            body += "</tt:Manual>";
        }
        if (change.dhcp) AppendElement(body, "tt:DHCP", BoolText(*change.dhcp));
        body += "</tt:IPv4>";
    }
    body += "</tds:NetworkInterface>";
    body += Close(Operation::kSetNetworkInterfaces);
    return Envelope(body, token);
}

std::optional<std::string> OnvifDeviceCodec::BuildSetNetworkDefaultGateway(
    std::span<const std::uint32_t> gateways, const UsernameToken* token) {
    if (gateways.empty()) return std::nullopt;
    std::string body = Open(Operation::kSetNetworkDefaultGateway);
    for (const std::uint32_t gateway : gateways) {
        if (gateway == 0) return std::nullopt;
        // The request's own element, in the device service's namespace.
        AppendElement(body, "tds:IPv4Address", AddressText(gateway));
    }
    body += Close(Operation::kSetNetworkDefaultGateway);
    return Envelope(body, token);
}

std::optional<std::string> OnvifDeviceCodec::BuildSetDns(const DnsSettings& dns,
                                                         const UsernameToken* token) {
    std::string body = Open(Operation::kSetDns);
    AppendElement(body, "tds:FromDHCP", BoolText(dns.from_dhcp));
    for (const std::string& domain : dns.search_domains) {
        body += "<tds:SearchDomain>";
        if (domain.empty() || !AppendEscaped(body, domain)) return std::nullopt;
        body += "</tds:SearchDomain>";
    }
    for (const std::uint32_t server : dns.dns_manual) {
        if (server == 0) return std::nullopt;
        body += "<tds:DNSManual><tt:Type>IPv4</tt:Type>";
        AppendElement(body, "tt:IPv4Address", AddressText(server));
        body += "</tds:DNSManual>";
    }
    body += Close(Operation::kSetDns);
    return Envelope(body, token);
}

std::optional<std::string> OnvifDeviceCodec::BuildSetNetworkProtocols(
    std::span<const NetworkProtocol> as_read, std::uint16_t http_port, const UsernameToken* token) {
    if (http_port == 0) return std::nullopt;
    bool http_seen = false;
    std::string body = Open(Operation::kSetNetworkProtocols);
    for (const NetworkProtocol& protocol : as_read) {
        if (protocol.ports.empty()) return std::nullopt;  // the schema wants one at least
        std::vector<std::uint16_t> ports = protocol.ports;
        if (protocol.name == ProtocolName::kHttp && !http_seen) {
            http_seen = true;
            ports.front() = http_port;
            // The new port may have been listed as a second one already.
            for (std::size_t i = ports.size(); i-- > 1;) {
                if (ports[i] == http_port) ports.erase(ports.begin() + static_cast<long>(i));
            }
        }
        body += "<tds:NetworkProtocols>";
        AppendElement(body, "tt:Name", ProtocolText(protocol.name));
        AppendElement(body, "tt:Enabled", BoolText(protocol.enabled));
        for (const std::uint16_t port : ports) {
            if (port == 0) return std::nullopt;
            AppendElement(body, "tt:Port", std::to_string(port));
        }
        body += "</tds:NetworkProtocols>";
    }
    if (!http_seen) return std::nullopt;
    body += Close(Operation::kSetNetworkProtocols);
    return Envelope(body, token);
}

}  // namespace quorvex
