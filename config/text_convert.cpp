#include "config/text_convert.h"

#include <boost/lexical_cast.hpp>
#include <charconv>
#include <cstdint>
#include <optional>

#include "config/hex_to.h"

namespace quorvex {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 character at `pos`, advancing past it. Invalid sequences
// yield U+FFFD and advance by one byte, or by the maximal valid prefix, so a
// run of garbage becomes one replacement per bad byte or cut sequence.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        min = 0x10000;
    } else {
        ++pos;
        return kReplacement;
    }
    std::size_t i = 1;
    for (; i < length; ++i) {
        if (pos + i >= text.size() || (byte(pos + i) & 0xC0) != 0x80) break;
        value = (value << 6) | (byte(pos + i) & 0x3F);
        // Reject overlong forms, surrogates and values past U+10FFFF as soon
        // as the second byte shows them.
        if (i == 1) {
            const unsigned char second = byte(pos + 1);
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
                (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
                break;
            }
        }
    }
    if (i < length) {
        pos += i;
        return kReplacement;
    }
    pos += length;
    return value >= min ? value : kReplacement;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-16 character; an unpaired surrogate yields U+FFFD.
char32_t DecodeUtf16(std::u16string_view text, std::size_t& pos, bool& replaced) {
    const char16_t unit = text[pos++];
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    if (unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF) {
        const char16_t low = text[pos++];
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
    }
    replaced = true;
    return kReplacement;
}

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
    bool cut = false;
    std::size_t written = 0;
    std::size_t pos = 0;
    std::string encoded;
    while (pos < text.size()) {
        encoded.clear();
        AppendUtf8(encoded, DecodeUtf16(text, pos, replaced));
        if (written + encoded.size() > buffer.size() - 1) {
            cut = true;
            break;
        }
        for (const char c : encoded) buffer[written++] = c;
    }
    buffer[written] = '\0';
    return !replaced && !cut;
}

void AnsiToWide(std::string_view text, std::span<char16_t> buffer) {
    if (buffer.empty()) return;
    const std::size_t limit = buffer.size() - 1;
    std::size_t written = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = DecodeUtf8(text, pos);
        const std::size_t units = c >= 0x10000 ? 2 : 1;
        if (written + units > limit) break;
        if (units == 2) {
            buffer[written++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            buffer[written++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            buffer[written++] = static_cast<char16_t>(c);
        }
    }
    buffer[written] = u'\0';
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char32_t c = DecodeUtf8(text, pos);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    bool replaced = false;
    std::size_t pos = 0;
    while (pos < text.size()) AppendUtf8(out, DecodeUtf16(text, pos, replaced));
    return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) AppendUtf8(out, DecodeUtf8(bytes, pos));
    return out;
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
