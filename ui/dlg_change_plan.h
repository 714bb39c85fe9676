#pragma once

// Shows a plan of address changes before anything is sent: which camera gets
// which address, which addresses were skipped and why, which cameras stay
// where they are because no free address was left. OK sends, Cancel sends
// nothing.

#include <QDialog>
#include <QString>

#include "search/search_business.h"

class QPlainTextEdit;

namespace quorvex {

class LanguageX;

class DlgChangePlan : public QDialog {
    Q_OBJECT

public:
    // At most this many skipped addresses are listed one by one.
    static constexpr std::size_t kSkippedShown = 50;

    DlgChangePlan(LanguageX& language, const SearchBusiness::BatchPlan& plan,
                  QWidget* parent = nullptr);

    // The plan as shown, one line per move, skip and camera left.
    QString PlanText() const;

private:
    QPlainTextEdit* text_ = nullptr;
};

}  // namespace quorvex
