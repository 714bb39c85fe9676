#include "config/language_choice.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>

#include "config/app_path.h"
#include "config/text_convert.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

const char kShipped[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<config><language>English</language><languagelist>"
    "<language><text>English</text><file>english.xml</file></language>"
    "<language><text>Deutsch</text><file>german.xml</file></language>"
    "</languagelist><search_interval>45</search_interval></config>\n";

TEST(LanguageChoice, FirstSaveCopiesTheFileReadIntoTheUsersFolderAndLaterOnesChangeIt) {
    test::ScratchDirectory dir;
    const auto shipped = dir.Write("usr/share/quorvex/config.xml", kShipped);
    const auto user = dir.path() / "xdg/quorvex/config.xml";  // no folder yet

    LanguageChoiceSaved saved = SaveLanguageChoice(u"Deutsch", shipped, user);
    ASSERT_TRUE(saved.saved) << saved.problem;
    EXPECT_EQ(saved.file, user);
    EXPECT_EQ(test::ReadFile(shipped), kShipped);
    std::string text = test::ReadFile(user);
    EXPECT_NE(text.find("<language>Deutsch</language>"), std::string::npos) << text;
    EXPECT_NE(text.find("<file>german.xml</file>"), std::string::npos) << text;
    EXPECT_NE(text.find("<search_interval>45</search_interval>"), std::string::npos) << text;

    saved = SaveLanguageChoice(u"English", user, user);
    ASSERT_TRUE(saved.saved) << saved.problem;
    EXPECT_NE(test::ReadFile(user).find("<language>English</language>"), std::string::npos);

    // Failures say so and name the file; nothing is written anywhere.
    dir.Write("blocked", "a file where the folder would go");
    saved = SaveLanguageChoice(u"Deutsch", shipped, dir.path() / "blocked/quorvex/config.xml");
    EXPECT_FALSE(saved.saved);
    EXPECT_NE(saved.problem.find((dir.path() / "blocked").native()), std::string::npos)
        << saved.problem;
    const auto broken = dir.Write("xdg2/quorvex/config.xml", "<config><language>");
    saved = SaveLanguageChoice(u"Deutsch", broken, broken);
    EXPECT_FALSE(saved.saved);
    EXPECT_NE(saved.problem.find(broken.native()), std::string::npos) << saved.problem;
    EXPECT_EQ(test::ReadFile(broken), "<config><language>");
    EXPECT_FALSE(SaveLanguageChoice(u"Deutsch", dir.path() / "none.xml", user).saved);
    EXPECT_EQ(test::ReadFile(shipped), kShipped);
}

TEST(LanguageChoice, ThisProcessSavesUnderXdgConfigHomeAndReadsItFromThen) {
    test::ScratchDirectory dir;
    dir.Write("app/config.xml", kShipped);
    const char* old = ::getenv("XDG_CONFIG_HOME");
    const std::string previous = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "xdg").c_str(), 1);
    SetStartupDirectory(dir.path() / "app");

    const LanguageChoiceSaved saved = SaveLanguageChoice(u"Deutsch");
    ASSERT_TRUE(saved.saved) << saved.problem;
    EXPECT_EQ(saved.file, dir.path() / "xdg/quorvex/config.xml");
    std::array<char16_t, 4096> path{};
    ASSERT_TRUE(MakeAppPath(u"config.xml", u"", path));
    EXPECT_EQ(Utf16ToUtf8(path.data()), saved.file.native());
    EXPECT_EQ(test::ReadFile(dir.path() / "app/config.xml"), kShipped);

    ResetStartupDirectory();
    if (old != nullptr)
        ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace quorvex
