#include "core/text_scanner.h"

namespace quorvex {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c, std::uint32_t base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v >= 0 && static_cast<std::uint32_t>(v) < base ? v : -1;
}

}  // namespace

bool TextScanner::ReadNumber(std::uint32_t& value, std::uint32_t base) {
    std::size_t at = at_;
    while (at < text_.size() && IsBlank(text_[at])) ++at;
    bool negative = false;
    if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) {
        negative = text_[at] == '-';
        ++at;
    }
    // "0x" only counts as a prefix when a hexadecimal digit follows it;
    // otherwise the "0" is the number.
    if (base == 16 && at + 2 < text_.size() && text_[at] == '0' &&
        (text_[at + 1] == 'x' || text_[at + 1] == 'X') && DigitValue(text_[at + 2], 16) >= 0) {
        at += 2;
    }
    std::uint32_t result = 0;
    std::size_t digits = 0;
    while (at < text_.size()) {
        const int d = DigitValue(text_[at], base);
        if (d < 0) break;
        result = result * base + static_cast<std::uint32_t>(d);
        ++at;
        ++digits;
    }
    if (digits == 0) return false;
    value = negative ? 0u - result : result;
    at_ = at;
    return true;
}

bool TextScanner::ReadDecimal(std::uint32_t& value) {
    return ReadNumber(value, 10);
}

bool TextScanner::ReadHex(std::uint32_t& value) {
    return ReadNumber(value, 16);
}

bool TextScanner::Expect(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
        ++at_;
        return true;
    }
    return false;
}

}  // namespace quorvex
