#include "ui/sort_key.h"

#include <algorithm>

namespace quorvex {

std::uint64_t MacNumber(const std::uint8_t (&mac)[6]) {
    std::uint64_t value = 0;
    for (const std::uint8_t byte : mac) value = (value << 8) | byte;
    return value;
}

std::vector<std::uint32_t> VersionNumbers(std::string_view text) {
    std::vector<std::uint32_t> numbers;
    std::uint64_t value = 0;
    bool in_number = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            value =
                std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(c - '0'), 0xFFFFFFFFu);
            in_number = true;
        } else if (in_number) {
            numbers.push_back(static_cast<std::uint32_t>(value));
            value = 0;
            in_number = false;
        }
    }
    if (in_number) numbers.push_back(static_cast<std::uint32_t>(value));
    return numbers;
}

std::string FoldedText(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return folded;
}

}  // namespace quorvex
