#pragma once

// Reads numbers out of header values the way the devices' own firmware writes
// and the original tool read them ("%d", "%x" conversions), but over a bounded
// view: nothing is read past the end of the text.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvex {

class TextScanner {
public:
    explicit TextScanner(std::string_view text) : text_(text) {}

    // Optional blanks, an optional sign, then decimal digits. Returns false and
    // consumes nothing when no digit follows. The value wraps modulo 2^32 (a
    // negative number comes out as its two's complement), so callers that keep
    // 8 or 16 bits of it get the low bits of what was written.
    bool ReadDecimal(std::uint32_t& value);

    // As `ReadDecimal`, for hexadecimal digits after an optional "0x" / "0X".
    bool ReadHex(std::uint32_t& value);

    // Consumes `c` when it is the next character.
    bool Expect(char c);

    std::size_t position() const { return at_; }

private:
    bool ReadNumber(std::uint32_t& value, std::uint32_t base);

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace quorvex
