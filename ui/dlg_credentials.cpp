#include "ui/dlg_credentials.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "config/language_x.h"
#include "core/device_records.h"
#include "ui/dialog_template.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {

DlgCredentials::DlgCredentials(LanguageX& language, QWidget* parent)
    : QDialog(parent), language_(language) {
    setWindowTitle(UiText(language_, IDS_CREDENTIALS_TITLE));
    auto* hint = new QLabel(UiText(language_, IDS_CREDENTIALS_HINT), this);
    SetControlId(hint, IDC_CREDENTIALS_HINT);
    hint->setWordWrap(true);
    hint->setTextFormat(Qt::PlainText);
    needed_ = new QLabel(this);
    SetControlId(needed_, IDC_CREDENTIALS_NEEDED);
    needed_->setWordWrap(true);
    needed_->setTextFormat(Qt::PlainText);
    needed_->hide();
    user_ = new QLineEdit(this);
    SetControlId(user_, IDC_USER);
    password_ = new QLineEdit(this);
    SetControlId(password_, IDC_PASSWORD);
    password_->setEchoMode(QLineEdit::Password);
    user_problem_ = ProblemLabel(this, IDC_USER_PROBLEM);
    password_problem_ = ProblemLabel(this, IDC_PASSWORD_PROBLEM);
    for (QLineEdit* field : {user_, password_})
        connect(field, &QLineEdit::textEdited, this, [this] { ShowProblems(false); });

    auto* form = new QFormLayout;
    form->addRow(UiText(language_, IDS_USER), user_);
    form->addRow(QString(), user_problem_);
    form->addRow(UiText(language_, IDS_PASSWORD), password_);
    form->addRow(QString(), password_problem_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), IDOK);
    SetControlId(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    connect(buttons, &QDialogButtonBox::accepted, this, &DlgCredentials::OnOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(needed_);
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    KeepTitleWhole(this);
}

void DlgCredentials::SetPasswordNeeded(int cameras) {
    password_needed_ = cameras;
    ShowNeeded();
}

void DlgCredentials::SetUserNeeded(int cameras) {
    user_needed_ = cameras;
    ShowNeeded();
}

void DlgCredentials::ShowNeeded() {
    QStringList lines;
    if (password_needed_ > 0)
        lines << UiText(language_, IDS_CREDENTIALS_NEEDED).arg(password_needed_);
    if (user_needed_ > 0) lines << UiText(language_, IDS_CREDENTIALS_STANDARD).arg(user_needed_);
    needed_->setText(lines.join(QLatin1Char('\n')));
    needed_->setVisible(!lines.isEmpty());
}

Credentials DlgCredentials::Typed() const {
    Credentials given;
    if (!user_->text().isEmpty()) given.user = user_->text().toStdString();
    if (!password_->text().isEmpty()) given.password = password_->text().toStdString();
    return given;
}

bool DlgCredentials::ShowProblems(bool final) {
    QString user_problem;
    QString password_problem;
    if (planner_) {
        for (const CameraPlan& camera : planner_(Typed()).cameras) {
            const PlanIssue& issue = camera.refusal;
            QString& problem = issue.field == PlanField::user ? user_problem : password_problem;
            if (issue.problem == PlanProblem::bad_value && problem.isEmpty())
                problem = WireProblemUiText(language_, issue.wire);
        }
    }
    if (final && user_needed_ > 0 && user_->text().isEmpty() && user_problem.isEmpty())
        user_problem = UiText(language_, IDS_CREDENTIALS_USER_REQUIRED).arg(user_needed_);
    const int password_needed = password_needed_ + user_needed_;
    if (final && password_needed > 0 && password_->text().isEmpty() && password_problem.isEmpty())
        password_problem = UiText(language_, IDS_CREDENTIALS_REQUIRED).arg(password_needed);
    for (const auto& [label, problem] :
         {std::pair{user_problem_, user_problem}, std::pair{password_problem_, password_problem}}) {
        label->setText(problem);
        label->setVisible(!problem.isEmpty());
    }
    return user_problem.isEmpty() && password_problem.isEmpty();
}

void DlgCredentials::OnOk() {
    if (!ShowProblems(true)) return;
    given_ = Typed();
    accept();
}

}  // namespace quorvex
