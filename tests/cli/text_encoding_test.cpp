#include "cli/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvex {
namespace {

const std::string kR = "\xEF\xBF\xBD";  // U+FFFD

TEST(ToValidUtf8, KeepsValidTextAndReplacesEachMaximalIllFormedSubsequenceOnce) {
    const std::string valid =
        "cam-1 \xC3\xA9\xE6\x91\x84\xF0\x9F\x93\xB7\xF4\x8F\xBF\xBF";  // 1-4 bytes, U+10FFFF
    EXPECT_EQ(ToValidUtf8(valid), valid);
    const std::pair<std::string, std::string> cases[] = {
        {"a\x80z", "a" + kR + "z"},                     // stray continuation byte
        {"\xE6\x91z", kR + "z"},                        // three-byte form cut before ASCII
        {"\xF0\x9F\x93", kR},                           // four-byte form cut at the end
        {"\xC0\x80", kR + kR},                          // overlong NUL: C0 never leads
        {"\xE0\x80\x80", kR + kR + kR},                 // overlong three-byte form
        {"\xED\xA0\x80", kR + kR + kR},                 // UTF-16 surrogate D800
        {"\xF4\x90\x80\x80", kR + kR + kR + kR},        // past U+10FFFF
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
    EXPECT_EQ(JsonString(std::string("nul\0esc\x1b del\x7f", 13)),
              "\"nul\\u0000esc\\u001B del\\u007F\"");
    // Line and paragraph separators are legal JSON but end lines elsewhere.
    EXPECT_EQ(JsonString("a\xE2\x80\xA8"
                         "b\xE2\x80\xA9\xE6\x91\x84"),
              "\"a\\u2028b\\u2029\xE6\x91\x84\"");
    // A cut sequence before the closing quote must not swallow it.
    EXPECT_EQ(JsonString("end\xE6\x91"), "\"end" + kR + "\"");
}

TEST(CsvField, QuotesOnlyWhenNeededAndDoublesQuotes) {
    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
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
