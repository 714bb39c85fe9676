#include "config/text_convert.h"

#include <algorithm>
#include <boost/lexical_cast.hpp>
#include <charconv>
#include <cstdint>
#include <optional>

#include "config/hex_to.h"

namespace quorvex {
namespace {

std::optional<int> ReadDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

int TextToInt(std::u16string_view text) {
    // Numbers are ASCII; any other character already makes both readings fail.
    std::string narrow;
    narrow.reserve(text.size());
    for (const char16_t c : text) {
        if (c >= 0x80) return 0;
        narrow += static_cast<char>(c);
    }
    if (const auto decimal = ReadDecimal(narrow); decimal && *decimal != 0) return *decimal;
    try {
        return boost::lexical_cast<BaseFunction::HexTo<int>>(narrow);
    } catch (const boost::bad_lexical_cast&) {
        return 0;
    }
}

bool WideToAnsi(std::u16string_view text, std::span<char> buffer) {
    if (buffer.empty()) return text.empty();
    bool replaced = false;
    const std::string utf8 = Utf16ToUtf8(text, &replaced);
    // Cut before the lead byte of the first character that does not fit.
    std::size_t length = std::min(utf8.size(), buffer.size() - 1);
    while (length < utf8.size() && length > 0 && (utf8[length] & 0xC0) == 0x80) --length;
    std::copy_n(utf8.begin(), length, buffer.begin());
    buffer[length] = '\0';
    return !replaced && length == utf8.size();
}

void AnsiToWide(std::string_view text, std::span<char16_t> buffer) {
    if (buffer.empty()) return;
    const std::u16string wide = Utf8ToUtf16(text);
    // Never split a surrogate pair.
    std::size_t length = std::min(wide.size(), buffer.size() - 1);
    if (length < wide.size() && length > 0 && wide[length] >= 0xDC00 && wide[length] <= 0xDFFF)
        --length;
    std::copy_n(wide.begin(), length, buffer.begin());
    buffer[length] = u'\0';
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char16_t c) -> char16_t {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace quorvex
