#include "ui/plan_texts.h"

#include <map>

#include "core/device_records.h"
#include "ui/record_text.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

// Indents are the layout's, not the pack's: a pack's texts lose their
// leading blanks as it is read.
const QString kReasonIndent = QStringLiteral("  ");
const QString kValueIndent = QStringLiteral("    ");

QString CameraName(const DeviceInfo& info) {
    return DeviceNameText(info);
}

QString ValueText(const LanguageX& language, const ValueChange& change, const std::string& value) {
    if (value.empty()) return UiText(language, IDS_PLAN_NO_VALUE);
    if (change.field == PlanField::dhcp) {
        const QStringList words = UiText(language, IDS_PLAN_ON_OFF).split(QLatin1Char('|'));
        if (words.size() == 2) return words[value == "off" ? 0 : 1];
    }
    return QString::fromStdString(value);
}

}  // namespace

QString FieldUiText(const LanguageX& language, PlanField field) {
    switch (field) {
        case PlanField::ip:
            return UiText(language, IDS_FIELD_IP);
        case PlanField::mask:
            return UiText(language, IDS_FIELD_MASK);
        case PlanField::gateway:
            return UiText(language, IDS_FIELD_GATEWAY);
        case PlanField::dns1:
            return UiText(language, IDS_FIELD_DNS1);
        case PlanField::dns2:
            return UiText(language, IDS_FIELD_DNS2);
        case PlanField::http_port:
            return UiText(language, IDS_FIELD_HTTP_PORT);
        case PlanField::dhcp:
            return UiText(language, IDS_FIELD_DHCP);
        case PlanField::user:
            return UiText(language, IDS_FIELD_USER);
        case PlanField::password:
        case PlanField::none:
            break;
    }
    return UiText(language, IDS_FIELD_PASSWORD);
}

QString IssueUiText(const LanguageX& language, const PlanIssue& issue, bool standard) {
    const QString field = FieldUiText(language, issue.field);
    switch (issue.problem) {
        case PlanProblem::none:
            return {};
        case PlanProblem::not_configurable:
            return UiText(language, IDS_ISSUE_NOT_CONFIGURABLE);
        case PlanProblem::in_conflict:
            return UiText(language, IDS_ISSUE_IN_CONFLICT);
        case PlanProblem::already_inside:
            return UiText(language, IDS_ISSUE_ALREADY_INSIDE);
        case PlanProblem::no_interface:
            return UiText(language, IDS_ISSUE_NO_INTERFACE);
        case PlanProblem::no_free_address:
            return UiText(language, IDS_ISSUE_NO_FREE_ADDRESS);
        case PlanProblem::bad_address:
            return UiText(language, IDS_ISSUE_BAD_VALUE)
                .arg(field, VerdictUiText(language, issue.verdict));
        case PlanProblem::bad_value:
            return UiText(language, IDS_ISSUE_BAD_VALUE)
                .arg(field, WireProblemUiText(language, issue.wire));
        case PlanProblem::gateway_outside:
            return UiText(language, IDS_GATEWAY_OUTSIDE);
        case PlanProblem::gateway_is_address:
            return UiText(language, IDS_ISSUE_GATEWAY_IS_ADDRESS);
        case PlanProblem::no_mask:
            return UiText(language, IDS_ISSUE_NO_MASK);
        case PlanProblem::password_needed:
            return UiText(language, standard || issue.field == PlanField::user
                                        ? IDS_ISSUE_CREDENTIALS_STANDARD
                                        : IDS_ISSUE_PASSWORD_NEEDED);
        case PlanProblem::forced:
            return UiText(language, IDS_ISSUE_FORCED)
                .arg(field, VerdictUiText(language, issue.verdict));
        case PlanProblem::named_in_conflict:
            return UiText(language, IDS_ISSUE_NAMED_IN_CONFLICT);
        case PlanProblem::needs_temporary_address:
            return UiText(language, IDS_ISSUE_NEEDS_TEMPORARY);
    }
    return UiText(language, IDS_ISSUE_NO_FREE_ADDRESS);
}

QString TemporaryUiText(const LanguageX& language, const TemporaryAddressPlan& plan) {
    return UiText(language, IDS_TEMPORARY_ON)
        .arg(QString::fromStdString(AddressText(plan.address) + "/" +
                                    std::to_string(plan.prefix_length)),
             QString::fromStdString(plan.interface_name));
}

QStringList PlanLines(const LanguageX& language, const ChangePlan& plan,
                      std::size_t skipped_shown) {
    QStringList lines;
    lines << UiText(language, IDS_PLAN_SUMMARY).arg(plan.Planned()).arg(plan.Refused());
    // Each reason once, with how many cameras it keeps where they are.
    std::map<QString, int> why;
    std::map<PlanField, bool> fields;
    for (const CameraPlan& camera : plan.cameras) {
        if (!camera.settings) ++why[IssueUiText(language, camera.refusal, camera.standard)];
        for (const ValueChange& change : camera.changes) fields[change.field] = true;
    }
    for (const auto& [reason, count] : why)
        lines << kReasonIndent + UiText(language, IDS_PLAN_SUMMARY_WHY).arg(count).arg(reason);
    QStringList changing;
    for (const auto& [field, unused] : fields) changing << FieldUiText(language, field);
    if (!changing.isEmpty())
        lines << UiText(language, IDS_PLAN_SUMMARY_VALUES).arg(changing.join(QStringLiteral(", ")));
    if (!plan.skipped.empty())
        lines << UiText(language, IDS_PLAN_SKIPPED_COUNT).arg(plan.skipped.size());
    lines << QString();

    for (const CameraPlan& camera : plan.cameras) {
        const DeviceInfo& info = camera.device.entry.info;
        // A standard camera whose MAC discovery did not tell goes by its
        // WS-Discovery key, as in the list.
        const QString key = QString::fromStdString(PlanKey(camera.device));
        if (!camera.settings) {
            lines << UiText(language, IDS_PLAN_REFUSED)
                         .arg(key, CameraName(info),
                              IssueUiText(language, camera.refusal, camera.standard));
            continue;
        }
        lines << UiText(language, IDS_PLAN_MOVE)
                     .arg(key, CameraName(info), DeviceFieldText(info.ip),
                          DeviceFieldText(camera.settings->ip));
        for (const ValueChange& change : camera.changes) {
            if (change.field == PlanField::password) continue;  // never shown
            lines << kValueIndent + UiText(language, IDS_PLAN_VALUE)
                                        .arg(FieldUiText(language, change.field),
                                             ValueText(language, change, change.before),
                                             ValueText(language, change, change.after));
        }
        if (camera.temporary)
            lines << kValueIndent + UiText(language, IDS_PLAN_TEMPORARY)
                                        .arg(TemporaryUiText(language, *camera.temporary));
        for (const PlanIssue& warning : camera.warnings)
            lines << kValueIndent +
                         UiText(language, IDS_PLAN_WARNING).arg(IssueUiText(language, warning));
    }
    for (std::size_t i = 0; i < plan.skipped.size() && i < skipped_shown; ++i) {
        lines << UiText(language, IDS_PLAN_SKIP)
                     .arg(QString::fromStdString(AddressText(plan.skipped[i].address)),
                          VerdictUiText(language, plan.skipped[i].why));
    }
    if (plan.skipped.size() > skipped_shown)
        lines << UiText(language, IDS_PLAN_MORE_SKIPPED).arg(plan.skipped.size() - skipped_shown);
    return lines;
}

}  // namespace quorvex
