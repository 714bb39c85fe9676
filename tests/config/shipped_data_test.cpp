// The files shipped in data/ must give every window all its texts.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/app_path.h"
#include "config/app_settings.h"
#include "config/language_x.h"
#include "config/text_convert.h"
#include "tests/config/fake_language_surface.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::FakeLanguageSurface;
using test::FakeMenuItem;
using test::FakeWindow;

const std::filesystem::path kData = QUORVEX_DATA_DIR;

// Every control with text that the windows apply from a pack, by dialog.
const std::map<int, std::vector<int>> kControlsWithText = {
    {100, {1000, 1001, 1}},
    {102, {1014, 1}},
    {130, {1015, 1016, 1}},
    {131, {1010, 1022, 1023, 1024, 1025, 1029, 1026, 1027, 1028, 1, 2}},
};

struct Columns {
    std::vector<std::pair<std::u16string, int>> list;
};

void ReadColumns(const XmlExtern& pack, const Xml::Node& control, int, void* context,
                 std::int32_t) {
    auto& columns = static_cast<Columns*>(context)->list;
    columns.clear();
    const int n = pack.CountChildren(control, "columnlist");
    for (int i = 1; i <= n; ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        std::array<char16_t, kTextCapacity> title{};
        EXPECT_TRUE(pack.GetNodeText(*column, title));
        columns.emplace_back(title.data(), pack.GetInt("<xmlattr>.width", *column, 0));
    }
}

class ShippedPack : public ::testing::TestWithParam<const char*> {
protected:
    void TearDown() override { ResetStartupDirectory(); }
};

TEST_P(ShippedPack, NamesEveryDialogControlMenuItemColumnAndString) {
    {
        // Chosen through a copy of the shipped config that names this pack.
        test::ScratchDirectory dir;
        std::filesystem::copy(kData / "Language", dir.path() / "Language");
        XmlExtern copy;
        ASSERT_TRUE(
            copy.Load(dir.Write("config.xml", test::ReadFile(kData / "config.xml")).u16string()));
        ASSERT_TRUE(copy.SetLanguage(copy.Root(), Utf8ToUtf16(GetParam())));
        ASSERT_TRUE(copy.Save());
        SetStartupDirectory(dir.path());

        FakeLanguageSurface surface;
        LanguageX language;
        language.SetSurface(&surface);
        language.LoadCurrentLanguage();
        ASSERT_TRUE(language.Pack().IsLoaded()) << GetParam();

        for (const auto& [dialog_id, ids] : kControlsWithText) {
            std::vector<FakeWindow> controls;
            for (const int id : ids) controls.push_back({id, u"", {}});
            FakeWindow dialog{dialog_id, u"", {}};
            for (auto& control : controls) dialog.descendants.push_back(&control);
            language.ApplyDialog(nullptr, nullptr, &dialog, dialog_id);
            EXPECT_FALSE(dialog.text.empty()) << "dialog " << dialog_id;
            for (const auto& control : controls) {
                EXPECT_FALSE(control.text.empty())
                    << "dialog " << dialog_id << " control " << control.id;
            }
        }

        FakeWindow list{1001, u"", {}};
        FakeWindow main{102, u"", {&list}};
        Columns columns;
        language.ApplyDialog(ReadColumns, &columns, &main, 102);
        ASSERT_EQ(columns.list.size(), 7u);
        for (const auto& [title, width] : columns.list) {
            EXPECT_FALSE(title.empty());
            // Wide enough for the title at roughly 8 pixels per character
            // (CJK characters count double).
            int needed = 16;
            for (const char16_t c : title) needed += c < 0x2E80 ? 7 : 14;
            EXPECT_GE(width, needed) << Utf16ToUtf8(title);
        }

        std::vector<FakeMenuItem> popup(5);
        language.ApplyMenu(&popup);
        const int commands[] = {32776, 32777, 32778, 32779, 32780};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(popup[i].command, commands[i]) << "menu position " << i;
            EXPECT_FALSE(popup[i].text.empty()) << "menu position " << i;
        }

        std::array<char16_t, kTextCapacity> text{};
        language.GetString(1, text);
        EXPECT_NE(text[0], u'\0');
    }
}

INSTANTIATE_TEST_SUITE_P(Packs, ShippedPack, ::testing::Values("English", "简体中文"),
                         [](const auto& info) { return info.index == 0 ? "English" : "Chinese"; });

TEST(ShippedConfig, ListsBothPacksWithTheDefaultSettings) {
    XmlExtern config;
    ASSERT_TRUE(config.Load((kData / "config.xml").u16string()));
    const auto settings = ReadAppSettings(config);
    EXPECT_EQ(settings.search_interval, 30);
    EXPECT_EQ(settings.match_min, 10);
    EXPECT_EQ(settings.match_max, 253);
    EXPECT_EQ(settings.language, u"English");
    ASSERT_EQ(settings.languages.size(), 2u);
    EXPECT_EQ(FindLanguage(settings.languages, u"english"), 0);
    for (const auto& entry : settings.languages) {
        EXPECT_TRUE(std::filesystem::is_regular_file(kData / "Language" / Utf16ToUtf8(entry.file)));
    }
    EXPECT_TRUE(settings.interfaces.empty());
}

TEST(ShippedBanner, IsAnUncompressed24BitBitmap) {
    const std::string bmp = test::ReadFile(kData / "mfc100rd.dll");
    ASSERT_GE(bmp.size(), 54u);
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), bmp.size());                                      // 2: file size
    const std::uint32_t width = u32(18);                                // 18: width
    const std::uint32_t height = u32(22);                               // 22: height, bottom-up
    EXPECT_EQ(bmp[28], 24);                                             // 28: bits per pixel
    EXPECT_EQ(u32(30), 0u);                                             // 30: no compression
    EXPECT_EQ(u32(10) + ((width * 3 + 3) & ~3u) * height, bmp.size());  // 10: pixel offset
    // About the banner's 110 x 16 proportions.
    EXPECT_NEAR(static_cast<double>(width) / height, 110.0 / 16.0, 0.5);
}

}  // namespace
}  // namespace quorvex
