#include "search/change_watch.h"

#include <algorithm>

namespace quorvex {

ChangeWatch::ChangeWatch(SearchBusiness& business, const ChangePlan& plan,
                         std::chrono::milliseconds confirm_time)
    : business_(business),
      changes_(plan.ToSend()),
      results_(changes_.size()),
      confirm_time_(confirm_time),
      sent_at_(Clock::now()) {
    tickets_.reserve(changes_.size());
    for (const PlannedChange& change : changes_)
        tickets_.push_back(business_.ApplySettings(change.entry, change.settings));
}

bool ChangeWatch::Poll() {
    if (Done()) return true;
    const auto now = Clock::now();
    if (!judging_) {
        const bool left = std::all_of(tickets_.begin(), tickets_.end(),
                                      [&](const auto& t) { return business_.ChangeLeft(t); });
        if (!left && now - sent_at_ < kLeaveDeadline) return false;
        // Answers to searches that went out before the last command left may
        // still show the old settings, or show a device that is gone since.
        judging_ = true;
        searches_before_ = business_.SearchCount();
        deadline_ = now + confirm_time_;
        next_search_ = now;
    }
    for (std::size_t i = 0; i < changes_.size(); ++i) {
        if (results_[i]) continue;
        const std::optional<DeviceInfo> answer = AnswerSinceChange(changes_[i]);
        const ChangeResult result = JudgeChange(changes_[i].settings, answer);
        if (result == ChangeResult::confirmed) {
            results_[i] = result;
        } else if (now >= deadline_) {
            // Until then the camera itself may still answer.
            results_[i] =
                answer ? result
                       : JudgeChange(changes_[i].settings, answer, OtherMacAtAddress(changes_[i]));
        }
    }
    if (!Done() && now >= next_search_) {
        business_.RequestRefresh();
        next_search_ = now + kSearchPeriod;
    }
    return Done();
}

bool ChangeWatch::Done() const {
    return std::all_of(results_.begin(), results_.end(),
                       [](const auto& r) { return r.has_value(); });
}

std::vector<ChangeResult> ChangeWatch::Results() const {
    std::vector<ChangeResult> results;
    results.reserve(results_.size());
    for (const auto& result : results_) results.push_back(result.value_or(ChangeResult::gone));
    return results;
}

std::optional<DeviceInfo> ChangeWatch::AnswerSinceChange(const PlannedChange& change) const {
    const std::optional<DeviceUpdate> now = business_.GetUpdate(DeviceKey(change.entry.info));
    if (!now || now->heard_search <= searches_before_) return std::nullopt;
    return now->entry.info;
}

std::optional<DeviceInfo> ChangeWatch::OtherMacAtAddress(const PlannedChange& change) {
    if (!heard_since_) {
        heard_since_.emplace();
        for (const DeviceUpdate& update : business_.CopyUpdates())
            if (update.heard_search > searches_before_)
                heard_since_->emplace(std::string(GetText(update.entry.info.ip)),
                                      update.entry.info);
    }
    const std::string own = DeviceKey(change.entry.info);
    const auto [first, last] = heard_since_->equal_range(GetText(change.settings.ip));
    for (auto it = first; it != last; ++it)
        if (DeviceKey(it->second) != own) return it->second;
    return std::nullopt;
}

}  // namespace quorvex
