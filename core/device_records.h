#pragma once

// The fixed-size records that describe a camera, its new settings, a queued
// command and one of the PC's own interfaces. They hold no pointers and own
// nothing: they are zero-filled before any field is written (value-initialise
// them with `{}`), copied whole by value and compared byte for byte.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace quorvex {

// Protocol ids: the search manager keys its protocol objects by these.
inline constexpr std::int32_t kProtocolBinary = 1;
inline constexpr std::int32_t kProtocolText = 2;
inline constexpr std::int32_t kProtocolWsDiscovery = 3;

// Family code of a device heard only through WS-Discovery ("WS-Discovery" in
// the list's kind column).
inline constexpr std::int32_t kFamilyWsDiscovery = 4;

// Command types of `DeviceCommand::type`.
inline constexpr std::int32_t kCommandNetSettings = 1;
inline constexpr std::int32_t kCommandHttpPort = 2;

// A device's own properties, as one discovery answer reports them. Text fields
// are 8-bit, zero-terminated inside their width.
struct DeviceInfo {
    char uid[64];
    char name[64];
    // The binary protocol's 80-byte name field runs on from `name` into here;
    // nothing else reads or writes it.
    char reserved[64];
    char ip[32];
    char mask[32];
    char gateway[32];
    char dns1[32];
    char dns2[32];
    char software_version[32];
    char web_version[32];
    char user[32];
    char password[32];
    std::uint8_t mac[6];
    std::uint16_t http_port;
    std::uint8_t dhcp;
    std::uint8_t aux_flag;
    char device_id[64];
};

// Bits of `WsdInfo::flags`: what the device's service addresses look like.
inline constexpr std::uint8_t kWsdHttps = 0x01;       // the shown address is an https one
inline constexpr std::uint8_t kWsdLinkLocal = 0x02;   // some XAddr is link-local
inline constexpr std::uint8_t kWsdHostName = 0x04;    // some XAddr names a host, not an address
inline constexpr std::uint8_t kWsdIpv6 = 0x08;        // some XAddr is an IPv6 address
inline constexpr std::uint8_t kWsdFromSource = 0x10;  // no XAddr on the subnet: shown = sender
inline constexpr std::uint8_t kWsdGone = 0x20;        // the device said Bye

// What WS-Discovery adds to a device. It travels beside the entry (see
// `WsdDevice`), never inside it, so the answers of the two own protocols never
// carry or copy it. Texts are cut at their field like every other field;
// lists (XAddrs, types, scopes) are kept whole-item, separated by one blank.
struct WsdInfo {
    char endpoint[128];  // endpoint reference address, the device's identity
    char xaddrs[384];    // every XAddr, default port made explicit
    char types[96];      // local names of the types, e.g. "NetworkVideoTransmitter Device"
    char scopes[384];    // the scopes as received
    char hardware[64];   // percent-decoded "hardware" scope
    char location[64];   // percent-decoded "location" scope(s)
    std::uint32_t metadata_version;
    std::uint32_t source_address;  // sender of the answer, network byte order
    std::uint8_t flags;            // kWsd* bits
    std::uint8_t spare[3];
};

// What a parser delivers and what the search manager stores per device.
struct DeviceEntry {
    DeviceInfo info;
    // Protocols that heard the device, bit (1 << id), once WS-Discovery did
    // (0 otherwise): the WS-Discovery parser sets its own, the search manager
    // merges the rest. Lives in what would be padding before `sender_address`.
    std::uint16_t protocols;
    // Who sent the answer (network byte order; 0 when unknown). A camera
    // may answer from another address than the one it reports, so the two
    // together tell a camera from a host posing with its MAC.
    std::uint32_t sender_address;
    std::int32_t family;              // 1 or 2 binary ("H", "J"), 3 text ("E"), 4 WS-Discovery
    std::int32_t protocol;            // kProtocolBinary, kProtocolText or kProtocolWsDiscovery
    std::uint32_t interface_address;  // receiving interface, network byte order
};

// What the WS-Discovery protocol delivers for one device: the entry as every
// protocol makes it and the details only WS-Discovery has.
struct WsdDevice {
    DeviceEntry entry;
    WsdInfo wsd;
};

// The network configuration to send to one device.
struct NetSettings {
    char user[32];
    char password[32];
    char ip[32];
    char mask[32];
    char gateway[32];
    char dns1[32];
    char dns2[32];
    std::uint16_t http_port;
    std::uint8_t dhcp;
    std::int8_t dns_status;
};

// One queued command: the target's properties (not the table bookkeeping of a
// DeviceEntry), the settings and the type.
struct DeviceCommand {
    DeviceInfo device;
    NetSettings settings;
    std::int32_t type;
};

// One IPv4 address of one of the PC's interfaces (an interface with several
// addresses gives one record each). `prefix` is `ip` up to and including its
// last dot, kept for reports; the subnet itself is `ip` with `mask`.
struct LocalInterface {
    char ip[24];
    char prefix[24];
    char mask[24];
    char gateway[24];
    char dns1[24];
    char dns2[24];
    char name[24];  // the kernel's interface name ("eth0")
};

// The layout is the records' contract with the wire formats and with each
// other: `reserved` must follow `name` directly so that an 80-byte binary name
// can run on into it, and change detection compares `DeviceInfo` as raw bytes,
// so it must have no padding.
static_assert(offsetof(DeviceInfo, uid) == 0);
static_assert(offsetof(DeviceInfo, name) == 64);
static_assert(offsetof(DeviceInfo, reserved) == 128);
static_assert(offsetof(DeviceInfo, reserved) == offsetof(DeviceInfo, name) + 64);
static_assert(offsetof(DeviceInfo, ip) == 192);
static_assert(offsetof(DeviceInfo, mask) == 224);
static_assert(offsetof(DeviceInfo, gateway) == 256);
static_assert(offsetof(DeviceInfo, dns1) == 288);
static_assert(offsetof(DeviceInfo, dns2) == 320);
static_assert(offsetof(DeviceInfo, software_version) == 352);
static_assert(offsetof(DeviceInfo, web_version) == 384);
static_assert(offsetof(DeviceInfo, user) == 416);
static_assert(offsetof(DeviceInfo, password) == 448);
static_assert(offsetof(DeviceInfo, mac) == 480);
static_assert(offsetof(DeviceInfo, http_port) == 486);
static_assert(offsetof(DeviceInfo, dhcp) == 488);
static_assert(offsetof(DeviceInfo, aux_flag) == 489);
static_assert(offsetof(DeviceInfo, device_id) == 490);
static_assert(sizeof(DeviceInfo) == 554);

static_assert(offsetof(DeviceEntry, info) == 0);
static_assert(offsetof(DeviceEntry, protocols) == 554);
static_assert(offsetof(DeviceEntry, sender_address) == 556);
static_assert(offsetof(DeviceEntry, family) == 560);
static_assert(offsetof(DeviceEntry, protocol) == 564);
static_assert(offsetof(DeviceEntry, interface_address) == 568);
static_assert(offsetof(WsdInfo, xaddrs) == 128);
static_assert(offsetof(WsdInfo, types) == 512);
static_assert(offsetof(WsdInfo, scopes) == 608);
static_assert(offsetof(WsdInfo, hardware) == 992);
static_assert(offsetof(WsdInfo, location) == 1056);
static_assert(offsetof(WsdInfo, metadata_version) == 1120);
static_assert(offsetof(WsdInfo, source_address) == 1124);
static_assert(offsetof(WsdInfo, flags) == 1128);
static_assert(sizeof(WsdInfo) == 1132);
static_assert(sizeof(DeviceEntry) == 572);
static_assert(offsetof(WsdDevice, wsd) == 572);
static_assert(sizeof(WsdDevice) == 1704);

static_assert(offsetof(NetSettings, ip) == 64);
static_assert(offsetof(NetSettings, dns2) == 192);
static_assert(offsetof(NetSettings, http_port) == 224);
static_assert(offsetof(NetSettings, dhcp) == 226);
static_assert(offsetof(NetSettings, dns_status) == 227);
static_assert(sizeof(NetSettings) == 228);

static_assert(offsetof(DeviceCommand, settings) == 554);
static_assert(offsetof(DeviceCommand, type) == 784);
static_assert(sizeof(DeviceCommand) == 788);

static_assert(offsetof(LocalInterface, prefix) == 24);
static_assert(offsetof(LocalInterface, dns2) == 120);
static_assert(offsetof(LocalInterface, name) == 144);
static_assert(sizeof(LocalInterface) == 168);

template <typename T>
inline constexpr bool kIsPlainRecord =
    std::is_trivially_copyable_v<T>&& std::is_standard_layout_v<T>&& std::is_aggregate_v<T>;
static_assert(kIsPlainRecord<DeviceInfo> && kIsPlainRecord<DeviceEntry> &&
              kIsPlainRecord<WsdInfo> && kIsPlainRecord<WsdDevice> && kIsPlainRecord<NetSettings> &&
              kIsPlainRecord<DeviceCommand> && kIsPlainRecord<LocalInterface>);

// Length of a key: "00-1A-2B-3C-4D-5E".
inline constexpr std::size_t kDeviceKeyLength = 17;

// The device key: `mac` as "%02X-%02X-%02X-%02X-%02X-%02X". It keys the search
// manager's table and is the text of the device list's last column.
std::string DeviceKey(const std::uint8_t (&mac)[6]);
inline std::string DeviceKey(const DeviceInfo& info) {
    return DeviceKey(info.mac);
}

// The table key of a device without a MAC address (a WS-Discovery device
// whose scopes name none): the tag kWsdKeyTag in the top 16 bits, below it 48
// bits of a hash of the endpoint reference and the sender's address (devices
// that share one endpoint reference stay apart by address). A MAC key never
// reaches the tag bits, so the two kinds never meet. Written as "WSD-" and
// twelve upper-case hexadecimal digits (`kWsdKeyLength` characters).
inline constexpr std::uint64_t kWsdKeyTag = 0x5753ull << 48;
inline constexpr std::size_t kWsdKeyLength = 16;
std::uint64_t WsdTableKey(std::string_view endpoint, std::uint32_t source_address);
// The table key of an entry: its MAC (as a 48-bit number, first byte highest)
// when it has one, else the WS-Discovery key of its endpoint and sender. A
// text or binary device without MAC keys as all zero, as before.
// `wsd` is what WS-Discovery said of the device, if anything: without it an
// entry of WS-Discovery without MAC has no key of its own (0).
std::uint64_t TableKey(const DeviceEntry& entry, const WsdInfo* wsd = nullptr);
inline std::uint64_t TableKey(const WsdDevice& device) {
    return TableKey(device.entry, &device.wsd);
}
// The key text of a table key: a MAC key as `DeviceKey` writes it, a
// WS-Discovery key as "WSD-0123456789AB".
std::string TableKeyText(std::uint64_t key);
// Reads either kind of key text back; none for anything else.
bool ParseTableKey(std::string_view text, std::uint64_t& key);

// One camera heard by several protocols is one entry. What the table keeps
// when `heard` arrives for the entry `stored` (same key, or the same address
// on the same interface): the own protocols' answer owns `info`, `family` and
// `protocol` (they alone can carry commands), and `protocols` collects every
// protocol that heard it once WS-Discovery did (it stays 0 for a camera only
// the own protocols heard). `row` and `interface_address` stay the stored
// ones. The WS-Discovery details are kept apart (see `MergeWsd`).
DeviceEntry MergeEntry(const DeviceEntry& stored, const DeviceEntry& heard);
// The WS-Discovery details to keep when `heard` arrives for a device whose
// details are `stored` (null: none yet): a Bye keeps what is stored and only
// marks it gone; any other answer replaces it.
WsdInfo MergeWsd(const WsdInfo* stored, const WsdInfo& heard);

// Reads a key written as "00-1A-2B-3C-4D-5E" or "00:1a:2b:3c:4d:5e" (either
// case). Returns false and leaves `mac` untouched for anything else.
bool ParseDeviceKey(std::string_view text, std::uint8_t (&mac)[6]);

// Change detection: the whole `DeviceInfo` byte for byte plus `family`,
// `protocol` and `protocols`; `row` and `interface_address` take no part.
bool SameContents(const DeviceEntry& a, const DeviceEntry& b);
// The same for WS-Discovery details, byte for byte.
bool SameContents(const WsdInfo& a, const WsdInfo& b);
inline bool SameContents(const WsdDevice& a, const WsdDevice& b) {
    return SameContents(a.entry, b.entry) && SameContents(a.wsd, b.wsd);
}

// Copies `text` into a fixed field, cut at the field's width minus the
// terminator, and zero-pads the rest. Never writes past the field.
template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
    static_assert(N > 0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0) std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

// The text of a fixed field up to its first zero, bounded by the field even
// when no terminator is there.
template <std::size_t N>
std::string_view GetText(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string_view(field, n);
}

// A device's name as shown: the text that starts at `name`, which a binary
// device's long name runs on into `reserved`; bounded by the two fields.
std::string_view DeviceName(const DeviceInfo& info);

// Dotted text of a 32-bit address in network byte order ("%d.%d.%d.%d" over
// its bytes in memory order).
std::string AddressText(std::uint32_t address_network_order);

// Converts dotted text to a 32-bit address in network byte order; false for
// anything that is not four decimal numbers 0..255 separated by dots.
bool ParseAddress(std::string_view text, std::uint32_t& address_network_order);

}  // namespace quorvex
