#pragma once

// The one table of protocol names: the key a person types and scripts read
// (`--protocol text,binary,wsd`, the report's "protocol" field) and the name
// a sentence uses ("WS-Discovery protocol on eth0 ..."). Every place outside
// the window that turns a protocol id into words, or words into an id, reads
// them here.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/device_records.h"

namespace quorvex {

struct ProtocolNaming {
    std::int32_t id;          // kProtocol*
    std::string_view key;     // "binary", "text", "wsd"
    std::string_view spoken;  // "binary", "text", "WS-Discovery"
};

// In the order the command line lists them.
inline constexpr std::array<ProtocolNaming, 3> kProtocolNames = {{
    {kProtocolText, "text", "text"},
    {kProtocolBinary, "binary", "binary"},
    {kProtocolWsDiscovery, "wsd", "WS-Discovery"},
}};

// The key of `id`; empty for an unknown id.
std::string_view ProtocolKey(std::int32_t id);

// The name of `id` in a sentence; "other" for an unknown id.
std::string_view ProtocolSpokenName(std::int32_t id);

// The id whose key is `key` (exactly, as typed); nothing for any other text.
std::optional<std::int32_t> ProtocolFromKey(std::string_view key);

}  // namespace quorvex
