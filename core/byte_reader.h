#pragma once

// The one way parsers look at received bytes. Every read is bounded by the
// received length: a read that would pass the end yields nothing (or, for the
// fixed-layout readers, zeros), and text searches never run past the end.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quorvex {

class ByteReader {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }

    // True when `pattern` lies at `offset` in full.
    bool StartsWithAt(std::size_t offset, std::span<const std::uint8_t> pattern) const;

    // The byte at `offset`, or 0 past the end.
    std::uint8_t U8(std::size_t offset) const;

    // The little-endian 16-bit number at `offset`; bytes past the end count as 0.
    std::uint16_t U16Le(std::size_t offset) const;

    // Copies `out.size()` bytes from `offset`; bytes past the end come out 0.
    void CopyOut(std::size_t offset, std::span<std::uint8_t> out) const;

    // The text of the field at `offset` of `width` bytes: up to its first zero,
    // and never past the field or the received length.
    std::string_view FieldText(std::size_t offset, std::size_t width) const;

    // The received bytes read as zero-terminated text: up to the first zero,
    // or all of them when none is there.
    std::string_view TerminatedText() const;

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace quorvex
