// WsDiscoveryCodec's message builders: the probe and its message id.
#include "core/ws_discovery_codec.h"

#include <cstdio>

namespace quorvex {

namespace {

// Every probe carries every prefix declared on the Envelope: some devices
// resolve prefixes only there.
constexpr const char* kProbeFormat =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<soap:Envelope"
    " xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
    " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
    " xmlns:%s=\"%s\">"
    "<soap:Header>"
    "<wsa:Action soap:mustUnderstand=\"1\">"
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"
    "<wsa:MessageID>%.*s</wsa:MessageID>"
    "<wsa:ReplyTo><wsa:Address>"
    "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
    "</wsa:Address></wsa:ReplyTo>"
    "<wsa:To soap:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
    "</soap:Header>"
    "<soap:Body><wsd:Probe><wsd:Types>%s:%s</wsd:Types></wsd:Probe></soap:Body>"
    "</soap:Envelope>";

}  // namespace

std::string WsDiscoveryCodec::MakeMessageId(const std::array<std::uint8_t, 16>& random) {
    std::array<std::uint8_t, 16> bytes = random;
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 1
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id = "urn:uuid:";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += kDigits[bytes[i] >> 4];
        id += kDigits[bytes[i] & 0x0F];
    }
    return id;
}

std::size_t WsDiscoveryCodec::BuildProbe(std::span<std::uint8_t> buffer, ProbeType type,
                                         std::string_view message_id) {
    if (buffer.empty() || message_id.find_first_of("<>&\"'") != std::string_view::npos) return 0;
    const bool video = type == ProbeType::kNetworkVideoTransmitter;
    const int written = std::snprintf(
        reinterpret_cast<char*>(buffer.data()), buffer.size(), kProbeFormat, video ? "dn" : "tds",
        video ? kNetworkWsdl.data() : kDeviceWsdl.data(), static_cast<int>(message_id.size()),
        message_id.data(), video ? "dn" : "tds", video ? "NetworkVideoTransmitter" : "Device");
    if (written <= 0 || static_cast<std::size_t>(written) >= buffer.size()) return 0;
    return static_cast<std::size_t>(written);
}

}  // namespace quorvex
