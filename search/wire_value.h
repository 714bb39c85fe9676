#pragma once

// Whether a value can go on the wire as it stands. A value that cannot is
// refused before anything is printed or sent: cutting or mangling it would
// send something else than the user asked for.

#include <cstddef>
#include <string_view>

namespace quorvex {

enum class WireValueProblem {
    none,
    line_break,  // CR or LF: would end a header line of the text protocol early
    control,     // another control character
    too_long,    // longer than the record's field holds
    not_ascii,   // the text protocol's header carries no encoding for it
};

// Longest text that a field of the settings record holds (32 bytes with the
// terminating zero).
inline constexpr std::size_t kMaxWireText = 31;

// The problem of `value` as a user name, password or address text.
WireValueProblem CheckWireValue(std::string_view value, std::size_t longest = kMaxWireText);

}  // namespace quorvex
