#include "ui/dlg_change_plan.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/language_x.h"
#include "ui/dialog_template.h"
#include "ui/record_text.h"
#include "ui/resource_ids.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

QString Address(std::uint32_t address) {
    return QString::fromStdString(AddressText(address));
}

}  // namespace

DlgChangePlan::DlgChangePlan(LanguageX& language, const SearchBusiness::BatchPlan& plan,
                             QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(UiText(language, IDS_PLAN_TITLE));
    QStringList lines;
    for (const SearchBusiness::PlannedCamera& move : plan.moves) {
        const DeviceInfo& info = move.entry.info;
        lines << UiText(language, IDS_PLAN_MOVE)
                     .arg(QString::fromStdString(DeviceKey(info)), DeviceNameText(info),
                          DeviceFieldText(info.ip), Address(move.address));
    }
    for (std::size_t i = 0; i < plan.skipped.size() && i < kSkippedShown; ++i) {
        lines << UiText(language, IDS_PLAN_SKIP)
                     .arg(Address(plan.skipped[i].address),
                          VerdictUiText(language, plan.skipped[i].why));
    }
    if (plan.skipped.size() > kSkippedShown)
        lines << UiText(language, IDS_PLAN_MORE_SKIPPED).arg(plan.skipped.size() - kSkippedShown);
    for (const DeviceEntry& entry : plan.unplaced) {
        lines << UiText(language, IDS_PLAN_UNPLACED)
                     .arg(QString::fromStdString(DeviceKey(entry.info)),
                          DeviceNameText(entry.info));
    }
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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), IDOK);
    SetControlId(buttons->button(QDialogButtonBox::Cancel), IDCANCEL);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!plan.moves.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(question);
    layout->addWidget(buttons);
}

QString DlgChangePlan::PlanText() const {
    return text_->toPlainText();
}

}  // namespace quorvex
