#include "core/brannoc_search.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/core/answers.h"

namespace quorvex {
namespace {

using answers::Wire;
using namespace std::string_view_literals;

constexpr std::uint32_t kInterface = 0x01014D0A;  // 10.77.1.1

std::optional<DeviceEntry> Parse(const std::vector<std::uint8_t>& bytes) {
    return BrannocSearch::ParseAnswerBytes(bytes, kInterface);
}

std::vector<std::uint8_t> Command(const DeviceInfo& device, const NetSettings& settings) {
    std::vector<std::uint8_t> buffer(BaseSearch::kCommandBufferSize, 0xEE);
    buffer.resize(BrannocSearch::BuildCommandBytes(buffer, device, settings));
    return buffer;
}

TEST(BrannocSearchBuild, ProbeAndCommandByteForByte) {
    std::array<std::uint8_t, 8> probe{};
    ASSERT_EQ(BrannocSearch::BuildSearchRequestBytes(probe), 4u);
    EXPECT_EQ(probe, (std::array<std::uint8_t, 8>{0x44, 0x48, 0x01, 0x01}));

    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "12345");
    SetText(settings.ip, "10.77.1.70");
    SetText(settings.mask, std::string(31, '5'));
    SetText(settings.gateway, "10.77.0.1");
    SetText(settings.dns1, "1.1.1.1");
    SetText(settings.dns2, "9.9.9.9");
    settings.http_port = 8081;
    // Address, port, credentials and DHCP from the settings; identity and
    // flag byte as the device reported them; the caller's 0xEE never leaks.
    EXPECT_EQ(Command(Parse(answers::Binary())->info, settings),
              Wire(324, {{0, "\x44\x48\x02\x01"sv},           // 0: command header
                         {4, "10.77.1.70"},                   // 4: IP address
                         {20, "5555555555555555"},            // 20: mask, cut at 16 bytes
                         {36, "10.77.0.1"},                   // 36: gateway
                         {52, "1.1.1.1"},                     // 52: first DNS server
                         {68, "9.9.9.9"},                     // 68: second DNS server
                         {84, "\x00\x1A\x2B\x3C\x4D\x5E"sv},  // 84: MAC
                         {90, "\x91\x1F"sv},                  // 90: HTTP port 8081
                         {92, "BRN-UID-0001"},                // 92: UID
                         {124, "Yard camera"},                // 124: device name
                         {204, "67.1.61.5"},                  // 204: software version
                         {220, "3.2.1"},                      // 220: web version
                         {236, "admin"},                      // 236: user name
                         {268, "12345"},                      // 268: password
                         {300, "\x5A"sv}}));                  // 300: flag; 301: DHCP off
    EXPECT_EQ(BrannocSearch::BuildCommandBytes(std::span(probe), DeviceInfo{}, settings), 0u);
}

TEST(BrannocSearchParse, AnswerFillsEveryFieldAndFamilyFollowsTheVersion) {
    auto answer = answers::Binary();
    const auto entry = Parse(answer);
    ASSERT_TRUE(entry);
    EXPECT_EQ(answers::Texts(entry->info),
              (std::vector<std::string_view>{"", "Yard camera", "BRN-UID-0001", "10.77.1.64",
                                             "255.255.255.0", "10.77.1.1", "10.77.1.2", "10.77.1.3",
                                             "67.1.61.5", "3.2.1", "operator", "pa55"}));
    EXPECT_EQ(DeviceKey(entry->info), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(entry->info.http_port, 8080);
    EXPECT_EQ(entry->info.aux_flag, 0x5A);
    EXPECT_EQ(entry->info.dhcp, 1);
    EXPECT_EQ(entry->family, 1);
    EXPECT_EQ(entry->protocol, kProtocolBinary);
    EXPECT_EQ(entry->interface_address, kInterface);

    // Family 1 only for "67.x.y.z" with y above 60.
    for (const auto& [version, family] :
         std::initializer_list<std::pair<const char*, int>>{{"67.1.60.5", 2},
                                                            {"66.9.99.9", 2},
                                                            {"", 2},
                                                            {"67.0.99", 1},
                                                            {"67.x.99.1", 2},
                                                            {"V67.1.61.5", 2},
                                                            {" 67. 1. 61", 1},
                                                            {"67.1.-61.5", 2}}) {
        EXPECT_EQ(BrannocSearch::FamilyOf(version), family) << version;
    }
    // Wrong headers are no answers.
    for (const auto header : {"\x44\x48\x01\x01"sv, "\x44\x48\x02\x01"sv, "\x45\x48\x01\x08"sv}) {
        std::copy(header.begin(), header.end(), answer.begin());
        EXPECT_FALSE(Parse(answer));
    }
}

TEST(BrannocSearchParse, SeventyCharacterNameRunsIntoReservedAndBack) {
    for (const std::string& name : {std::string(70, 'N'), std::string(80, 'M')}) {
        auto answer = answers::Binary();
        std::copy(name.begin(), name.end(), &answer[124]);  // 124: device name
        const DeviceInfo info = Parse(answer).value().info;
        EXPECT_EQ(GetText(info.name), name.substr(0, 64));
        EXPECT_EQ(GetText(info.reserved), name.substr(64));
        EXPECT_EQ(GetText(info.software_version), "67.1.61.5");
        const auto command = Command(info, NetSettings{});
        ASSERT_EQ(command.size(), 324u);
        EXPECT_EQ(std::string(&command[124], &command[124 + name.size()]), name);
        EXPECT_EQ(command[124 + name.size()], name.size() == 80 ? '6' : 0);  // then the version
    }
}

TEST(BrannocSearchParse, UnterminatedFieldsStopAtTheirWidth) {
    auto answer = answers::Binary();
    std::fill_n(&answer[4], 16, '7');    // 4: IP fills its field, runs into the mask
    std::fill_n(&answer[92], 32, 'U');   // 92: UID fills its field, runs into the name
    std::fill_n(&answer[268], 32, 'p');  // 268: password, 32 characters, then the flag
    const DeviceInfo info = Parse(answer).value().info;
    EXPECT_EQ(GetText(info.ip), std::string(16, '7'));
    EXPECT_EQ(GetText(info.mask), "255.255.255.0");
    EXPECT_EQ(GetText(info.uid), std::string(32, 'U'));
    EXPECT_EQ(DeviceName(info), "Yard camera");
    EXPECT_EQ(GetText(info.password), std::string(31, 'p'));  // the record's width
    EXPECT_EQ(info.aux_flag, 0x5A);
}

TEST(BrannocSearchParse, ShortAnswersReadOnlyWhatArrived) {
    const auto full = answers::Binary();
    const auto cut = [&](std::size_t n) { return Parse({full.begin(), full.begin() + n}); };
    const DeviceInfo info = cut(96).value().info;  // cut inside the UID
    EXPECT_EQ(GetText(info.ip), "10.77.1.64");
    EXPECT_EQ(GetText(info.uid), "BRN-");
    EXPECT_EQ(DeviceName(info), "");
    EXPECT_EQ(info.dhcp, 0);
    EXPECT_EQ(cut(91)->info.http_port, 0x90);  // the missing high byte is 0
    // Bytes past offset 301 are not read.
    std::vector<std::uint8_t> longer = full;
    longer.resize(65507, 0xAB);
    EXPECT_TRUE(SameContents(*Parse(longer), *Parse(full)));
}

}  // namespace
}  // namespace quorvex
