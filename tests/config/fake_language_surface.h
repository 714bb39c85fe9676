#pragma once

// Stands in for the window toolkit behind the language pack: dialogs and
// controls are plain records, a popup is a list of items.

#include <string>
#include <vector>

#include "config/language_surface.h"

namespace quorvex::test {

struct FakeWindow {
    int id = 0;
    std::u16string text;
    std::vector<FakeWindow*> descendants;  // for a dialog
};

struct FakeMenuItem {
    int command = 0;
    std::u16string text;
};

class FakeLanguageSurface : public LanguageSurface {
public:
    void SetDialogTitle(Handle dialog, std::u16string_view text) override {
        static_cast<FakeWindow*>(dialog)->text = text;
    }
    std::vector<Control> Controls(Handle dialog) override {
        std::vector<Control> controls;
        for (FakeWindow* window : static_cast<FakeWindow*>(dialog)->descendants) {
            controls.push_back({window, window->id});
        }
        return controls;
    }
    void SetControlText(Handle control, std::u16string_view text) override {
        static_cast<FakeWindow*>(control)->text = text;
    }
    bool ReplaceMenuItem(Handle popup, int position, int command_id,
                         std::u16string_view text) override {
        auto& items = *static_cast<std::vector<FakeMenuItem>*>(popup);
        if (position < 0 || position >= static_cast<int>(items.size())) return false;
        items[static_cast<std::size_t>(position)] = {command_id, std::u16string(text)};
        return true;
    }
};

}  // namespace quorvex::test
