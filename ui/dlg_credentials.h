#pragma once

// One prompt for the user name and password a batch of changes is sent with
// (matching several cameras at once). A field left blank gives none, so that
// each camera's own (a binary answer carries them) counts. A value that the
// text protocol could not carry says why under its field and OK waits.

#include <QDialog>

#include "search/credentials.h"

class QLabel;
class QLineEdit;

namespace quorvex {

class LanguageX;

class DlgCredentials : public QDialog {
    Q_OBJECT

public:
    explicit DlgCredentials(LanguageX& language, QWidget* parent = nullptr);

    // Complete after an OK result.
    const Credentials& Given() const { return given_; }

private:
    bool ShowProblems();
    void OnOk();

    LanguageX& language_;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* user_problem_ = nullptr;
    QLabel* password_problem_ = nullptr;
    Credentials given_;
};

}  // namespace quorvex
