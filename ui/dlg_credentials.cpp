#include "ui/dlg_credentials.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/language_x.h"
#include "core/device_records.h"
#include "search/wire_value.h"
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
    user_ = new QLineEdit(this);
    SetControlId(user_, IDC_USER);
    password_ = new QLineEdit(this);
    SetControlId(password_, IDC_PASSWORD);
    password_->setEchoMode(QLineEdit::Password);
    user_problem_ = ProblemLabel(this, IDC_USER_PROBLEM);
    password_problem_ = ProblemLabel(this, IDC_PASSWORD_PROBLEM);
    for (QLineEdit* field : {user_, password_})
        connect(field, &QLineEdit::textEdited, this, [this] { ShowProblems(); });

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
    layout->addLayout(form);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

bool DlgCredentials::ShowProblems() {
    bool fine = true;
    for (const auto& [field, label] :
         {std::pair{user_, user_problem_}, std::pair{password_, password_problem_}}) {
        // The cameras of a batch may speak the text protocol, whose header
        // takes the narrowest values.
        const QString problem = WireProblemUiText(
            language_, CheckCredential(field->text().toStdString(), kProtocolText));
        label->setText(problem);
        label->setVisible(!problem.isEmpty());
        fine = fine && problem.isEmpty();
    }
    return fine;
}

void DlgCredentials::OnOk() {
    if (!ShowProblems()) return;
    given_ = {};
    if (!user_->text().isEmpty()) given_.user = user_->text().toStdString();
    if (!password_->text().isEmpty()) given_.password = password_->text().toStdString();
    accept();
}

}  // namespace quorvex
