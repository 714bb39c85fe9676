// quorvex: the window. It takes nothing from its command line; everything
// comes from its start-up directory ("config.xml", "Language/", the banner).

#include <QApplication>

#include "ui/quorvex_app.h"

int main(int argc, char** argv) {
    // Only the program name reaches the toolkit, so no argument can change
    // what the window does.
    int toolkit_argc = argc > 0 ? 1 : 0;
    char* toolkit_argv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication application(toolkit_argc, toolkit_argv);
    QApplication::setApplicationName(QStringLiteral("Quorvex"));
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));

    quorvex::CQuorvexApp app;
    app.InitInstance();
    return app.ExitInstance();
}
