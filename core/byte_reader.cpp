#include "core/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

namespace {

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The part of [offset, offset + width) that was received.
std::span<const std::uint8_t> Window(std::span<const std::uint8_t> bytes, std::size_t offset,
                                     std::size_t width) {
    if (offset >= bytes.size()) return {};
    return bytes.subspan(offset, std::min(width, bytes.size() - offset));
}

}  // namespace

bool ByteReader::StartsWithAt(std::size_t offset, std::span<const std::uint8_t> pattern) const {
    const auto window = Window(bytes_, offset, pattern.size());
    return window.size() == pattern.size() &&
           std::equal(window.begin(), window.end(), pattern.begin());
}

std::uint8_t ByteReader::U8(std::size_t offset) const {
    return offset < bytes_.size() ? bytes_[offset] : 0;
}

std::uint16_t ByteReader::U16Le(std::size_t offset) const {
    return static_cast<std::uint16_t>(U8(offset) | (U8(offset + 1) << 8));
}

void ByteReader::CopyOut(std::size_t offset, std::span<std::uint8_t> out) const {
    const auto window = Window(bytes_, offset, out.size());
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    if (!window.empty()) std::memcpy(out.data(), window.data(), window.size());
}

std::string_view ByteReader::FieldText(std::size_t offset, std::size_t width) const {
    const auto window = AsText(Window(bytes_, offset, width));
    return window.substr(0, window.find('\0'));
}

std::string_view ByteReader::TerminatedText() const {
    const auto text = AsText(bytes_);
    return text.substr(0, text.find('\0'));
}

}  // namespace quorvex
