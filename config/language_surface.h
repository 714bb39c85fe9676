#pragma once

// The window operations through which the language pack applies its texts.
// The window layer implements it over its toolkit; the pack never sees a
// widget. Handles are opaque: whatever the implementation hands out from
// Controls() and receives back.

#include <string_view>
#include <vector>

namespace quorvex {

class LanguageSurface {
public:
    using Handle = void*;

    struct Control {
        Handle window;
        int id;  // the control id; windows without one count as 0
    };

    virtual ~LanguageSurface() = default;

    virtual void SetDialogTitle(Handle dialog, std::u16string_view text) = 0;

    // Every descendant window of `dialog` (children, their children, the
    // inner windows of composite controls), in creation order.
    virtual std::vector<Control> Controls(Handle dialog) = 0;

    virtual void SetControlText(Handle control, std::u16string_view text) = 0;

    // Replaces the item at `position` (from 0) of `popup` by a text item that
    // sends `command_id`. False and nothing changed when `position` lies
    // beyond the popup.
    virtual bool ReplaceMenuItem(Handle popup, int position, int command_id,
                                 std::u16string_view text) = 0;
};

}  // namespace quorvex
