#pragma once

// One prompt for the user name and password a batch of changes is sent with
// (matching several cameras at once). A field left blank gives none, so that
// each camera's own (a binary answer carries them) counts. Whether a value
// may go is the change planner's to say: a value some camera's protocol
// could not carry says why under its field and OK waits; so does a blank
// password while some camera needs one typed (a text camera's answer
// carries none), and the prompt says how many do. A camera changed through
// its device service needs both a user and a password typed.

#include <QDialog>
#include <functional>

#include "search/change_planner.h"
#include "search/credentials.h"

class QLabel;
class QLineEdit;

namespace quorvex {

class LanguageX;

class DlgCredentials : public QDialog {
    Q_OBJECT

public:
    explicit DlgCredentials(LanguageX& language, QWidget* parent = nullptr);

    // `cameras` of the change need a password typed; set before it opens.
    void SetPasswordNeeded(int cameras);
    // `cameras` of the change need a user and a password typed (their device
    // service wants an administrator's); set before it opens.
    void SetUserNeeded(int cameras);
    // Plans the change with `given` (without asking the link); without a
    // planner every value is taken.
    using Planner = std::function<ChangePlan(const Credentials& given)>;
    void SetPlanner(Planner planner) { planner_ = std::move(planner); }
    // Complete after an OK result.
    const Credentials& Given() const { return given_; }

private:
    // `final` also refuses a blank password that is needed.
    bool ShowProblems(bool final);
    Credentials Typed() const;
    void OnOk();

    LanguageX& language_;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* user_problem_ = nullptr;
    QLabel* password_problem_ = nullptr;
    QLabel* needed_ = nullptr;
    Planner planner_;
    void ShowNeeded();

    int password_needed_ = 0;
    int user_needed_ = 0;
    Credentials given_;
};

}  // namespace quorvex
