#include "ui/record_text.h"

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

QString StripControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7F && u <= 0x9F);
        const bool direction = u == 0x061C || u == 0x200E || u == 0x200F ||
                               (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        // Other invisible format characters (zero-width joiners excepted,
        // which scripts need) and line or paragraph separators.
        const bool format = u == 0x200B || u == 0x2028 || u == 0x2029 || u == 0xFEFF ||
                            (u >= 0x2060 && u <= 0x2064) || (u >= 0xFFF9 && u <= 0xFFFB);
        if (!control && !direction && !format) out.append(c);
    }
    return out;
}

QString DeviceText(std::string_view bytes) {
    return StripControls(WindowText(WithoutCutCharacter(bytes)));
}

std::string_view DeviceNameUtf8(const DeviceInfo& info) {
    return WithoutCutCharacter(DeviceName(info));
}

QString DeviceNameText(const DeviceInfo& info) {
    return DeviceText(DeviceNameUtf8(info));
}

}  // namespace quorvex
