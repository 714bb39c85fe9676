// The installed program: `cmake --install` into a scratch prefix, then the
// launcher started the way a desktop starts it, inside a private network
// namespace with nothing but loopback (so its search finds no interface).

#include <gtest/gtest.h>

#include <chrono>
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
    std::string out, err;
    ASSERT_EQ(
        lab->Run("", {QUORVEX_CMAKE, "--install", QUORVEX_BINARY_DIR, "--prefix", prefix.string()},
                 &out, &err),
        0)
        << err;
    for (const char* file :
         {"bin/quorvex", "lib/quorvex/quorvex", "share/quorvex/config.xml",
          "share/quorvex/Language/english.xml", "share/quorvex/mfc100rd.dll",
          "share/applications/quorvex.desktop", "share/icons/hicolor/scalable/apps/quorvex.svg"}) {
        EXPECT_TRUE(fs::exists(prefix / file)) << file;
    }

    const fs::path data_home = fs::path(lab->scratch_dir()) / "xdg";
    const fs::path user_dir = data_home / "quorvex";
    auto start = [&] {
        return lab->Spawn(
            lab->pc_namespace(),
            {"env", "QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + data_home.string(),
             (prefix / "bin/quorvex").string()},
            lab->scratch_dir() + "/launcher.out", lab->scratch_dir() + "/launcher.err");
    };
    {
        auto window = start();
        ASSERT_TRUE(testing::WaitUntil([&] { return fs::exists(user_dir / "mfc100rd.dll"); }))
            << Read(lab->scratch_dir() + "/launcher.err");
        EXPECT_EQ(Read(user_dir / "config.xml"), Read(prefix / "share/quorvex/config.xml"));
        EXPECT_TRUE(fs::exists(user_dir / "Language/english.xml"));
        // It is the window that runs, from the user's directory.
        ASSERT_TRUE(testing::WaitUntil([&] {
            return fs::read_symlink("/proc/" + std::to_string(window.pid()) + "/cwd") == user_dir;
        })) << Read(lab->scratch_dir() + "/launcher.err");
        EXPECT_TRUE(window.Running());
    }

    // The user's own config.xml stays; a shipped file the user lost comes back.
    const std::string mine =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><language>X</language></config>\n";
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
