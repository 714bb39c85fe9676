#include "config/language_x.h"

#include <gtest/gtest.h>

#include "config/app_path.h"
#include "tests/config/fake_language_surface.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::FakeWindow;

std::string Pack(const std::string& string_one, const std::string& rest = "") {
    return "<config>" + rest + "<stringlist><string id=\"1\">" + string_one +
           "</string></stringlist></config>";
}

std::string Config(const std::string& language) {
    return "<config><language>" + language + "</language><languagelist>" +
           "<language><text>Deutsch</text><file>de.xml</file></language><note/>"
           "<language><text>English</text><file>en.xml</file></language>"
           "<language><text>english</text><file>other.xml</file></language>"
           "<language><text>Fileless</text></language></languagelist></config>";
}

class LanguagePack : public ::testing::Test {
protected:
    void SetUp() override { SetStartupDirectory(dir_.path()); }
    void TearDown() override { ResetStartupDirectory(); }

    // Loads `language` after writing `config` when it is not empty; returns string 1.
    std::u16string Load(LanguageX& language, const std::string& config = "") {
        if (!config.empty()) dir_.Write("config.xml", config);
        language.SetSurface(&surface_);
        language.LoadCurrentLanguage();
        std::array<char16_t, kTextCapacity> text{};
        language.GetString(1, text);
        return text.data();
    }

    test::ScratchDirectory dir_;
    test::FakeLanguageSurface surface_;
};

TEST_F(LanguagePack, ChoosesTheFirstListedNameIgnoringCaseElseEnglish) {
    for (const std::string name : {"de", "en", "other", "english"}) {
        dir_.Write("Language/" + name + ".xml", Pack(name));
    }
    LanguageX none, upper, unknown, fileless;
    EXPECT_EQ(Load(none), u"english");  // no config.xml
    EXPECT_EQ(Load(upper, Config("ENGLISH")), u"en");
    EXPECT_EQ(Load(unknown, Config("Klingon")), u"english");
    // A matched entry without a file names the folder: nothing loads, not English.
    EXPECT_EQ(Load(fileless, Config("Fileless")), u"");
}

TEST_F(LanguagePack, ASwitchToAMissingFileKeepsThePreviousTexts) {
    dir_.Write("Language/en.xml",
               Pack("en", "<dialoglist><dialog id=\"100\" caption=\"About\"/></dialoglist>"));
    LanguageX language;
    ASSERT_EQ(Load(language, Config("English")), u"en");
    for (const std::string broken : {"", "<config><stringlist>", "<x>&#0;</x>"}) {
        if (!broken.empty()) dir_.Write("Language/de.xml", broken);
        EXPECT_EQ(Load(language, Config("Deutsch")), u"en");
        FakeWindow about{100, u"built-in", {}};
        language.ApplyDialog(nullptr, nullptr, &about, 100);
        EXPECT_EQ(about.text, u"About");

        // At start there is nothing to keep: windows keep their own texts.
        LanguageX first;
        EXPECT_EQ(Load(first), u"");
        FakeWindow list{1001, u"", {}};
        FakeWindow main{102, u"built-in", {&list}};
        test::Columns columns{{u"unread", 0}};
        first.ApplyDialog(test::ReadColumns, &columns, &main, 102);
        EXPECT_EQ(main.text, u"built-in");
        EXPECT_EQ(columns.size(), 1u);  // the callback did not run
    }
}

TEST_F(LanguagePack, ControlsTakeTheFirstEntryAndRunTheCallback) {
    dir_.Write("Language/english.xml",
               "<config><dialoglist><dialog id=\"0x66\" caption=\"Main\"><controllist>"
               "<control id=\"1014\">\n   Language \n  box </control>"
               "<control id=\"1014\">Second 1014</control>"
               "<control id=\"0x3E9\" callback=\"1\"><columnlist>"
               "<column width=\"40\">Kind</column><column>Name</column></columnlist></control>"
               "<control>Inner</control><control id=\"1\"></control></controllist></dialog>"
               "<dialog id=\"102\" caption=\"Second 102\"/><dialog id=\"130\"/>"
               "</dialoglist></config>");
    LanguageX language;
    Load(language);
    FakeWindow label{1014, u"语言", {}}, list{1001, u"", {}}, inner{0, u"inner default", {}};
    FakeWindow ok{1, u"确定", {}}, banner{1002, u"Static", {}};
    FakeWindow main{102, u"Quorvex", {&label, &list, &inner, &ok, &banner}};
    test::Columns columns;
    language.ApplyDialog(test::ReadColumns, &columns, &main, 102);
    EXPECT_EQ(main.text, u"Main");           // the first dialog with the id, hex or not
    EXPECT_EQ(label.text, u"Language box");  // trimmed, condensed, first entry
    EXPECT_EQ(inner.text, u"Inner");         // an entry without id serves id-0 windows
    EXPECT_EQ(ok.text, u"");                 // present but empty: emptied
    EXPECT_EQ(banner.text, u"Static");       // no entry: left alone
    EXPECT_EQ(columns, (test::Columns{{u"Kind", 40}, {u"Name", 0}}));

    FakeWindow info{130, u"基本属性", {}}, about_label{1014, u"default", {}};
    FakeWindow about{100, u"关于", {&about_label}};
    language.ApplyDialog(nullptr, nullptr, &info, 130);
    language.ApplyDialog(nullptr, nullptr, &about, 100);
    language.ApplyControl(&about_label, 1014);
    EXPECT_EQ(info.text, u"");                                 // no caption: empty title
    EXPECT_EQ(about.text + about_label.text, u"关于default");  // not in the pack: kept
}

TEST_F(LanguagePack, MenuItemsAndStringsTakeTheFirstEntryForAnId) {
    const std::string too_long(300, 'x');
    dir_.Write(
        "Language/english.xml",
        "<config><menulist>"
        "<menu id=\"128\"><itemlist><item index=\"0\" id=\"1\">Other</item></itemlist></menu>"
        "<menu id=\"0x81\"><itemlist><item index=\"1\" id=\"32777\">Network</item>"
        "<item index=\"0\" id=\"32776\">Basic</item>"
        "<item index=\"2\" id=\"40000\">Wrong command</item>"
        "<item index=\"3\" id=\"32779\">" +
            too_long +
            "</item>"
            "<item index=\"9\" id=\"32780\">Beyond</item></itemlist></menu></menulist>"
            "<stringlist><string id=\"1\">First</string><string id=\"0x1\">Second</string>"
            "<string id=\"3\">Three</string><string id=\"4\">" +
            too_long +
            "</string>"
            "</stringlist></config>");
    LanguageX language;
    EXPECT_EQ(Load(language), u"First");
    std::vector<test::FakeMenuItem> popup{{0, u"a"}, {0, u"b"}, {0, u"c"}, {0, u"d"}, {0, u"e"}};
    language.ApplyMenu(&popup);
    EXPECT_EQ(popup[0].text + popup[1].text + popup[4].text, u"BasicNetworke");
    EXPECT_EQ(popup[2].command, 40000);  // the file decides the command
    EXPECT_EQ(popup[3].text, u"");       // too long: empty, not the previous item's text

    std::array<char16_t, kTextCapacity> text{};
    for (const int id : {2, 4}) {  // absent; too long: empty, not "Three"
        text.fill(u'#');
        language.GetString(id, text);
        EXPECT_EQ(text[0], u'\0') << id;
    }
    std::array<char16_t, 4> small{};
    language.GetString(1, small);
    EXPECT_EQ(std::u16string_view(small.data()), u"Fir");
}

}  // namespace
}  // namespace quorvex
