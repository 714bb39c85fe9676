#include "core/device_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quorvex {
namespace {

TEST(DeviceRecords, DeviceKeyRoundTrip) {
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE};
    EXPECT_EQ(DeviceKey(mac), "00-1A-2B-3C-4D-FE");
    std::uint8_t back[6] = {};
    EXPECT_TRUE(ParseDeviceKey("00-1a-2B-3c-4D-fe", back));
    EXPECT_EQ(std::memcmp(back, mac, 6), 0);
    EXPECT_TRUE(ParseDeviceKey("00:1A:2B:3C:4D:FE", back));

    std::uint8_t untouched[6] = {9, 9, 9, 9, 9, 9};
    for (const char* bad : {"", "00-1A-2B-3C-4D", "00-1A-2B-3C-4D-FE-", "00-1A:2B-3C-4D-FE",
                            "0G-1A-2B-3C-4D-FE", "00 1A 2B 3C 4D FE"}) {
        EXPECT_FALSE(ParseDeviceKey(bad, untouched)) << bad;
    }
    EXPECT_EQ(untouched[0], 9);
}

TEST(DeviceRecords, AddressesAreFourDecimalNumbers) {
    std::uint32_t address = 0;
    ASSERT_TRUE(ParseAddress("192.168.1.20", address));
    EXPECT_EQ(AddressText(address), "192.168.1.20");
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    EXPECT_EQ(bytes[0], 192);  // network byte order: first number first in memory
    EXPECT_EQ(bytes[3], 20);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d",
                            "1.2.3.0004", "-1.2.3.4"}) {
        EXPECT_FALSE(ParseAddress(bad, address)) << bad;
    }
}

TEST(DeviceRecords, TextFieldsAreCutAndTheLongNameSpansReserved) {
    char field[8];
    std::memset(field, 'X', sizeof field);
    SetText(field, "0123456789");
    EXPECT_EQ(GetText(field), "0123456");
    EXPECT_EQ(field[7], '\0');
    SetText(field, "ab");
    EXPECT_EQ(field[2], '\0');
    EXPECT_EQ(field[7], '\0');  // padded, nothing of the longer text is left

    DeviceInfo info{};
    SetText(info.name, "short");
    EXPECT_EQ(DeviceName(info), "short");
    std::memset(info.name, 'n', sizeof info.name);
    std::memset(info.reserved, 'r', sizeof info.reserved);
    // Neither field terminated: the name stops at the end of `reserved`.
    EXPECT_EQ(DeviceName(info), std::string(64, 'n') + std::string(64, 'r'));
}

}  // namespace
}  // namespace quorvex
