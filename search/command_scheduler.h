#pragma once

// Routes commands to the protocol that heard a device and follows them: a
// ticket per command, whether it has left, and the HTTP-port command of a
// text device that must wait until the device has taken its settings.
//
// Threads: `Send`, `Apply`, `Left` and `ChangeLeft` run on any thread;
// `RunDeferred` on the search worker, which also sends the queued commands.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "core/base_search.h"
#include "core/device_records.h"

namespace quorvex {

// What a change of one device left behind: the tickets of its commands.
struct ChangeTicket {
    std::int32_t protocol = 0;
    std::uint64_t first = 0;   // the settings command
    std::uint64_t change = 0;  // names the HTTP-port command still to come; 0: none
};

class CommandScheduler {
public:
    using Clock = std::chrono::steady_clock;
    // How long after the settings command of a text device has left its
    // HTTP-port command is queued, so that the device has taken the settings.
    static constexpr std::chrono::milliseconds kHttpPortDelay{2000};

    // `protocols` (by id) must outlive the scheduler and never change.
    explicit CommandScheduler(
        const std::map<std::int32_t, std::unique_ptr<IDeviceSearch>>& protocols);

    // True when a protocol that heard `entry` can change its settings (the
    // binary and text protocols); false for a device only WS-Discovery heard.
    static bool CanConfigure(const DeviceEntry& entry);
    // Queues a command on the protocol that found `entry`, for the interface
    // that heard it. A ticket for `Left`; 0 when nothing was queued.
    std::uint64_t Send(const DeviceEntry& entry, const NetSettings& settings, std::int32_t type);
    // True once the command of `ticket` of `protocol` has been sent or
    // dropped because it could not go out.
    bool Left(std::int32_t protocol, std::uint64_t ticket) const;
    // Queues the settings command; when the device speaks the text protocol
    // and `settings` change its HTTP port, `RunDeferred` queues the HTTP-port
    // command `kHttpPortDelay` after the first has left.
    ChangeTicket Apply(const DeviceEntry& entry, const NetSettings& settings);
    // True once every command of the change has left (or been dropped).
    bool ChangeLeft(const ChangeTicket& ticket) const;
    // Queues the HTTP-port commands whose delay has passed at `now`.
    void RunDeferred(Clock::time_point now);
    // When `RunDeferred` has work next: none when nothing waits; `now` when a
    // settings command has yet to leave.
    std::optional<Clock::time_point> NextDeferred(Clock::time_point now) const;

private:
    struct Deferred {
        std::uint64_t change = 0;
        DeviceEntry entry{};
        NetSettings settings{};
        std::uint64_t after = 0;  // ticket of the settings command
        std::optional<Clock::time_point> left_at;
    };
    const std::map<std::int32_t, std::unique_ptr<IDeviceSearch>>& protocols_;
    // Commands queued per protocol; the map's shape is fixed at construction.
    std::map<std::int32_t, std::atomic<std::uint64_t>> queued_;
    std::mutex command_lock_;
    mutable std::mutex deferred_lock_;
    std::vector<Deferred> deferred_;
    std::map<std::uint64_t, std::uint64_t> deferred_tickets_;  // change -> ticket once queued
    std::uint64_t next_change_ = 0;
};

}  // namespace quorvex
