#include "sim/text_device_protocol.h"

#include <cstdio>
#include <vector>

namespace quorvex::sim {

namespace {

struct Message {
    std::string_view start_line;
    std::vector<std::pair<std::string_view, std::string_view>> headers;
    std::string_view body;
};

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    // A datagram may hold a zero; the text ends there, as a device reading it
    // into a C string would see it.
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0) ++n;
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), n);
}

// Splits a message into its start line, its headers (name up to the first
// colon, value after it) and the body after the empty line.
Message Split(std::string_view text) {
    Message m;
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        const std::string_view line =
            text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? text.size() : end + 2;
        if (first) {
            m.start_line = line;
            first = false;
            continue;
        }
        if (line.empty()) {
            m.body = text.substr(at);
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        m.headers.emplace_back(line.substr(0, colon), line.substr(colon + 1));
    }
    return m;
}

std::optional<std::string_view> Header(const Message& m, std::string_view name) {
    for (const auto& [key, value] : m.headers)
        if (key == name) return value;
    return std::nullopt;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

bool ReadNumber(std::string_view text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= max;
}

}  // namespace

std::optional<std::string> ParseTextSearch(std::span<const std::uint8_t> bytes) {
    const Message m = Split(AsText(bytes));
    if (m.start_line != "SEARCH * HDS/1.0") return std::nullopt;
    const auto client = Header(m, "Client-ID");
    if (!client || client->empty()) return std::nullopt;
    return std::string(*client);
}

std::string BuildTextAnswer(const SimDevice& d, std::string_view client_id) {
    std::string a;
    a.reserve(512);
    auto line = [&a](std::string_view name, std::string_view value) {
        a.append(name).append(":").append(value).append("\r\n");
    };
    a.append("HDS/1.0 200 OK\r\n");
    line("CSeq", "1");
    line("Client-ID", client_id);
    line("Device-ID", d.device_id);
    line("Device-Name", d.name);
    line("UID", d.uid);
    line("IP", d.ip);
    line("MASK", d.mask);
    line("MAC", MacText(d.mac, ':'));
    line("Gateway", d.gateway);
    line("Software-Version", d.software_version);
    line("Web-Version", d.web_version);
    line("Http-Port", std::to_string(d.http_port));
    line("Dhcp", std::to_string(d.dhcp));
    line("Fdns", d.dns1);
    line("Sdns", d.dns2);
    a.append("\r\n");
    return a;
}

std::optional<TextCommand> ParseTextCommand(std::span<const std::uint8_t> bytes) {
    const Message m = Split(AsText(bytes));
    if (m.start_line != "CMD * HDS/1.0") return std::nullopt;
    TextCommand c;
    if (const auto id = Header(m, "Device-ID")) c.device_id = std::string(*id);
    if (const auto auth = Header(m, "Authorization")) {
        std::string_view v = *auth;
        if (v.substr(0, 6) != "Basic ") return std::nullopt;
        v.remove_prefix(6);
        const std::size_t colon = v.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        c.user = std::string(v.substr(0, colon));
        c.password = std::string(v.substr(colon + 1));
    } else {
        return std::nullopt;
    }
    const std::size_t end = m.body.find("\r\n");
    const std::vector<std::string_view> words = Words(m.body.substr(0, end));
    if (words.size() < 2 || words[1] != "set") return std::nullopt;
    if (words[0] == "httpport") {
        c.http_port_command = true;
    } else if (words[0] != "netconf") {
        return std::nullopt;
    }
    // Strict "-flag value" pairs over the blank-separated words, as firmware
    // reads them: a value left empty ("-gateway  -dhcp off") shifts every
    // pair after it, so the gateway becomes "-dhcp", "off" reads as a flag
    // and the name servers are lost. A last flag without a value is ignored.
    for (std::size_t i = 2; i + 1 < words.size(); i += 2) {
        const std::string_view flag = words[i];
        const std::string_view value = words[i + 1];
        unsigned long number = 0;
        if (c.http_port_command) {
            if (flag == "-httpport") {
                if (!ReadNumber(value, 65535, number)) return std::nullopt;
                c.http_port = static_cast<std::uint16_t>(number);
            }
            continue;
        }
        if (flag == "-ipaddr")
            c.ip = std::string(value);
        else if (flag == "-netmask")
            c.mask = std::string(value);
        else if (flag == "-gateway")
            c.gateway = std::string(value);
        else if (flag == "-fdnsip")
            c.dns1 = std::string(value);
        else if (flag == "-sdnsip")
            c.dns2 = std::string(value);
        else if (flag == "-dhcp") {
            if (value == "on")
                c.dhcp = 1;
            else if (value == "off")
                c.dhcp = 0;
            else
                return std::nullopt;
        }
    }
    if (c.http_port_command && !c.http_port) return std::nullopt;
    return c;
}

bool ApplyTextCommand(const TextCommand& c, SimDevice& d) {
    if (d.protocol != DeviceProtocol::kText) return false;
    if (c.device_id != d.device_id || c.user != d.user || c.password != d.password) return false;
    if (c.ip) d.ip = *c.ip;
    if (c.mask) d.mask = *c.mask;
    if (c.gateway) d.gateway = *c.gateway;
    if (c.dns1) d.dns1 = *c.dns1;
    if (c.dns2) d.dns2 = *c.dns2;
    if (c.dhcp) d.dhcp = *c.dhcp;
    if (c.http_port) d.http_port = *c.http_port;
    return true;
}

}  // namespace quorvex::sim
