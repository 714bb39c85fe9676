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
           a.protocol == b.protocol && a.protocols == b.protocols;
}

bool SameContents(const WsdInfo& a, const WsdInfo& b) {
    return std::memcmp(&a, &b, sizeof(WsdInfo)) == 0;
}

std::uint64_t WsdTableKey(std::string_view endpoint, std::uint32_t source_address) {
    // FNV-1a over the endpoint and the address: stable across runs and
    // processes, so the key text a person notes down stays valid.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    const auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
    };
    for (const char c : endpoint) mix(static_cast<unsigned char>(c));
    for (int i = 0; i < 4; ++i) mix(static_cast<unsigned char>(source_address >> (8 * i)));
    return kWsdKeyTag | ((hash ^ (hash >> 48)) & 0xFFFFFFFFFFFFull);
}

DeviceEntry MergeEntry(const DeviceEntry& stored, const DeviceEntry& heard) {
    DeviceEntry merged = stored;
    const auto bit = [](std::int32_t protocol) {
        return protocol > 0 && protocol < 16 ? static_cast<std::uint16_t>(1u << protocol)
                                             : std::uint16_t{0};
    };
    // Only a camera WS-Discovery heard lists its protocols; one the own
    // protocols alone heard keeps the record as its parser made it.
    const bool with_wsd = heard.protocol == kProtocolWsDiscovery ||
                          stored.protocol == kProtocolWsDiscovery || stored.protocols != 0;
    merged.protocols = with_wsd
                           ? static_cast<std::uint16_t>(stored.protocols | heard.protocols |
                                                        bit(stored.protocol) | bit(heard.protocol))
                           : std::uint16_t{0};
    if (heard.protocol != kProtocolWsDiscovery || stored.protocol == kProtocolWsDiscovery) {
        merged.info = heard.info;
        merged.family = heard.family;
        merged.protocol = heard.protocol;
    }
    return merged;
}

WsdInfo MergeWsd(const WsdInfo* stored, const WsdInfo& heard) {
    if ((heard.flags & kWsdGone) == 0 || stored == nullptr) return heard;
    WsdInfo merged = *stored;
    merged.flags |= kWsdGone;
    return merged;
}

std::uint64_t TableKey(const DeviceEntry& entry, const WsdInfo* wsd) {
    std::uint64_t mac = 0;
    for (const std::uint8_t byte : entry.info.mac) mac = (mac << 8) | byte;
    if (mac != 0 || entry.protocol != kProtocolWsDiscovery || wsd == nullptr) return mac;
    return WsdTableKey(GetText(wsd->endpoint), wsd->source_address);
}

std::string TableKeyText(std::uint64_t key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if ((key & ~0xFFFFFFFFFFFFull) == kWsdKeyTag) {
        std::string text = "WSD-";
        for (int shift = 44; shift >= 0; shift -= 4) text += kDigits[(key >> shift) & 0xF];
        return text;
    }
    std::uint8_t mac[6] = {};
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<std::uint8_t>(key >> (8 * (5 - i)));
    return DeviceKey(mac);
}

bool ParseTableKey(std::string_view text, std::uint64_t& key) {
    if (text.size() == kWsdKeyLength && text.starts_with("WSD-")) {
        std::uint64_t value = 0;
        for (const char c : text.substr(4)) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            value = (value << 4) | static_cast<std::uint64_t>(digit);
        }
        key = kWsdKeyTag | value;
        return true;
    }
    std::uint8_t mac[6] = {};
    if (!ParseDeviceKey(text, mac)) return false;
    std::uint64_t value = 0;
    for (const std::uint8_t byte : mac) value = (value << 8) | byte;
    key = value;
    return true;
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
