#include "config/language_x.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "config/app_path.h"
#include "config/text_convert.h"
#include "tests/config/fake_language_surface.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::FakeLanguageSurface;
using test::FakeMenuItem;
using test::FakeWindow;

std::string Config(std::string_view language, std::string_view entries) {
    return "<config><language>" + std::string(language) + "</language><languagelist>" +
           std::string(entries) + "</languagelist></config>";
}

std::string Entry(std::string_view text, std::string_view file) {
    return "<language><text>" + std::string(text) + "</text><file>" + std::string(file) +
           "</file></language>";
}

std::string PackWithString(std::string_view text) {
    return "<config><stringlist><string id=\"1\">" + std::string(text) +
           "</string></stringlist></config>";
}

class LanguagePack : public ::testing::Test {
protected:
    void SetUp() override {
        SetStartupDirectory(dir_.path());
        language_.SetSurface(&surface_);
    }
    void TearDown() override { ResetStartupDirectory(); }

    std::u16string String(int id) const {
        std::array<char16_t, kTextCapacity> text{};
        text.fill(u'#');
        language_.GetString(id, text);
        return text.data();
    }

    test::ScratchDirectory dir_;
    FakeLanguageSurface surface_;
    LanguageX language_;
};

TEST_F(LanguagePack, ChoosesTheFirstListedNameIgnoringCase) {
    dir_.Write("config.xml",
               Config("ENGLISH", Entry("Deutsch", "de.xml") + "<note/>" +
                                     Entry("English", "en.xml") + Entry("english", "other.xml")));
    dir_.Write("Language/de.xml", PackWithString("de"));
    dir_.Write("Language/en.xml", PackWithString("en"));
    dir_.Write("Language/other.xml", PackWithString("other"));
    dir_.Write("Language/english.xml", PackWithString("fallback"));
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"en");
}

TEST_F(LanguagePack, FallsBackToEnglishOnlyWhenNothingMatches) {
    dir_.Write("Language/english.xml", PackWithString("fallback"));
    dir_.Write("Language/de.xml", PackWithString("de"));

    // No config.xml at all.
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"fallback");

    // A name that no entry has, although other files are listed.
    dir_.Write("config.xml", Config("Klingon", Entry("Deutsch", "de.xml")));
    LanguageX unmatched;
    unmatched.LoadCurrentLanguage();
    std::array<char16_t, kTextCapacity> text{};
    unmatched.GetString(1, text);
    EXPECT_EQ(std::u16string_view(text.data()), u"fallback");

    // A matched entry without a file names the folder itself: nothing loads,
    // and English is not tried instead.
    dir_.Write("config.xml", Config("Deutsch", "<language><text>Deutsch</text></language>"));
    LanguageX fileless;
    fileless.LoadCurrentLanguage();
    fileless.GetString(1, text);
    EXPECT_EQ(std::u16string_view(text.data()), u"");
    EXPECT_FALSE(fileless.Pack().IsLoaded());
}

TEST_F(LanguagePack, ASwitchToAMissingFileKeepsThePreviousTexts) {
    dir_.Write("config.xml", Config("English", Entry("English", "en.xml")));
    dir_.Write("Language/en.xml",
               "<config><dialoglist><dialog id=\"100\" caption=\"About\"/></dialoglist>"
               "<stringlist><string id=\"1\">en</string></stringlist></config>");
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"en");

    dir_.Write("config.xml",
               Config("Deutsch", Entry("English", "en.xml") + Entry("Deutsch", "de.xml")));
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"en");
    FakeWindow about{100, u"resource text", {}};
    language_.ApplyDialog(nullptr, nullptr, &about, 100);
    EXPECT_EQ(about.text, u"About");

    // A broken file does the same.
    dir_.Write("Language/de.xml", "<config><stringlist>");
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"en");
}

struct CallbackLog {
    int calls = 0;
    int control_id = 0;
    std::int32_t extra = -1;
    std::vector<std::pair<std::u16string, int>> columns;
};

// Reads the column list the way the main window does.
void RecordColumns(const XmlExtern& pack, const Xml::Node& control, int control_id, void* context,
                   std::int32_t extra) {
    auto& log = *static_cast<CallbackLog*>(context);
    ++log.calls;
    log.control_id = control_id;
    log.extra = extra;
    const int n = pack.CountChildren(control, "columnlist");
    for (int i = 1; i <= n; ++i) {
        const Xml::Node* column = nullptr;
        if (!pack.GetChild("column", control, "columnlist", i, column)) break;
        std::array<char16_t, kTextCapacity> title{};
        pack.GetNodeText(*column, title);
        log.columns.emplace_back(title.data(), pack.GetInt("<xmlattr>.width", *column, 0));
    }
}

TEST_F(LanguagePack, ControlsTakeTheFirstEntryAndRunTheCallback) {
    dir_.Write("Language/english.xml",
               "<config><dialoglist>"
               "<dialog id=\"0x66\" caption=\"Main\"><controllist>"
               "<control id=\"1014\">\n   Language \n  box </control>"
               "<control id=\"1014\">Second 1014</control>"
               "<control id=\"0x3E9\" callback=\"1\"><columnlist>"
               "<column width=\"40\">Kind</column><column>Name</column>"
               "</columnlist></control>"
               "<control>Inner</control>"
               "<control id=\"1\"></control>"
               "</controllist></dialog>"
               "<dialog id=\"102\" caption=\"Second 102\"/>"
               "<dialog id=\"130\"><controllist><control id=\"1015\">Label</control>"
               "</controllist></dialog>"
               "</dialoglist></config>");
    language_.LoadCurrentLanguage();

    FakeWindow label{1014, u"语言", {}};
    FakeWindow list{1001, u"", {}};
    FakeWindow inner{0, u"inner default", {}};
    FakeWindow ok{1, u"确定", {}};
    FakeWindow banner{1002, u"Static", {}};
    FakeWindow main{102, u"Quorvex", {&label, &list, &inner, &ok, &banner}};

    // Without a callback the texts still apply; the first dialog with the id
    // wins, whether written in hexadecimal or not.
    language_.ApplyDialog(nullptr, nullptr, &main, 102);
    EXPECT_EQ(main.text, u"Main");
    EXPECT_EQ(label.text, u"Language box");  // trimmed and condensed, first entry wins
    EXPECT_EQ(inner.text, u"Inner");         // an entry without id serves id-0 windows
    EXPECT_EQ(ok.text, u"");                 // present but empty: emptied
    EXPECT_EQ(banner.text, u"Static");       // no entry: left alone

    CallbackLog log;
    language_.ApplyDialog(RecordColumns, &log, &main, 102);
    ASSERT_EQ(log.calls, 1);
    EXPECT_EQ(log.control_id, 1001);
    EXPECT_EQ(log.extra, 0);
    ASSERT_EQ(log.columns.size(), 2u);
    EXPECT_EQ(log.columns[0], std::make_pair(std::u16string(u"Kind"), 40));
    EXPECT_EQ(log.columns[1], std::make_pair(std::u16string(u"Name"), 0));

    // A dialog without a caption gets an empty title; a dialog the pack does
    // not name keeps everything, and a later ApplyControl finds no entry.
    FakeWindow version{1015, u"系统固件版本", {}};
    FakeWindow info{130, u"基本属性", {&version}};
    language_.ApplyDialog(nullptr, nullptr, &info, 130);
    EXPECT_EQ(info.text, u"");
    EXPECT_EQ(version.text, u"Label");

    FakeWindow about_label{1014, u"default", {}};
    FakeWindow about{100, u"关于 Quorvex", {&about_label}};
    language_.ApplyDialog(nullptr, nullptr, &about, 100);
    EXPECT_EQ(about.text, u"关于 Quorvex");
    language_.ApplyControl(&about_label, 1014);
    EXPECT_EQ(about_label.text, u"default");
}

TEST_F(LanguagePack, WithoutAPackNothingChanges) {
    language_.LoadCurrentLanguage();  // no config.xml, no Language folder
    FakeWindow label{1014, u"语言", {}};
    FakeWindow main{102, u"Quorvex", {&label}};
    CallbackLog log;
    language_.ApplyDialog(RecordColumns, &log, &main, 102);
    EXPECT_EQ(main.text, u"Quorvex");
    EXPECT_EQ(label.text, u"语言");
    EXPECT_EQ(log.calls, 0);  // so the list gets no columns
    EXPECT_EQ(String(1), u"");
}

TEST_F(LanguagePack, MenuItemsAreReplacedByPositionFromMenu129) {
    const std::string too_long(300, 'x');
    dir_.Write(
        "Language/english.xml",
        "<config><menulist>"
        "<menu id=\"128\"><itemlist><item index=\"0\" id=\"1\">Other menu</item></itemlist></menu>"
        "<menu id=\"0x81\"><itemlist>"
        "<item index=\"1\" id=\"32777\">Network</item>"
        "<item index=\"0\" id=\"32776\">Basic</item>"
        "<item index=\"2\" id=\"40000\">Wrong command</item>"
        "<item index=\"3\" id=\"32779\">" +
            too_long +
            "</item>"
            "<item index=\"9\" id=\"32780\">Beyond</item>"
            "</itemlist></menu>"
            "</menulist></config>");
    language_.LoadCurrentLanguage();
    std::vector<FakeMenuItem> popup{{32776, u"基本属性"},
                                    {32777, u"网络配置"},
                                    {32778, u"刷新"},
                                    {32779, u"清除"},
                                    {32780, u"关于"}};
    language_.ApplyMenu(&popup);
    EXPECT_EQ(popup[0].text, u"Basic");
    EXPECT_EQ(popup[1].text, u"Network");
    EXPECT_EQ(popup[1].command, 32777);
    EXPECT_EQ(popup[2].command, 40000);  // the file decides the command
    // Too long to read: empty, not the previous item's text.
    EXPECT_EQ(popup[3].text, u"");
    EXPECT_EQ(popup[4].text, u"关于");
}

TEST_F(LanguagePack, TheFirstStringWithAnIdWins) {
    const std::string too_long(300, 'x');
    dir_.Write("Language/english.xml",
               "<config><stringlist>"
               "<string id=\"1\">First</string>"
               "<string id=\"0x1\">Second</string>"
               "<other id=\"2\">Not a string</other>"
               "<string id=\"3\">Three</string>"
               "<string id=\"4\">" +
                   too_long +
                   "</string>"
                   "</stringlist></config>");
    language_.LoadCurrentLanguage();
    EXPECT_EQ(String(1), u"First");
    EXPECT_EQ(String(2), u"");
    EXPECT_EQ(String(3), u"Three");
    EXPECT_EQ(String(4), u"");  // unreadable: empty, not "Three"

    std::array<char16_t, 4> small{};
    language_.GetString(1, small);
    EXPECT_EQ(std::u16string_view(small.data()), u"Fir");
}

}  // namespace
}  // namespace quorvex
