// The program itself on a virtual X display, with the shipped data in
// Chinese, searching on the PC side of a private network where the simulator
// plays cameras: the screen shows the window with its rows, not a flat frame.

#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTextLayout>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

TEST(WindowOnScreen, ShowsTheWindowWithCamerasOnAVirtualDisplay) {
    QUORVEX_LAB_OR_SKIP(lab);
    if (std::system("command -v Xvfb >/dev/null") != 0) {
        if (testing::NetnsRequired()) FAIL() << "Xvfb is needed (xvfb)";
        GTEST_SKIP() << "needs Xvfb (xvfb)";
    }
    const std::string pc_if = lab->AddSite("cams", "10.77.0.1/24", "10.77.0.2/24", "10.77.0.2");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    auto sim = testing::Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--binary-h", "4", "--text", "4", "--subnet", "10.77.0.", "--outside", "2"}, &why);
    ASSERT_TRUE(sim) << why;

    const std::filesystem::path stage = std::filesystem::path(lab->scratch_dir()) / "app";
    std::filesystem::copy(QUORVEX_DATA_DIR, stage, std::filesystem::copy_options::recursive);
    std::ofstream(stage / "config.xml")
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config><language>简体中文</language>"
        << "<languagelist><language><text>简体中文</text><file>chinese.xml</file></language>"
        << "</languagelist><search_interval>30</search_interval><interfaces><interface>" << pc_if
        << "</interface></interfaces></config>\n";

    int display = 150;
    while (std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock")) ++display;
    const std::string name = ":" + std::to_string(display);
    auto xvfb = lab->Spawn("", {"Xvfb", name, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    ASSERT_TRUE(testing::WaitUntil(
        [&] { return std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)); }));
    auto window = lab->Spawn(lab->pc_namespace(),
                             {"env", "DISPLAY=" + name, "QT_QPA_PLATFORM=xcb", "sh", "-c",
                              "cd \"$0\" && exec \"$1\"", stage.string(), QUORVEX_WINDOW_PATH});

    qputenv("DISPLAY", name.c_str());
    int argc = 3;
    char arg0[] = "screen", arg1[] = "-platform", arg2[] = "xcb";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    QGuiApplication screen_reader(argc, argv);
    // The built-in texts and this pack are Chinese: no glyph may be the missing box.
    QTextLayout layout(QStringLiteral("语言 网络配置 刷新摄像机列表"));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    ASSERT_FALSE(layout.glyphRuns().isEmpty());
    for (const QGlyphRun& run : layout.glyphRuns()) EXPECT_FALSE(run.glyphIndexes().contains(0u));
    QImage image;
    QRect box;
    std::set<QRgb> colours;
    int list_text = 0;  // dark pixels of camera rows in the list area, below the header
    auto capture = [&] {
        image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        box = QRect();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if ((image.pixel(x, y) & 0xFFFFFF) != 0) box |= QRect(x, y, 1, 1);  // not the root
            }
        }
        colours.clear();
        list_text = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                const QRgb rgb = image.pixel(x, y);
                colours.insert(rgb);
                list_text += y >= box.top() + 80 && y <= box.top() + 300 && x >= box.left() + 20 &&
                             x <= box.left() + 600 && qRed(rgb) < 96 && qGreen(rgb) < 96 &&
                             qBlue(rgb) < 96;
            }
        }
        return box.width() > 900 && box.height() > 500;
    };
    ASSERT_TRUE(testing::WaitUntil(capture, std::chrono::seconds(20))) << "no window on screen";
    // Until the cameras are listed.
    EXPECT_TRUE(
        testing::WaitUntil([&] { return capture() && list_text > 300; }, std::chrono::seconds(20)))
        << "the list looks empty";
    EXPECT_TRUE(window.Running());
    // Its own default size (no window manager here to maximise it), within
    // the screen: no longer a fixed dialog.
    EXPECT_NEAR(box.width(), 1000, 4);
    EXPECT_NEAR(box.height(), 620, 4);
    EXPECT_GT(colours.size(), 50u);
    window.Stop();
    xvfb.Stop();
}

}  // namespace
}  // namespace quorvex
