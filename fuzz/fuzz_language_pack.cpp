// A language pack from arbitrary bytes applied to stand-in windows: the four
// dialogs with the column callback that the main window runs, the context
// menu and the string table. Every text a window receives must fit the
// 260-unit buffers and be well-formed UTF-16, the popup keeps its five items,
// and a pack that does not load leaves the previous one in force.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/app_path.h"
#include "config/language_x.h"
#include "config/text_convert.h"
#include "fuzz/fuzz_checks.h"
#include "fuzz/scratch_files.h"
#include "tests/config/fake_language_surface.h"

namespace {

using namespace quorvex;
using fuzz::Require;
using test::FakeMenuItem;
using test::FakeWindow;

constexpr std::string_view kPreviousPack =
    "<config><stringlist><string id=\"1\">previous</string></stringlist></config>";

void RequireWindowText(std::u16string_view text) {
    Require(text.size() < kTextCapacity, "a window text fits 259 units");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        Require(unit != u'\0', "no terminator inside a window text");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            Require(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF,
                    "a high surrogate is paired");
            ++i;
        } else {
            Require(unit < 0xDC00 || unit > 0xDFFF, "no lone low surrogate");
        }
    }
}

class CheckedSurface : public test::FakeLanguageSurface {
public:
    void SetDialogTitle(Handle dialog, std::u16string_view text) override {
        RequireWindowText(text);
        FakeLanguageSurface::SetDialogTitle(dialog, text);
    }
    void SetControlText(Handle control, std::u16string_view text) override {
        RequireWindowText(text);
        FakeLanguageSurface::SetControlText(control, text);
    }
    bool ReplaceMenuItem(Handle popup, int position, int command_id,
                         std::u16string_view text) override {
        RequireWindowText(text);
        return FakeLanguageSurface::ReplaceMenuItem(popup, position, command_id, text);
    }
};

struct Column {
    int width = 0;
    std::u16string title;
};

// The main window's column callback: the i-th column renames column i - 1 or
// is appended.
void FillColumns(const XmlExtern& pack, const Xml::Node& control, int control_id, void* context,
                 std::int32_t extra) {
    // Any control whose entry asks for the callback runs it; the window's
    // own callback reads the columns of whichever entry that is.
    static_cast<void>(control_id);
    Require(extra == 0, "the extra value is 0");
    auto& columns = *static_cast<std::vector<Column>*>(context);
    std::array<char16_t, kTextCapacity> title{};
    const int count = pack.CountChildren(control, "columnlist");
    for (int i = 1; i <= count; ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        const int width = pack.GetInt("<xmlattr>.width", *column, 0);
        pack.GetNodeText(*column, title);
        RequireWindowText(title.data());
        const auto index = static_cast<std::size_t>(i - 1);
        if (index < columns.size()) {
            columns[index] = {width, title.data()};
        } else {
            columns.push_back({width, title.data()});
        }
    }
}

// A dialog with windows of the ids the program's dialogs use, one without an
// id, and two windows sharing an id.
struct Dialog {
    explicit Dialog(std::vector<int> ids) {
        windows.resize(ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) {
            windows[i].id = ids[i];
            windows[i].text = u"built-in";
            self.descendants.push_back(&windows[i]);
        }
        self.text = u"built-in";
    }
    FakeWindow self;
    std::vector<FakeWindow> windows;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& dir = fuzz::ScratchDirectory();
    std::filesystem::create_directories(dir / "Language");
    SetStartupDirectory(dir);
    const auto pack_path = dir / "Language" / "english.xml";

    CheckedSurface surface;
    LanguageX language;
    language.SetSurface(&surface);
    fuzz::WriteFile(pack_path, kPreviousPack);
    language.LoadCurrentLanguage();
    fuzz::WriteFile(pack_path, std::span(data, size));
    language.LoadCurrentLanguage();
    const bool loaded = !language.Pack().SourcePath().empty();

    std::array<char16_t, kTextCapacity> text{};
    language.GetString(1, text);
    if (!loaded) Require(std::u16string_view(text.data()) == u"previous", "previous pack stays");
    // A text cut to a small buffer is still terminated.
    std::array<char16_t, 3> small{u'#', u'#', u'#'};
    language.GetString(1, small);
    Require(small[2] == u'\0' || small[1] == u'\0' || small[0] == u'\0', "cut text terminated");

    std::vector<Column> columns;
    Dialog about({1000, 1001, 1, 0});
    Dialog main({1001, 1014, 1, 0, 1001, 0x3E9});
    Dialog information({1015, 1016, 1, 0});
    Dialog network({1010, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1, 2, 0});
    language.ApplyDialog(nullptr, nullptr, &about.self, 100);
    language.ApplyDialog(nullptr, nullptr, &main.self, 102);
    language.ApplyDialog(&FillColumns, &columns, &main.self, 102);
    // A second application after a language change renames in place.
    const std::size_t first_columns = columns.size();
    language.ApplyDialog(&FillColumns, &columns, &main.self, 102);
    Require(columns.size() == first_columns, "applying again adds no column");
    language.ApplyDialog(nullptr, nullptr, &information.self, 130);
    language.ApplyDialog(nullptr, nullptr, &network.self, 131);

    std::vector<FakeMenuItem> popup = {
        {32776, u"a"}, {32777, u"b"}, {32778, u"c"}, {32779, u"d"}, {32780, u"e"}};
    language.ApplyMenu(&popup);
    Require(popup.size() == 5, "the popup keeps its five items");
    return 0;
}
