// The program itself on a virtual X display: it starts from a start-up
// directory with the shipped data in Chinese, searches on the PC side of a
// private network where the simulator plays cameras, and the screen shows the
// window, not an empty or black frame.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using testing::NetnsLab;
using testing::Simulator;

// A screen read from an X window dump (ZPixmap, 3 or 4 bytes per pixel).
struct Screen {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0xRRGGBB per pixel
    std::uint32_t at(int x, int y) const { return rgb[static_cast<std::size_t>(y) * width + x]; }
};

std::uint32_t Be32(const std::string& data, std::size_t at) {
    return (std::uint32_t{static_cast<unsigned char>(data[at])} << 24) |
           (std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 16) |
           (std::uint32_t{static_cast<unsigned char>(data[at + 2])} << 8) |
           std::uint32_t{static_cast<unsigned char>(data[at + 3])};
}

std::optional<Screen> ReadXwd(const std::string& data) {
    if (data.size() < 100) return std::nullopt;
    auto field = [&](int i) { return Be32(data, static_cast<std::size_t>(i) * 4); };
    const std::uint32_t header_size = field(0);
    if (field(1) != 7 || field(2) != 2) return std::nullopt;  // version 7, ZPixmap
    Screen screen;
    screen.width = static_cast<int>(field(4));
    screen.height = static_cast<int>(field(5));
    const bool msb_first = field(7) != 0;
    const std::uint32_t bytes_per_line = field(12);
    const std::uint32_t masks[3] = {field(14), field(15), field(16)};
    const std::size_t start = std::size_t{header_size} + std::size_t{field(19)} * 12;
    if (screen.width <= 0 || screen.height <= 0 ||
        data.size() <
            start + std::size_t{bytes_per_line} * static_cast<std::size_t>(screen.height)) {
        return std::nullopt;
    }
    const std::uint32_t stride = field(11) / 8;  // bits per pixel: 24 or 32
    if ((stride != 3 && stride != 4) ||
        bytes_per_line < stride * static_cast<std::uint32_t>(screen.width)) {
        return std::nullopt;
    }
    auto shift_of = [](std::uint32_t mask) {
        int shift = 0;
        while (mask != 0 && (mask & 1u) == 0) mask >>= 1, ++shift;
        return shift;
    };
    screen.rgb.resize(static_cast<std::size_t>(screen.width) * screen.height);
    for (int y = 0; y < screen.height; ++y) {
        for (int x = 0; x < screen.width; ++x) {
            const std::size_t at =
                start + std::size_t{bytes_per_line} * y + std::size_t{stride} * x;
            std::uint32_t pixel = 0;
            for (std::uint32_t b = 0; b < stride; ++b) {
                const std::uint32_t byte = static_cast<unsigned char>(data[at + b]);
                pixel |= msb_first ? byte << (8 * (stride - 1 - b)) : byte << (8 * b);
            }
            std::uint32_t rgb = 0;
            for (int c = 0; c < 3; ++c)
                rgb = (rgb << 8) | ((pixel & masks[c]) >> shift_of(masks[c]) & 0xFF);
            screen.rgb[static_cast<std::size_t>(y) * screen.width + x] = rgb;
        }
    }
    return screen;
}

bool OnPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST(WindowOnScreen, ShowsTheWindowWithCamerasOnAVirtualDisplay) {
    QUORVEX_LAB_OR_SKIP(lab);
    if (!OnPath("Xvfb") || !OnPath("xwd")) {
        if (testing::NetnsRequired()) FAIL() << "Xvfb and xwd are needed (xvfb, x11-apps)";
        GTEST_SKIP() << "needs Xvfb and xwd (xvfb, x11-apps)";
    }
    const std::string pc_if = lab->AddSite("cams", "10.77.0.1/24", "10.77.0.2/24", "10.77.0.2");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    auto sim = Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--binary-h", "4", "--text", "4", "--subnet", "10.77.0.", "--outside", "2"}, &why);
    ASSERT_TRUE(sim) << why;

    // The start-up directory: the shipped data, in Chinese, on the lab's link.
    const std::filesystem::path stage = std::filesystem::path(lab->scratch_dir()) / "app";
    std::filesystem::copy(QUORVEX_DATA_DIR, stage, std::filesystem::copy_options::recursive);
    std::ostringstream config;
    config << "<?xml version=\"1.0\" "
              "encoding=\"utf-8\"?>\n<config><language>简体中文</language><languagelist>"
           << "<language><text>English</text><file>english.xml</file></language>"
           << "<language><text>简体中文</text><file>chinese.xml</file></language></languagelist>"
           << "<search_interval>30</search_interval><interfaces><interface>" << pc_if
           << "</interface></interfaces></config>\n";
    std::ofstream(stage / "config.xml") << config.str();

    int display = 0;
    for (int n = 150; n < 250 && display == 0; ++n) {
        if (!std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) display = n;
    }
    ASSERT_NE(display, 0);
    const std::string name = ":" + std::to_string(display);
    auto xvfb =
        lab->Spawn("", {"Xvfb", name, "-screen", "0", "1024x600x24", "-br", "-nolisten", "tcp"});
    ASSERT_TRUE(testing::WaitUntil(
        [&] { return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)); }));
    auto window =
        lab->Spawn(lab->pc_namespace(),
                   {"env", "DISPLAY=" + name, "QT_QPA_PLATFORM=xcb", "sh", "-c",
                    "cd \"$0\" && exec \"$1\"", stage.string(), QUORVEX_WINDOW_PATH},
                   lab->scratch_dir() + "/window.out", lab->scratch_dir() + "/window.err");

    // Wait until the window is drawn, then give the cameras time to be listed.
    const std::string dump = lab->scratch_dir() + "/screen.xwd";
    std::optional<Screen> screen;
    int left = 0, top = 0, right = -1, bottom = -1;
    std::string xwd_error;
    auto capture = [&] {
        if (lab->Run("", {"sh", "-c", "xwd -root -silent -display \"$0\" > \"$1\"", name, dump},
                     nullptr, &xwd_error) != 0) {
            return false;
        }
        std::ifstream in(dump, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        screen = ReadXwd(bytes.str());
        if (!screen) return false;
        left = screen->width, top = screen->height, right = -1, bottom = -1;
        for (int y = 0; y < screen->height; ++y) {
            for (int x = 0; x < screen->width; ++x) {
                if (screen->at(x, y) == 0) continue;  // the black root window
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        }
        return right - left > 600 && bottom - top > 300;
    };
    auto read = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    ASSERT_TRUE(testing::WaitUntil(capture, std::chrono::seconds(20)))
        << "no window on the screen; screen " << (screen ? "read" : "unreadable")
        << ", xwd says: " << xwd_error
        << ", window says: " << read(lab->scratch_dir() + "/window.err") << " box " << left << ","
        << top << "-" << right << "," << bottom;
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(capture());
    EXPECT_TRUE(window.Running());

    // The window's own size, and more than a flat frame inside it: text,
    // grid lines, the banner.
    EXPECT_NEAR(right - left + 1, 716, 4);
    EXPECT_NEAR(bottom - top + 1, 381, 4);
    std::set<std::uint32_t> colours;
    int dark = 0;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const std::uint32_t rgb = screen->at(x, y);
            colours.insert(rgb);
            const int grey =
                static_cast<int>(((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF)) / 3;
            dark += grey < 96 ? 1 : 0;
        }
    }
    EXPECT_GT(colours.size(), 50u);
    // Rows of camera text in the list area, not only the header.
    int list_dark = 0;
    for (int y = top + 80; y <= top + 300; ++y) {
        for (int x = left + 20; x <= left + 600; ++x) {
            const std::uint32_t rgb = screen->at(x, y);
            list_dark +=
                ((rgb >> 16) & 0xFF) < 96 && ((rgb >> 8) & 0xFF) < 96 && (rgb & 0xFF) < 96 ? 1 : 0;
        }
    }
    EXPECT_GT(list_dark, 300) << "the list looks empty";
    window.Stop();
    xvfb.Stop();
}

}  // namespace
}  // namespace quorvex
