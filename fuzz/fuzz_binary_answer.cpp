// The binary protocol's answer parser over arbitrary bytes. Besides memory
// safety it checks that only an answer with its header and whole MAC yields a
// device and that every text is the start of its wire field, cut at the wire
// field and at the record field, with nothing read past what arrived.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "core/brannoc_search.h"
#include "fuzz/fuzz_checks.h"

namespace {

using namespace quorvex;
using fuzz::Require;

constexpr std::uint32_t kInterface = 0x0A4D000A;  // 10.0.77.10

// What the wire field at `offset` of `width` holds as text: up to its first
// zero, within the field and within the received bytes.
std::string_view WireText(std::span<const std::uint8_t> bytes, std::size_t offset,
                          std::size_t width) {
    if (offset >= bytes.size()) return {};
    std::string_view field = fuzz::AsText(bytes.subspan(offset));
    field = field.substr(0, width);
    return field.substr(0, field.find('\0'));
}

template <std::size_t N>
void RequireWireField(const char (&field)[N], std::span<const std::uint8_t> bytes,
                      std::size_t offset, std::size_t width, const char* what) {
    const std::string_view wire = WireText(bytes, offset, width);
    Require(GetText(field) == wire.substr(0, N - 1), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto entry = BrannocSearch::ParseAnswerBytes(bytes, kInterface);

    // The header, and at least up to the end of the MAC (offset 84, 6 bytes).
    const bool answer =
        size >= 90 && data[0] == 0x44 && data[1] == 0x48 && data[2] == 0x01 && data[3] == 0x08;
    Require(entry.has_value() == answer, "a device exactly for an answer with its whole MAC");
    if (!entry) return 0;

    const DeviceInfo& info = entry->info;
    Require(entry->protocol == kProtocolBinary && entry->interface_address == kInterface,
            "binary protocol bookkeeping");
    Require(entry->family == 1 || entry->family == 2, "family 1 or 2");
    Require(entry->family == BrannocSearch::FamilyOf(GetText(info.software_version)),
            "family follows the software version");
    fuzz::RequireTextFieldsCanonical(info);
    Require(GetText(info.device_id).empty(), "no device id in a binary answer");

    // The 80-byte name runs from `name` on into `reserved`: one terminated,
    // zero-padded stretch of the record.
    const char* name = info.name;
    Require(fuzz::Canonical(name, sizeof info.name + sizeof info.reserved), "name stretch");
    const std::string_view shown = DeviceName(info);
    Require(shown == WireText(bytes, 124, 80), "name is the wire field");

    RequireWireField(info.ip, bytes, 4, 16, "ip is the wire field");
    RequireWireField(info.mask, bytes, 20, 16, "mask is the wire field");
    RequireWireField(info.gateway, bytes, 36, 16, "gateway is the wire field");
    RequireWireField(info.dns1, bytes, 52, 16, "dns1 is the wire field");
    RequireWireField(info.dns2, bytes, 68, 16, "dns2 is the wire field");
    RequireWireField(info.uid, bytes, 92, 32, "uid is the wire field");
    RequireWireField(info.software_version, bytes, 204, 16, "software_version is the wire field");
    RequireWireField(info.web_version, bytes, 220, 16, "web_version is the wire field");
    RequireWireField(info.user, bytes, 236, 32, "user is the wire field");
    RequireWireField(info.password, bytes, 268, 32, "password is the wire field");

    // Bytes that did not arrive read as zero.
    std::uint8_t mac[6] = {};
    if (size > 84) std::memcpy(mac, data + 84, std::min<std::size_t>(6, size - 84));
    Require(std::memcmp(mac, info.mac, 6) == 0, "mac is the wire bytes");
    const std::uint16_t port =
        static_cast<std::uint16_t>((size > 90 ? data[90] : 0) | ((size > 91 ? data[91] : 0) << 8));
    Require(info.http_port == port, "http port is little-endian");
    Require(info.aux_flag == (size > 300 ? data[300] : 0), "flag byte");
    Require(info.dhcp == (size > 301 ? data[301] : 0), "dhcp byte");
    return 0;
}
