#include "cli/device_search.h"

#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "core/protocol_names.h"
#include "search/get_net_config.h"
#include "search/interface_set.h"
#include "search/linux_adapters.h"

namespace quorvex {

namespace {

// Long enough that no interval-driven search falls inside any wait the
// command line allows; searches come only from `Start` and `Refresh`.
constexpr std::int32_t kNoPeriodicSearch = 7 * 24 * 3600;
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr auto kInterfacesDeadline = std::chrono::seconds(10);

std::set<std::int32_t> ProtocolIds(const std::vector<std::string>& names) {
    std::set<std::int32_t> ids;
    for (const std::string& name : names)
        if (const auto id = ProtocolFromKey(name)) ids.insert(*id);
    return ids;
}

}  // namespace

DeviceSearch::DeviceSearch(const EffectiveSettings& settings,
                           std::vector<std::string> interface_names, ProgressDisplay& progress,
                           const std::vector<std::string>& protocols)
    : business_(SearchBusiness::MakeProtocols(ProtocolIds(protocols))), progress_(progress) {
    business_.SetSearchInterval(kNoPeriodicSearch);
    business_.SetMatchRange(settings.app.match_min, settings.app.match_max);
    business_.SetInterfaceNames(interface_names.empty() ? settings.app.interfaces
                                                        : std::move(interface_names));
}

DeviceSearch::~DeviceSearch() {
    progress_.Clear();
    business_.Stop();
}

bool DeviceSearch::Start() {
    if (!business_.Start()) return false;
    const auto deadline = std::chrono::steady_clock::now() + kInterfacesDeadline;
    while (!business_.InterfacesLoaded() && business_.IsRunning() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !business_.CopyInterfaces().empty();
}

bool DeviceSearch::Watch(double seconds, std::string_view activity,
                         const std::function<bool()>& done,
                         std::optional<std::chrono::milliseconds> refresh_every) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    auto next_refresh = refresh_every ? start + *refresh_every : Clock::time_point::max();
    for (;;) {
        if (done && done()) {
            progress_.Clear();
            return true;
        }
        const auto now = Clock::now();
        if (now >= deadline) break;
        if (now >= next_refresh) {
            business_.RequestRefresh();
            next_refresh = now + *refresh_every;
        }
        progress_.Show(activity, std::chrono::duration<double>(deadline - now).count(),
                       business_.DeviceCount());
        std::this_thread::sleep_for(std::min<Clock::duration>(kPoll, deadline - now));
    }
    progress_.Clear();
    return done ? done() : true;
}

void DeviceSearch::WatchUntilQuiet(std::string_view activity) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto deadline = start + kQuietMaximum;
    auto last_change = start;
    Clock::duration longest_gap{};
    std::size_t count = business_.DeviceCount();
    std::uint64_t repeats = business_.RepeatedSearchCount();
    std::uint64_t searches = 0;
    auto last_search = start;
    bool answered = count > 0;
    constexpr auto kStep = std::chrono::milliseconds(10);
    for (;;) {
        const auto now = Clock::now();
        const std::size_t now_count = business_.DeviceCount();
        const std::uint64_t now_repeats = business_.RepeatedSearchCount();
        if (now_count != count) {
            // The wait for the first answer counts as a gap too: a site whose
            // few cameras answer slowly is not quiet after the first of them.
            longest_gap = std::max(longest_gap, now - last_change);
            answered = true;
            count = now_count;
            last_change = now;
        }
        // A repeated search brings answers again, and one still to come
        // will: the quiet starts anew.
        if (now_repeats != repeats || business_.RepeatsPending()) {
            repeats = now_repeats;
            last_change = now;
        }
        if (const std::uint64_t now_searches = business_.SearchCount() + now_repeats;
            now_searches != searches) {
            searches = now_searches;
            last_search = now;
        }
        if (now >= deadline) break;
        const Clock::duration quiet =
            answered ? std::clamp<Clock::duration>(4 * longest_gap, kQuietShortest, kQuietLongest)
                     : Clock::duration(kFirstAnswerGrace);
        if (now - start >= kQuietMinimum && now - last_change >= quiet &&
            now - last_search >= kAnswerWindow && business_.SearchCount() > 0) {
            break;
        }
        progress_.Show(activity, std::chrono::duration<double>(deadline - now).count(), count);
        std::this_thread::sleep_for(kStep);
    }
    progress_.Clear();
}

std::vector<std::string> DeviceSearch::Problems() const {
    return DescribeProblems(business_.Status());
}

std::vector<std::string> DeviceSearch::MissingInterfaces() const {
    std::vector<std::string> lines;
    for (const SearchProblem& problem : ListProblems(business_.Status()))
        if (problem.code == ProblemCode::kInterfaceMissing)
            lines.push_back(DescribeProblem(problem));
    return lines;
}

std::vector<std::string> DeviceSearch::Notes() const {
    return DescribeNotes(business_.Status());
}

std::optional<DeviceEntry> DeviceSearch::Find(std::string_view key) const {
    const std::optional<DeviceUpdate> update = business_.GetUpdate(key);
    if (!update) return std::nullopt;
    return update->entry;
}

bool DeviceSearch::Heard(std::string_view key) const {
    if (Find(key)) return true;
    if (key.find(':') == std::string_view::npos) return false;  // a MAC or WSD key
    for (const DeviceUpdate& device : business_.CopyUpdates())
        if (device.wsd && GetText(device.wsd->endpoint) == key) return true;
    return false;
}

std::vector<DeviceEntry> DeviceSearch::Devices() const {
    std::vector<DeviceEntry> devices = business_.CopyDevices();
    std::sort(devices.begin(), devices.end(), [](const DeviceEntry& a, const DeviceEntry& b) {
        return DeviceKey(a.info) < DeviceKey(b.info);
    });
    return devices;
}

std::vector<DeviceReportRow> DeviceSearch::Rows() const {
    const std::vector<LocalInterface> interfaces = business_.CopyInterfaces();
    std::vector<DeviceReportRow> rows;
    for (const DeviceUpdate& update : business_.CopyUpdates()) {
        rows.push_back(
            MakeReportRow(update, InterfaceNameOf(interfaces, update.entry.interface_address)));
    }
    SortByMac(rows);
    return rows;
}

}  // namespace quorvex
