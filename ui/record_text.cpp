#include "ui/record_text.h"

namespace quorvex {

QString StripControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    // Every character of a device's text is in the Basic Multilingual Plane
    // or a surrogate, neither of which the rule removes.
    for (const QChar c : text)
        if (!IsHiddenCharacter(c.unicode())) out.append(c);
    return out;
}

QString DeviceText(std::string_view bytes) {
    return StripControls(WindowText(WithoutCutCharacter(bytes)));
}

QString DeviceNameText(const DeviceInfo& info) {
    return WindowText(DeviceNameUtf8(info));
}

}  // namespace quorvex
