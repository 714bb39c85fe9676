#pragma once

// Helpers that lay a window out the way its dialog template does: positions
// and sizes in dialog units, each control carrying its resource id.

#include <QBoxLayout>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QRect>
#include <QResizeEvent>
#include <QWidget>
#include <algorithm>

namespace quorvex {

// The dynamic property that holds a widget's resource id. A widget without it
// has id 0, like the inner windows of a composite control.
inline constexpr char kControlIdProperty[] = "controlId";

// Dialog units to pixels for the 9 point dialog font.
inline QRect DialogRect(int x, int y, int width, int height) {
    auto px = [](int units, double scale) { return static_cast<int>(units * scale + 0.5); };
    return QRect(px(x, 1.5), px(y, 1.6), px(width, 1.5), px(height, 1.6));
}

inline void SetControlId(QWidget* widget, int id) {
    widget->setProperty(kControlIdProperty, id);
}

inline int ControlId(const QWidget* widget) {
    const QVariant id = widget->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

// Places `widget` at its template rectangle and gives it its id.
inline void PlaceControl(QWidget* widget, int id, int x, int y, int width, int height) {
    SetControlId(widget, id);
    widget->setGeometry(DialogRect(x, y, width, height));
}

// Gives a dialog its template's client size; templates are not resizable.
inline void FixDialogSize(QDialog* dialog, int width, int height) {
    dialog->setFixedSize(DialogRect(0, 0, width, height).size());
}

// A word-wrapped label that asks its layout for the height of all its lines
// at the width it was given. A plain wrapped label asks for one line's
// height in a grid or a group box, and a dialog that keeps to its minimum
// size then cuts the second line at top and bottom.
class WrappedLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override {
        QSize size = QLabel::minimumSizeHint();
        if (wordWrap() && width() > 0)
            size.setHeight(std::max(size.height(), heightForWidth(width())));
        return size;
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        // A new width may need another number of lines.
        if (wordWrap() && event->oldSize().width() != event->size().width()) updateGeometry();
    }
};

// A hidden line under a field for why its value is refused, plain text in
// red, carrying the given id.
inline QLabel* ProblemLabel(QWidget* parent, int id) {
    auto* label = new WrappedLabel(parent);
    SetControlId(label, id);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QStringLiteral("color: #b00000;"));
    label->hide();
    return label;
}

// What a title bar holds besides the title: the icon, the window's buttons
// and their margins.
inline constexpr int kTitleBarRoom = 128;

// A zero-high line at the top of a window, as wide as the window's title
// needs, whatever the title is changed to later.
class TitleStrut : public QWidget {
public:
    explicit TitleStrut(QWidget* window) : QWidget(window) {
        setFixedHeight(0);
        window->installEventFilter(this);
        Fit();
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parentWidget() &&
            (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::FontChange))
            Fit();
        return false;
    }

private:
    void Fit() {
        QWidget* window = parentWidget();
        const QLayout* layout = window->layout();
        const int margins =
            layout != nullptr ? layout->contentsMargins().left() + layout->contentsMargins().right()
                              : 0;
        setMinimumWidth(window->fontMetrics().horizontalAdvance(window->windowTitle()) +
                        kTitleBarRoom - margins);
    }
};

// Keeps `window`, when a vertical box lays it out, wide enough for its whole
// title from now on: a title bar elides what does not fit, and a dialog that
// keeps to its minimum size is often narrower than its title.
inline void KeepTitleWhole(QWidget* window) {
    auto* box = qobject_cast<QBoxLayout*>(window->layout());
    if (box == nullptr || (box->direction() != QBoxLayout::TopToBottom &&
                           box->direction() != QBoxLayout::BottomToTop))
        return;
    // Named, as the class has no meta-object of its own to be found by.
    static constexpr char kName[] = "titleStrut";
    if (window->findChild<QWidget*>(kName, Qt::FindDirectChildrenOnly) != nullptr) return;
    auto* strut = new TitleStrut(window);
    strut->setObjectName(kName);
    box->insertWidget(0, strut);
}

}  // namespace quorvex
