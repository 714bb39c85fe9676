#pragma once

// Follows a set of changes from the moment they are sent until each device is
// judged: the commands are queued at construction; once every one of them has
// left (or could not), searches go out at a steady period and each device is
// judged by `JudgeChange` on its answers to those searches only. A device
// that answers with the new settings is confirmed at once; the others stay
// pending until the time is up, then count as answering with other values or
// as gone. Nothing here sleeps: the owner calls `Poll` as often as it likes
// (a loop of the command line, a timer of the window), always on the thread
// that owns the search manager's commands.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/change_confirmation.h"
#include "search/change_planner.h"
#include "search/search_business.h"

namespace quorvex {

class ChangeWatch {
public:
    using Clock = std::chrono::steady_clock;

    // While some device is still pending, a search goes out at this period,
    // so that a device that needs a moment to take its settings is heard.
    static constexpr std::chrono::milliseconds kSearchPeriod{1000};
    // Commands leave within a pass or two; the HTTP-port command of a text
    // device after its delay. Past this the judging starts regardless.
    static constexpr std::chrono::milliseconds kLeaveDeadline =
        SearchBusiness::kHttpPortDelay + std::chrono::seconds(10);

    // Sends every change the plan holds through `business` (which must
    // outlive the watch); a dry run's plan holds none, so nothing goes and
    // the watch is done at once. Once the commands have left, each device has
    // `confirm_time` to answer with its new settings.
    ChangeWatch(SearchBusiness& business, const ChangePlan& plan,
                std::chrono::milliseconds confirm_time);
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Moves the watch on: notices commands that have left, asks for a search
    // when one is due, judges the devices. Returns true once every change is
    // judged (`Done`).
    bool Poll();
    bool Done() const;
    // True once every command has left and answers are being judged.
    bool Judging() const { return judging_; }

    const std::vector<PlannedChange>& Changes() const { return changes_; }
    // The result of change `i`: none while it is still pending.
    std::optional<ChangeResult> Result(std::size_t i) const { return results_.at(i); }
    // The result of every change; a pending one counts as gone.
    std::vector<ChangeResult> Results() const;

private:
    // The device's answer to a search sent after the commands left, if any.
    std::optional<DeviceInfo> AnswerSinceChange(const PlannedChange& change) const;
    // An answer to such a search from a device with another MAC at the
    // address `change` sent, if any; the table is read once per watch.
    std::optional<DeviceInfo> OtherMacAtAddress(const PlannedChange& change);

    SearchBusiness& business_;
    std::vector<PlannedChange> changes_;
    std::vector<SearchBusiness::ChangeTicket> tickets_;
    std::vector<std::optional<ChangeResult>> results_;
    std::chrono::milliseconds confirm_time_;
    Clock::time_point sent_at_;
    Clock::time_point deadline_{};
    Clock::time_point next_search_{};
    std::uint64_t searches_before_ = 0;  // searches sent before the commands had all left
    bool judging_ = false;
    // Devices heard since the commands left, by address; read at the deadline.
    std::optional<std::multimap<std::string, DeviceInfo, std::less<>>> heard_since_;
};

}  // namespace quorvex
