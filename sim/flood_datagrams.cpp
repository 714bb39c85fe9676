#include "sim/flood_datagrams.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "sim/binary_device_protocol.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {

namespace {

constexpr std::string_view kStatusLine = "HDS/1.0 200 OK\r\n";

void SetMac(SimDevice& d, const std::uint8_t (&oui)[3], std::uint8_t a, std::uint8_t b,
            std::uint8_t c) {
    d.mac[0] = oui[0];
    d.mac[1] = oui[1];
    d.mac[2] = oui[2];
    d.mac[3] = a;
    d.mac[4] = b;
    d.mac[5] = c;
}

std::string Padded(std::string text, std::size_t length, char fill) {
    if (text.size() < length) text.append(length - text.size(), fill);
    return text;
}

// A device whose every field is set and depends on `index`, so that bytes of
// one such answer can never pass for another's.
SimDevice FilledDevice(DeviceProtocol protocol, int index, const std::string& tag) {
    SimDevice d;
    d.protocol = protocol;
    const std::string n = std::to_string(index);
    const char letter = static_cast<char>('a' + index % 26);
    d.name = Padded(tag + "-" + n + "-", 79, letter);
    d.uid = Padded(tag + "UID" + n, 31, letter);
    d.ip = "10.200." + std::to_string(protocol == DeviceProtocol::kBinary ? 1 : 2) + "." + n;
    d.mask = "255.255.0.0";
    d.gateway = "10.200.0." + n;
    d.dns1 = "10.201.0." + n;
    d.dns2 = "10.202.0." + n;
    d.software_version = protocol == DeviceProtocol::kBinary ? "67.1.61." + n : "V5.1." + n;
    d.web_version = "W1." + n;
    d.user = tag;
    d.password = "pw" + n;
    d.device_id = Padded(tag + "ID" + n, 40, letter);
    d.http_port = static_cast<std::uint16_t>(10000 + index);
    d.dhcp = static_cast<std::uint8_t>(index & 1);
    d.aux_flag = static_cast<std::uint8_t>(index);
    return d;
}

std::uint32_t Mix32(std::uint32_t x) {
    // Each step is invertible on 32 bits, so distinct inputs stay distinct.
    x *= 0x9E3779B1u;
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    return x;
}

std::string TextOf(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> BytesOf(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::vector<std::uint8_t> AnswerBytes(const SimDevice& device, std::string_view client_id) {
    if (device.protocol == DeviceProtocol::kText)
        return BytesOf(BuildTextAnswer(device, client_id));
    std::vector<std::uint8_t> bytes(kBinaryMessageLength);
    BuildBinaryAnswer(device, std::span<std::uint8_t, kBinaryMessageLength>(bytes));
    return bytes;
}

std::vector<std::uint8_t> RandomBytes(FloodRandom& random, std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (i % 8 == 0) bits = random();
        const auto b = static_cast<std::uint8_t>(bits >> (8 * (i % 8)));
        // The forbidden byte is folded onto its neighbour.
        bytes[i] = b == kNeverRandom ? kNeverRandom + 1 : b;
    }
    return bytes;
}

SimDevice DecoyDevice(DeviceProtocol protocol, int index) {
    SimDevice d = FilledDevice(protocol, index, "decoy");
    SetMac(d, kDecoyOui, protocol == DeviceProtocol::kBinary ? 1 : 2, 0,
           static_cast<std::uint8_t>(index));
    return d;
}

std::vector<std::uint8_t> NearMiss(int variant, int index, std::string_view client_id,
                                   bool& is_text) {
    variant = ((variant % kNearMissVariants) + kNearMissVariants) % kNearMissVariants;
    is_text = variant >= 4;
    SimDevice d =
        FilledDevice(is_text ? DeviceProtocol::kText : DeviceProtocol::kBinary, index, "nearmiss");
    SetMac(d, kNearMissOui, is_text ? 2 : 1, 0, static_cast<std::uint8_t>(index));
    if (!is_text) {
        static constexpr std::uint8_t kHeaders[4][2] = {
            {0x01, 0x01}, {0x02, 0x01}, {0x02, 0x08}, {0x01, 0x09}};
        std::vector<std::uint8_t> bytes = AnswerBytes(d, client_id);
        bytes[2] = kHeaders[variant][0];
        bytes[3] = kHeaders[variant][1];
        return bytes;
    }
    std::string id(client_id);
    if (variant == 7 && !id.empty()) id.pop_back();
    std::string text = TextOf(AnswerBytes(d, id));
    const std::string rest = text.substr(kStatusLine.size());
    switch (variant) {
        case 4:
            text = "MCTP/1.0 200 OK\r\n" + rest;
            break;
        case 5:
            text = "HDS/1.0 200 OK\n" + rest;
            break;
        case 6:
            text = "hds/1.0 200 ok\r\n" + rest;
            break;
        case 8: {
            const std::string line = "Client-ID:" + std::string(client_id) + "\r\n";
            const std::size_t at = text.find(line);
            if (at != std::string::npos) text.erase(at, line.size());
            break;
        }
        default:
            break;
    }
    return BytesOf(text);
}

std::vector<std::uint8_t> OversizedAnswer(DeviceProtocol protocol, std::string_view client_id) {
    if (protocol == DeviceProtocol::kBinary) {
        using namespace binary_layout;
        std::vector<std::uint8_t> bytes(kLargestDatagram, 'F');
        std::fill(bytes.begin(), bytes.begin() + kBinaryMessageLength, 0);
        bytes[0] = 0x44;
        bytes[1] = 0x48;
        bytes[2] = 0x01;
        bytes[3] = 0x08;
        const auto fill = [&bytes](std::size_t offset, std::size_t width, std::string text,
                                   char pad) {
            text = Padded(std::move(text), width, pad);
            std::memcpy(bytes.data() + offset, text.data(), width);
        };
        fill(kIp, kAddressWidth, "", '1');
        fill(kMask, kAddressWidth, "", '2');
        fill(kGateway, kAddressWidth, "", '3');
        fill(kDns1, kAddressWidth, "", '4');
        fill(kDns2, kAddressWidth, "", '5');
        const std::uint8_t mac[6] = {kOversizedOui[0], kOversizedOui[1], kOversizedOui[2], 1, 0, 1};
        std::memcpy(bytes.data() + kMac, mac, 6);
        bytes[kHttpPort] = 0x90;  // 8080, little-endian
        bytes[kHttpPort + 1] = 0x1F;
        fill(kUid, kUidWidth, "", 'U');
        fill(kName, kNameWidth, "", 'N');
        fill(kSoftware, kVersionWidth, "67.1.61.9", '9');
        fill(kWeb, kVersionWidth, "", 'W');
        fill(kUser, kCredentialWidth, "", 'u');
        fill(kPassword, kCredentialWidth, "", 'p');
        bytes[kAuxFlag] = 0xA5;
        bytes[kDhcp] = 1;
        return bytes;
    }
    const auto run = [](char c) { return std::string(300, c); };
    const auto line = [](std::string_view name, const std::string& value) {
        return std::string(name) + ":" + value + "\r\n";
    };
    const std::string head = std::string(kStatusLine) + line("CSeq", "1") +
                             line("Client-ID", std::string(client_id)) +
                             line("Device-ID", run('D'));
    const std::string tail = line("UID", run('U')) + line("IP", "10.77.201.201" + run('9')) +
                             line("MASK", run('2')) + line("MAC", "0a:0b:51:02:00:02") +
                             line("Gateway", run('3')) + line("Software-Version", run('S')) +
                             line("Web-Version", run('W')) + line("Http-Port", "8080") +
                             line("Dhcp", "1") + line("Fdns", run('4')) + line("Sdns", run('5')) +
                             "\r\n";
    const std::size_t name_overhead = line("Device-Name", "").size();
    const std::size_t name_length = kLargestDatagram - head.size() - tail.size() - name_overhead;
    return BytesOf(head + line("Device-Name", std::string(name_length, 'N')) + tail);
}

SimDevice RandomMacDevice(std::uint64_t index) {
    SimDevice d;
    d.protocol = index % 2 == 0 ? DeviceProtocol::kBinary : DeviceProtocol::kText;
    const std::uint32_t mixed = Mix32(static_cast<std::uint32_t>(index));
    d.mac[0] = kRandomMacPrefix[0];
    d.mac[1] = kRandomMacPrefix[1];
    d.mac[2] = static_cast<std::uint8_t>(mixed >> 24);
    d.mac[3] = static_cast<std::uint8_t>(mixed >> 16);
    d.mac[4] = static_cast<std::uint8_t>(mixed >> 8);
    d.mac[5] = static_cast<std::uint8_t>(mixed);
    const std::string n = std::to_string(index);
    d.name = "random-" + n;
    d.uid = "RND" + MacHex(d.mac);
    d.ip = "10.78." + std::to_string((index >> 8) & 0xFF) + "." + std::to_string(index & 0xFF);
    d.mask = "255.255.0.0";
    d.gateway = "10.78.0.1";
    d.software_version = d.protocol == DeviceProtocol::kBinary ? "67.1.61.1" : "V5.0.1";
    d.web_version = "W1.0";
    d.password = "admin";
    d.device_id = "RND" + MacHex(d.mac);
    return d;
}

SimDevice Spoofed(const SimDevice& device) {
    SimDevice d = device;
    d.name = "spoofed " + device.name;
    d.ip = "192.0.2.66";
    d.http_port = 6666;
    return d;
}

}  // namespace quorvex::sim
