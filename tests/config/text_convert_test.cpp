#include "config/text_convert.h"

#include <gtest/gtest.h>

#include <array>

namespace quorvex {
namespace {

TEST(TextToInt, ReadsDecimalFirstThenWholeHexadecimal) {
    EXPECT_EQ(TextToInt(u"30"), 30);
    EXPECT_EQ(TextToInt(u"0x1E"), 30);
    EXPECT_EQ(TextToInt(u"0X1e"), 30);
    EXPECT_EQ(TextToInt(u"1E"), 30);
    EXPECT_EQ(TextToInt(u"010"), 10);  // decimal, not octal
    EXPECT_EQ(TextToInt(u"abc"), 2748);
    EXPECT_EQ(TextToInt(u"-5"), -5);
    EXPECT_EQ(TextToInt(u"+7"), 7);
    EXPECT_EQ(TextToInt(u"0x66"), 102);
    EXPECT_EQ(TextToInt(u"2147483647"), 2147483647);
}

TEST(TextToInt, AnythingButAWholeNumberGivesZero) {
    EXPECT_EQ(TextToInt(u"12 "), 0);
    EXPECT_EQ(TextToInt(u" 12"), 0);
    EXPECT_EQ(TextToInt(u"xyz"), 0);
    EXPECT_EQ(TextToInt(u""), 0);
    EXPECT_EQ(TextToInt(u"+-5"), 0);
    EXPECT_EQ(TextToInt(u"0x"), 0);
    EXPECT_EQ(TextToInt(u"１２"), 0);  // full-width digits are not digits here
    // Too large for 32 bits in decimal, and in hexadecimal as well.
    EXPECT_EQ(TextToInt(u"99999999999"), 0);
}

TEST(AnsiToWide, StopsAtTheBufferWithoutSplittingACharacter) {
    // 259 CJK characters fill a 260-unit buffer exactly.
    std::string text;
    for (int i = 0; i < 300; ++i) text += "中";
    std::array<char16_t, kTextCapacity> wide{};
    AnsiToWide(text, wide);
    EXPECT_EQ(std::u16string_view(wide.data()).size(), 259u);
    EXPECT_EQ(wide[258], u'中');

    // A character outside the 16-bit range needs two units; one free unit is
    // not enough for it.
    std::array<char16_t, 3> small{};
    AnsiToWide("a\xF0\x9F\x98\x80", small);  // "a", U+1F600
    EXPECT_EQ(std::u16string_view(small.data()), u"a");
}

TEST(AnsiToWide, InvalidBytesBecomeReplacementCharacters) {
    std::array<char16_t, kTextCapacity> wide{};
    // "A", a stray continuation byte, an overlong "/", a UTF-8 encoded
    // surrogate, "B", a cut three-byte sequence at the end.
    AnsiToWide(
        "A\x80\xC0\xAF\xED\xA0\x80"
        "B\xE4\xB8",
        wide);
    const std::u16string_view result(wide.data());
    EXPECT_EQ(result.front(), u'A');
    EXPECT_NE(result.find(u'B'), std::u16string_view::npos);
    for (const char16_t c : result) {
        EXPECT_TRUE(c == u'A' || c == u'B' || c == u'\uFFFD') << static_cast<int>(c);
    }
    EXPECT_EQ(SanitizeUtf8("valid 中文 ✓"), "valid 中文 ✓");
}

TEST(WideToAnsi, CutsAtACharacterBoundaryAndSaysSo) {
    std::array<char, 8> buffer{};
    // Three 3-byte characters need 9 bytes; two fit in 7 plus the terminator.
    EXPECT_FALSE(WideToAnsi(u"中文字", buffer));
    EXPECT_STREQ(buffer.data(), "中文");

    std::array<char, 16> exact{};
    EXPECT_TRUE(WideToAnsi(u"中文字", exact));
    EXPECT_STREQ(exact.data(), "中文字");

    // An unpaired surrogate cannot be written exactly.
    const char16_t lone[] = {u'a', static_cast<char16_t>(0xD800), u'b', 0};
    EXPECT_FALSE(WideToAnsi(lone, exact));
    EXPECT_STREQ(exact.data(),
                 "a\xEF\xBF\xBD"
                 "b");
}

}  // namespace
}  // namespace quorvex
