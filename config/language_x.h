#pragma once

// The language pack: the current language file and its string table. Every
// visible text can be replaced by dialog, control, menu and string id.
// Exactly one exists, owned by the application; all of it runs on the window
// thread and nothing is locked.
//
// Pack file layout (ids in decimal or "0x" hexadecimal, absent ids read 0):
//   config.dialoglist.dialog[@id,@caption].controllist.control[@id,@callback]
//       (text; optional columnlist.column[@width] for a callback to read)
//   config.menulist.menu[@id].itemlist.item[@index,@id]  (text)
//   config.stringlist.string[@id]                        (text)

#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "config/language_surface.h"
#include "config/xml_extern.h"

namespace quorvex {

// Run by ApplyControl for a matched `control` element with a non-zero
// "callback" attribute: (pack, that element, control id, context, extra).
using ControlCallback = void (*)(const XmlExtern& pack, const Xml::Node& control, int control_id,
                                 void* context, std::int32_t extra);

inline constexpr int kContextMenuId = 129;

class LanguageX {
public:
    using Handle = LanguageSurface::Handle;

    LanguageX() = default;
    virtual ~LanguageX() = default;
    LanguageX(const LanguageX&) = delete;
    LanguageX& operator=(const LanguageX&) = delete;

    // The window operations the Apply calls go through. Without one they
    // change nothing. It must outlive its use.
    void SetSurface(LanguageSurface* surface) { surface_ = surface; }

    // Reads "config.language" and "config.languagelist" from "config.xml" in
    // the start-up directory, takes the file of the first entry whose text
    // equals the language ignoring ASCII case ("english.xml" only when no
    // entry matches, also without a readable config.xml), loads
    // "Language/<file>" into the pack and rebuilds the string table. A file
    // that fails to load keeps the previous pack in force.
    void LoadCurrentLanguage();

    // Stores the callback and context (extra value 0), finds the first
    // `dialog` whose id equals `dialog_id`, sets the dialog's title to its
    // caption (empty when absent or too long) and applies every descendant
    // control. Without a matching dialog nothing changes.
    void ApplyDialog(ControlCallback callback, void* context, Handle dialog, int dialog_id);

    // Sets the window's text from the first `control` with that id in the
    // dialog last selected by ApplyDialog, even when that text is empty, and
    // runs the stored callback when the element asks for it. Nothing happens
    // without a selected dialog or a matching control.
    void ApplyControl(Handle window, int control_id);

    // Replaces the popup's items by position from menu 129's `item` elements.
    void ApplyMenu(Handle popup);

    // Rebuilds the string table from the pack; the first element with an id
    // wins.
    void LoadStrings();

    // Copies the text of string `id` with its terminator into `buffer` (cut to
    // fit), or empty text when the table has no such id.
    void GetString(int id, std::span<char16_t> buffer) const;

    const XmlExtern& Pack() const { return pack_; }

private:
    XmlExtern pack_;
    const Xml::Node* current_dialog_ = nullptr;
    std::map<std::int32_t, std::u16string> strings_;
    ControlCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::int32_t extra_ = 0;
    LanguageSurface* surface_ = nullptr;
};

}  // namespace quorvex
