#pragma once

// Walks the bytes of one rtnetlink datagram: its messages, and the attributes
// inside a message. Every read goes through ByteReader and is bounded by the
// received length and by each message's and attribute's own length, so a cut
// or lying length ends the walk instead of reading past the bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/byte_reader.h"

namespace quorvex {

struct NetlinkMessage {
    std::uint16_t type = 0;
    std::uint16_t flags = 0;
    std::span<const std::uint8_t> body;  // after the header, within the message's length
};

struct NetlinkAttribute {
    std::uint16_t type = 0;  // without the nested and byte-order flags
    std::span<const std::uint8_t> payload;
};

class NetlinkReader {
public:
    explicit NetlinkReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // The next message, or nullopt at the end. A header that is cut, or whose
    // length is below a header or passes the received bytes, ends the walk and
    // sets `malformed`.
    std::optional<NetlinkMessage> Next();
    bool malformed() const { return malformed_; }

    // The attributes that follow a fixed body of `body_size` bytes in
    // `body` (or the nested attributes of a payload, with `body_size` 0).
    // The same rules: a cut attribute ends the walk and sets `malformed`.
    class Attributes {
    public:
        Attributes(std::span<const std::uint8_t> body, std::size_t body_size);
        std::optional<NetlinkAttribute> Next();
        bool malformed() const { return malformed_; }

    private:
        std::span<const std::uint8_t> bytes_;
        std::size_t offset_ = 0;
        bool malformed_ = false;
    };

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool malformed_ = false;
};

// A fixed structure at the start of `bytes` (a message body), copied out;
// nullopt when fewer bytes than the structure were received.
template <typename T>
std::optional<T> ReadNetlinkStruct(std::span<const std::uint8_t> bytes) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (bytes.size() < sizeof(T)) return std::nullopt;
    std::uint8_t raw[sizeof(T)];
    ByteReader(bytes).CopyOut(0, raw);
    T value;
    std::memcpy(&value, raw, sizeof value);
    return value;
}

// A 32-bit attribute in host byte order (or as stored, for addresses);
// nullopt when the payload is shorter.
std::optional<std::uint32_t> NetlinkU32(std::span<const std::uint8_t> payload);

// A text attribute up to its terminator, bounded by the payload.
std::string_view NetlinkText(std::span<const std::uint8_t> payload);

}  // namespace quorvex
