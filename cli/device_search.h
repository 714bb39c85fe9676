#pragma once

// The search manager as the command-line jobs drive it: the same
// `SearchBusiness`, protocols and interface choice as the window, started once
// and watched until a condition holds or the time is up, with progress on a
// terminal.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/effective_settings.h"
#include "cli/progress_display.h"
#include "core/device_records.h"
#include "search/device_report.h"
#include "search/search_business.h"

namespace quorvex {

class DeviceSearch {
public:
    // Searches on `interface_names` when given, else on the adapters that
    // `settings` choose (config.interfaces or the automatic rule). The host
    // range comes from `settings`. Searches go out only at the start and on
    // `Refresh`, never by the interval, so a wait sees one search's answers.
    // `protocols` names the protocols to search with ("text", "binary",
    // "wsd"); empty: all of them.
    DeviceSearch(const EffectiveSettings& settings, std::vector<std::string> interface_names,
                 ProgressDisplay& progress, const std::vector<std::string>& protocols = {});
    ~DeviceSearch();
    DeviceSearch(const DeviceSearch&) = delete;
    DeviceSearch& operator=(const DeviceSearch&) = delete;

    // Starts the worker and waits until it has read the interfaces. False when
    // there is none to search on (the worker has then ended without sending).
    bool Start();

    // Polls `done` until it holds or `seconds` have passed, showing `activity`
    // with the time left and the devices found. With `refresh_every`, asks for
    // a new search at that period (keeping the table). Returns done's last
    // value; without `done`, waits the whole time and returns true.
    bool Watch(double seconds, std::string_view activity, const std::function<bool()>& done = {},
               std::optional<std::chrono::milliseconds> refresh_every = std::nullopt);

    // Waits until the site has gone quiet: at least `kQuietMinimum`, and at
    // least `kAnswerWindow` after the last search (or repeat) went out, since
    // a device may hold its answer back by up to two seconds (WS-Discovery
    // devices do so by design, to spread a burst, and real firmware answers
    // slower than any simulator); then until no new device has come for a
    // quiet period after the last one (four times the longest gap seen
    // between two new devices (or before the first), within
    // `kQuietShortest`..`kQuietLongest`; `kFirstAnswerGrace` while nobody has
    // answered) and no repeated search is under way or still to come; never
    // past `kQuietMaximum`.
    static constexpr std::chrono::milliseconds kQuietMinimum{250};
    // Two seconds of holding back, and a quarter second for the last of those
    // answers to cross the link and be stored on a loaded machine.
    static constexpr std::chrono::milliseconds kAnswerWindow{2250};
    static constexpr std::chrono::milliseconds kQuietShortest{300};
    static constexpr std::chrono::milliseconds kQuietLongest{1500};
    static constexpr std::chrono::milliseconds kFirstAnswerGrace{2000};
    static constexpr std::chrono::milliseconds kQuietMaximum{10000};
    void WatchUntilQuiet(std::string_view activity);

    // The search's problems, one line each, for standard error; empty when
    // every protocol listens on every searched address and nothing was lost.
    std::vector<std::string> Problems() const;
    // What was thrown away without making the list incomplete (datagrams
    // refused as hostile or malformed), one line each, for standard error.
    std::vector<std::string> Notes() const;
    // Lines naming the listed interfaces that are missing now.
    std::vector<std::string> MissingInterfaces() const;

    SearchBusiness& business() { return business_; }
    std::optional<DeviceEntry> Find(std::string_view key) const;
    // True when a device answered to `key`: a table key (MAC or "WSD-..."),
    // or the endpoint reference of a camera WS-Discovery heard.
    bool Heard(std::string_view key) const;
    // Every device, sorted by table key.
    std::vector<DeviceEntry> Devices() const;
    // The report rows of every device, sorted by table key.
    std::vector<DeviceReportRow> Rows() const;

private:
    SearchBusiness business_;
    ProgressDisplay& progress_;
};

}  // namespace quorvex
