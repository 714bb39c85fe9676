// The files shipped in data/ must give every window all its texts.

#include <gtest/gtest.h>

#include <map>

#include "config/app_path.h"
#include "config/language_x.h"
#include "tests/config/fake_language_surface.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::FakeWindow;

const std::filesystem::path kData = QUORVEX_DATA_DIR;

// Every control with text that the windows apply from a pack, by dialog.
const std::map<int, std::vector<int>> kControlsWithText = {
    {100, {1000, 1001, 1}},
    {102, {1014, 1}},
    {130, {1015, 1016, 1}},
    {131, {1010, 1022, 1023, 1024, 1025, 1029, 1026, 1027, 1028, 1, 2}},
};

class ShippedPack : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { ResetStartupDirectory(); }
};

TEST_P(ShippedPack, NamesEveryDialogControlMenuItemColumnAndString) {
    // Chosen through a copy of the shipped config that names this pack.
    test::ScratchDirectory dir;
    std::filesystem::copy(kData / "Language", dir.path() / "Language");
    XmlExtern copy;
    ASSERT_TRUE(
        copy.Load(dir.Write("config.xml", test::ReadFile(kData / "config.xml")).u16string()));
    ASSERT_TRUE(copy.SetLanguage(copy.Root(), Utf8ToUtf16(GetParam())));
    ASSERT_TRUE(copy.Save());
    SetStartupDirectory(dir.path());
    test::FakeLanguageSurface surface;
    LanguageX language;
    language.SetSurface(&surface);
    language.LoadCurrentLanguage();
    ASSERT_TRUE(language.Pack().IsLoaded());

    for (const auto& [dialog_id, ids] : kControlsWithText) {
        std::vector<FakeWindow> controls;
        for (const int id : ids) controls.push_back({id, u"", {}});
        FakeWindow dialog{dialog_id, u"", {}};
        for (auto& control : controls) dialog.descendants.push_back(&control);
        language.ApplyDialog(nullptr, nullptr, &dialog, dialog_id);
        EXPECT_FALSE(dialog.text.empty()) << dialog_id;
        for (const auto& c : controls) EXPECT_FALSE(c.text.empty()) << dialog_id << "/" << c.id;
    }

    FakeWindow list{1001, u"", {}};
    FakeWindow main{102, u"", {&list}};
    test::Columns columns;
    language.ApplyDialog(test::ReadColumns, &columns, &main, 102);
    ASSERT_EQ(columns.size(), 7u);
    for (const auto& [title, width] : columns) {
        // Wide enough for the title at about 7 pixels a character, CJK double.
        int needed = 16;
        for (const char16_t c : title) needed += c < 0x2E80 ? 7 : 14;
        EXPECT_FALSE(title.empty());
        EXPECT_GE(width, needed) << Utf16ToUtf8(title);
    }

    std::vector<test::FakeMenuItem> popup(5);
    language.ApplyMenu(&popup);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(popup[i].command, 32776 + i);
        EXPECT_FALSE(popup[i].text.empty()) << "menu position " << i;
    }
    std::array<char16_t, kTextCapacity> text{};
    language.GetString(1, text);
    EXPECT_NE(text[0], u'\0');
}

INSTANTIATE_TEST_SUITE_P(Packs, ShippedPack, ::testing::Values("English", "简体中文"),
                         [](const auto& info) { return info.index == 0 ? "English" : "Chinese"; });

}  // namespace
}  // namespace quorvex
