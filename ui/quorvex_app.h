#pragma once

// The application object: owns the one language pack that every window
// applies to itself, loads the language chosen in "config.xml" and runs the
// main window until it closes.

#include "config/language_x.h"
#include "ui/qt_language_surface.h"

namespace quorvex {

class CQuorvexApp {
public:
    CQuorvexApp();
    CQuorvexApp(const CQuorvexApp&) = delete;
    CQuorvexApp& operator=(const CQuorvexApp&) = delete;

    // Prepares the toolkit (style, dialog font), loads the language and runs
    // the main window modally. Returns false: the program ends with the window.
    bool InitInstance();
    // The process exit code.
    int ExitInstance() { return 0; }

    // Chooses the language file from "config.xml" and loads it into the pack.
    void LoadCurrentLanguage() { language_.LoadCurrentLanguage(); }
    LanguageX& Language() { return language_; }

private:
    QtLanguageSurface surface_;
    LanguageX language_;
};

}  // namespace quorvex
