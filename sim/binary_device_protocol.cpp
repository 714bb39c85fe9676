#include "sim/binary_device_protocol.h"

#include <algorithm>
#include <cstring>

namespace quorvex::sim {

namespace {

using namespace binary_layout;

void PutText(std::span<std::uint8_t> out, std::size_t offset, std::size_t width,
             const std::string& text) {
    const std::size_t n = std::min(text.size(), width - 1);
    std::memcpy(out.data() + offset, text.data(), n);
}

// The field's text up to its first zero, never past the field or the datagram.
std::string GetText(std::span<const std::uint8_t> in, std::size_t offset, std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && i < in.size() && in[i] != 0; ++i)
        text.push_back(static_cast<char>(in[i]));
    return text;
}

std::string Cut(const std::string& text, std::size_t width) {
    return text.substr(0, std::min(text.size(), width - 1));
}

}  // namespace

BinaryMessage ClassifyBinary(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4 || bytes[0] != 0x44 || bytes[1] != 0x48) return BinaryMessage::kNone;
    if (bytes[2] == 0x01 && bytes[3] == 0x01) return BinaryMessage::kProbe;
    if (bytes[2] == 0x01 && bytes[3] == 0x08) return BinaryMessage::kAnswer;
    if (bytes[2] == 0x02 && bytes[3] == 0x01) return BinaryMessage::kCommand;
    return BinaryMessage::kNone;
}

std::size_t BuildBinaryAnswer(const SimDevice& d,
                              std::span<std::uint8_t, kBinaryMessageLength> out) {
    std::fill(out.begin(), out.end(), 0);
    out[0] = 0x44;
    out[1] = 0x48;
    out[2] = 0x01;
    out[3] = 0x08;
    PutText(out, kIp, kAddressWidth, d.ip);
    PutText(out, kMask, kAddressWidth, d.mask);
    PutText(out, kGateway, kAddressWidth, d.gateway);
    PutText(out, kDns1, kAddressWidth, d.dns1);
    PutText(out, kDns2, kAddressWidth, d.dns2);
    std::memcpy(out.data() + kMac, d.mac, 6);
    out[kHttpPort] = static_cast<std::uint8_t>(d.http_port & 0xFF);
    out[kHttpPort + 1] = static_cast<std::uint8_t>(d.http_port >> 8);
    PutText(out, kUid, kUidWidth, d.uid);
    PutText(out, kName, kNameWidth, d.name);
    PutText(out, kSoftware, kVersionWidth, d.software_version);
    PutText(out, kWeb, kVersionWidth, d.web_version);
    PutText(out, kUser, kCredentialWidth, d.user);
    PutText(out, kPassword, kCredentialWidth, d.password);
    out[kAuxFlag] = d.aux_flag;
    out[kDhcp] = d.dhcp;
    return kBinaryMessageLength;
}

std::optional<BinaryCommand> ParseBinaryCommand(std::span<const std::uint8_t> bytes) {
    if (ClassifyBinary(bytes) != BinaryMessage::kCommand) return std::nullopt;
    if (bytes.size() < kBinaryCommandMinimum) return std::nullopt;
    BinaryCommand c;
    std::memcpy(c.mac, bytes.data() + kMac, 6);
    c.ip = GetText(bytes, kIp, kAddressWidth);
    c.mask = GetText(bytes, kMask, kAddressWidth);
    c.gateway = GetText(bytes, kGateway, kAddressWidth);
    c.dns1 = GetText(bytes, kDns1, kAddressWidth);
    c.dns2 = GetText(bytes, kDns2, kAddressWidth);
    c.http_port = static_cast<std::uint16_t>(bytes[kHttpPort] | (bytes[kHttpPort + 1] << 8));
    c.user = GetText(bytes, kUser, kCredentialWidth);
    c.password = GetText(bytes, kPassword, kCredentialWidth);
    c.dhcp = bytes[kDhcp];
    return c;
}

bool ApplyBinaryCommand(const BinaryCommand& c, SimDevice& d) {
    if (d.protocol != DeviceProtocol::kBinary || std::memcmp(c.mac, d.mac, 6) != 0) return false;
    if (c.user != Cut(d.user, kCredentialWidth) || c.password != Cut(d.password, kCredentialWidth))
        return false;
    d.ip = c.ip;
    d.mask = c.mask;
    d.gateway = c.gateway;
    d.dns1 = c.dns1;
    d.dns2 = c.dns2;
    d.http_port = c.http_port;
    d.dhcp = c.dhcp;
    return true;
}

}  // namespace quorvex::sim
