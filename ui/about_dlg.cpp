#include "ui/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "config/language_x.h"
#include "ui/app_icon.h"
#include "ui/dialog_template.h"
#include "ui/resource_ids.h"

namespace quorvex {

CAboutDlg::CAboutDlg(LanguageX& language, QWidget* parent) : QDialog(parent), language_(language) {
    setWindowTitle(QStringLiteral("关于 Quorvex"));
    FixDialogSize(this, 170, 62);

    auto* icon = new QLabel(this);
    PlaceControl(icon, IDC_STATIC, 14, 14, 20, 20);
    icon->setPixmap(AppIcon().pixmap(icon->size()));

    auto* version = new QLabel(QStringLiteral("Quorvex，1.0 版"), this);
    PlaceControl(version, IDC_ABOUT_VERSION, 42, 14, 114, 8);
    version->setTextFormat(Qt::PlainText);
    auto* second = new QLabel(QStringLiteral("网络摄像机搜索与配置工具"), this);
    PlaceControl(second, IDC_ABOUT_SECOND_LINE, 42, 26, 114, 8);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    PlaceControl(ok, IDOK, 113, 41, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        language_.ApplyDialog(nullptr, nullptr, static_cast<QWidget*>(this), IDD_ABOUTBOX);
    }
    QDialog::showEvent(event);
}

}  // namespace quorvex
