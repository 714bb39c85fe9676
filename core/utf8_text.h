#pragma once

// The system's one UTF-8 helper, over utfcpp. Device texts, files and
// arguments are bytes of unknown quality; everything that shows, stores or
// converts them goes through here, so every layer replaces bad input the same
// way: each ill-formed sequence (a bad lead byte, a cut sequence, an overlong
// form, a surrogate, a value past U+10FFFF) becomes one U+FFFD, and valid text
// comes back unchanged. Nothing here throws.

#include <utf8cpp/utf8.h>

#include <iterator>
#include <string>
#include <string_view>

namespace quorvex {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

inline std::string ToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    utf8::replace_invalid(bytes.begin(), bytes.end(), std::back_inserter(out),
                          static_cast<utf8::uint32_t>(kReplacementCharacter));
    return out;
}

// Calls `emit(char32_t)` for every character of `bytes` made valid first.
template <typename Emit>
void ForEachCodePoint(std::string_view bytes, Emit emit) {
    const std::string valid = ToValidUtf8(bytes);
    for (auto it = valid.begin(); it != valid.end();)
        emit(static_cast<char32_t>(utf8::unchecked::next(it)));
}

inline void AppendUtf8(std::string& out, char32_t code_point) {
    utf8::unchecked::append(static_cast<utf8::uint32_t>(code_point), std::back_inserter(out));
}

inline std::u16string Utf8ToUtf16(std::string_view bytes) {
    const std::string valid = ToValidUtf8(bytes);
    std::u16string out;
    out.reserve(valid.size());
    utf8::unchecked::utf8to16(valid.begin(), valid.end(), std::back_inserter(out));
    return out;
}

// An unpaired surrogate becomes U+FFFD. `*replaced`, when given, tells whether
// that happened.
inline std::string Utf16ToUtf8(std::u16string_view text, bool* replaced = nullptr) {
    std::string out;
    out.reserve(text.size());
    if (replaced) *replaced = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            } else {
                c = kReplacementCharacter;
                if (replaced) *replaced = true;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

}  // namespace quorvex
