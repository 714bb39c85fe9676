// TextToInt and the hexadecimal reader behind it over arbitrary texts. Neither
// may throw, and for plain decimal texts (an optional sign and digits that fit
// 32 bits, not zero) the result must be that number; any character outside
// ASCII gives 0.
//
// Input: byte 0 picks how the rest becomes 16-bit text (even: one unit per
// byte, odd: one unit per byte pair, little-endian).

#include <boost/lexical_cast.hpp>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "config/hex_to.h"
#include "config/text_convert.h"
#include "fuzz/fuzz_checks.h"

namespace {

using namespace quorvex;
using fuzz::Require;

// Sign and decimal digits, nothing else, within 32 bits.
std::optional<std::int64_t> PlainDecimal(std::u16string_view text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
        negative = text[at] == u'-';
        ++at;
    }
    if (at == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < u'0' || text[at] > u'9') return std::nullopt;
        value = value * 10 + (text[at] - u'0');
        if (value > std::int64_t{1} << 32) return std::nullopt;
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::u16string text;
    if (data[0] % 2 == 0) {
        for (std::size_t i = 1; i < size; ++i) text += static_cast<char16_t>(data[i]);
    } else {
        for (std::size_t i = 1; i + 1 < size; i += 2) {
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        }
    }

    int value = 0;
    try {
        value = TextToInt(text);
    } catch (...) {
        Require(false, "TextToInt never throws");
    }
    if (const auto decimal = PlainDecimal(text); decimal && *decimal != 0) {
        Require(value == *decimal, "a plain decimal text reads as its number");
    }
    for (const char16_t unit : text) {
        if (unit >= 0x80) Require(value == 0, "a text outside ASCII reads as 0");
    }

    // The hexadecimal reader alone: a value or bad_lexical_cast, nothing else.
    std::string narrow(text.begin(), text.end());
    for (char& c : narrow) c = static_cast<char>(c & 0x7F);
    try {
        const int hex = boost::lexical_cast<BaseFunction::HexTo<int>>(narrow);
        static_cast<void>(hex);
    } catch (const boost::bad_lexical_cast&) {
    } catch (...) {
        Require(false, "HexTo fails only with bad_lexical_cast");
    }
    return 0;
}
