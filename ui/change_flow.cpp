#include "ui/change_flow.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <future>

#include "config/language_x.h"
#include "search/neighbour_probe.h"
#include "search/plan_facts.h"
#include "search/search_business.h"
#include "ui/dlg_change_plan.h"
#include "ui/dlg_credentials.h"
#include "ui/dlg_net_information.h"
#include "ui/record_text.h"
#include "ui/window_texts.h"

namespace quorvex {

namespace {

std::size_t CountRefused(const ChangePlan& plan, PlanProblem problem) {
    return static_cast<std::size_t>(std::count_if(
        plan.cameras.begin(), plan.cameras.end(),
        [problem](const CameraPlan& c) { return !c.settings && c.refusal.problem == problem; }));
}

// Clears the flag it guards when the flow ends, however it ends.
struct Busy {
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    bool& flag_;
};

}  // namespace

ChangeFlow::ChangeFlow(SearchBusiness& search, LanguageX& language, QWidget* parent,
                       DialogRunner run)
    : search_(search), language_(language), parent_(parent), run_(std::move(run)) {}

ChangePlan ChangeFlow::Plan(const ChangeRequest& request, int match_min, int match_max) {
    cancelled_ = false;
    return PlanChange(
        request, PlanFactsOf(search_, match_min, match_max),
        [this](const std::vector<std::uint32_t>& addresses) { return AskLink(addresses); });
}

std::set<std::uint32_t> ChangeFlow::AskLink(const std::vector<std::uint32_t>& addresses) {
    // The probe waits one patience in total; its thread is born in this
    // thread's network namespace.
    auto answer =
        std::async(std::launch::async, [addresses] { return NeighbourProbe().InUse(addresses); });
    QProgressDialog progress(UiText(language_, IDS_LINK_PROGRESS).arg(addresses.size()),
                             UiText(language_, IDS_PLAN_CANCEL), 0, 0, parent_);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kBlinkMs);
    progress.setValue(0);  // starts the blink: without a value the dialog waits its default 4 s
    QEventLoop loop;
    QTimer check;
    check.setInterval(10);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) loop.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] { cancelled_ = true; });
    check.start();
    // After a Cancel the probe is let finish (one patience at most) but its
    // answer is not used.
    loop.exec();
    std::set<std::uint32_t> found = answer.get();
    if (cancelled_) found.clear();
    return found;
}

bool ChangeFlow::Confirm(const ChangePlan& plan) {
    if (plan.Planned() <= 1 && plan.Refused() == 0 && plan.Clean()) return plan.Planned() == 1;
    DlgChangePlan shown(language_, plan, parent_);
    return run_(shown) == QDialog::Accepted && plan.Planned() > 0;
}

ChangeFlow::Outcome ChangeFlow::Match(const std::vector<DeviceUpdate>& selected, int match_min,
                                      int match_max) {
    if (busy_ || selected.empty()) return {};
    const Busy busy(busy_);
    ChangeRequest request;
    request.kind = ChangeKind::match;
    request.devices = selected;
    // Who moves and who needs a password typed, before anything is asked.
    const ChangePlan first =
        PlanChange(request, PlanFactsOf(search_, match_min, match_max), LinkProbe{});
    const std::size_t needed = CountRefused(first, PlanProblem::password_needed);
    if (first.Planned() + needed == 0) {
        const std::size_t read_only = CountRefused(first, PlanProblem::not_configurable);
        const std::size_t inside = CountRefused(first, PlanProblem::already_inside);
        if (read_only + inside == first.cameras.size())
            return {{},
                    UiText(language_, read_only > 0 ? IDS_WSD_READ_ONLY : IDS_MATCH_NOTHING),
                    read_only > 0};
        Confirm(first);  // says why none moves
        return {};
    }
    // One prompt for the whole selection: a text camera's answer carries no
    // password, so only the user can give it.
    DlgCredentials credentials(language_, parent_);
    credentials.SetPasswordNeeded(static_cast<int>(needed));
    credentials.SetPlanner([&](const Credentials& given) {
        ChangeRequest typed = request;
        typed.credentials = given;
        return PlanChange(typed, PlanFactsOf(search_, match_min, match_max));
    });
    if (run_(credentials) != QDialog::Accepted) return {};
    request.credentials = credentials.Given();
    // One plan for the whole selection, so that no address goes to two
    // cameras and the cameras past the last free address stay where they are.
    ChangePlan plan = Plan(request, match_min, match_max);
    if (cancelled_ || !Confirm(plan)) return {};
    Outcome outcome;
    if (const std::size_t unplaced = CountRefused(plan, PlanProblem::no_free_address)) {
        outcome.notice =
            UiText(language_, IDS_MATCH_UNPLACED).arg(unplaced).arg(match_min).arg(match_max);
        outcome.failure = true;
    }
    outcome.plan = std::move(plan);
    return outcome;
}

ChangeFlow::Outcome ChangeFlow::NetConfig(const std::vector<DeviceUpdate>& selected) {
    if (busy_ || selected.empty()) return {};
    const Busy busy(busy_);
    const DeviceEntry& entry = selected.front().entry;
    if (!SearchBusiness::CanConfigure(entry))
        return {{}, UiText(language_, IDS_WSD_READ_ONLY), true};
    DlgNetInformation dialog(language_, parent_);
    dialog.SetDevice(entry);
    if (selected.size() > 1) dialog.SetBatch(static_cast<int>(selected.size()));
    dialog.SetPlanner(
        [this, &selected](const ChangeRequest& typed, bool ask_link) -> std::optional<ChangePlan> {
            ChangeRequest request = typed;
            request.devices = selected;
            // One camera opened by name may be changed although it is in
            // conflict, after a warning in the plan.
            request.named = selected.size() == 1;
            if (!ask_link) return PlanChange(request, PlanFactsOf(search_, 0, 0));
            ChangePlan plan = Plan(request, 0, 0);
            if (cancelled_) return std::nullopt;
            return plan;
        });
    // What the dialog accepted is what is sent: it is not planned again.
    if (run_(dialog) != QDialog::Accepted || !dialog.AcceptedPlan()) return {};
    const NetSettings& typed = dialog.Settings();
    ChangePlan plan = *dialog.AcceptedPlan();
    if (!Confirm(plan)) return {};
    Outcome outcome;
    if (const std::size_t unplaced = CountRefused(plan, PlanProblem::no_free_address)) {
        outcome.notice = UiText(language_, IDS_BATCH_UNPLACED)
                             .arg(unplaced)
                             .arg(QString::fromStdString(std::string(GetText(typed.ip))));
        outcome.failure = true;
    }
    outcome.plan = std::move(plan);
    return outcome;
}

}  // namespace quorvex
