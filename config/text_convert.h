#pragma once

// Text helpers shared by the store, the language packs and the windows.
// The ANSI code page of this system is UTF-8: "ANSI" texts are UTF-8 bytes,
// "wide" texts are UTF-16 code units (char16_t). Nothing here throws.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "core/utf8_text.h"  // Utf8ToUtf16, Utf16ToUtf8, ToValidUtf8

namespace quorvex {

// The capacity, in 16-bit units, of every text buffer that windows and the
// language pack use: at most 259 units of text and the terminator.
inline constexpr std::size_t kTextCapacity = 260;

// Reads an id or a setting: a signed decimal 32-bit value when that reading is
// whole and not 0, otherwise a whole hexadecimal reading (BaseFunction::HexTo),
// otherwise 0. "30" -> 30, "0x1E" and "1E" -> 30, "010" -> 10, "abc" -> 2748,
// "-5" -> -5, "12 " and "xyz" -> 0.
int TextToInt(std::u16string_view text);

// Converts to UTF-8 into `buffer`, cut at a character boundary so that the
// result and its terminator fit; always terminates a non-empty buffer.
// Unpaired surrogates become U+FFFD. Returns false when the text was cut or a
// character had to be replaced (callers that need an exact conversion, such
// as a file path, check it).
bool WideToAnsi(std::u16string_view text, std::span<char> buffer);

// Converts UTF-8 to UTF-16 into `buffer`: at most buffer.size() - 1 units
// (259 for the usual 260), never splitting a surrogate pair, always
// terminated. Invalid byte sequences become U+FFFD.
void AnsiToWide(std::string_view text, std::span<char16_t> buffer);

// Equality that ignores the case of ASCII letters only, as the language
// choice compares display names ("ENGLISH" equals "English").
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace quorvex
