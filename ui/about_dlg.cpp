#include "ui/about_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "config/language_x.h"
#include "ui/app_icon.h"
#include "ui/dialog_template.h"
#include "ui/resource_ids.h"

namespace quorvex {

CAboutDlg::CAboutDlg(LanguageX& language, QWidget* parent) : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("关于 Quorvex"));

    auto* icon = new QLabel(this);
    SetControlId(icon, IDC_STATIC);
    const int side = fontMetrics().height() * 2;
    icon->setPixmap(AppIcon().pixmap(side, side));

    version_ = new QLabel(QStringLiteral("Quorvex，%1 版"), this);
    SetControlId(version_, IDC_ABOUT_VERSION);
    version_->setTextFormat(Qt::PlainText);
    auto* second = new QLabel(QStringLiteral("网络摄像机搜索与配置工具"), this);
    SetControlId(second, IDC_ABOUT_SECOND_LINE);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok, IDOK);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version_, 0, 1);
    layout->addWidget(second, 1, 1);
    layout->addWidget(ok, 2, 1, Qt::AlignRight);
    layout->setColumnStretch(1, 1);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_ABOUTBOX);
        // The pack words the line; the build names the version.
        if (version_->text().contains(QStringLiteral("%1")))
            version_->setText(version_->text().arg(QStringLiteral(QUORVEX_VERSION)));
        adjustSize();
    }
    QDialog::showEvent(event);
}

}  // namespace quorvex
