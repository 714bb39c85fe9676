#include "search/standard_change.h"

#include "core/ipv4_subnet.h"

namespace quorvex {

namespace {

std::optional<std::uint32_t> Read(std::string_view text) {
    std::uint32_t address = 0;
    if (text.empty() || !ParseAddress(text, address)) return std::nullopt;
    return address;
}

}  // namespace

StandardWanted WantedFromSettings(const DeviceUpdate& device, const NetSettings& settings) {
    // Discovery knows neither the camera's DHCP state nor its interface's
    // own address (the shown one is the service's host): only what the plan
    // changes goes, so that a name server change never turns DHCP off.
    const DeviceInfo& shown = device.entry.info;
    StandardWanted wanted;
    if ((settings.dhcp != 0) != (shown.dhcp != 0)) wanted.dhcp = settings.dhcp != 0;
    if (settings.dhcp == 0) {
        const auto address = Read(GetText(settings.ip));
        if (address && address != Read(GetText(shown.ip))) wanted.address = address;
        if (const auto mask = Read(GetText(settings.mask)))
            wanted.prefix_length = MaskPrefixLength(*mask).value_or(0);
    }
    if (const auto gateway = Read(GetText(settings.gateway))) wanted.gateway = gateway;
    std::vector<std::uint32_t> dns;
    for (const char* server : {settings.dns1, settings.dns2})
        if (const auto address = Read(server)) dns.push_back(*address);
    if (!dns.empty()) wanted.dns = dns;
    if (settings.http_port != 0 && settings.http_port != device.entry.info.http_port)
        wanted.http_port = settings.http_port;
    return wanted;
}

StandardChangeOutcome ChangeStandardCamera(const StandardCameraSession& session,
                                           const DeviceUpdate& device, const NetSettings& settings,
                                           const std::function<void(StandardChangeStage)>& on_stage,
                                           StandardCameraBook* book) {
    const auto stage = [&](StandardChangeStage next) {
        if (on_stage) on_stage(next);
    };
    using Session = StandardCameraSession;
    StandardChangeOutcome outcome;
    if (!device.wsd) {
        outcome.failure.kind = Session::FailureKind::kUnreachable;
        return outcome;
    }
    const StandardCredentials credentials{std::string(GetText(settings.user)),
                                          std::string(GetText(settings.password))};
    Session::Target target{std::string(GetText(device.wsd->xaddrs)), device.wsd->source_address,
                           std::string(GetText(device.wsd->endpoint)), std::nullopt};
    if (book) target.known_auth = book->AuthOf(target.endpoint_reference);
    stage(StandardChangeStage::read);
    const Session::ReadResult read = session.Read(target, credentials);
    if (read.snapshot && book) book->Remember(*read.snapshot);
    if (!read.snapshot) {
        outcome.failure = read.failure;
        return outcome;
    }
    StandardWanted wanted = WantedFromSettings(device, settings);
    // A plan without a mask keeps the prefix the camera told; a new mask
    // alone goes with the address the camera told.
    if (wanted.address && wanted.prefix_length == 0)
        wanted.prefix_length = read.snapshot->prefix_length;
    if (!wanted.address && wanted.prefix_length != 0 &&
        wanted.prefix_length != read.snapshot->prefix_length && read.snapshot->address != 0)
        wanted.address = read.snapshot->address;
    outcome.stage = StandardChangeStage::apply;
    stage(StandardChangeStage::apply);
    const Session::ApplyResult applied = session.Apply(*read.snapshot, wanted, credentials);
    outcome.applied = applied.outcome;
    outcome.new_address = wanted.address.value_or(read.snapshot->address);
    outcome.old_address = read.snapshot->address;
    if (applied.outcome == Session::ApplyOutcome::kFailed ||
        applied.outcome == Session::ApplyOutcome::kUnknown) {
        outcome.failure = applied.failure;
        if (applied.outcome != Session::ApplyOutcome::kUnknown) return outcome;
        outcome.failure.kind = Session::FailureKind::kUnknown;
        // Only the move itself (or the reboot behind it) can have taken the
        // camera elsewhere; an unanswered earlier write left it where it was.
        const auto op = applied.failure.operation;
        if (op != OnvifDeviceCodec::Operation::kSetNetworkInterfaces &&
            op != OnvifDeviceCodec::Operation::kSystemReboot)
            return outcome;
        outcome.stage = StandardChangeStage::confirm;
        stage(StandardChangeStage::confirm);
        const Session::ConfirmResult found =
            session.Locate(*read.snapshot, applied, outcome.new_address, credentials);
        outcome.finding = found.finding;
        outcome.mismatch = found.mismatch;
        outcome.searched = true;
        return outcome;
    }
    outcome.stage = StandardChangeStage::confirm;
    stage(StandardChangeStage::confirm);
    const Session::ConfirmResult confirmed =
        session.Confirm(*read.snapshot, applied, outcome.new_address, credentials);
    outcome.confirmed = confirmed.confirmed;
    outcome.finding = confirmed.finding;
    outcome.searched = true;
    outcome.mismatch = confirmed.mismatch;
    outcome.failure = confirmed.failure;
    return outcome;
}

}  // namespace quorvex
