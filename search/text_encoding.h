#pragma once

// Turning device texts into output text. A device's texts are 8-bit bytes of
// whatever the camera sent; output is UTF-8, so every ill-formed sequence
// becomes U+FFFD (core/utf8_text.h) before it is escaped for its format.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/utf8_text.h"

namespace quorvex {

// A JSON string literal, quotes included, for `bytes` made valid UTF-8 first.
// Control characters, U+2028 and U+2029 are escaped, so the result is one line.
std::string JsonString(std::string_view bytes);

// One RFC 4180 field for `bytes` made valid UTF-8 first, safe to open in a
// spreadsheet: a field that begins with "=", "+", "-", "@", a tab or a CR (a
// formula to a spreadsheet) gets a leading "'"; C0 and C1 control characters
// other than tab, CR and LF, DEL and the bidirectional controls (U+061C,
// U+200E, U+200F, U+202A..U+202E, U+2066..U+2069) become U+FFFD; the field is
// quoted (inner
// quotes doubled) when it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view bytes);

// `bytes` made valid UTF-8 and safe to print on a terminal: C0 and C1 control
// characters, DEL and the bidirectional controls become U+FFFD, so a device
// name cannot move the cursor, send escape sequences to the terminal or turn
// the text after it around.
std::string TerminalText(std::string_view bytes);

// Columns that valid UTF-8 text takes on a terminal, by the C library's
// wcwidth in a UTF-8 locale: wide characters and most emoji count two,
// combining marks none, a character wcwidth does not know one.
std::size_t DisplayWidth(std::string_view utf8);

// Lines of cells (valid UTF-8, already made safe for a terminal) laid out in
// columns two blanks apart, each line ended by a newline without trailing
// blanks. Lines may have fewer cells than others.
std::string AlignColumns(const std::vector<std::vector<std::string>>& lines);

}  // namespace quorvex
