#include "config/language_x.h"

#include <algorithm>
#include <array>

#include "config/app_path.h"
#include "config/text_convert.h"

namespace quorvex {
namespace {

constexpr std::size_t kStringBufferSize = 1024;

using TextBuffer = std::array<char16_t, kTextCapacity>;

std::u16string_view View(const char16_t* text) {
    return std::u16string_view(text);
}

}  // namespace

void LanguageX::LoadCurrentLanguage() {
    XmlExtern config;
    char16_t config_path[kTextCapacity] = {};
    if (MakeAppPath(u"config.xml", u"", config_path)) config.Load(View(config_path));

    TextBuffer current{};
    config.GetText(config.Root(), "config.language", current);

    TextBuffer file{};
    bool matched = false;
    TextBuffer entry_text{};
    const int count = config.CountChildren(config.Root(), "config.languagelist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* entry = nullptr;
        if (!config.GetChild("language", config.Root(), "config.languagelist", i, entry)) break;
        // Each entry's text is read on its own: an entry without one (or with
        // one too long to read) must not inherit the previous entry's name.
        entry_text.fill(u'\0');
        config.GetText(*entry, "text", entry_text);
        if (EqualsIgnoringAsciiCase(View(entry_text.data()), View(current.data()))) {
            config.GetText(*entry, "file", file);
            matched = true;
            break;
        }
    }
    if (!matched) {
        const std::u16string_view fallback = u"english.xml";
        std::copy(fallback.begin(), fallback.end(), file.begin());
    }

    char16_t pack_path[kTextCapacity] = {};
    if (MakeAppPath(View(file.data()), u"Language", pack_path) && pack_.Load(View(pack_path))) {
        // The selected dialog pointed into the document just replaced.
        current_dialog_ = nullptr;
    }
    LoadStrings();
}

void LanguageX::ApplyDialog(ControlCallback callback, void* context, Handle dialog, int dialog_id) {
    callback_ = callback;
    context_ = context;
    extra_ = 0;

    const int count = pack_.CountChildren(pack_.Root(), "config.dialoglist");
    if (count <= 0) return;
    // Without a match no dialog stays selected, so a later ApplyControl
    // cannot take its texts from some other dialog's entry.
    current_dialog_ = nullptr;
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* entry = nullptr;
        if (!pack_.GetChild("dialog", pack_.Root(), "config.dialoglist", i, entry)) break;
        if (pack_.GetInt("<xmlattr>.id", *entry, 0) == dialog_id) {
            current_dialog_ = entry;
            break;
        }
    }
    if (current_dialog_ == nullptr || surface_ == nullptr) return;

    TextBuffer caption{};
    pack_.GetText(*current_dialog_, "<xmlattr>.caption", caption);
    surface_->SetDialogTitle(dialog, View(caption.data()));
    for (const auto& control : surface_->Controls(dialog)) ApplyControl(control.window, control.id);
}

void LanguageX::ApplyControl(Handle window, int control_id) {
    if (current_dialog_ == nullptr) return;
    const Xml::Node& dialog = *current_dialog_;
    const int count = pack_.CountChildren(dialog, "controllist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* control = nullptr;
        if (!pack_.GetChild("control", dialog, "controllist", i, control)) break;
        if (pack_.GetInt("<xmlattr>.id", *control, 0) != control_id) continue;

        TextBuffer text{};
        pack_.GetNodeText(*control, text);
        if (surface_ != nullptr) surface_->SetControlText(window, View(text.data()));
        if (pack_.GetInt("<xmlattr>.callback", *control, 0) != 0 && callback_ != nullptr) {
            callback_(pack_, *control, control_id, context_, extra_);
        }
        return;
    }
}

void LanguageX::ApplyMenu(Handle popup) {
    const int menus = pack_.CountChildren(pack_.Root(), "config.menulist");
    const Xml::Node* menu = nullptr;
    for (int i = 1; i <= menus; ++i) {
        const Xml::Node* entry = nullptr;
        if (!pack_.GetChild("menu", pack_.Root(), "config.menulist", i, entry)) break;
        if (pack_.GetInt("<xmlattr>.id", *entry, 0) == kContextMenuId) {
            menu = entry;
            break;
        }
    }
    if (menu == nullptr) return;

    const int items = pack_.CountChildren(*menu, "itemlist");
    for (int i = 1; i <= items; ++i) {
        const Xml::Node* item = nullptr;
        if (!pack_.GetChild("item", *menu, "itemlist", i, item)) break;
        const int index = pack_.GetInt("<xmlattr>.index", *item, 0);
        const int command = pack_.GetInt("<xmlattr>.id", *item, 0);
        // A text too long to read empties the item rather than repeating the
        // previous item's text.
        TextBuffer text{};
        pack_.GetNodeText(*item, text);
        if (surface_ != nullptr)
            surface_->ReplaceMenuItem(popup, index, command, View(text.data()));
    }
}

void LanguageX::LoadStrings() {
    strings_.clear();
    const int count = pack_.CountChildren(pack_.Root(), "config.stringlist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* entry = nullptr;
        if (!pack_.GetChild("string", pack_.Root(), "config.stringlist", i, entry)) break;
        const int id = pack_.GetInt("<xmlattr>.id", *entry, 0);
        // Read per element, so a string too long to read comes out empty
        // instead of carrying the text of the one before it.
        std::array<char16_t, kStringBufferSize> text{};
        pack_.GetNodeText(*entry, text);
        strings_.try_emplace(id, text.data());
    }
}

void LanguageX::GetString(int id, std::span<char16_t> buffer) const {
    if (buffer.empty()) return;
    const auto found = strings_.find(id);
    const std::u16string_view text =
        found == strings_.end() ? std::u16string_view() : std::u16string_view(found->second);
    const std::size_t length = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.begin(), length, buffer.begin());
    buffer[length] = u'\0';
}

}  // namespace quorvex
