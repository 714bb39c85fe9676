#include "config/app_path.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "config/text_convert.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

class AppPath : public ::testing::Test {
protected:
    void SetUp() override {
        original_ = std::filesystem::current_path();
        ResetStartupDirectory();
    }
    void TearDown() override {
        std::filesystem::current_path(original_);
        ResetStartupDirectory();
    }
    std::filesystem::path original_;
};

TEST_F(AppPath, StartupDirectoryIsFixedAtTheFirstPath) {
    test::ScratchDirectory first;
    test::ScratchDirectory second;
    std::filesystem::current_path(first.path());
    std::array<char16_t, kTextCapacity> path{};
    ASSERT_TRUE(MakeAppPath(u"config.xml", u"", path));
    const auto base = first.path().u16string();
    EXPECT_EQ(std::u16string_view(path.data()), base + u"/config.xml");

    std::filesystem::current_path(second.path());
    std::size_t length = 0;
    ASSERT_TRUE(MakeAppPath(u"english.xml", u"Language", path, &length));
    EXPECT_EQ(std::u16string_view(path.data()), base + u"/Language/english.xml");
    EXPECT_EQ(length, base.size() + 21);

    ASSERT_TRUE(MakeAppPath(u"english.xml", u"Language/", path));
    EXPECT_EQ(std::u16string_view(path.data()), base + u"/Language/english.xml");

    // An explicit choice replaces the remembered directory.
    SetStartupDirectory(second.path());
    ASSERT_TRUE(MakeAppPath(u"mfc100rd.dll", u"", path));
    EXPECT_EQ(std::u16string_view(path.data()), second.path().u16string() + u"/mfc100rd.dll");
}

TEST_F(AppPath, APathThatDoesNotFitLeavesTheBufferUntouched) {
    SetStartupDirectory("/q");
    std::array<char16_t, 12> buffer{};
    buffer.fill(u'#');
    // "/q/" + 8 characters = 11 units: fits with the terminator.
    ASSERT_TRUE(MakeAppPath(u"abcd.xml", u"", buffer));
    EXPECT_EQ(std::u16string_view(buffer.data()), u"/q/abcd.xml");
    buffer.fill(u'#');
    EXPECT_FALSE(MakeAppPath(u"abcde.xml", u"", buffer));
    EXPECT_EQ(buffer[0], u'#');
}

}  // namespace
}  // namespace quorvex
