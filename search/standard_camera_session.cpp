#include "search/standard_camera_session.h"

#include <openssl/rand.h>

#include <algorithm>
#include <functional>
#include <span>
#include <thread>

#include "search/directed_probe.h"
#include "search/onvif_http.h"

namespace quorvex {

namespace {

using Codec = OnvifDeviceCodec;
using Op = Codec::Operation;
using Session = StandardCameraSession;
using Builder = std::function<std::optional<std::string>(const Codec::UsernameToken*)>;

std::int64_t NowUtc() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The way to one camera's device service for the calls of one Read, Apply or
// Confirm.
struct Link {
    std::string url;
    StandardAuthMethod auth = StandardAuthMethod::kNone;
    std::int64_t offset = 0;
    const StandardCredentials* credentials = nullptr;
    const Session::Options* options = nullptr;
    bool send_action = true;  // what the last answer showed this firmware takes
};

struct Answer {
    OnvifHttp::Response http;
    Session::Failure failure;  // kind kNone: an HTTP answer came, read it
    std::span<const std::uint8_t> bytes() const {
        return {reinterpret_cast<const std::uint8_t*>(http.body.data()), http.body.size()};
    }
};

Session::Failure FailureOf(Session::FailureKind kind, Op op, long status = 0) {
    Session::Failure f;
    f.kind = kind;
    f.operation = op;
    f.status = status;
    return f;
}

// One request. `authenticate` adds the link's credentials in the link's way,
// and only that way.
Answer Call(Link& link, Op op, const Builder& build, bool authenticate, bool changes = false) {
    Answer answer;
    std::optional<Codec::UsernameToken> token;
    if (authenticate && link.auth == StandardAuthMethod::kUsernameToken) {
        token.emplace();
        token->user = link.credentials->user;
        token->password = link.credentials->password;
        // A reused nonce is refused, and a guessable one weakens the digest.
        if (RAND_bytes(token->nonce.data(), int(token->nonce.size())) != 1) {
            answer.failure = FailureOf(Session::FailureKind::kUnknown, op);
            return answer;
        }
        token->created = CreatedOnCameraClock(NowUtc(), link.offset);
    }
    const auto body = build(token ? &*token : nullptr);
    if (!body) {
        answer.failure = FailureOf(Session::FailureKind::kPlanRefused, op);
        answer.failure.refusal = PlanRefusal::kBadAddress;
        return answer;
    }
    OnvifHttp::Request request;
    request.url = link.url;
    request.action = Codec::Action(op);
    request.body = *body;
    request.send_action = link.send_action;
    if (authenticate && link.auth == StandardAuthMethod::kDigest) {
        request.user = link.credentials->user;
        request.password = link.credentials->password;
    }
    request.changes_settings = changes;
    request.accept_any_certificate = link.options->accept_any_certificate;
    request.connect_timeout = link.options->connect_timeout;
    request.total_timeout = link.options->total_timeout;
    request.slow_for = link.options->slow_for;
    answer.http = OnvifHttp::Post(request);
    link.send_action = answer.http.action_sent;

    using F = OnvifHttp::Failure;
    switch (answer.http.failure) {
        case F::kNone:
            break;
        case F::kOutcomeUnknown:
            answer.failure = FailureOf(Session::FailureKind::kUnknown, op);
            return answer;
        default:
            answer.failure = FailureOf(Session::FailureKind::kUnreachable, op, answer.http.status);
            answer.failure.transfer = answer.http.failure;
            return answer;
    }
    if (answer.http.status == 401 && authenticate)
        answer.failure = FailureOf(Session::FailureKind::kAuthRefused, op, 401);
    return answer;
}

Builder Plain(Op op) {
    return [op](const Codec::UsernameToken* t) { return Codec::BuildRequest(op, t); };
}

// Takes a reader's result, or fills `failure` with why not.
template <typename T>
std::optional<T> Take(const Codec::Result<T>& read, const Answer& answer, Op op,
                      Session::Failure& failure) {
    if (read.value) return read.value;
    failure = FailureOf(Session::FailureKind::kBadAnswer, op, answer.http.status);
    failure.error = read.error;
    if (read.error == Codec::Error::kFault) {
        failure.fault = read.fault;
        failure.kind = read.fault.Names(Codec::kErrors, "NotAuthorized")
                           ? Session::FailureKind::kAuthRefused
                           : Session::FailureKind::kFault;
    } else if (answer.http.status == 401) {
        failure.kind = Session::FailureKind::kAuthRefused;
    }
    return std::nullopt;
}

// Calls `op` and reads its answer with `reader`.
template <typename T, typename Reader>
std::optional<T> Ask(Link& link, Op op, Reader reader, Session::Failure& failure,
                     bool authenticate = true) {
    const Answer answer = Call(link, op, Plain(op), authenticate);
    if (answer.failure.kind != Session::FailureKind::kNone) {
        failure = answer.failure;
        return std::nullopt;
    }
    return Take<T>(reader(answer.bytes()), answer, op, failure);
}

// Sends a write and reads its acknowledgement (or RebootNeeded).
template <typename T, typename Reader>
std::optional<T> Write(Link& link, Op op, const Builder& build, Reader reader,
                       Session::Failure& failure) {
    const Answer answer = Call(link, op, build, true, true);
    if (answer.failure.kind != Session::FailureKind::kNone) {
        failure = answer.failure;
        return std::nullopt;
    }
    return Take<T>(reader(answer.bytes()), answer, op, failure);
}

const Codec::NetworkInterface* InterfaceAt(const std::vector<Codec::NetworkInterface>& all,
                                           std::uint32_t address) {
    for (const auto& i : all) {
        for (const auto& m : i.manual)
            if (m.address == address) return &i;
        if (i.from_dhcp && i.from_dhcp->address == address) return &i;
    }
    for (const auto& i : all)
        if (i.has_ipv4 && i.ipv4_enabled) return &i;
    return all.empty() ? nullptr : &all.front();
}

// The write of one step, or nothing for the interface step (sent apart).
bool SendStep(Link& link, const StandardSnapshot& snapshot, const StandardChangePlan& plan,
              StandardStep step, Session::Failure& failure) {
    const auto ack = [](Op op) {
        return [op](std::span<const std::uint8_t> b) { return Codec::ReadAcknowledgement(op, b); };
    };
    switch (step) {
        case StandardStep::kSetDns:
            return Write<bool>(
                       link, Op::kSetDns,
                       [&](const Codec::UsernameToken* t) {
                           return Codec::BuildSetDns(plan.dns, t);
                       },
                       ack(Op::kSetDns), failure)
                .has_value();
        case StandardStep::kSetHttpPort:
            return Write<bool>(
                       link, Op::kSetNetworkProtocols,
                       [&](const Codec::UsernameToken* t) {
                           return Codec::BuildSetNetworkProtocols(*snapshot.protocols,
                                                                  plan.http_port, t);
                       },
                       ack(Op::kSetNetworkProtocols), failure)
                .has_value();
        case StandardStep::kSetGateway:
        case StandardStep::kSetGatewayAfterMove: {
            const std::uint32_t gateway = plan.gateway;
            return Write<bool>(
                       link, Op::kSetNetworkDefaultGateway,
                       [gateway](const Codec::UsernameToken* t) {
                           return Codec::BuildSetNetworkDefaultGateway(
                               std::span<const std::uint32_t>(&gateway, 1), t);
                       },
                       ack(Op::kSetNetworkDefaultGateway), failure)
                .has_value();
        }
        case StandardStep::kSetInterface:
            break;
    }
    return false;
}

// The way to the camera at `address` once `plan` took: on the HTTP port sent,
// if one was, with what the read found out.
Link LinkAfter(const StandardSnapshot& snapshot, const StandardChangePlan& plan,
               std::uint32_t address, const StandardCredentials& credentials,
               const Session::Options& options) {
    Link link;
    link.url = ServiceUrlAt(snapshot.service_url, address,
                            plan.Has(StandardStep::kSetHttpPort) ? plan.http_port : 0);
    link.auth = snapshot.auth;
    link.offset = snapshot.clock_offset_s;
    link.credentials = &credentials;
    link.options = &options;
    return link;
}

// What one address showed while it was knocked at.
struct Look {
    DirectedProbe::Sighting probe;
    std::optional<StandardReadBack> read;
    Session::Failure failure;  // why there is no read-back
};

// Probes `address` for `endpoint` and reads the interfaces (and what `plan`
// sent besides) at the link's URL, again and again while either is silent,
// until both have answered or `deadline` passed. A read that fails otherwise
// than by silence (a refusal, a fault) is not repeated. With
// `wait_for_probe`, the read waits until the probe has been answered.
Look Knock(Link& link, std::uint32_t address, const std::string& endpoint,
           const StandardChangePlan* plan, std::chrono::steady_clock::time_point deadline,
           bool wait_for_probe) {
    Look look;
    look.failure = FailureOf(Session::FailureKind::kUnreachable, Op::kGetNetworkInterfaces);
    bool read_settled = false;
    for (;;) {
        bool waited = false;
        if (!look.probe.answered) {
            // One round: it waits for answers as long as a knock's pause.
            look.probe = DirectedProbe::Ask(address, endpoint, std::chrono::steady_clock::now());
            waited = true;
        }
        if (!read_settled && (!wait_for_probe || look.probe.answered)) {
            Session::Failure failure;
            const auto interfaces = Ask<std::vector<Codec::NetworkInterface>>(
                link, Op::kGetNetworkInterfaces, Codec::ReadNetworkInterfaces, failure);
            read_settled = interfaces || failure.kind != Session::FailureKind::kUnreachable;
            look.failure = failure;
            if (interfaces) {
                StandardReadBack read;
                read.interfaces = *interfaces;
                Session::Failure ignored;
                if (plan && plan->Has(StandardStep::kSetGateway))
                    read.gateways =
                        Ask<std::vector<std::uint32_t>>(link, Op::kGetNetworkDefaultGateway,
                                                        Codec::ReadNetworkDefaultGateway, ignored);
                if (plan && plan->Has(StandardStep::kSetDns))
                    read.dns = Ask<Codec::DnsSettings>(link, Op::kGetDns, Codec::ReadDns, ignored);
                if (plan && plan->Has(StandardStep::kSetHttpPort))
                    read.protocols = Ask<std::vector<Codec::NetworkProtocol>>(
                        link, Op::kGetNetworkProtocols, Codec::ReadNetworkProtocols, ignored);
                look.read = std::move(read);
            }
        }
        if ((read_settled && look.probe.answered) || std::chrono::steady_clock::now() >= deadline)
            return look;
        if (!waited) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

}  // namespace

Session::ReadResult Session::Read(const Target& target,
                                  const StandardCredentials& credentials) const {
    ReadResult result;
    Link link;
    link.credentials = &credentials;
    link.options = &options_;
    const std::vector<std::string> urls = OrderServiceUrls(target.xaddrs, target.answered_from);
    result.failure = FailureOf(FailureKind::kUnreachable, Op::kGetSystemDateAndTime);

    // The clock is open to anyone on most firmwares: the first URL that
    // answers it at all is the one to use.
    Answer clock;
    for (const std::string& url : urls) {
        link.url = url;
        clock = Call(link, Op::kGetSystemDateAndTime, Plain(Op::kGetSystemDateAndTime), false);
        if (clock.failure.kind == FailureKind::kNone) break;
        result.failure = clock.failure;
    }
    if (clock.failure.kind != FailureKind::kNone || urls.empty()) return result;
    std::optional<std::int64_t> camera_utc;
    const std::int64_t asked_at = NowUtc();
    if (clock.http.status == 200) camera_utc = Codec::ReadSystemDateAndTime(clock.bytes()).value;

    const auto capabilities = Codec::ReadServiceCapabilities(
        Call(link, Op::kGetServiceCapabilities, Plain(Op::kGetServiceCapabilities), false).bytes());
    if (capabilities.value && capabilities.value->network_config_not_supported) {
        result.failure = FailureOf(FailureKind::kNotSupported, Op::kGetServiceCapabilities);
        return result;
    }

    if (target.known_auth) {
        link.auth = *target.known_auth;
    } else {
        // A protected call without credentials tells which authentication fits.
        const Answer probe =
            Call(link, Op::kGetDeviceInformation, Plain(Op::kGetDeviceInformation), false);
        if (probe.failure.kind != FailureKind::kNone) {
            result.failure = probe.failure;
            return result;
        }
        const auto probed = Codec::ReadDeviceInformation(probe.bytes());
        const auto method =
            ChooseAuthentication(probe.http.status, probe.http.digest_offered,
                                 probed.error == Codec::Error::kFault &&
                                     probed.fault.Names(Codec::kErrors, "NotAuthorized"),
                                 probed.value.has_value(), capabilities.value);
        if (!method) {
            Take(probed, probe, Op::kGetDeviceInformation, result.failure);
            // A 401 offering no Digest asks for Basic, which never goes out.
            if (probe.http.status == 401) result.failure.kind = FailureKind::kAuthUnsupported;
            return result;
        }
        link.auth = *method;
    }

    // A firmware that keeps its clock from strangers shows it to a token on
    // the PC's clock: the camera cannot expect a Created time nobody knows.
    if (!camera_utc) {
        const auto read = Ask<std::int64_t>(link, Op::kGetSystemDateAndTime,
                                            Codec::ReadSystemDateAndTime, result.failure);
        if (!read) return result;
        camera_utc = *read;
    }
    link.offset = ClockOffset(*camera_utc, asked_at);

    StandardSnapshot s;
    s.endpoint_reference = target.endpoint_reference;
    s.service_url = link.url;
    s.auth = link.auth;
    s.clock_offset_s = link.offset;
    const auto information = Ask<Codec::DeviceInformation>(
        link, Op::kGetDeviceInformation, Codec::ReadDeviceInformation, result.failure);
    if (!information) return result;
    s.information = *information;
    const auto interfaces = Ask<std::vector<Codec::NetworkInterface>>(
        link, Op::kGetNetworkInterfaces, Codec::ReadNetworkInterfaces, result.failure);
    if (!interfaces) return result;
    const Codec::NetworkInterface* in = InterfaceAt(*interfaces, target.answered_from);
    if (!in) {
        result.failure = FailureOf(FailureKind::kBadAnswer, Op::kGetNetworkInterfaces);
        result.failure.error = Codec::Error::kMissingElement;
        return result;
    }
    s.interface_token = in->token;
    s.mac = in->mac;
    s.dhcp = in->dhcp;
    if (!in->manual.empty()) {
        s.address = in->manual.front().address;
        s.prefix_length = in->manual.front().prefix_length;
    } else if (in->from_dhcp) {
        s.address = in->from_dhcp->address;
        s.prefix_length = in->from_dhcp->prefix_length;
    }

    // The gateway, DNS and protocols are optional to a camera: a fault leaves
    // them unknown (a change to them is then refused), a refusal ends it.
    Failure optional;
    const auto optional_ok = [&] {
        return optional.kind != FailureKind::kAuthRefused &&
               optional.kind != FailureKind::kUnreachable;
    };
    s.gateways = Ask<std::vector<std::uint32_t>>(link, Op::kGetNetworkDefaultGateway,
                                                 Codec::ReadNetworkDefaultGateway, optional);
    if (optional_ok()) s.dns = Ask<Codec::DnsSettings>(link, Op::kGetDns, Codec::ReadDns, optional);
    if (optional_ok())
        s.protocols = Ask<std::vector<Codec::NetworkProtocol>>(
            link, Op::kGetNetworkProtocols, Codec::ReadNetworkProtocols, optional);
    if (!optional_ok()) {
        result.failure = optional;
        return result;
    }
    if (s.protocols) s.http_port = HttpPortOf(*s.protocols);
    result.snapshot = std::move(s);
    result.failure = {};
    return result;
}

Session::ApplyResult Session::Apply(const StandardSnapshot& snapshot, const StandardWanted& wanted,
                                    const StandardCredentials& credentials) const {
    ApplyResult result;
    result.plan = PlanStandardChange(snapshot, wanted);
    if (result.plan.refusal != PlanRefusal::kNone) {
        result.failure = FailureOf(FailureKind::kPlanRefused, Op::kSetNetworkInterfaces);
        result.failure.refusal = result.plan.refusal;
        return result;
    }
    if (result.plan.steps.empty()) {
        result.outcome = ApplyOutcome::kNothingToDo;
        return result;
    }
    Link link;
    link.url = snapshot.service_url;
    link.auth = snapshot.auth;
    link.offset = snapshot.clock_offset_s;
    link.credentials = &credentials;
    link.options = &options_;

    for (const StandardStep step : result.plan.steps) {
        if (step == StandardStep::kSetGatewayAfterMove) break;
        if (step != StandardStep::kSetInterface) {
            if (!SendStep(link, snapshot, result.plan, step, result.failure)) {
                if (result.failure.kind == FailureKind::kUnknown)
                    result.outcome = ApplyOutcome::kUnknown;
                return result;
            }
            result.done.push_back(step);
            continue;
        }
        const auto reboot_needed = Write<bool>(
            link, Op::kSetNetworkInterfaces,
            [&](const Codec::UsernameToken* t) {
                return Codec::BuildSetNetworkInterfaces(result.plan.interface, t);
            },
            Codec::ReadSetNetworkInterfaces, result.failure);
        if (!reboot_needed) {
            if (result.failure.kind == FailureKind::kUnknown)
                result.outcome = ApplyOutcome::kUnknown;
            return result;
        }
        result.done.push_back(step);
        if (!*reboot_needed) {
            result.outcome = ApplyOutcome::kMoving;
            return result;
        }
        const auto rebooting = Write<bool>(
            link, Op::kSystemReboot, Plain(Op::kSystemReboot),
            [](std::span<const std::uint8_t> b) {
                return Codec::ReadAcknowledgement(Op::kSystemReboot, b);
            },
            result.failure);
        if (!rebooting) {
            // The settings are stored; only the reboot is in doubt.
            result.outcome = result.failure.kind == FailureKind::kUnknown ? ApplyOutcome::kUnknown
                                                                          : ApplyOutcome::kFailed;
            return result;
        }
        result.outcome = ApplyOutcome::kRebooting;
        return result;
    }
    result.outcome = ApplyOutcome::kStaysPut;
    return result;
}

Session::ConfirmResult Session::Search(const StandardSnapshot& snapshot, const ApplyResult& applied,
                                       std::uint32_t new_address,
                                       const StandardCredentials& credentials,
                                       bool wait_for_probe) const {
    ConfirmResult result;
    const StandardChangePlan& plan = applied.plan;
    const std::string& endpoint = snapshot.endpoint_reference;
    Link link = LinkAfter(snapshot, plan, new_address, credentials, options_);

    const Look at_new =
        Knock(link, new_address, endpoint, &plan,
              std::chrono::steady_clock::now() + options_.confirm_patience, wait_for_probe);
    result.failure = at_new.failure;
    const bool same_endpoint =
        endpoint.empty() ? at_new.probe.answered : at_new.probe.Names(endpoint);
    if (at_new.probe.answered && !same_endpoint) {
        result.finding = Finding::kOtherEndpoint;
    } else if (at_new.read) {
        result.mismatch = CompareReadBack(plan, *at_new.read);
        result.finding = result.mismatch != ReadBackMismatch::kNone ? Finding::kReadBackDiffers
                         : same_endpoint                            ? Finding::kConfirmed
                                                                    : Finding::kNoProbeMatch;
    } else if (at_new.failure.kind != FailureKind::kUnreachable || at_new.probe.answered) {
        result.finding = Finding::kFailed;
    } else if (snapshot.address != 0 && snapshot.address != new_address) {
        // Silent where it should be: a camera that took the change and
        // stayed (or went back) still answers where it was.
        Link old = link;
        old.url = snapshot.service_url;
        const Look at_old =
            Knock(old, snapshot.address, endpoint, nullptr,
                  std::chrono::steady_clock::now() + options_.old_address_patience, false);
        const bool there = at_old.read || (endpoint.empty() ? at_old.probe.answered
                                                            : at_old.probe.Names(endpoint));
        result.finding = there ? Finding::kAtOldAddress : Finding::kSilent;
    }
    return result;
}

Session::ConfirmResult Session::Confirm(const StandardSnapshot& snapshot,
                                        const ApplyResult& applied, std::uint32_t new_address,
                                        const StandardCredentials& credentials) const {
    // A rebooting camera may answer at its old place until it goes down:
    // what it says counts only once it has come back.
    ConfirmResult result = Search(snapshot, applied, new_address, credentials,
                                  applied.outcome == ApplyOutcome::kRebooting);
    result.confirmed = result.finding == Finding::kConfirmed;
    const StandardChangePlan& plan = applied.plan;
    if (!result.confirmed || !plan.Has(StandardStep::kSetGatewayAfterMove)) return result;

    Link link = LinkAfter(snapshot, plan, new_address, credentials, options_);
    if (!SendStep(link, snapshot, plan, StandardStep::kSetGatewayAfterMove, result.failure))
        return result;
    // Some firmwares take a gateway and ignore it: only a read-back says.
    const auto gateways = Ask<std::vector<std::uint32_t>>(
        link, Op::kGetNetworkDefaultGateway, Codec::ReadNetworkDefaultGateway, result.failure);
    result.deferred_gateway_applied =
        gateways && std::find(gateways->begin(), gateways->end(), plan.gateway) != gateways->end();
    if (gateways && !result.deferred_gateway_applied) result.mismatch = ReadBackMismatch::kGateway;
    return result;
}

Session::ConfirmResult Session::Locate(const StandardSnapshot& snapshot, const ApplyResult& applied,
                                       std::uint32_t new_address,
                                       const StandardCredentials& credentials) const {
    ConfirmResult result = Search(snapshot, applied, new_address, credentials, false);
    result.confirmed = false;
    return result;
}

}  // namespace quorvex
