#include "ui/dlg_change_plan.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/language_x.h"
#include "ui/dialog_template.h"
#include "ui/plan_texts.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {

DlgChangePlan::DlgChangePlan(LanguageX& language, const ChangePlan& plan, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(UiText(language, IDS_PLAN_TITLE));
    const QStringList lines = PlanLines(language, plan, kSkippedShown);
    text_ = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
    SetControlId(text_, IDC_PLAN_TEXT);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Wide enough for the longest line, up to a point; long plans scroll.
    const QFontMetrics metrics = text_->fontMetrics();
    int widest = metrics.averageCharWidth() * 60;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    const int shown_lines = std::min<int>(static_cast<int>(lines.size()), 20) + 2;
    text_->setMinimumSize(
        std::min(widest, metrics.averageCharWidth() * 120) + metrics.averageCharWidth() * 4,
        metrics.lineSpacing() * shown_lines);
    auto* question = new QLabel(UiText(language, IDS_PLAN_QUESTION), this);
    SetControlId(question, IDC_PLAN_QUESTION);
    // Plain buttons: a button box would make OK the default as it is shown.
    auto* ok = new QPushButton(UiText(language, IDS_PLAN_SEND), this);
    auto* cancel = new QPushButton(UiText(language, IDS_PLAN_CANCEL), this);
    SetControlId(ok, IDOK);
    SetControlId(cancel, IDCANCEL);
    for (QPushButton* button : {ok, cancel}) button->setAutoDefault(false);
    ok->setEnabled(plan.Planned() > 0);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(question);
    layout->addLayout(buttons);
    text_->setFocus(Qt::OtherFocusReason);
}

QString DlgChangePlan::PlanText() const {
    return text_->toPlainText();
}

}  // namespace quorvex
