// WsDiscoveryCodec's mapping of one match to a device entry: types, scopes
// and service addresses read into the record fields.
#include <algorithm>

#include "core/ws_discovery_codec.h"

namespace quorvex {

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decoded scope value as a record field may hold it: control characters
// (a zero among them would end the field early) become blanks.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return text;
}

// Twelve hexadecimal digits, optionally separated by ':', '-' or '.'.
bool ParseMac(std::string_view text, std::uint8_t (&mac)[6]) {
    std::uint8_t bytes[6] = {};
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ':' || c == '-' || c == '.') continue;
        const int value = HexValue(c);
        if (value < 0 || digits >= 12) return false;
        bytes[digits / 2] = static_cast<std::uint8_t>((bytes[digits / 2] << 4) | value);
        ++digits;
    }
    if (digits != 12) return false;
    if (std::all_of(std::begin(bytes), std::end(bytes), [](std::uint8_t b) { return b == 0; }))
        return false;
    std::copy(std::begin(bytes), std::end(bytes), mac);
    return true;
}

// Appends `item` to a blank-separated list field when it fits whole.
template <std::size_t N>
void AppendItem(char (&field)[N], std::string_view item) {
    const std::string_view current = GetText(field);
    const std::size_t needed = current.size() + (current.empty() ? 0 : 1) + item.size();
    if (item.empty() || needed > N - 1) return;
    std::string joined(current);
    if (!joined.empty()) joined += ' ';
    joined += item;
    SetText(field, joined);
}

}  // namespace

bool WsDiscoveryCodec::IsVideoDevice(const Match& match) {
    const std::string video =
        std::string(kNetworkWsdl) + kTypeSeparator + "NetworkVideoTransmitter";
    const std::string device = std::string(kDeviceWsdl) + kTypeSeparator + "Device";
    return std::any_of(match.types.begin(), match.types.end(),
                       [&](const std::string& type) { return type == video || type == device; });
}

std::string WsDiscoveryCodec::PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::optional<WsDiscoveryCodec::ServiceAddress> WsDiscoveryCodec::ParseServiceAddress(
    std::string_view xaddr) {
    ServiceAddress out;
    std::string_view rest;
    // A URL holds no blank and no control character (RFC 3986).
    if (std::any_of(xaddr.begin(), xaddr.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte <= 0x20 || byte == 0x7F;
        }))
        return std::nullopt;
    if (StartsWithNoCase(xaddr, "http://")) {
        rest = xaddr.substr(7);
    } else if (StartsWithNoCase(xaddr, "https://")) {
        out.https = true;
        rest = xaddr.substr(8);
    } else {
        return std::nullopt;
    }
    const std::size_t path_at = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, path_at);
    out.path = path_at == std::string_view::npos ? "/" : std::string(rest.substr(path_at));
    if (!out.path.starts_with('/')) out.path.insert(0, "/");
    const std::size_t user_end = authority.rfind('@');
    if (user_end != std::string_view::npos) authority.remove_prefix(user_end + 1);

    std::string_view port_text;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        out.host = authority.substr(1, close - 1);
        out.ipv6 = true;
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port_text = after.substr(1);
        }
        out.link_local = StartsWithNoCase(out.host, "fe8") || StartsWithNoCase(out.host, "fe9") ||
                         StartsWithNoCase(out.host, "fea") || StartsWithNoCase(out.host, "feb");
    } else {
        const std::size_t colon = authority.find(':');
        out.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port_text = authority.substr(colon + 1);
        if (out.host.empty()) return std::nullopt;
        if (ParseAddress(out.host, out.ipv4)) {
            const auto* b = reinterpret_cast<const std::uint8_t*>(&out.ipv4);
            out.link_local = b[0] == 169 && b[1] == 254;
        } else {
            out.host_name = true;
        }
    }
    if (port_text.empty()) {
        out.port = out.https ? 443 : 80;
    } else {
        std::uint32_t port = 0;
        if (port_text.size() > 5) return std::nullopt;
        for (const char c : port_text) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        out.port = static_cast<std::uint16_t>(port);
    }
    return out;
}

std::string WsDiscoveryCodec::ServiceAddressText(const ServiceAddress& address) {
    std::string text = address.https ? "https://" : "http://";
    text += address.ipv6 ? "[" + address.host + "]" : address.host;
    text += ':';
    text += std::to_string(address.port);
    text += address.path;
    return text;
}

bool WsDiscoveryCodec::OffersWebService(const Match& match) {
    return match.xaddrs.empty() ||
           std::any_of(match.xaddrs.begin(), match.xaddrs.end(), [](const std::string& xaddr) {
               return ParseServiceAddress(xaddr).has_value();
           });
}

WsdDevice WsDiscoveryCodec::MakeDevice(const Match& match, std::uint32_t interface_address,
                                       std::uint32_t interface_mask, std::uint32_t source_address) {
    WsdDevice device{};
    DeviceEntry& entry = device.entry;
    entry.family = kFamilyWsDiscovery;
    entry.protocol = kProtocolWsDiscovery;
    entry.interface_address = interface_address;
    entry.sender_address = source_address;
    entry.protocols = static_cast<std::uint16_t>(1u << kProtocolWsDiscovery);
    WsdInfo& wsd = device.wsd;
    wsd.source_address = source_address;
    wsd.metadata_version = match.metadata_version;
    SetText(wsd.endpoint, Printable(match.endpoint));
    SetText(entry.info.uid, Printable(match.endpoint));

    std::optional<ServiceAddress> shown;
    std::optional<ServiceAddress> from_source;
    std::optional<ServiceAddress> first;
    for (const std::string& xaddr : match.xaddrs) {
        const std::optional<ServiceAddress> address = ParseServiceAddress(xaddr);
        // Anything else could be a script a front-end would open as the
        // camera's page.
        if (!address) continue;
        AppendItem(wsd.xaddrs, Printable(ServiceAddressText(*address)));
        if (address->link_local) wsd.flags |= kWsdLinkLocal;
        if (address->host_name) wsd.flags |= kWsdHostName;
        if (address->ipv6) wsd.flags |= kWsdIpv6;
        if (!first) first = address;
        const bool ipv4 = !address->ipv6 && !address->host_name;
        if (!shown && ipv4 && interface_mask != 0 && !address->link_local &&
            (address->ipv4 & interface_mask) == (interface_address & interface_mask)) {
            shown = address;
        }
        if (!from_source && ipv4 && address->ipv4 == source_address) from_source = address;
    }
    if (shown) {
        SetText(entry.info.ip, shown->host);
        entry.info.http_port = shown->port;
        if (shown->https) wsd.flags |= kWsdHttps;
    } else {
        wsd.flags |= kWsdFromSource;
        if (source_address != 0) SetText(entry.info.ip, AddressText(source_address));
        const std::optional<ServiceAddress>& port_from = from_source ? from_source : first;
        entry.info.http_port = port_from ? port_from->port : 80;
        if (port_from && port_from->https) wsd.flags |= kWsdHttps;
    }

    for (const std::string& type : match.types) {
        const std::size_t blank = type.find(kTypeSeparator);
        AppendItem(wsd.types,
                   Printable(blank == std::string::npos ? type : type.substr(blank + 1)));
    }

    // Scopes of the form onvif://www.onvif.org/<name>/<value>; the scheme,
    // host and scope name are compared without regard to case.
    constexpr std::string_view kScopeRoot = "onvif://www.onvif.org/";
    std::string location;
    for (const std::string& scope : match.scopes) {
        AppendItem(wsd.scopes, Printable(scope));
        if (!StartsWithNoCase(scope, kScopeRoot)) continue;
        const std::string_view rest = std::string_view(scope).substr(kScopeRoot.size());
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) continue;
        const std::string_view name = rest.substr(0, slash);
        const std::string value = Printable(PercentDecode(rest.substr(slash + 1)));
        if (EqualsNoCase(name, "name")) {
            if (GetText(entry.info.name).empty()) SetText(entry.info.name, value);
        } else if (EqualsNoCase(name, "hardware")) {
            if (GetText(wsd.hardware).empty()) SetText(wsd.hardware, value);
        } else if (EqualsNoCase(name, "location")) {
            if (!location.empty()) location += ' ';
            location += value;
        } else if (EqualsNoCase(name, "mac")) {
            ParseMac(value, entry.info.mac);
        }
    }
    SetText(wsd.location, location);
    return device;
}

}  // namespace quorvex