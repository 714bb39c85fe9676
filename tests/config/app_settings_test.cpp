#include "config/app_settings.h"

#include <gtest/gtest.h>

#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

AppSettings Read(const test::ScratchDirectory& dir, std::string_view content) {
    XmlExtern config;
    config.Load(dir.Write("config.xml", content).u16string());
    return ReadAppSettings(config);
}

TEST(AppSettings, MissingOrBrokenConfigGivesTheDefaults) {
    test::ScratchDirectory dir;
    for (const auto& settings :
         {ReadAppSettings(XmlExtern()),
          Read(dir, "<config><search_interval>60</search_interval>"),  // unterminated
          Read(dir, "")}) {
        EXPECT_EQ(settings.search_interval, 30);
        EXPECT_EQ(settings.match_min, 10);
        EXPECT_EQ(settings.match_max, 253);
        EXPECT_TRUE(settings.language.empty());
        EXPECT_TRUE(settings.languages.empty());
        EXPECT_TRUE(settings.interfaces.empty());
    }
}

TEST(AppSettings, SearchIntervalHasAFloorOfTen) {
    test::ScratchDirectory dir;
    const auto interval = [&](std::string_view text) {
        return Read(dir,
                    "<config><search_interval>" + std::string(text) + "</search_interval></config>")
            .search_interval;
    };
    EXPECT_EQ(interval("9"), 30);
    EXPECT_EQ(interval("10"), 10);
    EXPECT_EQ(interval("5"), 30);
    EXPECT_EQ(interval("0"), 30);
    EXPECT_EQ(interval("-40"), 30);
    EXPECT_EQ(interval("abc"), 2748);
    EXPECT_EQ(interval("0x3C"), 60);
    EXPECT_EQ(interval("  45  "), 45);
}

TEST(AppSettings, ReadsRangeLanguagesAndInterfaces) {
    test::ScratchDirectory dir;
    const auto settings = Read(dir,
                               "<config>"
                               "<language>简体中文</language>"
                               "<languagelist>"
                               "<language><text>English</text><file>english.xml</file></language>"
                               "<language><file>nameless.xml</file></language>"
                               "<language><text>简体中文</text><file>chinese.xml</file></language>"
                               "</languagelist>"
                               "<match_address><min> 20 </min><max>0xC8</max></match_address>"
                               "<interfaces>"
                               "<interface>veth-a</interface><comment/><interface></interface>"
                               "<interface> eth0 </interface>"
                               "</interfaces>"
                               "</config>");
    EXPECT_EQ(settings.match_min, 20);
    EXPECT_EQ(settings.match_max, 200);
    EXPECT_EQ(settings.language, u"简体中文");
    ASSERT_EQ(settings.languages.size(), 3u);
    EXPECT_EQ(settings.languages[1].text, u"");
    EXPECT_EQ(settings.languages[1].file, u"nameless.xml");
    EXPECT_EQ(settings.languages[2].file, u"chinese.xml");
    EXPECT_EQ(FindLanguage(settings.languages, settings.language), 2);
    EXPECT_EQ(FindLanguage(settings.languages, u"ENGLISH"), 0);
    EXPECT_EQ(FindLanguage(settings.languages, u"Deutsch"), -1);
    EXPECT_EQ(settings.interfaces, (std::vector<std::string>{"veth-a", "eth0"}));
}

}  // namespace
}  // namespace quorvex
