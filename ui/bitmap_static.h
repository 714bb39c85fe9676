#pragma once

// A static control that shows an image file stretched over its whole area,
// aspect ratio not kept. Its own text is never drawn.

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace quorvex {

class BitmapStatic : public QWidget {
    Q_OBJECT

public:
    explicit BitmapStatic(QWidget* parent = nullptr);

    // Replaces the held image by the file at `path`. The format is told by
    // the content, not the name (the banner is "mfc100rd.dll"). A missing,
    // unreadable or unknown file leaves the control holding nothing.
    void LoadFromFile(const QString& path);

    bool HasBitmap() const { return !bitmap_.isNull(); }
    int BitmapWidth() const { return width_; }
    int BitmapHeight() const { return height_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap bitmap_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace quorvex
