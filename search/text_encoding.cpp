#include "search/text_encoding.h"

#include <locale.h>

#include <algorithm>
#include <cwchar>
#include <nlohmann/json.hpp>

namespace quorvex {

namespace {

// C0 and C1 controls, DEL, and the bidirectional formatting characters: a
// right-to-left override (U+202E) in a device name would show the text after
// it, the next cell or the rest of the line reversed, so a name could pass
// itself off as another address or MAC.
bool IsControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E ||
           cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// wcwidth follows the calling thread's LC_CTYPE, which a program that never
// calls setlocale leaves at "C" (every non-ASCII character unknown). A
// thread-local switch to C.UTF-8 keeps the program's own locale untouched.
class Utf8Ctype {
public:
    Utf8Ctype() : locale_(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
        if (locale_) previous_ = uselocale(locale_);
    }
    ~Utf8Ctype() {
        if (!locale_) return;
        uselocale(previous_);
        freelocale(locale_);
    }
    Utf8Ctype(const Utf8Ctype&) = delete;
    Utf8Ctype& operator=(const Utf8Ctype&) = delete;

private:
    locale_t locale_;
    locale_t previous_ = static_cast<locale_t>(0);
};

}  // namespace

std::string JsonString(std::string_view bytes) {
    std::string text = nlohmann::json(ToValidUtf8(bytes)).dump();
    // U+2028 and U+2029 are legal in JSON but end a line in JavaScript;
    // escaping them keeps the output safe to embed.
    for (const auto& [raw, escaped] :
         {std::pair{"\xE2\x80\xA8", "\\u2028"}, std::pair{"\xE2\x80\xA9", "\\u2029"}}) {
        for (std::size_t at = text.find(raw); at != std::string::npos; at = text.find(raw, at))
            text.replace(at, 3, escaped);
    }
    return text;
}

std::string CsvField(std::string_view bytes) {
    std::string text;
    ForEachCodePoint(bytes, [&](char32_t cp) {
        const bool kept = cp == '\t' || cp == '\r' || cp == '\n';
        AppendUtf8(text, IsControl(cp) && !kept ? kReplacementCharacter : cp);
    });
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        text.insert(0, 1, '\'');
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
    ForEachCodePoint(
        bytes, [&](char32_t cp) { AppendUtf8(out, IsControl(cp) ? kReplacementCharacter : cp); });
    return out;
}

std::size_t DisplayWidth(std::string_view utf8) {
    const Utf8Ctype ctype;
    std::size_t width = 0;
    ForEachCodePoint(utf8, [&](char32_t cp) {
        const int w = wcwidth(static_cast<wchar_t>(cp));
        width += w < 0 ? 1 : static_cast<std::size_t>(w);
    });
    return width;
}

std::string AlignColumns(const std::vector<std::vector<std::string>>& lines) {
    std::vector<std::vector<std::size_t>> cell_widths;
    std::vector<std::size_t> widths;
    for (const auto& line : lines) {
        cell_widths.emplace_back();
        if (widths.size() < line.size()) widths.resize(line.size(), 0);
        for (std::size_t c = 0; c < line.size(); ++c) {
            cell_widths.back().push_back(DisplayWidth(line[c]));
            widths[c] = std::max(widths[c], cell_widths.back().back());
        }
    }
    std::string out;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const auto& line = lines[l];
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            text += line[c];
            if (c + 1 < line.size()) text.append(widths[c] - cell_widths[l][c] + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text;
        out += '\n';
    }
    return out;
}

}  // namespace quorvex
