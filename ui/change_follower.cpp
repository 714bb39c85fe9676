#include "ui/change_follower.h"

#include <QTimer>
#include <algorithm>

#include "ui/device_list_model.h"
#include "ui/window_texts.h"

namespace quorvex {

ChangeFollower::ChangeFollower(SearchBusiness& search, DeviceListModel& model,
                               const LanguageX& language, QObject* parent)
    : QObject(parent),
      search_(search),
      model_(model),
      language_(language),
      timer_(new QTimer(this)) {
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, &ChangeFollower::Poll);
}

ChangeFollower::~ChangeFollower() = default;

void ChangeFollower::Start(const ChangePlan& plan, const QString& note,
                           std::shared_ptr<TemporaryAddresses> temporary) {
    const std::vector<PlannedChange> changes = plan.ToSend();
    for (const PlannedChange& change : changes)
        model_.SetChangeState(DeviceKey(change.entry.info), ChangeState::kPending);
    Watched watched;
    watched.shown.assign(changes.size(), false);
    watched.note = note;
    watched.temporary = std::move(temporary);
    std::size_t count = changes.size();
    watched.watch = std::make_unique<ChangeWatch>(search_, plan, kConfirmTime);
    if (!plan.ToSendStandard().empty()) {
        // The book outlives the follower: the search is declared before it.
        // Eight at once, as the command line changes them.
        watched.standard = std::make_unique<StandardChangeBatch>(
            plan, StandardCameraSession::Options{}, std::size_t{8}, &search_.StandardCameras());
        watched.standard_shown.assign(watched.standard->Size(), std::nullopt);
        count += watched.standard->Size();
        PollStandard(watched);
    }
    watches_.push_back(std::move(watched));
    const QString sent = UiText(language_, IDS_CHANGES_SENT).arg(count);
    emit Notice(note.isEmpty() ? sent : note + QLatin1Char(' ') + sent, !note.isEmpty());
    timer_->start();
}

bool ChangeFollower::PollStandard(Watched& watched) {
    if (!watched.standard) return true;
    StandardChangeBatch& batch = *watched.standard;
    using State = StandardChangeBatch::State;
    for (std::size_t i = 0; i < batch.Size(); ++i) {
        const State state = batch.StateOf(i);
        if (state == State::done || watched.standard_shown[i] == state) continue;
        watched.standard_shown[i] = state;
        model_.SetChangeState(batch.Keys()[i], ChangeState::kPending,
                              StandardStateUiText(language_, state));
    }
    if (!batch.Done()) return false;
    // Done: the outcomes are there without waiting.
    const std::vector<StandardChangeOutcome> outcomes = batch.Outcomes();
    bool moved = false;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (watched.standard_shown[i] == State::done) continue;
        watched.standard_shown[i] = State::done;
        moved = moved || outcomes[i].confirmed ||
                outcomes[i].failure.kind == StandardCameraSession::FailureKind::kUnknown;
        if (outcomes[i].confirmed) {
            model_.SetChangeState(batch.Keys()[i], ChangeState::kConfirmed);
        } else {
            model_.SetChangeState(batch.Keys()[i], ChangeState::kNotConfirmed,
                                  StandardOutcomeUiText(language_, outcomes[i]));
        }
    }
    // A camera that moved answered from both addresses in the last search,
    // which the list takes for a MAC in conflict and keeps at the old
    // address: a new search starts it over.
    if (moved) search_.RequestRefresh();
    return true;
}

void ChangeFollower::Poll() {
    for (auto it = watches_.begin(); it != watches_.end();) {
        ChangeWatch& watch = *it->watch;
        const bool standard_done = PollStandard(*it);
        const bool done = watch.Poll() && standard_done;
        for (std::size_t i = 0; i < watch.Changes().size(); ++i) {
            const std::optional<ChangeResult> result = watch.Result(i);
            if (!result || it->shown[i]) continue;
            // The mark is kept per camera, listed or not.
            it->shown[i] = true;
            const std::string key = DeviceKey(watch.Changes()[i].entry.info);
            if (*result == ChangeResult::confirmed) {
                model_.SetChangeState(key, ChangeState::kConfirmed);
            } else {
                model_.SetChangeState(key, ChangeState::kNotConfirmed,
                                      ResultUiText(language_, *result));
            }
        }
        if (!done) {
            ++it;
            continue;
        }
        const std::vector<ChangeResult> results = watch.Results();
        auto confirmed = std::count(results.begin(), results.end(), ChangeResult::confirmed);
        std::size_t judged = results.size();
        if (it->standard) {
            for (const StandardChangeOutcome& outcome : it->standard->Outcomes())
                confirmed += outcome.confirmed ? 1 : 0;
            judged += it->standard->Size();
        }
        const QString outcome = UiText(language_, IDS_CHANGES_DONE).arg(confirmed).arg(judged);
        const bool failed = confirmed != static_cast<std::ptrdiff_t>(judged) || !it->note.isEmpty();
        emit Notice(it->note.isEmpty() ? outcome : outcome + QLatin1Char(' ') + it->note, failed);
        it = watches_.erase(it);
    }
    if (watches_.empty()) timer_->stop();
}

}  // namespace quorvex
