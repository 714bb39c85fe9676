#include "search/command_scheduler.h"

namespace quorvex {

CommandScheduler::CommandScheduler(
    const std::map<std::int32_t, std::unique_ptr<IDeviceSearch>>& protocols)
    : protocols_(protocols) {
    for (const auto& [id, protocol] : protocols_) queued_[id].store(0);
}

bool CommandScheduler::CanConfigure(const DeviceEntry& entry) {
    return entry.protocol == kProtocolBinary || entry.protocol == kProtocolText;
}

std::uint64_t CommandScheduler::Send(const DeviceEntry& entry, const NetSettings& settings,
                                     std::int32_t type) {
    const auto found = protocols_.find(entry.protocol);
    if (found == protocols_.end() || !found->second || !CanConfigure(entry)) return 0;
    // The ticket is taken with the queueing under one lock, so that two
    // threads that queue at once get tickets in queue order.
    std::lock_guard lock(command_lock_);
    found->second->QueueCommand(entry.info, settings, type, entry.interface_address);
    return queued_.at(entry.protocol).fetch_add(1) + 1;
}

bool CommandScheduler::Left(std::int32_t protocol, std::uint64_t ticket) const {
    const auto found = protocols_.find(protocol);
    if (found == protocols_.end() || !found->second || ticket == 0) return false;
    return found->second->FlushedCommands() >= ticket;
}

ChangeTicket CommandScheduler::Apply(const DeviceEntry& entry, const NetSettings& settings) {
    ChangeTicket ticket;
    ticket.protocol = entry.protocol;
    ticket.first = Send(entry, settings, kCommandNetSettings);
    if (ticket.first == 0 || entry.protocol != kProtocolText ||
        settings.http_port == entry.info.http_port) {
        return ticket;
    }
    std::lock_guard lock(deferred_lock_);
    ticket.change = ++next_change_;
    deferred_.push_back({ticket.change, entry, settings, ticket.first, std::nullopt});
    deferred_tickets_[ticket.change] = 0;
    return ticket;
}

bool CommandScheduler::ChangeLeft(const ChangeTicket& ticket) const {
    if (!Left(ticket.protocol, ticket.first)) return false;
    if (ticket.change == 0) return true;
    std::uint64_t second = 0;
    {
        std::lock_guard lock(deferred_lock_);
        const auto found = deferred_tickets_.find(ticket.change);
        if (found == deferred_tickets_.end()) return false;
        second = found->second;
    }
    return second != 0 && Left(ticket.protocol, second);
}

void CommandScheduler::RunDeferred(Clock::time_point now) {
    std::vector<Deferred> due;
    {
        std::lock_guard lock(deferred_lock_);
        for (auto it = deferred_.begin(); it != deferred_.end();) {
            if (!it->left_at && Left(it->entry.protocol, it->after)) it->left_at = now;
            if (it->left_at && now - *it->left_at >= kHttpPortDelay) {
                due.push_back(*it);
                it = deferred_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const Deferred& d : due) {
        const std::uint64_t ticket = Send(d.entry, d.settings, kCommandHttpPort);
        std::lock_guard lock(deferred_lock_);
        // A command that could not be queued counts as left, as a dropped one does.
        deferred_tickets_[d.change] = ticket != 0 ? ticket : d.after;
    }
}

std::optional<CommandScheduler::Clock::time_point> CommandScheduler::NextDeferred(
    Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    std::lock_guard lock(deferred_lock_);
    for (const Deferred& d : deferred_) {
        const Clock::time_point at = d.left_at ? *d.left_at + kHttpPortDelay : now;
        if (!next || at < *next) next = at;
    }
    return next;
}

}  // namespace quorvex
