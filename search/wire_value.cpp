#include "search/wire_value.h"

namespace quorvex {

WireValueProblem CheckWireValue(std::string_view value, std::size_t longest) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') return WireValueProblem::line_break;
        if (byte < 0x20 || byte == 0x7F) return WireValueProblem::control;
        if (byte >= 0x80) return WireValueProblem::not_ascii;
    }
    if (value.size() > longest) return WireValueProblem::too_long;
    return WireValueProblem::none;
}

}  // namespace quorvex
