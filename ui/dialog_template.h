#pragma once

// Helpers that lay a window out the way its dialog template does: positions
// and sizes in dialog units, each control carrying its resource id.

#include <QDialog>
#include <QLabel>
#include <QRect>
#include <QWidget>

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

// A hidden line under a field for why its value is refused, plain text in
// red, carrying the given id.
inline QLabel* ProblemLabel(QWidget* parent, int id) {
    auto* label = new QLabel(parent);
    SetControlId(label, id);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QStringLiteral("color: #b00000;"));
    label->hide();
    return label;
}

}  // namespace quorvex
