#include "cli/batch_change.h"

#include <chrono>
#include <string>
#include <thread>

namespace quorvex {

std::vector<ChangeResult> ApplyAndConfirm(DeviceSearch& search, const ChangePlan& plan,
                                          double seconds) {
    const auto confirm_time = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(seconds));
    ChangeWatch watch(search.business(), plan, confirm_time);
    if (watch.Done()) return {};
    // The watch keeps its own time; this bound only outlasts it.
    const double bound =
        seconds + std::chrono::duration<double>(ChangeWatch::kLeaveDeadline).count() + 1;
    search.Watch(bound, "confirming", [&] { return watch.Poll(); });
    return watch.Results();
}

StandardCameraSession::Options SessionOptions(const CliOptions& options) {
    StandardCameraSession::Options session;
    session.accept_any_certificate = options.accept_self_signed;
    return session;
}

std::vector<StandardChangeOutcome> FinishStandardChanges(StandardChangeBatch& batch,
                                                         ProgressDisplay& progress) {
    while (!batch.Done()) {
        std::size_t judged = 0;
        for (std::size_t i = 0; i < batch.Size(); ++i)
            if (batch.StateOf(i) == StandardChangeBatch::State::done) ++judged;
        progress.Note("changing standard cameras: " + std::to_string(judged) + " of " +
                      std::to_string(batch.Size()) + " judged");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    progress.Clear();
    return batch.Outcomes();
}

namespace {

// What a refused write was about.
std::string RefusedWhat(OnvifDeviceCodec::Operation operation) {
    using Op = OnvifDeviceCodec::Operation;
    switch (operation) {
        case Op::kSetNetworkInterfaces:
            return "the address";
        case Op::kSetNetworkDefaultGateway:
            return "the gateway";
        case Op::kSetDns:
            return "the name servers";
        case Op::kSetNetworkProtocols:
            return "the http port";
        case Op::kSystemReboot:
            return "the reboot";
        default:
            break;
    }
    return "the request " + std::string(OnvifDeviceCodec::OperationName(operation));
}

// The innermost subcode names the cause most exactly ("ter:InvalidIPv4Address").
std::string FaultName(const OnvifDeviceCodec::Fault& fault) {
    const OnvifDeviceCodec::QName& name =
        fault.subcodes.empty() ? fault.code : fault.subcodes.back();
    if (name.uri == OnvifDeviceCodec::kErrors) return "ter:" + name.local;
    if (name.uri == OnvifDeviceCodec::kEnvelope) return "env:" + name.local;
    return name.local.empty() ? std::string("a fault") : name.local;
}

// Why an answer that came did not read; empty when the reader's error says
// nothing a person can act on.
std::string UnreadText(const StandardCameraSession::Failure& f) {
    using Error = OnvifDeviceCodec::Error;
    const bool not_soap = f.error == Error::kMalformed || f.error == Error::kNotSoap ||
                          f.error == Error::kInvalidUtf8;
    if (f.status >= 300 && not_soap)
        return "it answered HTTP " + std::to_string(f.status) + " with a web page, not SOAP";
    const std::string answer =
        "its answer to " + std::string(OnvifDeviceCodec::OperationName(f.operation));
    switch (f.error) {
        case Error::kOversized:
            return answer + " was larger than " +
                   std::to_string(OnvifDeviceCodec::kMaxAnswerBytes / 1024) + " KB";
        case Error::kDocumentType:
            return answer + " declares a document type, which is never read";
        case Error::kMalformed:
            return answer + " is not XML";
        case Error::kInvalidUtf8:
            return answer + " holds text that is not UTF-8";
        case Error::kTooComplex:
            return answer + " is nested or repeated beyond what is read";
        case Error::kNotSoap:
            return answer + " is no SOAP message";
        default:
            return {};
    }
}

// How an exchange ended without a whole answer; empty for a camera that
// simply is not there.
std::string TransferText(OnvifHttp::Failure transfer) {
    using F = OnvifHttp::Failure;
    switch (transfer) {
        case F::kTooLarge:
            return "its answer was larger than " +
                   std::to_string(OnvifDeviceCodec::kMaxAnswerBytes / 1024) +
                   " KB, where reading stops";
        case F::kTooSlow:
            return "its answer trickled in below " +
                   std::to_string(OnvifHttp::Request{}.min_bytes_per_second) +
                   " bytes a second and was given up";
        case F::kTimeout:
            return "it sent no whole answer in the time allowed";
        case F::kRedirected:
            return "it redirected to another address, which is never followed";
        case F::kConnectionLost:
            return "it closed the connection before a whole answer";
        case F::kTls:
            return "the https handshake with it failed (a certificate it signed itself is "
                   "accepted only with --accept-self-signed)";
        default:
            return {};
    }
}

std::string MismatchText(ReadBackMismatch mismatch) {
    switch (mismatch) {
        case ReadBackMismatch::kNone:
            break;
        case ReadBackMismatch::kNoInterface:
            return "no network interface";
        case ReadBackMismatch::kAddress:
            return "another address";
        case ReadBackMismatch::kDhcp:
            return "another dhcp setting";
        case ReadBackMismatch::kGateway:
            return "another gateway";
        case ReadBackMismatch::kDns:
            return "other name servers";
        case ReadBackMismatch::kHttpPort:
            return "another http port";
    }
    return "other values";
}

// What the search at the new and the old address found.
std::string FindingText(const StandardChangeOutcome& outcome) {
    using Finding = StandardCameraSession::Finding;
    const std::string at_new = AddressText(outcome.new_address);
    const std::string at_old = AddressText(outcome.old_address);
    switch (outcome.finding) {
        case Finding::kConfirmed:
            return "it answers at " + at_new + " with the new settings";
        case Finding::kReadBackDiffers:
            return "it answers at " + at_new + " with " + MismatchText(outcome.mismatch);
        case Finding::kNoProbeMatch:
            return "its device service answers at " + at_new +
                   " with the new settings, but no WS-Discovery probe there does";
        case Finding::kOtherEndpoint:
            return "another device (another endpoint reference) answers probes at " + at_new;
        case Finding::kAtOldAddress:
            return "answers at the old address " + at_old;
        case Finding::kSilent:
            return "it answers neither at " + at_new + " nor at the old address " + at_old;
        case Finding::kFailed:
            break;
    }
    return "something answers at " + at_new + ", but it could not be read back";
}

}  // namespace

std::string StandardOutcomeText(const StandardChangeOutcome& outcome) {
    using Kind = StandardCameraSession::FailureKind;
    using Finding = StandardCameraSession::Finding;
    const StandardCameraSession::Failure& f = outcome.failure;
    if (f.kind == Kind::kUnknown && outcome.searched)
        return "unknown: searched old and new address; " + FindingText(outcome);
    if (outcome.searched && !outcome.confirmed && outcome.finding != Finding::kFailed &&
        outcome.finding != Finding::kConfirmed)
        return FindingText(outcome);
    if (outcome.mismatch != ReadBackMismatch::kNone)
        return "it answers at " + AddressText(outcome.new_address) + " with " +
               MismatchText(outcome.mismatch);
    switch (f.kind) {
        case Kind::kAuthRefused:
            return "the camera refused the credentials: wrong user or password?";
        case Kind::kAuthUnsupported:
            return "the camera asks for Basic authentication, which is never sent";
        case Kind::kNotSupported:
            return "the camera does not allow its network settings to be changed";
        case Kind::kFault:
            return "the camera refused " + RefusedWhat(f.operation) + ": " + FaultName(f.fault);
        case Kind::kBadAnswer:
            if (std::string unread = UnreadText(f); !unread.empty()) return unread;
            return "the camera's answer to " +
                   std::string(OnvifDeviceCodec::OperationName(f.operation)) + " does not read";
        case Kind::kUnknown:
            return "the change went out and no answer came: it may have moved (scan to see)";
        case Kind::kPlanRefused:
            return "the camera cannot take these values (it named no interface, port or name "
                   "servers to change)";
        case Kind::kUnreachable:
            // A camera still moving is silent at its new address: that is
            // "does not answer", not a slow answer.
            if (f.transfer != OnvifHttp::Failure::kTimeout ||
                outcome.stage != StandardChangeStage::confirm)
                if (std::string how = TransferText(f.transfer); !how.empty()) return how;
            if (outcome.stage == StandardChangeStage::confirm)
                return "it does not answer at " + AddressText(outcome.new_address);
            return "its device service does not answer";
        case Kind::kNone:
            break;
    }
    return "it was not read back with the new settings";
}

std::string VerdictText(AddressVerdict verdict) {
    switch (verdict) {
        case AddressVerdict::free:
            return "free";
        case AddressVerdict::not_an_address:
            return "not an IPv4 address";
        case AddressVerdict::mask_not_contiguous:
            return "the mask is not a subnet mask";
        case AddressVerdict::special_address:
            return "a special address (0.0.0.0, loopback, link-local, multicast or reserved)";
        case AddressVerdict::network_address:
            return "the network address of its subnet";
        case AddressVerdict::broadcast_address:
            return "the broadcast address of its subnet";
        case AddressVerdict::outside_subnet:
            return "outside the subnet of the interface";
        case AddressVerdict::pc_address:
            return "this PC's own address";
        case AddressVerdict::gateway_address:
            return "the gateway's address";
        case AddressVerdict::taken_by_camera:
            return "another camera's address";
        case AddressVerdict::answered_on_link:
            return "another host answers for it on the link";
    }
    return "refused";
}

std::string FieldText(PlanField field) {
    switch (field) {
        case PlanField::ip:
            return "address";
        case PlanField::mask:
            return "mask";
        case PlanField::gateway:
            return "gateway";
        case PlanField::dns1:
            return "dns1";
        case PlanField::dns2:
            return "dns2";
        case PlanField::http_port:
            return "http port";
        case PlanField::dhcp:
            return "dhcp";
        case PlanField::user:
            return "user name";
        case PlanField::password:
            return "password";
        case PlanField::none:
            break;
    }
    return "value";
}

std::string IssueText(const PlanIssue& issue) {
    const std::string field = FieldText(issue.field);
    switch (issue.problem) {
        case PlanProblem::none:
            return "planned";
        case PlanProblem::not_configurable:
            return "only WS-Discovery heard it, which cannot change its settings";
        case PlanProblem::in_conflict:
            return "its MAC answered with other addresses or from other senders, so another "
                   "host may pose as it (name it to change it anyway)";
        case PlanProblem::already_inside:
            return "already in the subnet of its interface";
        case PlanProblem::no_interface:
            return "the interface that heard it is not searched";
        case PlanProblem::no_free_address:
            return "no free address left";
        case PlanProblem::bad_address:
            return "the " + field + " is refused: " + VerdictText(issue.verdict) +
                   (IsOverridable(issue.verdict) ? " (--force sends it anyway)" : "");
        case PlanProblem::bad_value:
            return "the " + field + " " + WireProblemText(issue.wire);
        case PlanProblem::gateway_outside:
            return "the gateway lies outside the new subnet";
        case PlanProblem::gateway_is_address:
            return "the new address is the gateway's";
        case PlanProblem::no_mask:
            return "no mask given and none to take over (give --mask)";
        case PlanProblem::password_needed:
            if (issue.field == PlanField::user)
                return "a standard camera wants an administrator's name: give it with --user "
                       "(and the password with --password-stdin)";
            return "its answer does not report its password: give it with --password-stdin";
        case PlanProblem::forced:
            return "the " + field + " is " + VerdictText(issue.verdict) + "; sent as --force asks";
        case PlanProblem::named_in_conflict:
            return "its MAC answered with other addresses or from other senders; changed "
                   "because it was named";
        case PlanProblem::needs_temporary_address:
            return "it lies outside every subnet of this PC, which cannot reach it over HTTP "
                   "(--temporary-address lends this PC an address of its subnet for the change)";
    }
    return "refused";
}

std::string ResultText(ChangeResult result) {
    switch (result) {
        case ChangeResult::confirmed:
            return "confirmed";
        case ChangeResult::answers_old:
            return "answers with other values";
        case ChangeResult::other_mac:
            return "answers at this address with another MAC";
        case ChangeResult::gone:
            return "gone";
    }
    return "unknown";
}

std::string WireProblemText(WireValueProblem problem) {
    switch (problem) {
        case WireValueProblem::none:
            return "fine";
        case WireValueProblem::line_break:
            return "holds a line break";
        case WireValueProblem::control:
            return "holds a control character";
        case WireValueProblem::too_long:
            return "is longer than 31 bytes";
        case WireValueProblem::not_ascii:
            return "holds a character outside ASCII";
    }
    return "cannot be sent";
}

}  // namespace quorvex
