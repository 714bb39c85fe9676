#include "search/wire_value.h"

#include "core/device_records.h"

namespace quorvex {

namespace {

WireValueProblem Check(std::string_view value, std::size_t longest, bool ascii_only) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') return WireValueProblem::line_break;
        if (byte < 0x20 || byte == 0x7F) return WireValueProblem::control;
        if (byte >= 0x80 && ascii_only) return WireValueProblem::not_ascii;
    }
    if (value.size() > longest) return WireValueProblem::too_long;
    return WireValueProblem::none;
}

}  // namespace

WireValueProblem CheckWireValue(std::string_view value, std::size_t longest) {
    return Check(value, longest, true);
}

WireValueProblem CheckCredential(std::string_view value, std::int32_t protocol) {
    return Check(value, kMaxWireText, protocol == kProtocolText);
}

}  // namespace quorvex
