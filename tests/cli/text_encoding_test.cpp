#include "cli/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvex {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST(ToValidUtf8, KeepsValidTextOfEveryLength) {
    const std::string text =
        "cam-1 "             // ASCII
        "\xC3\xA9"           // U+00E9, two bytes
        "\xE6\x91\x84"       // U+6444, three bytes
        "\xF0\x9F\x93\xB7"   // U+1F4F7, four bytes
        "\xF4\x8F\xBF\xBF";  // U+10FFFF, the last code point
    EXPECT_EQ(ToValidUtf8(text), text);
    EXPECT_EQ(ToValidUtf8(""), "");
}

TEST(ToValidUtf8, ReplacesEachMaximalIllFormedSubsequenceOnce) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"a\x80z", "a" + kReplacement + "z"},                     // stray continuation byte
        {"\xE6\x91", kReplacement},                               // three-byte form cut at the end
        {"\xE6\x91z", kReplacement + "z"},                        // cut before an ASCII byte
        {"\xF0\x9F\x93", kReplacement},                           // four-byte form cut short
        {"\xC0\x80", Repeat(kReplacement, 2)},                    // overlong NUL: C0 never leads
        {"\xE0\x80\x80", Repeat(kReplacement, 3)},                // overlong three-byte form
        {"\xED\xA0\x80", Repeat(kReplacement, 3)},                // UTF-16 surrogate D800
        {"\xF4\x90\x80\x80", Repeat(kReplacement, 4)},            // past U+10FFFF
        {"\xF5\xFF\xFE", Repeat(kReplacement, 3)},                // bytes that never occur
        {"\xC3", kReplacement},                                   // lone lead at the end
        {"\xC3\xC3\xA9", kReplacement + "\xC3\xA9"},              // a lead restarts the sequence
        {"ab\xE6\x91\x84\x84", "ab\xE6\x91\x84" + kReplacement},  // one continuation too many
        {"latin1 caf\xE9", "latin1 caf" + kReplacement},          // an 8-bit code page text
    };
    for (const Case& c : cases) EXPECT_EQ(ToValidUtf8(c.bytes), c.expected) << c.bytes;
}

TEST(JsonString, EscapesWhatJsonRequiresAndKeepsTheRest) {
    EXPECT_EQ(JsonString(""), "\"\"");
    EXPECT_EQ(JsonString("say \"hi\" \\ bye"), "\"say \\\"hi\\\" \\\\ bye\"");
    EXPECT_EQ(JsonString("a\nb\rc\td\be\ff"), "\"a\\nb\\rc\\td\\be\\ff\"");
    EXPECT_EQ(JsonString(std::string("nul\0esc\x1b del\x7f", 13)),
              "\"nul\\u0000esc\\u001B del\\u007F\"");
    // Line and paragraph separators are legal JSON but end lines elsewhere.
    EXPECT_EQ(JsonString("a\xE2\x80\xA8"
                         "b\xE2\x80\xA9"),
              "\"a\\u2028b\\u2029\"");
    EXPECT_EQ(JsonString("\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA"),
              "\"\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA\"");
    EXPECT_EQ(JsonString("bad\xFF"
                         "byte"),
              "\"bad" + kReplacement + "byte\"");
    // A cut sequence before the closing quote must not swallow it.
    EXPECT_EQ(JsonString("end\xE6\x91"), "\"end" + kReplacement + "\"");
}

TEST(CsvField, QuotesOnlyWhenNeededAndDoublesQuotes) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(CsvField("cr\ronly"), "\"cr\ronly\"");
    EXPECT_EQ(CsvField("bad\x80,"), "\"bad" + kReplacement + ",\"");
}

TEST(TerminalText, NeutralisesControlCharactersAndEscapeSequences) {
    // ESC [ 2 J would clear the screen; CSI as the C1 byte U+009B likewise.
    EXPECT_EQ(TerminalText("cam\x1b[2J"), "cam" + kReplacement + "[2J");
    EXPECT_EQ(TerminalText("a\xC2\x9B"
                           "31m"),
              "a" + kReplacement + "31m");
    EXPECT_EQ(TerminalText("line\nbreak\ttab\x7f"),
              "line" + kReplacement + "break" + kReplacement + "tab" + kReplacement);
    EXPECT_EQ(TerminalText("\xE6\x91\x84 ok"), "\xE6\x91\x84 ok");
    EXPECT_EQ(TerminalText("\xFF"), kReplacement);
}

TEST(AlignColumns, AlignsByDisplayWidthCountingWideCharactersTwice) {
    EXPECT_EQ(DisplayWidth("abc"), 3u);
    EXPECT_EQ(DisplayWidth("\xE6\x91\x84\xE5\x83\x8F"), 4u);  // two CJK characters
    EXPECT_EQ(DisplayWidth(kReplacement), 1u);

    const std::string aligned = AlignColumns({{"Name", "IP"},
                                              {"\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA", "10.0.0.1"},
                                              {"x", "10.0.0.2", "extra"}});
    EXPECT_EQ(aligned,
              "Name    IP\n"
              "\xE6\x91\x84\xE5\x83\x8F\xE6\x9C\xBA  10.0.0.1\n"
              "x       10.0.0.2  extra\n");
    // No trailing blanks when a last cell is empty.
    EXPECT_EQ(AlignColumns({{"a", ""}, {"bbb", "c"}}), "a\nbbb  c\n");
}

}  // namespace
}  // namespace quorvex
