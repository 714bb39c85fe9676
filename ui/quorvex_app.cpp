#include "ui/quorvex_app.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>

#include "ui/app_icon.h"
#include "ui/quorvex_dlg.h"

namespace quorvex {

CQuorvexApp::CQuorvexApp() {
    language_.SetSurface(&surface_);
}

bool CQuorvexApp::InitInstance() {
    // The templates are laid out for a 9 point dialog font; one style on
    // every desktop keeps the controls the size the layout expects.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
    QApplication::setWindowIcon(AppIcon());

    LoadCurrentLanguage();
    {
        CQuorvexDlg main_window(*this);
        main_window.exec();
    }
    return false;
}

}  // namespace quorvex
