#include <gtest/gtest.h>

#include <QApplication>
#include <QGlyphRun>
#include <QImage>
#include <QLabel>
#include <QTextLayout>

namespace quorvex {
namespace {

// Every glyph of `text` in the window font, with fallback fonts; glyph 0 is
// the font's "missing" box.
bool EveryGlyphFound(const QString& text) {
    QTextLayout layout(text, QApplication::font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int glyphs = 0;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (quint32 index : run.glyphIndexes()) {
            if (index == 0) return false;
            ++glyphs;
        }
    }
    return glyphs == static_cast<int>(text.toUcs4().size());
}

int InkedPixels(const QString& text) {
    QLabel label(text);
    label.setAutoFillBackground(true);
    label.setStyleSheet(QStringLiteral("background: white; color: black;"));
    label.resize(200, 30);
    const QImage image = label.grab().toImage();
    int inked = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) inked += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    return inked;
}

TEST(ChineseText, RendersWithRealGlyphsNotMissingBoxes) {
    // The default texts of every dialog are Chinese, and so is a shipped pack.
    const QString chinese = QStringLiteral("语言 网络配置 刷新摄像机列表");
    EXPECT_TRUE(EveryGlyphFound(chinese)) << "no font with Chinese glyphs (fonts-wqy-microhei)";
    EXPECT_FALSE(EveryGlyphFound(QStringLiteral("A\U0010FFFD")));  // private use: no font has it
    EXPECT_GT(InkedPixels(chinese), 100);
}

}  // namespace
}  // namespace quorvex
