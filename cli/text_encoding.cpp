#include "cli/text_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace quorvex {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct Decoded {
    char32_t code_point;  // kReplacement when the sequence is ill-formed
    std::size_t length;   // bytes consumed, at least 1
};

// Decodes the sequence at `at`. An ill-formed sequence consumes its longest
// well-formed prefix (at least one byte), so each such prefix becomes one
// replacement character and the next byte is looked at afresh.
Decoded DecodeOne(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return {lead, 1};

    std::size_t need = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80;  // range of the first continuation byte
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return {kReplacement, 1};
    }

    std::size_t length = 1;
    for (std::size_t i = 0; i < need; ++i) {
        if (at + length >= bytes.size()) return {kReplacement, length};
        const std::uint8_t next = byte(at + length);
        const std::uint8_t lo = i == 0 ? low : 0x80;
        const std::uint8_t hi = i == 0 ? high : 0xBF;
        if (next < lo || next > hi) return {kReplacement, length};
        value = (value << 6) | (next & 0x3F);
        ++length;
    }
    return {value, length};
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

template <typename Emit>
void ForEachCodePoint(std::string_view bytes, Emit emit) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const Decoded d = DecodeOne(bytes, at);
        emit(d.code_point);
        at += d.length;
    }
}

bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0x303E) ||
           (cp >= 0x3041 && cp <= 0x33FF) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xA000 && cp <= 0xA4CF) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
           (cp >= 0x1F900 && cp <= 0x1F9FF) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    ForEachCodePoint(bytes, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    ForEachCodePoint(bytes, [&](char32_t cp) {
        switch (cp) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                // U+2028 and U+2029 are legal in JSON but end a line in
                // JavaScript; escaping them keeps the output safe to embed.
                if (cp < 0x20 || cp == 0x7F || cp == 0x2028 || cp == 0x2029) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(cp));
                    out += escape;
                } else {
                    AppendUtf8(out, cp);
                }
        }
    });
    out += '"';
    return out;
}

std::string CsvField(std::string_view bytes) {
    const std::string text = ToValidUtf8(bytes);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string TerminalText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    ForEachCodePoint(bytes, [&](char32_t cp) {
        const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        AppendUtf8(out, control ? kReplacement : cp);
    });
    return out;
}

std::size_t DisplayWidth(std::string_view utf8) {
    std::size_t width = 0;
    ForEachCodePoint(utf8, [&](char32_t cp) { width += IsWide(cp) ? 2 : 1; });
    return width;
}

std::string AlignColumns(const std::vector<std::vector<std::string>>& lines) {
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        if (widths.size() < line.size()) widths.resize(line.size(), 0);
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    }
    std::string out;
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text;
        out += '\n';
    }
    return out;
}

}  // namespace quorvex
