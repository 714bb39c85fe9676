#include "core/brannoc_search.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {
namespace {

constexpr std::uint32_t kInterface = 0x01014D0A;  // 10.77.1.1

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::string_view text) {
    std::memcpy(bytes.data() + offset, text.data(), text.size());
}

// A complete 302-byte answer, field by field.
std::vector<std::uint8_t> Answer() {
    std::vector<std::uint8_t> bytes(302, 0);
    const std::uint8_t header[4] = {0x44, 0x48, 0x01, 0x08};  // 0: answer header
    std::memcpy(bytes.data(), header, 4);
    Put(bytes, 4, "10.77.1.64");      // 4: IP address
    Put(bytes, 20, "255.255.255.0");  // 20: subnet mask
    Put(bytes, 36, "10.77.1.1");      // 36: gateway
    Put(bytes, 52, "10.77.1.2");      // 52: first DNS server
    Put(bytes, 68, "10.77.1.3");      // 68: second DNS server
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(bytes.data() + 84, mac, 6);  // 84: MAC
    bytes[90] = 0x90;                        // 90: HTTP port 8080, little-endian
    bytes[91] = 0x1F;
    Put(bytes, 92, "BRN-UID-0001");  // 92: UID
    Put(bytes, 124, "Yard camera");  // 124: device name
    Put(bytes, 204, "67.1.61.5");    // 204: software version
    Put(bytes, 220, "3.2.1");        // 220: web version
    Put(bytes, 236, "operator");     // 236: user name
    Put(bytes, 268, "pa55");         // 268: password
    bytes[300] = 0x5A;               // 300: flag byte
    bytes[301] = 1;                  // 301: DHCP on
    return bytes;
}

std::optional<DeviceEntry> Parse(const std::vector<std::uint8_t>& bytes) {
    return BrannocSearch::ParseAnswerBytes(bytes, kInterface);
}

std::string TextAt(const std::array<std::uint8_t, 1024>& buffer, std::size_t offset,
                   std::size_t width) {
    std::string text(reinterpret_cast<const char*>(buffer.data() + offset), width);
    return text.substr(0, text.find('\0'));
}

TEST(BrannocSearchBuild, ProbeIsFourBytes) {
    std::array<std::uint8_t, BaseSearch::kSearchBufferSize> buffer{};
    ASSERT_EQ(BrannocSearch::BuildSearchRequestBytes(buffer), 4u);
    EXPECT_EQ(buffer[0], 0x44);
    EXPECT_EQ(buffer[1], 0x48);
    EXPECT_EQ(buffer[2], 0x01);
    EXPECT_EQ(buffer[3], 0x01);
    EXPECT_EQ(buffer[4], 0x00);
    std::array<std::uint8_t, 3> tiny{};
    EXPECT_EQ(BrannocSearch::BuildSearchRequestBytes(tiny), 0u);
}

TEST(BrannocSearchBuild, CommandCarriesTheDeviceIdentityAndTheNewSettings) {
    const DeviceEntry device = Parse(Answer()).value();
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "12345");
    SetText(settings.ip, "10.77.1.70");
    SetText(settings.mask, "255.255.0.0");
    SetText(settings.gateway, "10.77.0.1");
    SetText(settings.dns1, "1.1.1.1");
    SetText(settings.dns2, "9.9.9.9");
    settings.http_port = 8080;
    settings.dhcp = 1;

    std::array<std::uint8_t, 1024> buffer;
    buffer.fill(0xEE);  // whatever the caller's buffer held must not leak
    ASSERT_EQ(BrannocSearch::BuildCommandBytes(buffer, device.info, settings), 324u);
    EXPECT_EQ(buffer[0], 0x44);  // 0: command header
    EXPECT_EQ(buffer[1], 0x48);
    EXPECT_EQ(buffer[2], 0x02);
    EXPECT_EQ(buffer[3], 0x01);
    EXPECT_EQ(TextAt(buffer, 4, 16), "10.77.1.70");
    EXPECT_EQ(buffer[4 + 10], 0);  // zero-padded within the field
    EXPECT_EQ(TextAt(buffer, 20, 16), "255.255.0.0");
    EXPECT_EQ(TextAt(buffer, 36, 16), "10.77.0.1");
    EXPECT_EQ(TextAt(buffer, 52, 16), "1.1.1.1");
    EXPECT_EQ(TextAt(buffer, 68, 16), "9.9.9.9");
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(std::memcmp(buffer.data() + 84, mac, 6), 0);
    EXPECT_EQ(buffer[90], 0x90);  // 8080 low byte first
    EXPECT_EQ(buffer[91], 0x1F);
    EXPECT_EQ(TextAt(buffer, 92, 32), "BRN-UID-0001");
    EXPECT_EQ(TextAt(buffer, 124, 80), "Yard camera");
    EXPECT_EQ(TextAt(buffer, 204, 16), "67.1.61.5");
    EXPECT_EQ(TextAt(buffer, 220, 16), "3.2.1");
    EXPECT_EQ(TextAt(buffer, 236, 32), "admin");
    EXPECT_EQ(TextAt(buffer, 268, 32), "12345");
    EXPECT_EQ(buffer[300], 0x5A);  // the device's flag byte, unchanged
    EXPECT_EQ(buffer[301], 1);
    for (std::size_t i = 302; i < 324; ++i) EXPECT_EQ(buffer[i], 0) << "offset " << i;
    EXPECT_EQ(buffer[324], 0xEE);  // nothing written past the command

    std::array<std::uint8_t, 323> short_buffer{};
    EXPECT_EQ(BrannocSearch::BuildCommandBytes(short_buffer, device.info, settings), 0u);
}

TEST(BrannocSearchBuild, TextsFillingTheirWireFieldAreCutThere) {
    DeviceInfo device{};
    SetText(device.uid, std::string(63, 'u'));
    SetText(device.software_version, std::string(31, 'v'));
    NetSettings settings{};
    SetText(settings.ip, std::string(31, '1'));
    SetText(settings.user, std::string(31, 'a'));
    std::array<std::uint8_t, 1024> buffer{};
    ASSERT_EQ(BrannocSearch::BuildCommandBytes(buffer, device, settings), 324u);
    EXPECT_EQ(TextAt(buffer, 4, 16), std::string(16, '1'));  // 4: ip, no room for a zero
    EXPECT_EQ(buffer[20], 0);                                // 20: mask untouched
    EXPECT_EQ(TextAt(buffer, 92, 32), std::string(32, 'u'));
    EXPECT_EQ(buffer[124], 0);
    EXPECT_EQ(TextAt(buffer, 204, 16), std::string(16, 'v'));
    EXPECT_EQ(TextAt(buffer, 236, 32), std::string(31, 'a'));
}

TEST(BrannocSearchParse, AnswerFillsEveryField) {
    const auto entry = Parse(Answer());
    ASSERT_TRUE(entry);
    const DeviceInfo& info = entry->info;
    EXPECT_EQ(GetText(info.ip), "10.77.1.64");
    EXPECT_EQ(GetText(info.mask), "255.255.255.0");
    EXPECT_EQ(GetText(info.gateway), "10.77.1.1");
    EXPECT_EQ(GetText(info.dns1), "10.77.1.2");
    EXPECT_EQ(GetText(info.dns2), "10.77.1.3");
    EXPECT_EQ(DeviceKey(info), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(info.http_port, 8080);
    EXPECT_EQ(GetText(info.uid), "BRN-UID-0001");
    EXPECT_EQ(GetText(info.name), "Yard camera");
    EXPECT_EQ(GetText(info.reserved), "");
    EXPECT_EQ(GetText(info.software_version), "67.1.61.5");
    EXPECT_EQ(GetText(info.web_version), "3.2.1");
    EXPECT_EQ(GetText(info.user), "operator");
    EXPECT_EQ(GetText(info.password), "pa55");
    EXPECT_EQ(info.aux_flag, 0x5A);
    EXPECT_EQ(info.dhcp, 1);
    EXPECT_EQ(GetText(info.device_id), "");
    EXPECT_EQ(entry->family, 1);
    EXPECT_EQ(entry->protocol, kProtocolBinary);
    EXPECT_EQ(entry->row, 0);
    EXPECT_EQ(entry->interface_address, kInterface);
}

TEST(BrannocSearchParse, OnlyTheAnswerHeaderYieldsADevice) {
    for (const std::uint8_t kind : {0x01, 0x02}) {
        for (const std::uint8_t sub : {0x01, 0x08}) {
            auto bytes = Answer();
            bytes[2] = kind;  // 2..3: message kind
            bytes[3] = sub;
            EXPECT_EQ(Parse(bytes).has_value(), kind == 0x01 && sub == 0x08)
                << int(kind) << " " << int(sub);
        }
    }
    auto bytes = Answer();
    bytes[0] = 0x45;
    EXPECT_FALSE(Parse(bytes));
    EXPECT_FALSE(Parse({}));
    EXPECT_FALSE(Parse({0x44, 0x48, 0x01}));  // header cut short
}

TEST(BrannocSearchParse, FamilyFollowsTheSoftwareVersion) {
    EXPECT_EQ(BrannocSearch::FamilyOf("67.1.61.5"), 1);
    EXPECT_EQ(BrannocSearch::FamilyOf("67.1.60.5"), 2);
    EXPECT_EQ(BrannocSearch::FamilyOf("66.9.99.9"), 2);
    EXPECT_EQ(BrannocSearch::FamilyOf(""), 2);
    EXPECT_EQ(BrannocSearch::FamilyOf("67.0.99"), 1);    // the fourth number may be missing
    EXPECT_EQ(BrannocSearch::FamilyOf("67.x.99.1"), 2);  // reading stops at "x"
    EXPECT_EQ(BrannocSearch::FamilyOf("V67.1.61.5"), 2);
    EXPECT_EQ(BrannocSearch::FamilyOf(" 67. 1. 61"), 1);  // blanks before numbers are skipped
    EXPECT_EQ(BrannocSearch::FamilyOf("67.1.-61.5"), 2);

    auto bytes = Answer();
    std::memset(bytes.data() + 204, 0, 16);
    Put(bytes, 204, "67.1.60.5");  // 204: software version
    EXPECT_EQ(Parse(bytes)->family, 2);
}

TEST(BrannocSearchParse, SeventyCharacterNameRunsIntoReservedAndBack) {
    const std::string name(70, 'N');
    auto bytes = Answer();
    std::memset(bytes.data() + 124, 0, 80);
    Put(bytes, 124, name);  // 124: device name, 70 characters
    const auto entry = Parse(bytes);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.name), std::string(64, 'N'));  // no terminator in `name`
    EXPECT_EQ(GetText(entry->info.reserved), std::string(6, 'N'));
    EXPECT_EQ(DeviceName(entry->info), name);

    std::array<std::uint8_t, 1024> buffer{};
    ASSERT_EQ(BrannocSearch::BuildCommandBytes(buffer, entry->info, NetSettings{}), 324u);
    EXPECT_EQ(TextAt(buffer, 124, 80), name);
    EXPECT_EQ(buffer[124 + 70], 0);

    // An 80-character name fills the wire field without a terminator; it is
    // read whole and sent back whole, and the version behind it is untouched.
    std::memset(bytes.data() + 124, 'M', 80);
    const auto full = Parse(bytes);
    ASSERT_TRUE(full);
    EXPECT_EQ(DeviceName(full->info), std::string(80, 'M'));
    EXPECT_EQ(GetText(full->info.software_version), "67.1.61.5");
    ASSERT_EQ(BrannocSearch::BuildCommandBytes(buffer, full->info, NetSettings{}), 324u);
    EXPECT_EQ(TextAt(buffer, 124, 80), std::string(80, 'M'));
    EXPECT_EQ(TextAt(buffer, 204, 16), "67.1.61.5");
}

TEST(BrannocSearchParse, UnterminatedFieldsStopAtTheirWidth) {
    auto bytes = Answer();
    std::memset(bytes.data() + 4, '7', 16);    // 4: IP fills its field, runs into the mask
    std::memset(bytes.data() + 92, 'U', 32);   // 92: UID fills its field, runs into the name
    std::memset(bytes.data() + 236, 'u', 32);  // 236: user, 32 characters
    std::memset(bytes.data() + 268, 'p', 32);  // 268: password, 32 characters, then the flag
    const auto entry = Parse(bytes);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip), std::string(16, '7'));
    EXPECT_EQ(GetText(entry->info.mask), "255.255.255.0");
    EXPECT_EQ(GetText(entry->info.uid), std::string(32, 'U'));
    EXPECT_EQ(GetText(entry->info.name), "Yard camera");
    // The record's user and password hold 31 characters.
    EXPECT_EQ(GetText(entry->info.user), std::string(31, 'u'));
    EXPECT_EQ(GetText(entry->info.password), std::string(31, 'p'));
    EXPECT_EQ(entry->info.aux_flag, 0x5A);
}

TEST(BrannocSearchParse, ShortAnswersReadOnlyWhatArrived) {
    const auto full = Answer();
    // Cut inside the UID: the fields before it are whole, the UID holds what
    // arrived, everything after it is empty or 0.
    std::vector<std::uint8_t> cut(full.begin(), full.begin() + 96);
    auto entry = Parse(cut);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip), "10.77.1.64");
    EXPECT_EQ(entry->info.http_port, 8080);
    EXPECT_EQ(GetText(entry->info.uid), "BRN-");
    EXPECT_EQ(GetText(entry->info.name), "");
    EXPECT_EQ(entry->info.dhcp, 0);
    EXPECT_EQ(entry->family, 2);

    // Cut between the two bytes of the port: the missing high byte is 0.
    cut.assign(full.begin(), full.begin() + 91);
    EXPECT_EQ(Parse(cut)->info.http_port, 0x90);

    // Cut before the MAC is whole: no device, rather than one keyed by
    // zeros the device never sent.
    EXPECT_FALSE(Parse({0x44, 0x48, 0x01, 0x08}));
    cut.assign(full.begin(), full.begin() + 89);
    EXPECT_FALSE(Parse(cut));
    cut.assign(full.begin(), full.begin() + 90);
    ASSERT_TRUE(Parse(cut));
    EXPECT_EQ(DeviceKey(Parse(cut)->info), DeviceKey(Parse(full)->info));

    // Longer datagrams: bytes past offset 301 are not read.
    std::vector<std::uint8_t> longer = full;
    longer.resize(65507, 0xAB);
    entry = Parse(longer);
    ASSERT_TRUE(entry);
    EXPECT_TRUE(SameContents(*entry, *Parse(full)));
}

}  // namespace
}  // namespace quorvex
