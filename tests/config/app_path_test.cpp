#include "config/app_path.h"

#include <gtest/gtest.h>

#include <array>

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
