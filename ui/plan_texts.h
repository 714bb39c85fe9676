#pragma once

// A change plan in the pack's words: the summary first (how many cameras
// change, how many do not and why, which values change), then each camera
// with every value that changes, old -> new, or the reason it is left alone,
// and its warnings.

#include <QString>
#include <QStringList>

#include "search/change_planner.h"

namespace quorvex {

class LanguageX;

QString FieldUiText(const LanguageX& language, PlanField field);
// Why a camera is not changed, or what its warning says; `standard` for a
// camera changed through its device service.
QString IssueUiText(const LanguageX& language, const PlanIssue& issue, bool standard = false);
// At most `skipped_shown` skipped addresses are listed one by one.
// "192.168.1.254/24 on eth0", in the pack's words.
QString TemporaryUiText(const LanguageX& language, const TemporaryAddressPlan& plan);
QStringList PlanLines(const LanguageX& language, const ChangePlan& plan, std::size_t skipped_shown);

}  // namespace quorvex
