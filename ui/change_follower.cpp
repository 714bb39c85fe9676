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

void ChangeFollower::Start(const ChangePlan& plan, const QString& note) {
    const std::vector<PlannedChange> changes = plan.ToSend();
    for (const PlannedChange& change : changes)
        model_.SetChangeState(DeviceKey(change.entry.info), ChangeState::kPending);
    Watched watched;
    watched.shown.assign(changes.size(), false);
    watched.note = note;
    const std::size_t count = changes.size();
    watched.watch = std::make_unique<ChangeWatch>(search_, plan, kConfirmTime);
    watches_.push_back(std::move(watched));
    const QString sent = UiText(language_, IDS_CHANGES_SENT).arg(count);
    emit Notice(note.isEmpty() ? sent : note + QLatin1Char(' ') + sent, !note.isEmpty());
    timer_->start();
}

void ChangeFollower::Poll() {
    for (auto it = watches_.begin(); it != watches_.end();) {
        ChangeWatch& watch = *it->watch;
        const bool done = watch.Poll();
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
        const auto confirmed = std::count(results.begin(), results.end(), ChangeResult::confirmed);
        const QString outcome =
            UiText(language_, IDS_CHANGES_DONE).arg(confirmed).arg(results.size());
        const bool failed =
            confirmed != static_cast<std::ptrdiff_t>(results.size()) || !it->note.isEmpty();
        emit Notice(it->note.isEmpty() ? outcome : outcome + QLatin1Char(' ') + it->note, failed);
        it = watches_.erase(it);
    }
    if (watches_.empty()) timer_->stop();
}

}  // namespace quorvex
