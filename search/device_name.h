#pragma once

// A device's name as both front-ends show and write it: the list, its
// tooltip, a copy and an export of the window, and the command line's table,
// CSV and JSON all take it from here, so that one camera has one name.
//
// The name runs from `name` on into `reserved` (DeviceName). A character cut
// in half by the end of the field is dropped rather than turned into U+FFFD,
// and the characters that would steer the text around it are removed:
// control characters (C0, C1, DEL), the bidirectional controls (a U+202E
// would show "gnp.exe" as "exe.png" and reorder the cells after it), other
// invisible format characters and line or paragraph separators.

#include <string>
#include <string_view>

#include "core/device_records.h"

namespace quorvex {

// `bytes` without a UTF-8 sequence that the end cuts short.
std::string_view WithoutCutCharacter(std::string_view bytes);

// True for a character that no shown device text keeps (see above). The
// zero-width joiners, which scripts need, are kept.
bool IsHiddenCharacter(char32_t c);

// The device's whole name, valid UTF-8, by the rule above.
std::string DeviceNameUtf8(const DeviceInfo& info);

}  // namespace quorvex
