#pragma once

// The about dialog.

#include <QDialog>

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
    bool initialised_ = false;
};

}  // namespace quorvex
