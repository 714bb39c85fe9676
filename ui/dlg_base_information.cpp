#include "ui/dlg_base_information.h"

#include <QLabel>
#include <QPushButton>

#include "config/language_x.h"
#include "ui/dialog_template.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"

namespace quorvex {

DlgBaseInformation::DlgBaseInformation(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("基本属性"));
    FixDialogSize(this, 179, 67);

    auto* system_label = new QLabel(QStringLiteral("系统固件版本"), this);
    PlaceControl(system_label, IDC_SYSTEM_VERSION_LABEL, 15, 14, 76, 8);
    system_version_ = new QLabel(QStringLiteral("  1.0.0.1"), this);
    PlaceControl(system_version_, IDC_SYSTEM_VERSION, 98, 12, 61, 12);
    auto* app_label = new QLabel(QStringLiteral("应用固件版本"), this);
    PlaceControl(app_label, IDC_APP_VERSION_LABEL, 15, 27, 76, 8);
    app_version_ = new QLabel(QStringLiteral("  1.0.0.1"), this);
    PlaceControl(app_version_, IDC_APP_VERSION, 98, 26, 61, 12);
    for (QLabel* version : {system_version_, app_version_}) {
        version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    PlaceControl(ok, IDOK, 108, 41, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
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
    system_version_->setText(FieldText(entry_.info.software_version));
    app_version_->setText(FieldText(entry_.info.web_version));
}

}  // namespace quorvex
