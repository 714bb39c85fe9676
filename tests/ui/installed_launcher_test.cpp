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

TEST(InstalledLauncher, RunsFromTheShippedDataAndKeepsTheUsersOwnConfig) {
    QUORVEX_LAB_OR_SKIP(lab);
    const fs::path prefix = fs::path(lab->scratch_dir()) / "prefix";
    const fs::path shipped = prefix / "share/quorvex";
    const fs::path config_home = fs::path(lab->scratch_dir()) / "xdg",
                   user_config = config_home / "quorvex/config.xml";
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
            {"env", "QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + config_home.string(),
             (prefix / "bin/quorvex").string()},
            "", err_file);
    };
    {
        auto window = start();
        ASSERT_TRUE(testing::WaitUntil([&] { return fs::exists(user_config); })) << Read(err_file);
        EXPECT_EQ(Read(user_config), Read(shipped / "config.xml"));
        // The window runs from the installed data, so packs and banner never
        // go stale in a copy.
        ASSERT_TRUE(testing::WaitUntil([&] {
            return fs::read_symlink("/proc/" + std::to_string(window.pid()) + "/cwd") == shipped;
        })) << Read(err_file);
    }
    // The user's own config.xml stays as it is.
    const std::string mine = "<?xml version=\"1.0\"?>\n<config><language>X</language></config>\n";
    std::ofstream(user_config, std::ios::trunc) << mine;
    {
        auto window = start();
        ASSERT_TRUE(testing::WaitUntil([&] {
            return fs::read_symlink("/proc/" + std::to_string(window.pid()) + "/cwd") == shipped;
        })) << Read(err_file);
        EXPECT_TRUE(window.Running());
    }
    EXPECT_EQ(Read(user_config), mine);
}

}  // namespace
}  // namespace quorvex
