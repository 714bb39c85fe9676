// The text protocol's answer parser over arbitrary bytes, for one fixed client
// id. Besides memory safety it checks what any answer must give: a device
// only when the status line and the client id are both in the text and a
// "MAC" header follows the client id, and every field terminated inside its
// width and taken from the text.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/morvain_search.h"
#include "fuzz/fuzz_checks.h"

namespace {

using namespace quorvex;
using fuzz::Require;

constexpr std::string_view kClient = "MorvainControl-Tesslar-1A2B";
constexpr std::uint32_t kInterface = 0x0101A8C0;  // 192.168.1.1

template <std::size_t N>
void RequireFromText(const char (&field)[N], std::string_view text, const char* what) {
    const std::string_view value = GetText(field);
    Require(value.size() < N, what);
    // A value is what stood between a header name and its line end.
    Require(value.empty() || text.find(value) != std::string_view::npos, what);
    Require(value.find("\r\n") == std::string_view::npos, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto entry = MorvainSearch::ParseAnswerBytes(bytes, kClient, kInterface);

    // The text ends at the first zero or at the received length.
    std::string_view text = fuzz::AsText(bytes);
    text = text.substr(0, text.find('\0'));
    const std::size_t client_at = text.find(kClient);
    const bool answer = text.find("HDS/1.0 200 OK\r\n") != std::string_view::npos &&
                        client_at != std::string_view::npos;
    Require(!entry || answer, "a device only for an answer to this client");
    if (!entry) return 0;
    Require(text.find("MAC", client_at) != std::string_view::npos,
            "a device only with a MAC after the client id");

    const DeviceInfo& info = entry->info;
    Require(entry->family == 3 && entry->protocol == kProtocolText, "text protocol family");
    Require(entry->interface_address == kInterface && entry->sender_address == 0, "bookkeeping");
    fuzz::RequireTextFieldsCanonical(info);
    fuzz::RequireCanonical(info.name, "name terminated inside its own field");
    Require(GetText(info.reserved).empty(), "a text name never runs into reserved");
    Require(GetText(info.user) == "admin" && GetText(info.password).empty(), "fixed credentials");
    RequireFromText(info.device_id, text, "device_id from the text");
    RequireFromText(info.name, text, "name from the text");
    RequireFromText(info.uid, text, "uid from the text");
    RequireFromText(info.ip, text, "ip from the text");
    RequireFromText(info.mask, text, "mask from the text");
    RequireFromText(info.gateway, text, "gateway from the text");
    RequireFromText(info.software_version, text, "software_version from the text");
    RequireFromText(info.web_version, text, "web_version from the text");
    RequireFromText(info.dns1, text, "dns1 from the text");
    RequireFromText(info.dns2, text, "dns2 from the text");

    // The same bytes parse the same way: nothing but them decides the result.
    const auto again = MorvainSearch::ParseAnswerBytes(bytes, kClient, kInterface);
    Require(again && SameContents(*again, *entry), "parsing is deterministic");
    return 0;
}
