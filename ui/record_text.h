#pragma once

// Record texts on their way to a window: the 8-bit field, bounded by its
// width, widened to at most 259 characters.
//
// Text a device supplied goes through `DeviceText`, by the rule of
// search/device_name.h: a character cut in half by the end of its field is
// dropped rather than shown as U+FFFD, and control and direction-formatting
// characters are removed.

#include <QString>
#include <array>
#include <string_view>

#include "config/text_convert.h"
#include "core/device_records.h"
#include "search/device_name.h"

namespace quorvex {

inline QString WindowText(std::string_view ansi) {
    std::array<char16_t, kTextCapacity> wide{};
    AnsiToWide(ansi, wide);
    return QString::fromUtf16(wide.data());
}

template <std::size_t N>
QString FieldText(const char (&field)[N]) {
    return WindowText(GetText(field));
}

// Removes control and direction-formatting characters.
QString StripControls(const QString& text);

// A device's text as any window shows it.
QString DeviceText(std::string_view bytes);

template <std::size_t N>
QString DeviceFieldText(const char (&field)[N]) {
    return DeviceText(GetText(field));
}

// A device's whole name as the window shows it: `DeviceNameUtf8`
// (search/device_name.h), which the command line writes too.
QString DeviceNameText(const DeviceInfo& info);

}  // namespace quorvex
