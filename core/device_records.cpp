#include "core/device_records.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace quorvex {

std::string DeviceKey(const std::uint8_t (&mac)[6]) {
    // "%02X-%02X-%02X-%02X-%02X-%02X", written by hand: every answer that
    // reaches the table is keyed, so this runs once per datagram.
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string key(kDeviceKeyLength, '-');
    for (std::size_t i = 0; i < 6; ++i) {
        key[i * 3] = kDigits[mac[i] >> 4];
        key[i * 3 + 1] = kDigits[mac[i] & 0x0F];
    }
    return key;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseDeviceKey(std::string_view text, std::uint8_t (&mac)[6]) {
    if (text.size() != kDeviceKeyLength) return false;
    const char separator = text[2];
    if (separator != '-' && separator != ':') return false;
    std::uint8_t bytes[6] = {};
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t at = i * 3;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return false;
        if (i < 5 && text[at + 2] != separator) return false;
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    std::memcpy(mac, bytes, sizeof bytes);
    return true;
}

bool SameContents(const DeviceEntry& a, const DeviceEntry& b) {
    return std::memcmp(&a.info, &b.info, sizeof(DeviceInfo)) == 0 && a.family == b.family &&
           a.protocol == b.protocol;
}

std::string_view DeviceName(const DeviceInfo& info) {
    const char* start = reinterpret_cast<const char*>(&info) + offsetof(DeviceInfo, name);
    const std::string_view stretch(start, sizeof info.name + sizeof info.reserved);
    return stretch.substr(0, stretch.find('\0'));
}

std::string AddressText(std::uint32_t address_network_order) {
    unsigned char bytes[4];
    std::memcpy(bytes, &address_network_order, 4);
    char text[16] = {};
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return text;
}

bool ParseAddress(std::string_view text, std::uint32_t& address_network_order) {
    unsigned char bytes[4] = {};
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        int value = 0;
        int digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            value = value * 10 + (text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        bytes[part] = static_cast<unsigned char>(value);
    }
    if (at != text.size()) return false;
    std::memcpy(&address_network_order, bytes, 4);
    return true;
}

}  // namespace quorvex
