#pragma once

// Record texts on their way to a window: the 8-bit field, bounded by its
// width, widened to at most 259 characters.

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

}  // namespace quorvex
