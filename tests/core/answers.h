#pragma once

// Answers as the devices send them, shared by the parser tests.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_records.h"

namespace quorvex::answers {

using namespace std::string_view_literals;

inline const std::string kClient = "MorvainControl-Tesslar-1A2B";
inline const std::string kTextHead = "HDS/1.0 200 OK\r\nCSeq:1\r\nClient-ID:" + kClient + "\r\n";

// Every header, in the order the parser reads them.
inline std::string Text() {
    return kTextHead +
           "Device-ID:DEV-0042\r\nDevice-Name:Gate camera\r\nUID:UID-7788\r\n"
           "IP:192.168.1.64\r\nMASK:255.255.255.0\r\nMAC:00:1a:2b:3c:4d:5e\r\n"
           "Gateway:192.168.1.1\r\nSoftware-Version:V5.4.1\r\nWeb-Version:V4.0.1\r\n"
           "Http-Port:8080\r\nDhcp:1\r\nFdns:8.8.8.8\r\nSdns:8.8.4.4\r\n\r\n";
}

struct Field {
    std::size_t offset;
    std::string_view text;
};
// `size` zero bytes with each field's text written at its offset.
inline std::vector<std::uint8_t> Wire(std::size_t size, std::initializer_list<Field> fields) {
    std::vector<std::uint8_t> bytes(size, 0);
    for (const auto& [offset, text] : fields) std::memcpy(&bytes[offset], text.data(), text.size());
    return bytes;
}

inline std::vector<std::uint8_t> Binary() {
    return Wire(302, {{0, "\x44\x48\x01\x08"sv},           // 0: answer header
                      {4, "10.77.1.64"},                   // 4: IP address
                      {20, "255.255.255.0"},               // 20: subnet mask
                      {36, "10.77.1.1"},                   // 36: gateway
                      {52, "10.77.1.2"},                   // 52: first DNS server
                      {68, "10.77.1.3"},                   // 68: second DNS server
                      {84, "\x00\x1A\x2B\x3C\x4D\x5E"sv},  // 84: MAC
                      {90, "\x90\x1F"sv},                  // 90: HTTP port 8080, little-endian
                      {92, "BRN-UID-0001"},                // 92: UID
                      {124, "Yard camera"},                // 124: device name
                      {204, "67.1.61.5"},                  // 204: software version
                      {220, "3.2.1"},                      // 220: web version
                      {236, "operator"},                   // 236: user name
                      {268, "pa55"},                       // 268: password
                      {300, "\x5A\x01"sv}});               // 300: flag byte; 301: DHCP on
}

// The text fields of a record: device id, name (run on into `reserved`), UID,
// IP, mask, gateway, DNS 1 and 2, software and web version, user, password.
inline std::vector<std::string_view> Texts(const DeviceInfo& info) {
    return {GetText(info.device_id),   DeviceName(info),   GetText(info.uid),
            GetText(info.ip),          GetText(info.mask), GetText(info.gateway),
            GetText(info.dns1),        GetText(info.dns2), GetText(info.software_version),
            GetText(info.web_version), GetText(info.user), GetText(info.password)};
}

}  // namespace quorvex::answers
