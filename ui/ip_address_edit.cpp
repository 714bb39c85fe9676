#include "ui/ip_address_edit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <cstdio>

#include "core/device_records.h"

namespace quorvex {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(6);  // room for the dot drawn between two fields

    // Refusing out-of-range input as it is typed keeps every field 0..255, so
    // nothing later has to clamp or reject what the control reads back.
    static const QRegularExpression octet(
        QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?$"));
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setValidator(new QRegularExpressionValidator(octet, field));
        field->setAutoFillBackground(false);
        field->setMinimumSize(0, 0);
        field->setContentsMargins(0, 0, 0, 0);
        field->setTextMargins(0, 0, 0, 0);
        field->installEventFilter(this);
        layout->addWidget(field, 1);
        fields_[i] = field;
        const int index = static_cast<int>(i);
        connect(field, &QLineEdit::textEdited, this, [this, index](const QString& text) {
            if (text.size() == 3 && index < 3) FocusField(index + 1, false);
        });
    }
    setFocusProxy(fields_[0]);
    UpdateBackground();
}

void IpAddressEdit::SetAddress(std::uint32_t address_host_order) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const unsigned value = (address_host_order >> (24 - 8 * i)) & 0xFFu;
        fields_[i]->setText(QString::number(value));
    }
}

bool IpAddressEdit::SetAddressText(std::string_view text) {
    std::uint32_t address = 0;
    if (!ParseAddress(text, address)) {
        ClearAddress();
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    SetAddress((std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]});
    return true;
}

void IpAddressEdit::ClearAddress() {
    for (QLineEdit* field : fields_) field->clear();
}

std::array<int, 4> IpAddressEdit::Fields() const {
    std::array<int, 4> values{};
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        bool ok = false;
        const int value = fields_[i]->text().toInt(&ok);
        // Text set from outside (a language pack names inner windows by id 0)
        // bypasses the validator, so the range is checked here as well.
        values[i] = ok && value >= 0 && value <= 255 ? value : 0;
    }
    return values;
}

std::string IpAddressEdit::AddressText() const {
    const std::array<int, 4> v = Fields();
    char text[16] = {};
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    return text;
}

bool IpAddressEdit::IsBlank() const {
    for (const QLineEdit* field : fields_) {
        if (!field->text().isEmpty()) return false;
    }
    return true;
}

void IpAddressEdit::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    for (std::size_t i = 0; i + 1 < fields_.size(); ++i) {
        const QRect left = fields_[i]->geometry();
        const QRect right = fields_[i + 1]->geometry();
        const QRect gap(left.right() + 1, left.top(), right.left() - left.right() - 1,
                        left.height());
        painter.drawText(gap, Qt::AlignCenter, QStringLiteral("."));
    }
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);

    auto* key = static_cast<QKeyEvent*>(event);
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    switch (key->key()) {
        case Qt::Key_Period:
        case Qt::Key_Space:
            if (index < 3 && !field->text().isEmpty()) FocusField(index + 1, false);
            return true;
        case Qt::Key_Backspace:
            if (index > 0 && field->cursorPosition() == 0 && !field->hasSelectedText()) {
                FocusField(index - 1, false);
                QLineEdit* previous = fields_[static_cast<std::size_t>(index - 1)];
                previous->deselect();
                previous->end(false);
                return true;
            }
            break;
        case Qt::Key_Left:
            if (index > 0 && field->cursorPosition() == 0 && !field->hasSelectedText()) {
                FocusField(index - 1, false);
                fields_[static_cast<std::size_t>(index - 1)]->end(false);
                return true;
            }
            break;
        case Qt::Key_Right:
            if (index < 3 && field->cursorPosition() == field->text().size() &&
                !field->hasSelectedText()) {
                FocusField(index + 1, true);
                return true;
            }
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

void IpAddressEdit::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) UpdateBackground();
}

void IpAddressEdit::FocusField(int index, bool at_start) {
    QLineEdit* field = fields_[static_cast<std::size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (at_start) {
        field->home(false);
    } else {
        field->selectAll();
    }
}

int IpAddressEdit::IndexOf(const QObject* field) const {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i] == field) return static_cast<int>(i);
    }
    return -1;
}

void IpAddressEdit::UpdateBackground() {
    // The frame looks like one edit: the edit colour while enabled, the
    // window colour when greyed out.
    setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
    update();
}

}  // namespace quorvex
