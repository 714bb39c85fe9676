#include "search/device_name.h"

#include "core/utf8_text.h"

namespace quorvex {

std::string_view WithoutCutCharacter(std::string_view bytes) {
    // Walk back over at most three continuation bytes to the lead byte of the
    // last sequence and drop it when the sequence it announces is longer.
    std::size_t continuation = 0;
    std::size_t i = bytes.size();
    while (i > 0 && continuation < 4) {
        const auto byte = static_cast<unsigned char>(bytes[i - 1]);
        if ((byte & 0xC0u) != 0x80u) {
            std::size_t length = 1;
            if ((byte & 0xE0u) == 0xC0u) {
                length = 2;
            } else if ((byte & 0xF0u) == 0xE0u) {
                length = 3;
            } else if ((byte & 0xF8u) == 0xF0u) {
                length = 4;
            }
            if (length > 1 && continuation + 1 < length) return bytes.substr(0, i - 1);
            return bytes;
        }
        ++continuation;
        --i;
    }
    return bytes;
}

bool IsHiddenCharacter(char32_t c) {
    const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
    const bool direction = c == 0x061C || c == 0x200E || c == 0x200F ||
                           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    const bool format = c == 0x200B || c == 0x2028 || c == 0x2029 || c == 0xFEFF ||
                        (c >= 0x2060 && c <= 0x2064) || (c >= 0xFFF9 && c <= 0xFFFB);
    return control || direction || format;
}

std::string DeviceNameUtf8(const DeviceInfo& info) {
    std::string name;
    ForEachCodePoint(WithoutCutCharacter(DeviceName(info)), [&name](char32_t c) {
        if (!IsHiddenCharacter(c)) AppendUtf8(name, c);
    });
    return name;
}

}  // namespace quorvex
