#pragma once

// Turning device texts into output text. A device's texts are 8-bit bytes of
// whatever the camera sent; output is UTF-8, so every byte sequence that is
// not valid UTF-8 becomes U+FFFD before it is escaped for its format.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// `bytes` as valid UTF-8: every maximal ill-formed subsequence (stray
// continuation bytes, truncated sequences, overlong forms, surrogates, values
// past U+10FFFF, the bytes 0xC0, 0xC1 and 0xF5..0xFF) is replaced by one U+FFFD.
std::string ToValidUtf8(std::string_view bytes);

// A JSON string literal, quotes included, for `bytes` made valid UTF-8 first.
// Control characters are escaped, so the result is always one line.
std::string JsonString(std::string_view bytes);

// One RFC 4180 field for `bytes` made valid UTF-8 first: quoted (with inner
// quotes doubled) when it holds a comma, a quote, CR or LF, bare otherwise.
std::string CsvField(std::string_view bytes);

// `bytes` made valid UTF-8 and safe to print on a terminal: C0 and C1 control
// characters and DEL become U+FFFD, so a device name cannot move the cursor or
// send escape sequences to the terminal.
std::string TerminalText(std::string_view bytes);

// Columns that valid UTF-8 text takes on a terminal: East Asian wide and
// full-width characters count two, everything else one.
std::size_t DisplayWidth(std::string_view utf8);

// Lines of cells (valid UTF-8, already made safe for a terminal) laid out in
// columns two blanks apart, each line ended by a newline without trailing
// blanks. Lines may have fewer cells than others.
std::string AlignColumns(const std::vector<std::vector<std::string>>& lines);

}  // namespace quorvex
