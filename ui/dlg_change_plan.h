#pragma once

// Shows a change plan before anything is sent: a summary (how many cameras
// change, how many do not and why, which values change), then per camera
// every value that changes, old -> new, or why it is left alone, and the
// addresses a batch skipped. OK sends, Cancel sends nothing; OK is off when
// no camera would change.
//
// No key accepts the plan: OK is neither the default nor an auto-default
// button and the focus starts in the text, so Enter or Space typed before
// the dialog appeared (still queued for the window) cannot send anything.
// Only a click on OK, or Tab to it and then Space, does.

#include <QDialog>
#include <QString>

#include "search/change_planner.h"

class QPlainTextEdit;
class QPushButton;

namespace quorvex {

class LanguageX;

class DlgChangePlan : public QDialog {
    Q_OBJECT

public:
    // At most this many skipped addresses are listed one by one.
    static constexpr std::size_t kSkippedShown = 50;

    DlgChangePlan(LanguageX& language, const ChangePlan& plan, QWidget* parent = nullptr);

    // The plan as shown, one line each.
    QString PlanText() const;

private:
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace quorvex
