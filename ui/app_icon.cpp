#include "ui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace quorvex {

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(0x2b, 0x8f, 0xd6));
    tile.setColorAt(1, QColor(0x17, 0x5a, 0x9c));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Discovery waves above the lens.
    QPen wave(QColor(255, 255, 255, 200), 3.2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(wave);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 2; ++i) {
        const double r = 10.0 + 7.0 * i;
        p.drawArc(QRectF(44 - r, 20 - r, 2 * r, 2 * r), 20 * 16, 50 * 16);
    }

    // Camera body and lens.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xf7, 0xfb));
    p.drawRoundedRect(QRectF(10, 24, 36, 28), 6, 6);
    QPainterPath mount;
    mount.addRoundedRect(QRectF(16, 19, 12, 7), 2, 2);
    p.drawPath(mount);
    QRadialGradient lens(QPointF(27, 37), 11);
    lens.setColorAt(0, QColor(0x3a, 0x4b, 0x5c));
    lens.setColorAt(1, QColor(0x10, 0x1a, 0x24));
    p.setBrush(lens);
    p.drawEllipse(QPointF(28, 38), 9.5, 9.5);
    p.setBrush(QColor(0x5c, 0xc8, 0xff));
    p.drawEllipse(QPointF(28, 38), 3.6, 3.6);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QPointF(25, 35), 1.8, 1.8);
    p.setBrush(QColor(0x4c, 0xd9, 0x64));
    p.drawEllipse(QPointF(41, 29), 2, 2);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(DrawIcon(size));
    return icon;
}

}  // namespace quorvex
