#include "core/morvain_search.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "core/byte_reader.h"
#include "core/text_scanner.h"

namespace quorvex {

namespace {

constexpr std::string_view kStatusLine = "HDS/1.0 200 OK\r\n";
constexpr std::string_view kLineEnd = "\r\n";

// Distinct for every instance of the process, and unlikely to meet another
// process's on the same network.
std::uint32_t RandomStart() {
    try {
        return std::random_device{}();
    } catch (...) {
        // No entropy source: the clock still separates two processes.
        return static_cast<std::uint32_t>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    }
}

std::uint32_t NextInstanceValue() {
    static std::atomic<std::uint32_t> next{RandomStart()};
    return next.fetch_add(1, std::memory_order_relaxed);
}

int Width(std::string_view text) {
    return static_cast<int>(text.size());
}

// snprintf into `buffer`; the length written, or 0 when it did not fit.
template <typename... Args>
std::size_t Format(std::span<std::uint8_t> buffer, const char* format, Args... args) {
    if (buffer.empty()) return 0;
    const int written =
        std::snprintf(reinterpret_cast<char*>(buffer.data()), buffer.size(), format, args...);
    if (written <= 0 || static_cast<std::size_t>(written) >= buffer.size()) return 0;
    return static_cast<std::size_t>(written);
}

// One header's value, read from `cursor` on; moves the cursor past what it
// consumed.
std::string_view TakeHeader(std::string_view text, std::size_t& cursor, std::string_view name) {
    // In a well-formed answer the header stands right at the cursor, and then
    // that is also where a search from the cursor would first find it.
    const std::size_t found =
        text.substr(cursor).starts_with(name) ? cursor : text.find(name, cursor);
    if (found == std::string_view::npos) return {};
    // The character after the name is the colon; it is skipped unexamined.
    const std::size_t start = found + name.size() + 1;
    if (start > text.size()) {
        cursor = text.size();
        return {};
    }
    const std::size_t end = text.find(kLineEnd, start);
    if (end == std::string_view::npos) {
        cursor = start;
        return {};
    }
    cursor = end + kLineEnd.size();
    return text.substr(start, end - start);
}

}  // namespace

MorvainSearch::MorvainSearch() : MorvainSearch(NextInstanceValue()) {}

MorvainSearch::MorvainSearch(std::uint32_t instance_value) : BaseSearch(kPort) {
    SetText(client_id_, MakeClientId(instance_value));
}

std::string MorvainSearch::MakeClientId(std::uint32_t instance_value) {
    char text[64] = {};
    std::snprintf(text, sizeof text, "MorvainControl-Tesslar-%X", instance_value);
    return text;
}

void MorvainSearch::OpenSockets(const LocalInterface* interfaces, std::int32_t count) {
    CloseSockets();
    if (interfaces == nullptr || count <= 0) return;
    for (std::int32_t i = 0; i < count; ++i) {
        // Searches and commands leave from a port of this process's own, so
        // that answers sent back to the asker reach this process and no other
        // program that also listens on the protocol's port.
        OpenAndAddSocket(interfaces[i], 0, {.reuse_port = true}, true,
                         GroupJoin{kGroupAddress, kMulticastTtl, false});
        // Answers sent to the group or by broadcast arrive at the protocol's
        // port, which every program that searches shares: each one gets a copy.
        OpenAndAddSocket(interfaces[i], kPort, {.reuse_address = true, .reuse_port = true}, false,
                         GroupJoin{kGroupAddress, kMulticastTtl});
    }
}

std::size_t MorvainSearch::BuildSearchRequestBytes(std::span<std::uint8_t> buffer,
                                                   std::string_view client_id) {
    return Format(buffer,
                  "SEARCH * HDS/1.0\r\n"
                  "CSeq:1\r\n"
                  "Client-ID:%.*s\r\n"
                  "Accept-Type:text/HDP\r\n"
                  "Content-Length:0\r\n"
                  "\r\n",
                  Width(client_id), client_id.data());
}

std::size_t MorvainSearch::BuildCommandBytes(std::span<std::uint8_t> buffer,
                                             std::string_view client_id, const DeviceInfo& device,
                                             const NetSettings& settings, std::int32_t type) {
    // Sized for the longest values the fields can hold, so no body is cut.
    char body[512] = {};
    int sequence = 0;
    int body_length = 0;
    if (type == kCommandNetSettings) {
        sequence = 2;
        // A firmware splits the command on blanks and reads strict flag/value
        // pairs, so an empty value would shift every pair after it: a pair
        // without a value is left out, and the firmware keeps that setting.
        const auto pair = [&](const char* flag, std::string_view value) {
            if (value.empty() || body_length < 0) return;
            const std::size_t room = sizeof body - static_cast<std::size_t>(body_length);
            const int n = std::snprintf(body + body_length, room, " %s %.*s", flag, Width(value),
                                        value.data());
            body_length = n < 0 || static_cast<std::size_t>(n) >= room ? -1 : body_length + n;
        };
        body_length = std::snprintf(body, sizeof body, "netconf set");
        pair("-ipaddr", GetText(settings.ip));
        pair("-netmask", GetText(settings.mask));
        pair("-gateway", GetText(settings.gateway));
        pair("-dhcp", settings.dhcp != 0 ? "on" : "off");
        pair("-fdnsip", GetText(settings.dns1));
        pair("-sdnsip", GetText(settings.dns2));
        pair("-dnsstat", std::to_string(settings.dns_status));
        char mac[18];
        std::snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", device.mac[0],
                      device.mac[1], device.mac[2], device.mac[3], device.mac[4], device.mac[5]);
        pair("-hwaddr", mac);
    } else if (type == kCommandHttpPort) {
        sequence = 3;
        body_length = std::snprintf(body, sizeof body, "httpport set -httpport %u",
                                    static_cast<unsigned>(settings.http_port));
    } else {
        return 0;
    }
    if (body_length <= 0 || static_cast<std::size_t>(body_length) >= sizeof body) return 0;
    const auto user = GetText(settings.user);
    const auto password = GetText(settings.password);
    const auto device_id = GetText(device.device_id);
    // Values go into the message as they stand, so a CR or LF in one would
    // end its line early and let the rest pose as headers of its own (another
    // "Device-ID", say, sending the command to a camera nobody chose). Such a
    // command is not built.
    const auto breaks_line = [](std::string_view value) {
        return value.find_first_of("\r\n") != std::string_view::npos;
    };
    if (breaks_line(user) || breaks_line(password) || breaks_line(device_id) ||
        breaks_line(std::string_view(body, static_cast<std::size_t>(body_length)))) {
        return 0;
    }
    return Format(buffer,
                  "CMD * HDS/1.0\r\n"
                  "CSeq:%d\r\n"
                  "Client-ID:%.*s\r\n"
                  "Accept-Type:text/HDP\r\n"
                  "Authorization:Basic %.*s:%.*s\r\n"
                  "Device-ID:%.*s\r\n"
                  "Content-Length:%d\r\n"
                  "\r\n"
                  "%s\r\n"
                  "\r\n",
                  sequence, Width(client_id), client_id.data(), Width(user), user.data(),
                  Width(password), password.data(), Width(device_id), device_id.data(), body_length,
                  body);
}

std::optional<DeviceEntry> MorvainSearch::ParseAnswerBytes(std::span<const std::uint8_t> bytes,
                                                           std::string_view client_id,
                                                           std::uint32_t interface_address) {
    // One named result on every path, so that it is built in the caller's
    // storage and never copied on the way out.
    std::optional<DeviceEntry> result;
    const std::string_view text = ByteReader(bytes).TerminatedText();
    // The status line usually opens the answer; only otherwise is it sought.
    if (client_id.empty() ||
        (!text.starts_with(kStatusLine) && text.find(kStatusLine) == std::string_view::npos)) {
        return result;
    }
    const std::size_t id_at = text.find(client_id);
    if (id_at == std::string_view::npos) return result;

    DeviceEntry& entry = result.emplace();
    entry.family = 3;
    entry.protocol = kProtocolText;
    entry.interface_address = interface_address;
    // Just past the CR that ends the client id's line in a well-formed answer.
    std::size_t cursor = id_at + client_id.size() + 1;
    if (cursor > text.size()) cursor = text.size();

    DeviceInfo& info = entry.info;
    SetText(info.device_id, TakeHeader(text, cursor, "Device-ID"));
    SetText(info.name, TakeHeader(text, cursor, "Device-Name"));
    SetText(info.uid, TakeHeader(text, cursor, "UID"));
    SetText(info.ip, TakeHeader(text, cursor, "IP"));
    SetText(info.mask, TakeHeader(text, cursor, "MASK"));
    const std::string_view mac = TakeHeader(text, cursor, "MAC");
    SetText(info.gateway, TakeHeader(text, cursor, "Gateway"));
    SetText(info.software_version, TakeHeader(text, cursor, "Software-Version"));
    SetText(info.web_version, TakeHeader(text, cursor, "Web-Version"));
    const std::string_view http_port = TakeHeader(text, cursor, "Http-Port");
    const std::string_view dhcp = TakeHeader(text, cursor, "Dhcp");
    SetText(info.dns1, TakeHeader(text, cursor, "Fdns"));
    SetText(info.dns2, TakeHeader(text, cursor, "Sdns"));

    // Six hexadecimal numbers separated by colons; reading stops at the
    // first that is not there, and the bytes not read stay 0.
    // An answer without all six is no device: the MAC is its key, and a
    // partial one (an answer cut inside "MAC:") would list a phantom device
    // under 00-00-00-00-00-00 or under another device's key.
    TextScanner mac_scanner(mac);
    for (std::size_t i = 0; i < 6; ++i) {
        std::uint32_t value = 0;
        if ((i > 0 && !mac_scanner.Expect(':')) || !mac_scanner.ReadHex(value)) {
            result.reset();
            return result;
        }
        info.mac[i] = static_cast<std::uint8_t>(value & 0xFF);
    }
    std::uint32_t number = 0;
    if (TextScanner(http_port).ReadDecimal(number)) {
        info.http_port = static_cast<std::uint16_t>(number & 0xFFFF);
    }
    number = 0;
    if (TextScanner(dhcp).ReadDecimal(number)) info.dhcp = static_cast<std::uint8_t>(number & 0xFF);

    SetText(info.user, "admin");
    return result;
}

bool MorvainSearch::BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                                       Endpoint& destination) {
    destination = Endpoint{kGroupAddress, kPort};
    length = static_cast<std::int32_t>(BuildSearchRequestBytes(buffer, ClientId()));
    return length > 0;
}

bool MorvainSearch::BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length,
                                 Endpoint& destination, const DeviceInfo& device,
                                 const NetSettings& settings, std::int32_t type) {
    destination = Endpoint{kGroupAddress, kPort};
    length =
        static_cast<std::int32_t>(BuildCommandBytes(buffer, ClientId(), device, settings, type));
    return length > 0;
}

void MorvainSearch::ParseAnswer(std::span<const std::uint8_t> bytes,
                                std::uint32_t interface_address) {
    const std::optional<DeviceEntry> entry = ParseAnswerBytes(bytes, ClientId(), interface_address);
    if (entry) DeliverDevice(&*entry);
}

}  // namespace quorvex
