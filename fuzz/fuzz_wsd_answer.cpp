// The WS-Discovery parser and the device mapping over arbitrary bytes.
// Besides memory safety it checks the caps (matches, list items, value
// lengths), that every record field stays terminated and zero-padded, that the
// shown address is the sender's or one on the subnet, that only web service
// addresses are kept, and that parsing is deterministic.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/ws_discovery_codec.h"
#include "fuzz/fuzz_checks.h"

namespace {

using namespace quorvex;
using fuzz::Require;
using Codec = WsDiscoveryCodec;

constexpr std::uint32_t kInterface = 0x0101A8C0;  // 192.168.1.1
constexpr std::uint32_t kMask = 0x00FFFFFF;       // 255.255.255.0
constexpr std::uint32_t kSource = 0x4001A8C0;     // 192.168.1.64

void RequireDevice(const WsdDevice& d) {
    const DeviceEntry& e = d.entry;
    fuzz::RequireTextFieldsCanonical(e.info);
    fuzz::RequireCanonical(e.info.name, "name terminated and zero-padded");
    Require(GetText(e.info.reserved).empty(), "a WS-Discovery name never runs into reserved");
    fuzz::RequireCanonical(d.wsd.endpoint, "endpoint terminated and zero-padded");
    fuzz::RequireCanonical(d.wsd.xaddrs, "xaddrs terminated and zero-padded");
    fuzz::RequireCanonical(d.wsd.types, "types terminated and zero-padded");
    fuzz::RequireCanonical(d.wsd.scopes, "scopes terminated and zero-padded");
    fuzz::RequireCanonical(d.wsd.hardware, "hardware terminated and zero-padded");
    fuzz::RequireCanonical(d.wsd.location, "location terminated and zero-padded");
    Require(e.protocol == kProtocolWsDiscovery && e.family == kFamilyWsDiscovery, "protocol");
    Require(e.interface_address == kInterface && e.sender_address == kSource, "bookkeeping");
    Require(e.info.http_port != 0, "a shown address always has a port");
    for (std::string_view rest = GetText(d.wsd.xaddrs); !rest.empty();) {
        Require(rest.starts_with("http://") || rest.starts_with("https://"),
                "only web service addresses are kept");
        const std::size_t blank = rest.find(' ');
        rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank + 1);
    }
    std::uint32_t shown = 0;
    Require(ParseAddress(GetText(e.info.ip), shown), "the shown address is IPv4");
    Require(shown == kSource || (shown & kMask) == (kInterface & kMask),
            "shown: the sender or an address on the subnet");
    const std::uint64_t key = TableKey(d);
    std::uint64_t back = 0;
    Require(ParseTableKey(TableKeyText(key), back) && back == key, "key text reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const Codec::ParseResult result = Codec::Parse(bytes);
    Require(result.message.has_value() == (result.refusal == Codec::Refusal::kNone),
            "a message exactly when nothing refused it");
    if (!result.message) return 0;
    Require(size <= Codec::kMaxMessageBytes, "nothing over the cap is read");

    const Codec::Message& m = *result.message;
    Require(m.matches.size() <= Codec::kMaxMatches, "matches capped");
    for (const std::string* value : {&m.action, &m.message_id, &m.relates_to, &m.fault_reason})
        Require(value->size() <= Codec::kMaxValueBytes, "values capped");
    for (const Codec::Match& match : m.matches) {
        Require(match.xaddrs.size() <= Codec::kMaxListItems, "xaddrs capped");
        Require(match.scopes.size() <= Codec::kMaxListItems, "scopes capped");
        Require(match.types.size() <= Codec::kMaxListItems, "types capped");
        const WsdDevice d = Codec::MakeDevice(match, kInterface, kMask, kSource);
        RequireDevice(d);
        Require(SameContents(d, Codec::MakeDevice(match, kInterface, kMask, kSource)),
                "mapping is deterministic");
    }

    const Codec::ParseResult again = Codec::Parse(bytes);
    Require(again.message && again.message->matches.size() == m.matches.size() &&
                again.message->relates_to == m.relates_to && again.message->kind == m.kind,
            "parsing is deterministic");
    return 0;
}
