#include "config/text_convert.h"

#include <gtest/gtest.h>

#include <array>

namespace quorvex {
namespace {

TEST(TextToInt, ReadsDecimalFirstThenWholeHexadecimalElseZero) {
    EXPECT_EQ(TextToInt(u"30"), 30);
    EXPECT_EQ(TextToInt(u"0x1E"), 30);
    EXPECT_EQ(TextToInt(u"1E"), 30);
    EXPECT_EQ(TextToInt(u"010"), 10);  // decimal, not octal
    EXPECT_EQ(TextToInt(u"abc"), 2748);
    EXPECT_EQ(TextToInt(u"-5"), -5);
    EXPECT_EQ(TextToInt(u"12 "), 0);
    EXPECT_EQ(TextToInt(u"xyz"), 0);
    EXPECT_EQ(TextToInt(u"0x"), 0);
    EXPECT_EQ(TextToInt(u"99999999999"), 0);  // too large for 32 bits either way
}

TEST(TextConvert, CutsAtCharacterBoundariesAndReplacesInvalidBytes) {
    std::array<char16_t, 3> small{};
    AnsiToWide("a\xF0\x9F\x98\x80", small);  // U+1F600 needs two units; one is free
    EXPECT_EQ(std::u16string_view(small.data()), u"a");
    std::array<char, 8> narrow{};
    EXPECT_FALSE(WideToAnsi(u"中文字", narrow));  // 9 bytes; two characters fit
    EXPECT_STREQ(narrow.data(), "中文");
    const char16_t lone[] = {u'a', static_cast<char16_t>(0xD800), 0};
    EXPECT_FALSE(WideToAnsi(lone, narrow));
    EXPECT_STREQ(narrow.data(), "a\uFFFD");

    // A stray continuation byte, an overlong "/", an encoded surrogate, a cut
    // three-byte sequence at the end.
    std::array<char16_t, kTextCapacity> wide{};
    AnsiToWide(
        "A\x80\xC0\xAF\xED\xA0\x80"
        "B\xE4\xB8",
        wide);
    EXPECT_EQ(std::u16string_view(wide.data()).find_first_not_of(u"AB\uFFFD"),
              std::u16string::npos);
    EXPECT_EQ(ToValidUtf8("valid 中文 ✓"), "valid 中文 ✓");
}

}  // namespace
}  // namespace quorvex
