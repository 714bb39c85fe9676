#include "search/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvex {
namespace {

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

TEST(ToValidUtf8, KeepsValidTextAndReplacesEachIllFormedSequenceOnce) {
    const std::string valid =
        "cam-1 \xC3\xA9\xE6\x91\x84\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF";  // 1-4 bytes, U+10FFFF
    EXPECT_EQ(ToValidUtf8(valid), valid);
    const std::pair<std::string, std::string> cases[] = {
        {"a\x80z", "a" + kR + "z"},                     // stray continuation byte
        {"\xE6\x91z", kR + "z"},                        // three-byte form cut before ASCII
        {"\xF0\x9F\x93", kR},                           // four-byte form cut at the end
        {"\xC0\x80", kR},                               // overlong NUL
        {"\xE0\x80\x80z", kR + "z"},                    // overlong three-byte form
        {"\xED\xA0\x80", kR},                           // UTF-16 surrogate D800
        {"\xF4\x90\x80\x80", kR},                       // past U+10FFFF
        {"\xF5\xFF\xFE", kR + kR + kR},                 // bytes that never occur
        {"\xC3\xC3\xA9", kR + "\xC3\xA9"},              // a lead restarts the sequence
        {"ab\xE6\x91\x84\x84", "ab\xE6\x91\x84" + kR},  // one continuation too many
        {"caf\xE9", "caf" + kR},                        // an 8-bit code page text
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(ToValidUtf8(bytes), expected) << bytes;
}

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsTheRest) {
    EXPECT_EQ(JsonString("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
    EXPECT_EQ(JsonString("a\nb\rc\td\be\ff"), "\"a\\nb\\rc\\td\\be\\ff\"");
    EXPECT_EQ(JsonString(std::string("nul\0esc\x1b", 8)), "\"nul\\u0000esc\\u001b\"");
    // Line and paragraph separators are legal JSON but end lines elsewhere.
    EXPECT_EQ(JsonString("a\xE2\x80\xA8"
                         "b\xE2\x80\xA9\xE6\x91\x84"),
              "\"a\\u2028b\\u2029\xE6\x91\x84\"");
    // A cut sequence before the closing quote must not swallow it.
    EXPECT_EQ(JsonString("end\xE6\x91"), "\"end" + kR + "\"");
}

TEST(CsvField, QuotesOnlyWhenNeededDoublesQuotesAndDisarmsFormulasAndControls) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    // A device picks its own name: a leading =, +, -, @, tab or CR makes a
    // spreadsheet run it as a formula, so it gets a leading apostrophe.
    EXPECT_EQ(CsvField("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\"");
    EXPECT_EQ(CsvField("+1+1"), "'+1+1");
    EXPECT_EQ(CsvField("-2+3"), "'-2+3");
    EXPECT_EQ(CsvField("@SUM(A1)"), "'@SUM(A1)");
    EXPECT_EQ(CsvField("\t=1"), "'\t=1");
    EXPECT_EQ(CsvField("\r=1"), "\"'\r=1\"");
    EXPECT_EQ(CsvField("a=b-c"), "a=b-c");  // only the first character counts
    EXPECT_EQ(CsvField("bell\x07"
                       "esc\x1b[31m\xC2\x9B"),
              "bell" + kR + "esc" + kR + "[31m" + kR);
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    // Bidirectional controls would turn the cells after a name around; their
    // neighbours U+2029 and U+206A stay.
    for (const char32_t bidi : {0x061C, 0x200E, 0x200F, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E,
                                0x2066, 0x2067, 0x2068, 0x2069}) {
        std::string name, shown;
        for (const char32_t cp : {char32_t{0x2029}, bidi, char32_t{0x206A}}) AppendUtf8(name, cp);
        for (const char32_t cp : {char32_t{0x2029}, kReplacementCharacter, char32_t{0x206A}})
            AppendUtf8(shown, cp);
        EXPECT_EQ(CsvField(name), shown) << std::hex << static_cast<std::uint32_t>(bidi);
        EXPECT_EQ(TerminalText(name), shown) << std::hex << static_cast<std::uint32_t>(bidi);
    }
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("cr\ronly"), "\"cr\ronly\"");
    EXPECT_EQ(CsvField("bad\x80,"), "\"bad" + kR + ",\"");
}

TEST(TerminalText, NeutralisesControlCharactersAndEscapeSequencesAndAlignsByWidth) {
    // ESC [ 2 J would clear the screen; CSI as the C1 byte U+009B likewise.
    EXPECT_EQ(TerminalText("cam\x1b[2J"), "cam" + kR + "[2J");
    EXPECT_EQ(TerminalText("a\xC2\x9B"
                           "31m"),
              "a" + kR + "31m");
    EXPECT_EQ(TerminalText("line\nbreak\ttab\x7f\xE6\x91\x84"),
              "line" + kR + "break" + kR + "tab" + kR + "\xE6\x91\x84");
    // A rocket takes two columns, a combining accent none.
    EXPECT_EQ(DisplayWidth("\xF0\x9F\x9A\x80"), 2u);
    EXPECT_EQ(DisplayWidth("e\xCC\x81"), 1u);
    // Wide characters take two columns; no trailing blanks after an empty cell.
    EXPECT_EQ(
        AlignColumns({{"Name", "IP"},
                      {"\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA", "10.0.0.1"},
                      {"x", "", "extra"},
                      {"a", ""}}),
        "Name    IP\n\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA  10.0.0.1\nx                 extra\na\n");
}

}  // namespace
}  // namespace quorvex
