#include "config/app_path.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "config/config_lookup.h"
#include "config/text_convert.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

TEST(AppPath, StartupDirectoryIsFixedAtTheFirstPath) {
    const auto original = std::filesystem::current_path();
    test::ScratchDirectory first, second;
    ResetStartupDirectory();
    std::filesystem::current_path(first.path());
    std::array<char16_t, kTextCapacity> path{};
    ASSERT_TRUE(MakeAppPath(u"config.xml", u"", path));
    std::filesystem::current_path(second.path());
    std::size_t length = 0;
    const bool made = MakeAppPath(u"english.xml", u"Language/", path, &length);
    std::filesystem::current_path(original);
    ASSERT_TRUE(made);
    const auto expected = first.path().u16string() + u"/Language/english.xml";
    EXPECT_EQ(std::u16string_view(path.data()), expected);
    EXPECT_EQ(length, expected.size());

    SetStartupDirectory("/q");
    std::array<char16_t, 12> small{};
    EXPECT_TRUE(MakeAppPath(u"abcd.xml", u"", small));    // 11 units and the terminator
    EXPECT_FALSE(MakeAppPath(u"abcde.xml", u"", small));  // one more does not fit
    EXPECT_EQ(std::u16string_view(small.data()), u"/q/abcd.xml");
    ResetStartupDirectory();
}

}  // namespace
}  // namespace quorvex

namespace quorvex {
namespace {

TEST(ConfigLookup, OptionThenUserThenShippedThenStartupAndAnExistingFileWins) {
    test::ScratchDirectory dir;
    const auto user = dir.path() / "home/.config/quorvex/config.xml";
    const auto shipped = dir.path() / "usr/share/quorvex";
    const auto startup = dir.path() / "cwd";
    const auto find = [&](const std::filesystem::path& option = {}) {
        return FindConfigFile(option, user, shipped, startup);
    };
    EXPECT_EQ(find().file, startup / "config.xml");
    EXPECT_EQ(find().source, ConfigSource::kStartup);
    std::filesystem::create_directories(shipped);
    std::ofstream(shipped / "config.xml") << "<config/>";
    EXPECT_EQ(find().file, shipped / "config.xml");
    EXPECT_EQ(find().source, ConfigSource::kShipped);
    // The user's own file wins even when it is broken: it is reported, not
    // silently passed over for the shipped one.
    std::filesystem::create_directories(user.parent_path());
    std::ofstream(user) << "<config";
    EXPECT_EQ(find().file, user);
    EXPECT_EQ(find().source, ConfigSource::kUser);
    EXPECT_EQ(find("/elsewhere/site.xml").file, "/elsewhere/site.xml");
    EXPECT_EQ(find("/elsewhere/site.xml").source, ConfigSource::kOption);

    // MakeAppPath places config.xml where the lookup says; the other files
    // stay in the start-up directory.
    SetStartupDirectory(startup);
    SetConfigFile(user);
    std::array<char16_t, 4096> path{};
    ASSERT_TRUE(MakeAppPath(u"config.xml", u"", path));
    EXPECT_EQ(Utf16ToUtf8(path.data()), user.native());
    ASSERT_TRUE(MakeAppPath(u"english.xml", u"Language", path));
    EXPECT_EQ(Utf16ToUtf8(path.data()), (startup / "Language/english.xml").native());
    ResetStartupDirectory();
}

}  // namespace
}  // namespace quorvex
