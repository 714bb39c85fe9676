#pragma once

// The typed values a list sorts by, never its display text: numbers first
// (an address as a 32-bit number then its port, a firmware version as its
// tuple of numbers), then text with ASCII letters folded or as received,
// then the MAC as a 48-bit number, so that the order is total and a list
// sorted twice looks the same.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

struct SortKey {
    std::vector<std::int64_t> numbers;
    std::string text;
    std::uint64_t mac = 0;
    auto operator<=>(const SortKey&) const = default;
};

// The numbers of a version text in order: "V5.3.41" -> (5, 3, 41); each is
// capped at 2^32 - 1.
std::vector<std::uint32_t> VersionNumbers(std::string_view text);
// `text` with ASCII letters lower-cased, so "cam" and "Cam" sort together.
std::string FoldedText(std::string_view text);
// The six bytes of a MAC address as one number, first byte most significant.
std::uint64_t MacNumber(const std::uint8_t (&mac)[6]);

}  // namespace quorvex
