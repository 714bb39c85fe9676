#include "ui/bitmap_static.h"

#include <QImageReader>
#include <QPainter>

namespace quorvex {

BitmapStatic::BitmapStatic(QWidget* parent) : QWidget(parent) {}

void BitmapStatic::LoadFromFile(const QString& path) {
    bitmap_ = QPixmap();
    width_ = 0;
    height_ = 0;

    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        update();
        return;
    }
    bitmap_ = QPixmap::fromImage(image);
    width_ = bitmap_.width();
    height_ = bitmap_.height();
    update();
}

void BitmapStatic::paintEvent(QPaintEvent*) {
    if (bitmap_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), bitmap_, QRect(0, 0, width_, height_));
}

}  // namespace quorvex
