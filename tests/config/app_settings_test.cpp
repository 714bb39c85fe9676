#include "config/app_settings.h"

#include <gtest/gtest.h>

#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

AppSettings Read(const test::ScratchDirectory& dir, const std::string& inside) {
    XmlExtern config;
    config.Load(dir.Write("config.xml", "<config>" + inside).u16string());
    return ReadAppSettings(config);
}

TEST(AppSettings, MissingOrBrokenConfigGivesTheDefaults) {
    test::ScratchDirectory dir;
    for (const auto& settings : {ReadAppSettings(XmlExtern()),
                                 Read(dir, "<search_interval>60</search_interval>"),  // unclosed
                                 Read(dir, "<search_interval>9</search_interval></config>")}) {
        EXPECT_EQ(settings.search_interval, 30);  // 10 at least
        EXPECT_EQ(settings.match_min, 10);
        EXPECT_EQ(settings.match_max, 253);
        EXPECT_TRUE(settings.language.empty() && settings.languages.empty());
        EXPECT_TRUE(settings.interfaces.empty());
    }
    EXPECT_EQ(Read(dir, "<search_interval>10</search_interval></config>").search_interval, 10);
}

TEST(AppSettings, ReadsRangeLanguagesAndInterfaces) {
    test::ScratchDirectory dir;
    const auto settings =
        Read(dir,
             "<language>简体中文</language><languagelist>"
             "<language><file>nameless.xml</file></language>"
             "<language><text>简体中文</text><file>chinese.xml</file></language></languagelist>"
             "<match_address><min> 20 </min><max>0xC8</max></match_address>"
             "<interfaces><interface>veth-a</interface><comment/><interface></interface>"
             "<interface> eth0 </interface></interfaces></config>");
    EXPECT_EQ(settings.match_min, 20);
    EXPECT_EQ(settings.match_max, 200);
    ASSERT_EQ(FindLanguage(settings.languages, settings.language), 1);
    EXPECT_EQ(settings.languages[1].file, u"chinese.xml");
    EXPECT_EQ(settings.interfaces, (std::vector<std::string>{"veth-a", "eth0"}));
}

}  // namespace
}  // namespace quorvex
