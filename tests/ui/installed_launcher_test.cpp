// The installed program: `cmake --install` into a scratch prefix, then the
// launcher started as a desktop starts it, in a namespace with only loopback.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(InstalledLauncher, SeedsThePerUserStartUpDirectoryAndKeepsTheUsersConfig) {
    QUORVEX_LAB_OR_SKIP(lab);
    const fs::path prefix = fs::path(lab->scratch_dir()) / "prefix";
    const fs::path data_home = fs::path(lab->scratch_dir()) / "xdg",
                   user_dir = data_home / "quorvex";
    const std::string err_file = lab->scratch_dir() + "/launcher.err";
    std::string err;
    ASSERT_EQ(
        lab->Run("", {QUORVEX_CMAKE, "--install", QUORVEX_BINARY_DIR, "--prefix", prefix.string()},
                 nullptr, &err),
        0)
        << err;
    auto start = [&] {
        return lab->Spawn(
            lab->pc_namespace(),
            {"env", "QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + data_home.string(),
             (prefix / "bin/quorvex").string()},
            "", err_file);
    };
    {
        auto window = start();
        ASSERT_TRUE(testing::WaitUntil([&] { return fs::exists(user_dir / "mfc100rd.dll"); }))
            << Read(err_file);
        EXPECT_EQ(Read(user_dir / "config.xml"), Read(prefix / "share/quorvex/config.xml"));
        EXPECT_TRUE(fs::exists(user_dir / "Language/english.xml"));
        // It is the window that runs, from the user's directory.
        ASSERT_TRUE(testing::WaitUntil([&] {
            return fs::read_symlink("/proc/" + std::to_string(window.pid()) + "/cwd") == user_dir;
        })) << Read(err_file);
    }
    // The user's own config.xml stays; a shipped file the user lost comes back.
    const std::string mine = "<?xml version=\"1.0\"?>\n<config><language>X</language></config>\n";
    std::ofstream(user_dir / "config.xml", std::ios::trunc) << mine;
    fs::remove(user_dir / "Language/english.xml");
    {
        auto window = start();
        ASSERT_TRUE(
            testing::WaitUntil([&] { return fs::exists(user_dir / "Language/english.xml"); }));
        EXPECT_TRUE(window.Running());
    }
    EXPECT_EQ(Read(user_dir / "config.xml"), mine);
}

}  // namespace
}  // namespace quorvex
