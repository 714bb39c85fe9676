#pragma once

// The about dialog: the version line names the version the program was
// built as (the project version), in the language pack's words ("%1").

#include <QDialog>

class QLabel;

namespace quorvex {

class LanguageX;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(LanguageX& language, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    LanguageX& language_;
    QLabel* version_ = nullptr;
    bool initialised_ = false;
};

}  // namespace quorvex
