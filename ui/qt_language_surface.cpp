#include "ui/qt_language_surface.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QWidget>

#include "ui/dialog_template.h"

namespace quorvex {

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* AsWidget(LanguageSurface::Handle handle) {
    return static_cast<QWidget*>(handle);
}

}  // namespace

void QtLanguageSurface::SetDialogTitle(Handle dialog, std::u16string_view text) {
    if (dialog == nullptr) return;
    AsWidget(dialog)->setWindowTitle(ToQString(text));
    // A pack's caption may be longer than the one the layout was made for.
    KeepTitleWhole(AsWidget(dialog));
}

std::vector<LanguageSurface::Control> QtLanguageSurface::Controls(Handle dialog) {
    std::vector<Control> controls;
    if (dialog == nullptr) return controls;
    const QList<QWidget*> widgets = AsWidget(dialog)->findChildren<QWidget*>();
    controls.reserve(static_cast<std::size_t>(widgets.size()));
    for (QWidget* widget : widgets) controls.push_back(Control{widget, ControlId(widget)});
    return controls;
}

void QtLanguageSurface::SetControlText(Handle control, std::u16string_view text) {
    if (control == nullptr) return;
    QWidget* widget = AsWidget(control);
    const QString value = ToQString(text);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(value);
    } else {
        widget->setWindowTitle(value);
    }
}

bool QtLanguageSurface::ReplaceMenuItem(Handle popup, int position, int command_id,
                                        std::u16string_view text) {
    auto* menu = qobject_cast<QMenu*>(AsWidget(popup));
    if (menu == nullptr) return false;
    const QList<QAction*> actions = menu->actions();
    if (position < 0 || position >= actions.size()) return false;
    QAction* item = actions[position];
    item->setSeparator(false);
    item->setText(ToQString(text));
    item->setData(command_id);
    return true;
}

}  // namespace quorvex
