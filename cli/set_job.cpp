#include <istream>
#include <ostream>
#include <thread>

#include "cli/device_search.h"
#include "cli/jobs.h"
#include "search/text_encoding.h"

namespace quorvex {

namespace {

// The window waits this long before the HTTP-port command of a text-protocol
// device, so that the device has taken the network settings first.
constexpr auto kHttpPortCommandDelay = std::chrono::milliseconds(2000);
// While confirming, a new search goes out at this period, so a device that
// needs a moment to apply its settings is heard again.
constexpr auto kConfirmSearchPeriod = std::chrono::milliseconds(1000);

// The device's current settings with the given ones put in their place.
NetSettings BuildSettings(const DeviceInfo& info, const CliOptions& o,
                          const std::string& password) {
    NetSettings s{};
    SetText(s.user, o.user ? std::string_view(*o.user) : GetText(info.user));
    SetText(s.password, password);
    SetText(s.ip, o.ip ? std::string_view(*o.ip) : GetText(info.ip));
    SetText(s.mask, o.mask ? std::string_view(*o.mask) : GetText(info.mask));
    SetText(s.gateway, o.gateway ? std::string_view(*o.gateway) : GetText(info.gateway));
    SetText(s.dns1, o.dns1 ? std::string_view(*o.dns1) : GetText(info.dns1));
    SetText(s.dns2, o.dns2 ? std::string_view(*o.dns2) : GetText(info.dns2));
    s.http_port = o.http_port ? *o.http_port : info.http_port;
    s.dhcp = o.dhcp ? (*o.dhcp ? 1 : 0) : info.dhcp;
    return s;
}

// Whether the device now reports every value that was asked for. Under DHCP
// the addresses are the server's to choose, so only the switch and the port
// count then.
bool ShowsNewSettings(const DeviceInfo& now, const CliOptions& o, const NetSettings& sent) {
    if (o.dhcp && (now.dhcp != 0) != *o.dhcp) return false;
    if (o.http_port && now.http_port != *o.http_port) return false;
    if (sent.dhcp != 0) return true;
    const auto same = [](const std::optional<std::string>& wanted, std::string_view reported) {
        return !wanted || *wanted == reported;
    };
    return same(o.ip, GetText(now.ip)) && same(o.mask, GetText(now.mask)) &&
           same(o.gateway, GetText(now.gateway)) && same(o.dns1, GetText(now.dns1)) &&
           same(o.dns2, GetText(now.dns2));
}

std::string Describe(const NetSettings& s) {
    return "ip " + std::string(GetText(s.ip)) + ", mask " + std::string(GetText(s.mask)) +
           ", gateway " + std::string(GetText(s.gateway)) + ", dns1 " +
           std::string(GetText(s.dns1)) + ", dns2 " + std::string(GetText(s.dns2)) +
           ", http port " + std::to_string(s.http_port) + ", dhcp " + (s.dhcp ? "on" : "off");
}

std::string DescribeDevice(const DeviceInfo& i) {
    return "ip " + std::string(GetText(i.ip)) + ", mask " + std::string(GetText(i.mask)) +
           ", gateway " + std::string(GetText(i.gateway)) + ", dns1 " +
           std::string(GetText(i.dns1)) + ", dns2 " + std::string(GetText(i.dns2)) +
           ", http port " + std::to_string(i.http_port) + ", dhcp " + (i.dhcp ? "on" : "off");
}

}  // namespace

int RunSet(const JobContext& job) {
    const CliOptions& o = job.options;
    const std::string& key = o.mac;

    // The password is read before anything is searched, so that a bad one
    // ends the run before any socket exists.
    std::string password;
    if (o.password_stdin) {
        std::getline(job.in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
        if (password.size() > kMaxCredentialLength) {
            job.err << "quorvex-cli: set: the password is longer than 31 bytes\n";
            return kExitUsage;
        }
    }

    DeviceSearch search(job.settings, o.interfaces, job.progress);
    if (!search.Start()) {
        job.err << "quorvex-cli: set: no interface to search on\n";
        return kExitNotDone;
    }
    if (!search.Watch(o.wait_seconds, "searching", [&] { return search.Find(key).has_value(); })) {
        job.err << "quorvex-cli: set: device " << key << " not found\n";
        return kExitNotDone;
    }
    const DeviceEntry entry = *search.Find(key);
    const NetSettings settings = BuildSettings(entry.info, o, password);

    job.out << key << ": sending " << TerminalText(Describe(settings)) << "\n" << std::flush;
    search.business().SendCommand(entry, settings, kCommandNetSettings);
    if (entry.protocol == kProtocolText && settings.http_port != entry.info.http_port) {
        std::this_thread::sleep_for(kHttpPortCommandDelay);
        search.business().SendCommand(entry, settings, kCommandHttpPort);
    }
    search.LetCommandsLeave();

    // Only answers to searches sent after the change count.
    search.business().ClearDevices();
    const auto confirmed = [&] {
        const auto now = search.Find(key);
        return now && ShowsNewSettings(now->info, o, settings);
    };
    if (search.Watch(o.wait_seconds, "confirming", confirmed, kConfirmSearchPeriod)) {
        job.out << key << ": confirmed, the device answers with the new settings\n";
        return kExitSuccess;
    }
    const auto now = search.Find(key);
    if (now)
        job.err << "quorvex-cli: set: " << key << " not confirmed: it answers with "
                << TerminalText(DescribeDevice(now->info)) << "\n";
    else
        job.err << "quorvex-cli: set: " << key << " not confirmed: it did not answer again\n";
    return kExitNotDone;
}

}  // namespace quorvex
