// Configuration and language files that are hostile or broken: huge, nested
// without end, not XML, binary garbage, not UTF-8, or not files at all. The
// program must start with its defaults and its fallback language, keep the
// language it had, pass no invalid text to a window, and never save a
// document that the next start cannot read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "config/app_path.h"
#include "config/app_settings.h"
#include "config/language_x.h"
#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "tests/config/fake_language_surface.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::FakeLanguageSurface;
using test::FakeMenuItem;
using test::FakeWindow;
using test::ReadFile;
using test::ScratchDirectory;

const std::string kChineseName = "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87";  // 简体中文

// A configuration that chooses the Chinese pack, with `inside` placed within
// the root element.
std::string ChineseConfig(const std::string& inside = "") {
    return "<config><language>" + kChineseName +
           "</language><languagelist>"
           "<language><text>English</text><file>english.xml</file></language>"
           "<language><text>" +
           kChineseName +
           "</text><file>chinese.xml</file></language></languagelist>"
           "<search_interval>60</search_interval>"
           "<match_address><min>20</min><max>30</max></match_address>" +
           inside + "</config>";
}

std::string Pack(const std::string& string_one) {
    return "<config><dialoglist><dialog id=\"100\" caption=\"" + string_one +
           "\"/></dialoglist><stringlist><string id=\"1\">" + string_one +
           "</string></stringlist></config>";
}

std::string Garbage(std::size_t size) {
    std::mt19937 random(20240611);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string Repeat(std::string_view part, int times) {
    std::string out;
    out.reserve(part.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) out += part;
    return out;
}

// A named hostile form of a file; `Place` puts it at `path`.
struct Hostile {
    std::string name;
    std::string content;
    enum class Kind { kFile, kFifo, kDirectory } kind = Kind::kFile;

    void Place(const std::filesystem::path& path) const {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path.parent_path());
        if (kind == Kind::kFifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (kind == Kind::kDirectory) {
            std::filesystem::create_directory(path);
        } else {
            std::ofstream(path, std::ios::binary) << content;
        }
    }
};

// Each would otherwise be read as `wanted`, or is no document at all.
std::vector<Hostile> HostileForms(const std::string& wanted) {
    std::u16string wide = Utf8ToUtf16(wanted);
    std::string utf16 = "\xFF\xFE";  // little-endian byte order mark
    for (const char16_t unit : wide) {
        utf16 += static_cast<char>(unit & 0xFF);
        utf16 += static_cast<char>(unit >> 8);
    }
    const std::string deep = Repeat("<a>", 100000);
    return {
        // Past the 4 MiB cap, however well formed.
        {"huge", wanted + "<!--" + std::string(Xml::kMaxFileSize, ' ') + "-->"},
        {"nested 100,000 levels", deep + wanted},
        // Levels hidden from a scan that gave quotes meaning where the parser
        // gives them none: inside a document type declaration, inside another
        // "<!" construct, and inside an element name.
        {"nested behind a declaration", "<!DOCTYPE a '>" + deep + "'>"},
        {"nested behind an unknown <!", "<!x '>" + deep + "'>"},
        {"nested behind a quote in a name", "<a'>" + deep + "'>"},
        {"not XML", "language = " + kChineseName + "\n"},
        {"binary garbage", Garbage(64 * 1024)},
        {"UTF-16", utf16},
        {"character reference to zero",
         wanted.substr(0, wanted.size() - 9) + "<x>&#0;</x></config>"},
        {"FIFO", "", Hostile::Kind::kFifo},
        {"directory", "", Hostile::Kind::kDirectory},
    };
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        SetStartupDirectory(dir_.path());
        dir_.Write("Language/english.xml", Pack("en"));
        dir_.Write("Language/chinese.xml", Pack("zh"));
    }
    void TearDown() override { ResetStartupDirectory(); }

    std::u16string String(const LanguageX& language) const {
        std::array<char16_t, kTextCapacity> text{};
        language.GetString(1, text);
        return text.data();
    }

    ScratchDirectory dir_;
};

TEST_F(HostileFiles, ConfigGivesTheDefaultsAndTheLanguageFallsBackToEnglish) {
    // The well-formed file chooses Chinese and its own settings.
    dir_.Write("config.xml", ChineseConfig());
    {
        LanguageX language;
        language.LoadCurrentLanguage();
        EXPECT_EQ(String(language), u"zh");
        XmlExtern config;
        ASSERT_TRUE(config.Load((dir_.path() / "config.xml").u16string()));
        EXPECT_EQ(ReadAppSettings(config).search_interval, 60);
    }

    for (const Hostile& form : HostileForms(ChineseConfig())) {
        SCOPED_TRACE(form.name);
        form.Place(dir_.path() / "config.xml");
        XmlExtern config;
        EXPECT_FALSE(config.Load((dir_.path() / "config.xml").u16string()));
        const AppSettings settings = ReadAppSettings(config);
        EXPECT_EQ(settings.search_interval, 30);
        EXPECT_EQ(settings.match_min, 10);
        EXPECT_EQ(settings.match_max, 253);
        EXPECT_TRUE(settings.languages.empty());
        // Nothing to remember a language change in.
        EXPECT_FALSE(config.SetLanguage(config.Root(), u"English"));
        EXPECT_FALSE(config.Save());

        LanguageX language;
        language.LoadCurrentLanguage();
        EXPECT_EQ(String(language), u"en");
    }
}

TEST_F(HostileFiles, PackKeepsThePreviousLanguageOrTheBuiltInTexts) {
    dir_.Write("config.xml", ChineseConfig());
    FakeLanguageSurface surface;
    for (const Hostile& form : HostileForms(Pack("zh"))) {
        SCOPED_TRACE(form.name);
        // A switch from English to the broken pack keeps English.
        dir_.Write("config.xml", "<config><language>English</language></config>");
        LanguageX language;
        language.SetSurface(&surface);
        language.LoadCurrentLanguage();
        ASSERT_EQ(String(language), u"en");
        form.Place(dir_.path() / "Language" / "chinese.xml");
        dir_.Write("config.xml", ChineseConfig());
        language.LoadCurrentLanguage();
        EXPECT_EQ(String(language), u"en");
        FakeWindow about{100, u"built-in", {}};
        language.ApplyDialog(nullptr, nullptr, &about, 100);
        EXPECT_EQ(about.text, u"en");

        // At start there is nothing to keep: windows keep their own texts.
        LanguageX first;
        first.SetSurface(&surface);
        first.LoadCurrentLanguage();
        EXPECT_FALSE(first.Pack().IsLoaded());
        EXPECT_EQ(String(first), u"");
        FakeWindow fresh{100, u"built-in", {}};
        first.ApplyDialog(nullptr, nullptr, &fresh, 100);
        EXPECT_EQ(fresh.text, u"built-in");
    }
}

TEST_F(HostileFiles, TextThatIsNotUtf8ReachesTheWindowsReplaced) {
    // A lone continuation byte, an overlong '/', an encoded surrogate, a
    // character reference to a surrogate, and a character cut at the end.
    const std::string bad =
        "a\x80"
        "b\xC0\xAF"
        "c\xED\xA0\x80"
        "d&#xD800;e\xE4\xB8";
    dir_.Write("config.xml",
               "<config><language>Fran\xE7"
               "ais</language><languagelist>"
               "<language><text>Fran\xE7"
               "ais</text><file>french.xml</file>"
               "</language></languagelist></config>");
    dir_.Write("Language/french.xml",
               "<config><dialoglist><dialog id=\"102\" caption=\"" + bad +
                   "\"><controllist><control id=\"7\">" + bad +
                   "</control></controllist></dialog></dialoglist>"
                   "<menulist><menu id=\"129\"><itemlist><item index=\"0\" id=\"5\">" +
                   bad +
                   "</item></itemlist></menu></menulist>"
                   "<stringlist><string id=\"1\">" +
                   bad + "</string></stringlist></config>");

    FakeLanguageSurface surface;
    LanguageX language;
    language.SetSurface(&surface);
    // The Latin-1 name is replaced alike in both places, so it still chooses
    // its pack.
    language.LoadCurrentLanguage();
    // The reference is decoded by the parser into the same three bytes as the
    // encoded surrogate, and replaced alike.
    const std::u16string replaced =
        u"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFD\uFFFD\uFFFDe\uFFFD";
    EXPECT_EQ(String(language), replaced);

    FakeWindow control{7, u"", {}};
    FakeWindow main{102, u"", {&control}};
    language.ApplyDialog(nullptr, nullptr, &main, 102);
    EXPECT_EQ(main.text, replaced);
    EXPECT_EQ(control.text, replaced);
    std::vector<FakeMenuItem> popup(5);
    language.ApplyMenu(&popup);
    EXPECT_EQ(popup[0].text, replaced);
}

TEST_F(HostileFiles, WhatLoadsIsSavedSoThatItLoadsAgain) {
    // Odd but readable: entities, CDATA, quotes and markup characters in
    // attribute values, line breaks in attributes, quotes in element names.
    const std::string odd =
        "<config><language>x</language>"
        "<note a=\"&lt;&amp;&gt;&quot;'\" b='two\nlines'><![CDATA[<not> & ]]]]><![CDATA[>]]></note>"
        "<a'\"b>quoted name</a'\"b><c x = '>' y=\"/\"/>"
        "<search_interval>45</search_interval></config>";
    const auto path = dir_.Write("config.xml", odd);
    XmlExtern config;
    ASSERT_TRUE(config.Load(path.u16string()));
    ASSERT_TRUE(config.SetLanguage(config.Root(), u"English"));
    ASSERT_TRUE(config.Save());

    XmlExtern again;
    ASSERT_TRUE(again.Load(path.u16string())) << ReadFile(path);
    const AppSettings settings = ReadAppSettings(again);
    EXPECT_EQ(settings.language, u"English");
    EXPECT_EQ(settings.search_interval, 45);
    std::array<char16_t, kTextCapacity> text{};
    ASSERT_TRUE(again.GetText(again.Root(), "config.note.<xmlattr>.a", text));
    EXPECT_EQ(std::u16string_view(text.data()), u"<&>\"'");
    EXPECT_EQ(again.Root(), config.Root());

    // Text outside the root element is read but cannot be written back:
    // such a document is not saved at all.
    const std::string outside = "<![CDATA[text]]><config><language>x</language></config>";
    dir_.Write("config.xml", outside);
    ASSERT_TRUE(config.Load(path.u16string()));
    ASSERT_TRUE(config.SetLanguage(config.Root(), u"English"));
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(ReadFile(path), outside);

    // A file the store refuses is never written over by a Save.
    const std::string refused = ChineseConfig("<x>&#0;</x>");
    dir_.Write("config.xml", refused);
    EXPECT_FALSE(config.Load(path.u16string()));
    EXPECT_FALSE(config.Save());
    EXPECT_EQ(ReadFile(path), refused);
}

}  // namespace
}  // namespace quorvex
