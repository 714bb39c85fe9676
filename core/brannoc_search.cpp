#include "core/brannoc_search.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

#include "core/byte_reader.h"
#include "core/text_scanner.h"

namespace quorvex {

namespace {

constexpr std::array<std::uint8_t, 4> kProbeHeader = {0x44, 0x48, 0x01, 0x01};
constexpr std::array<std::uint8_t, 4> kAnswerHeader = {0x44, 0x48, 0x01, 0x08};
constexpr std::array<std::uint8_t, 4> kCommandHeader = {0x44, 0x48, 0x02, 0x01};

// The layout that answers and commands share; offsets from the header's first
// byte, widths in bytes.
struct Field {
    std::size_t offset;
    std::size_t width;
};
constexpr Field kIp{4, 16};
constexpr Field kMask{20, 16};
constexpr Field kGateway{36, 16};
constexpr Field kDns1{52, 16};
constexpr Field kDns2{68, 16};
constexpr Field kMac{84, 6};
constexpr Field kHttpPort{90, 2};
constexpr Field kUid{92, 32};
constexpr Field kName{124, 80};
constexpr Field kSoftwareVersion{204, 16};
constexpr Field kWebVersion{220, 16};
constexpr Field kUser{236, 32};
constexpr Field kPassword{268, 32};
constexpr std::size_t kFlagOffset = 300;
constexpr std::size_t kDhcpOffset = 301;

// The 80-byte name runs from `name` on into `reserved`; both are read and
// written as one stretch of the record.
constexpr std::size_t kNameStretch = sizeof(DeviceInfo::name) + sizeof(DeviceInfo::reserved);
static_assert(offsetof(DeviceInfo, reserved) ==
              offsetof(DeviceInfo, name) + sizeof(DeviceInfo::name));
static_assert(kName.width < kNameStretch);

// Writes `text` into a message field, cut at the field; the caller has zeroed
// the message.
void PutText(std::span<std::uint8_t> message, Field field, std::string_view text) {
    const std::size_t n = std::min(text.size(), field.width);
    if (n > 0) std::memcpy(message.data() + field.offset, text.data(), n);
}

void SetNameText(DeviceInfo& device, std::string_view text) {
    char* start = reinterpret_cast<char*>(&device) + offsetof(DeviceInfo, name);
    const std::size_t n = std::min(text.size(), kNameStretch - 1);
    std::memset(start, 0, kNameStretch);
    if (n > 0) std::memcpy(start, text.data(), n);
}

}  // namespace

BrannocSearch::BrannocSearch() : BaseSearch(kPort) {}

std::size_t BrannocSearch::BuildSearchRequestBytes(std::span<std::uint8_t> buffer) {
    if (buffer.size() < kProbeLength) return 0;
    std::copy(kProbeHeader.begin(), kProbeHeader.end(), buffer.begin());
    return kProbeLength;
}

std::size_t BrannocSearch::BuildCommandBytes(std::span<std::uint8_t> buffer,
                                             const DeviceInfo& device,
                                             const NetSettings& settings) {
    if (buffer.size() < kCommandLength) return 0;
    const auto message = buffer.first(kCommandLength);
    std::fill(message.begin(), message.end(), std::uint8_t{0});
    std::copy(kCommandHeader.begin(), kCommandHeader.end(), message.begin());
    PutText(message, kIp, GetText(settings.ip));
    PutText(message, kMask, GetText(settings.mask));
    PutText(message, kGateway, GetText(settings.gateway));
    PutText(message, kDns1, GetText(settings.dns1));
    PutText(message, kDns2, GetText(settings.dns2));
    std::memcpy(message.data() + kMac.offset, device.mac, kMac.width);
    message[kHttpPort.offset] = static_cast<std::uint8_t>(settings.http_port & 0xFF);
    message[kHttpPort.offset + 1] = static_cast<std::uint8_t>(settings.http_port >> 8);
    PutText(message, kUid, GetText(device.uid));
    // The identity goes back as the device reported it, so a name that ran on
    // into `reserved` reaches the device whole.
    PutText(message, kName, DeviceName(device));
    PutText(message, kSoftwareVersion, GetText(device.software_version));
    PutText(message, kWebVersion, GetText(device.web_version));
    PutText(message, kUser, GetText(settings.user));
    PutText(message, kPassword, GetText(settings.password));
    message[kFlagOffset] = device.aux_flag;
    message[kDhcpOffset] = settings.dhcp;
    return kCommandLength;
}

std::optional<DeviceEntry> BrannocSearch::ParseAnswerBytes(std::span<const std::uint8_t> bytes,
                                                           std::uint32_t interface_address) {
    const ByteReader reader(bytes);
    // One named result on every path, so that it is built in the caller's
    // storage and never copied on the way out.
    std::optional<DeviceEntry> result;
    if (!reader.StartsWithAt(0, kAnswerHeader)) return result;
    // An answer cut before the end of its MAC names no device: its key would
    // be made of zero bytes the device never sent, and every cut copy of a
    // real answer would blank that camera's row until its next answer.
    if (bytes.size() < kMac.offset + kMac.width) return result;
    DeviceEntry& entry = result.emplace();
    entry.protocol = kProtocolBinary;
    entry.interface_address = interface_address;
    DeviceInfo& info = entry.info;
    const auto text = [&reader](Field field) {
        return reader.FieldText(field.offset, field.width);
    };
    SetText(info.ip, text(kIp));
    SetText(info.mask, text(kMask));
    SetText(info.gateway, text(kGateway));
    SetText(info.dns1, text(kDns1));
    SetText(info.dns2, text(kDns2));
    SetText(info.uid, text(kUid));
    SetNameText(info, text(kName));
    SetText(info.software_version, text(kSoftwareVersion));
    SetText(info.web_version, text(kWebVersion));
    SetText(info.user, text(kUser));
    SetText(info.password, text(kPassword));
    reader.CopyOut(kMac.offset, info.mac);
    info.http_port = reader.U16Le(kHttpPort.offset);
    info.aux_flag = reader.U8(kFlagOffset);
    info.dhcp = reader.U8(kDhcpOffset);
    entry.family = FamilyOf(GetText(info.software_version));
    return result;
}

std::int32_t BrannocSearch::FamilyOf(std::string_view software_version) {
    // "%d.%d.%d.%d": reading stops at the first number that is not there, and
    // the numbers not read count as 0.
    std::int32_t numbers[4] = {};
    TextScanner scanner(software_version);
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0 && !scanner.Expect('.')) break;
        std::uint32_t value = 0;
        if (!scanner.ReadDecimal(value)) break;
        numbers[i] = static_cast<std::int32_t>(value);
    }
    return numbers[0] == 67 && numbers[2] > 60 ? 1 : 2;
}

bool BrannocSearch::BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                                       Endpoint& destination) {
    destination = Endpoint{kBroadcastAddress, kPort};
    length = static_cast<std::int32_t>(BuildSearchRequestBytes(buffer));
    return length > 0;
}

bool BrannocSearch::BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length,
                                 Endpoint& destination, const DeviceInfo& device,
                                 const NetSettings& settings, std::int32_t /*type*/) {
    destination = Endpoint{kBroadcastAddress, kPort};
    length = static_cast<std::int32_t>(BuildCommandBytes(buffer, device, settings));
    return length > 0;
}

void BrannocSearch::ParseAnswer(std::span<const std::uint8_t> bytes,
                                std::uint32_t interface_address) {
    const std::optional<DeviceEntry> entry = ParseAnswerBytes(bytes, interface_address);
    if (entry) DeliverDevice(&*entry);
}

}  // namespace quorvex
