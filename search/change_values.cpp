#include "search/change_values.h"

#include "core/ipv4_subnet.h"

namespace quorvex {

namespace {

std::optional<std::uint32_t> Read(std::string_view text) {
    std::uint32_t address = 0;
    if (!ParseAddress(text, address)) return std::nullopt;
    return address;
}

// A gateway or name server worth sending: an address, and none that no host
// can hold (0.0.0.0 stands for "none" on many cameras, not for a server).
std::optional<std::uint32_t> Usable(std::string_view text) {
    const auto address = Read(text);
    if (!address || IsSpecialAddress(*address)) return std::nullopt;
    return address;
}

std::string Canonical(std::string_view text) {
    const auto address = Read(text);
    return address ? AddressText(*address) : std::string(text);
}

// The first of the given, the source's and the camera's own value that is
// usable and fits; else what a command of `protocol` carries when the value
// is nobody's to choose: nothing in a text command (whose firmware keeps an
// absent pair), the camera's own in a binary record, which has no way to
// leave a field out.
template <typename Fits>
std::string Pick(std::optional<std::uint32_t> given, std::string_view source, std::string_view own,
                 std::int32_t protocol, const Fits& fits) {
    if (given) return AddressText(*given);
    for (const std::string_view value : {source, own}) {
        const auto address = Usable(value);
        if (address && fits(*address)) return AddressText(*address);
    }
    if (protocol == kProtocolText) return {};
    const auto kept = Read(own);
    return kept ? AddressText(*kept) : std::string();
}

}  // namespace

std::optional<std::string> CanonicalAddress(std::string_view text) {
    const auto address = Read(text);
    if (!address) return std::nullopt;
    return AddressText(*address);
}

PlanIssue CheckCredentials(const Credentials& given, std::int32_t protocol) {
    for (const auto& [field, value] :
         {std::pair{PlanField::user, given.user}, {PlanField::password, given.password}}) {
        const WireValueProblem problem =
            value ? CheckCredential(*value, protocol) : WireValueProblem::none;
        if (problem != WireValueProblem::none)
            return {PlanProblem::bad_value, field, AddressVerdict::free, problem};
    }
    // A text answer carries no password, so the camera's own is not known:
    // sending none would be refused by every camera that has one.
    if (protocol == kProtocolText && !given.password)
        return {PlanProblem::password_needed, PlanField::password};
    // A standard camera's device service wants an administrator's name and
    // password, and discovery tells neither.
    if (protocol == kProtocolWsDiscovery && !given.user)
        return {PlanProblem::password_needed, PlanField::user};
    if (protocol == kProtocolWsDiscovery && !given.password)
        return {PlanProblem::password_needed, PlanField::password};
    return {};
}

std::optional<NetSettings> ResolveSettings(const ChangeRequest& request, const DeviceInfo& device,
                                           std::int32_t protocol, const ValueSource& source,
                                           PlanIssue& issue) {
    const auto refuse = [&issue](PlanProblem problem, PlanField field,
                                 AddressVerdict verdict = AddressVerdict::free,
                                 WireValueProblem wire = WireValueProblem::none) {
        issue = {problem, field, verdict, wire};
        return std::nullopt;
    };
    const Credentials& given = request.credentials;
    if (issue = CheckCredentials(given, protocol); issue.problem != PlanProblem::none)
        return std::nullopt;

    NetSettings settings{};
    ApplyCredentials(settings, given, device);
    settings.dhcp = request.dhcp ? (*request.dhcp ? 1 : 0) : (device.dhcp != 0 ? 1 : 0);
    settings.http_port = request.http_port.value_or(device.http_port);
    const bool fixed = settings.dhcp == 0;

    // Every typed value is read into a number once; only that number's
    // canonical text is checked and sent.
    struct Typed {
        const std::optional<std::string>& text;
        PlanField field;
        std::optional<std::uint32_t> value{};
    };
    Typed typed[] = {{request.ip, PlanField::ip},
                     {request.mask, PlanField::mask},
                     {request.gateway, PlanField::gateway},
                     {request.dns1, PlanField::dns1},
                     {request.dns2, PlanField::dns2}};
    for (Typed& t : typed) {
        if (!t.text) continue;
        t.value = Read(*t.text);
        if (!t.value)
            return refuse(PlanProblem::bad_address, t.field, AddressVerdict::not_an_address);
        const bool server = t.field == PlanField::gateway || t.field == PlanField::dns1 ||
                            t.field == PlanField::dns2;
        if (server && IsSpecialAddress(*t.value))
            return refuse(PlanProblem::bad_address, t.field, AddressVerdict::special_address);
    }
    const LocalInterface* home = source.home;
    auto ip = source.address ? source.address : typed[0].value ? typed[0].value : Read(device.ip);
    auto mask = typed[1].value ? typed[1].value : home ? Read(home->mask) : Read(device.mask);
    if (mask && !MaskPrefixLength(*mask)) {
        if (fixed)
            return refuse(PlanProblem::bad_address, PlanField::mask,
                          AddressVerdict::mask_not_contiguous);
        mask.reset();
    }
    if (fixed && !ip)
        return refuse(PlanProblem::bad_address, PlanField::ip, AddressVerdict::not_an_address);
    // A standard camera's device service keeps its own prefix when none is
    // sent (the planner checked the address with its interface's mask).
    if (fixed && !mask && protocol != kProtocolWsDiscovery)
        return refuse(PlanProblem::no_mask, PlanField::mask);
    SetText(settings.ip, ip ? AddressText(*ip) : Canonical(GetText(device.ip)));
    SetText(settings.mask, mask ? AddressText(*mask) : Canonical(GetText(device.mask)));

    const std::optional<Ipv4Subnet> subnet =
        ip && mask ? std::optional<Ipv4Subnet>(Ipv4Subnet{*ip, *mask}) : std::nullopt;
    const auto gateway_fits = [&](std::uint32_t g) { return subnet && subnet->IsHostAddress(g); };
    const auto anywhere = [](std::uint32_t) { return true; };
    const std::string gateway = Pick(typed[2].value, home ? GetText(home->gateway) : "",
                                     GetText(device.gateway), protocol, gateway_fits);
    if (fixed && !gateway.empty()) {
        const auto g = Read(gateway);
        if (g && ip && *g == *ip)
            return refuse(PlanProblem::gateway_is_address, PlanField::gateway);
        if (typed[2].value && !subnet) return refuse(PlanProblem::no_mask, PlanField::mask);
        if (typed[2].value && !gateway_fits(*typed[2].value))
            return refuse(PlanProblem::gateway_outside, PlanField::gateway);
    }
    SetText(settings.gateway, gateway);
    SetText(settings.dns1, Pick(typed[3].value, home ? GetText(home->dns1) : "",
                                GetText(device.dns1), protocol, anywhere));
    SetText(settings.dns2, Pick(typed[4].value, home ? GetText(home->dns2) : "",
                                GetText(device.dns2), protocol, anywhere));
    return settings;
}

std::vector<ValueChange> ChangedValues(const DeviceInfo& device, const NetSettings& sent) {
    std::vector<ValueChange> changes;
    const auto add = [&changes](PlanField field, std::string before, std::string after) {
        if (!after.empty() && before != after) changes.push_back({field, before, after});
    };
    add(PlanField::ip, Canonical(GetText(device.ip)), std::string(GetText(sent.ip)));
    add(PlanField::mask, Canonical(GetText(device.mask)), std::string(GetText(sent.mask)));
    add(PlanField::gateway, Canonical(GetText(device.gateway)), std::string(GetText(sent.gateway)));
    add(PlanField::dns1, Canonical(GetText(device.dns1)), std::string(GetText(sent.dns1)));
    add(PlanField::dns2, Canonical(GetText(device.dns2)), std::string(GetText(sent.dns2)));
    add(PlanField::http_port, std::to_string(device.http_port), std::to_string(sent.http_port));
    add(PlanField::dhcp, device.dhcp ? "on" : "off", sent.dhcp ? "on" : "off");
    add(PlanField::user, std::string(GetText(device.user)), std::string(GetText(sent.user)));
    return changes;
}

}  // namespace quorvex
