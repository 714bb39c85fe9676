#pragma once

// Record texts on their way to a window: the 8-bit field, bounded by its
// width, widened to at most 259 characters.
//
// Text a device supplied goes through `DeviceText`: a character cut in half
// by the end of its field is dropped rather than shown as U+FFFD, and
// control characters (C0, C1, DEL) and the formatting characters that steer
// the direction of text (bidi embeddings, overrides, isolates, marks) are
// removed, so that a name can neither reorder itself ("gnp.exe" shown as
// "exe.png") nor the cells around it.

#include <QString>
#include <array>
#include <string_view>

#include "config/text_convert.h"
#include "core/device_records.h"

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

// `bytes` without a UTF-8 sequence that the end cuts short.
std::string_view WithoutCutCharacter(std::string_view bytes);

// Removes control and direction-formatting characters.
QString StripControls(const QString& text);

// A device's text as any window shows it.
QString DeviceText(std::string_view bytes);

template <std::size_t N>
QString DeviceFieldText(const char (&field)[N]) {
    return DeviceText(GetText(field));
}

// A device's whole name as UTF-8: the text from `name` on into `reserved`
// (DeviceName), without a character the end cuts short. Every place that
// shows or writes a name takes it from here, so the list, its tooltip, a
// copy and an export agree.
std::string_view DeviceNameUtf8(const DeviceInfo& info);
// The same as the window shows it (DeviceText).
QString DeviceNameText(const DeviceInfo& info);

}  // namespace quorvex
