#pragma once

// The language pack's window operations over Qt widgets. Handles are the
// QWidget pointers of dialogs and controls and the QMenu pointers of popups.
// A control's id is its "controlId" property; a widget without one (the inner
// widgets of a composite control) counts as 0.

#include "config/language_surface.h"

namespace quorvex {

class QtLanguageSurface : public LanguageSurface {
public:
    void SetDialogTitle(Handle dialog, std::u16string_view text) override;
    // Every descendant widget in Qt's own order (depth first, creation order).
    std::vector<Control> Controls(Handle dialog) override;
    // Labels, buttons, check boxes and edits show the text, a group box takes
    // it as its title; any other widget keeps it as its window title, where
    // it is never seen, as a list or a combo box ignores its window text.
    void SetControlText(Handle control, std::u16string_view text) override;
    bool ReplaceMenuItem(Handle popup, int position, int command_id,
                         std::u16string_view text) override;
};

}  // namespace quorvex
