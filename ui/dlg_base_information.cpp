#include "ui/dlg_base_information.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/language_x.h"
#include "ui/dialog_template.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"

namespace quorvex {

DlgBaseInformation::DlgBaseInformation(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("基本属性"));

    auto* grid = new QGridLayout;
    auto add = [&](const QString& label_text, int label_id, int value_id) {
        auto* label = new QLabel(label_text, this);
        SetControlId(label, label_id);
        auto* value = new QLabel(this);
        SetControlId(value, value_id);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
        return value;
    };
    name_ = add(QStringLiteral("Device name"), IDC_NAME_LABEL, IDC_NAME);
    own_address_ = add(QStringLiteral("Own address"), IDC_OWN_ADDRESS_LABEL, IDC_OWN_ADDRESS);
    own_mask_ = add(QStringLiteral("Own subnet mask"), IDC_OWN_MASK_LABEL, IDC_OWN_MASK);
    mac_ = add(QStringLiteral("MAC address"), IDC_MAC_LABEL, IDC_MAC);
    system_version_ =
        add(QStringLiteral("系统固件版本"), IDC_SYSTEM_VERSION_LABEL, IDC_SYSTEM_VERSION);
    app_version_ = add(QStringLiteral("应用固件版本"), IDC_APP_VERSION_LABEL, IDC_APP_VERSION);
    grid->setColumnStretch(1, 1);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok, IDOK);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void DlgBaseInformation::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void DlgBaseInformation::OnInitDialog() {
    language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_BASEINFO);
    system_version_->setText(DeviceFieldText(entry_.info.software_version));
    app_version_->setText(DeviceFieldText(entry_.info.web_version));
    name_->setText(DeviceNameText(entry_.info));
    own_address_->setText(DeviceFieldText(entry_.info.ip));
    own_mask_->setText(DeviceFieldText(entry_.info.mask));
    mac_->setText(QString::fromStdString(DeviceKey(entry_.info)));
    adjustSize();
}

}  // namespace quorvex
