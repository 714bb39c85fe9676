#pragma once

// Stands in for the window toolkit behind the language pack: dialogs and
// controls are plain records, a popup is a list of items.

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "config/language_surface.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"

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
        for (FakeWindow* w : static_cast<FakeWindow*>(dialog)->descendants)
            controls.push_back({w, w->id});
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

// Reads the column list as the main window's callback does: (title, width).
using Columns = std::vector<std::pair<std::u16string, int>>;
inline void ReadColumns(const XmlExtern& pack, const Xml::Node& control, int, void* context,
                        std::int32_t) {
    auto& columns = *static_cast<Columns*>(context);
    columns.clear();
    for (int i = 1; i <= pack.CountChildren(control, "columnlist"); ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        std::array<char16_t, kTextCapacity> title{};
        pack.GetNodeText(*column, title);
        columns.emplace_back(title.data(), pack.GetInt("<xmlattr>.width", *column, 0));
    }
}

}  // namespace quorvex::test
