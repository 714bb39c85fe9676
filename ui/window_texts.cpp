#include "ui/window_texts.h"

#include <array>
#include <utility>

#include "config/language_x.h"
#include "config/text_convert.h"
#include "core/device_records.h"
#include "core/onvif_device_codec.h"

namespace quorvex {

namespace {

QString OperationText(OnvifDeviceCodec::Operation operation) {
    const std::string_view name = OnvifDeviceCodec::OperationName(operation);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

constexpr std::pair<int, const char*> kEnglish[] = {
    {IDS_ADDRESS_BLANK, "Enter an address."},
    {IDS_ADDRESS_INCOMPLETE, "An address is four numbers with dots between them."},
    {IDS_OCTET_TOO_LARGE, "%1 is above 255."},
    {IDS_ADDRESS_MALFORMED, "Not an address: four numbers of up to three digits."},
    {IDS_ADDRESS_NOT_HOST, "No camera can hold this address."},
    {IDS_MASK_NOT_CONTIGUOUS, "Not a subnet mask: its ones must come first, without gaps."},
    {IDS_ADDRESS_NOT_IN_SUBNET, "This is the network or broadcast address of the subnet."},
    {IDS_GATEWAY_OUTSIDE, "The gateway is outside the camera's subnet."},
    {IDS_PORT_RANGE, "Enter a port from 1 to 65535."},
    {IDS_WIRE_LINE_BREAK, "Must not hold a line break."},
    {IDS_WIRE_CONTROL, "Must not hold control characters."},
    {IDS_WIRE_TOO_LONG, "At most 31 bytes."},
    {IDS_WIRE_NOT_ASCII, "This camera takes only ASCII characters here."},
    {IDS_START_ADDRESS, "Start address"},
    {IDS_BATCH_CAPTION, "Network configuration of %1 cameras"},
    {IDS_BATCH_CREDENTIALS,
     "User and password left blank: each camera's own, as its answer carries them."},
    {IDS_FILTER_PLACEHOLDER, "Filter (Ctrl+F): text in any column"},
    {IDS_STATUS_SHOWN, "%1 of %2 cameras shown"},
    {IDS_STATUS_OUTSIDE, "%1 outside their subnet"},
    {IDS_STATUS_CONFLICTS, "%1 in address conflict"},
    {IDS_STATUS_SILENT, "%1 not answering"},
    {IDS_STATUS_SEARCHING, "%2 searches sent on %1 interface address(es)"},
    {IDS_STATUS_NO_INTERFACE, "no network interface to search on"},
    {IDS_STATUS_STARTING, "starting the search"},
    {IDS_PROBLEM_LINE, "%1 protocol on %2: %3"},
    {IDS_STATE_SOCKET_FAILED, "no socket could be opened"},
    {IDS_STATE_BIND_FAILED, "port %1 is used by another program"},
    {IDS_STATE_JOIN_FAILED, "the multicast group could not be joined"},
    {IDS_STATE_GONE, "the interface is gone"},
    {IDS_PROTOCOL_BINARY, "binary"},
    {IDS_PROTOCOL_TEXT, "text"},
    {IDS_STATUS_DROPS, "%1 answers dropped"},
    {IDS_PROTOCOL_WSD, "WS-Discovery"},
    {IDS_WSD_READ_ONLY,
     "Only WS-Discovery heard this camera and it names no device service: it can be listed and "
     "its web page opened, but its network settings cannot be changed from here."},
    {IDS_STATUS_FAULTS,
     "%1 protocol: %2 device(s) answered the search with a fault and are not listed"},
    {IDS_STATUS_REFUSED, "%1 protocol: %2 malformed, oversized or unsafe datagram(s) refused"},
    {IDS_SILENT_TOOLTIP, "Not answering since %1"},
    {IDS_CONFLICT_DUPLICATE, "Address conflict: another camera has this address"},
    {IDS_CONFLICT_HOST, "Address conflict: the PC or the gateway has this address"},
    {IDS_OWN_ADDRESS, "Own address %1, mask %2"},
    {IDS_CHANGE_PENDING, "Change sent; waiting for the camera"},
    {IDS_CHANGE_CONFIRMED, "Change confirmed"},
    {IDS_CHANGE_NOT_CONFIRMED, "Change not confirmed: %1"},
    {IDS_OUTSIDE_AT, "%1 — not in this PC's subnet"},
    {IDS_NO_BROWSER, "Could not open %1: no web browser is set up on this PC."},
    {IDS_NO_WEB_ADDRESS, "This camera has no address a browser can open."},
    {IDS_ARP_DONE, "ARP cache cleared on %1."},
    {IDS_ARP_FAILED, "Clearing the ARP cache failed: %1"},
    {IDS_ARP_NEEDS_ROOT,
     "Clearing the ARP cache needs administrator rights: run Quorvex as root or install "
     "pkexec."},
    {IDS_ARP_NO_INTERFACE, "No interface is searched yet, so no ARP cache was cleared."},
    {IDS_ARP_RUNNING, "Clearing the ARP cache on %1..."},
    {IDS_LANGUAGE_NOT_SAVED, "The language is in use but was not saved for the next start: %1"},
    {IDS_EXPORT_TITLE, "Export camera list"},
    {IDS_EXPORT_FILTER, "CSV files (*.csv);;JSON files (*.json)"},
    {IDS_EXPORT_DONE, "%1 cameras written to %2."},
    {IDS_EXPORT_FAILED, "Could not write %1: %2"},
    {IDS_COPIED, "%1 rows copied."},
    {IDS_VERDICT_OUTSIDE, "Outside the subnet of the PC interface that hears the camera."},
    {IDS_VERDICT_PC, "This PC has this address."},
    {IDS_VERDICT_GATEWAY, "The gateway has this address."},
    {IDS_VERDICT_CAMERA, "Another camera has this address."},
    {IDS_VERDICT_LINK, "Another host on the link answers for this address."},
    {IDS_RESULT_ANSWERS_OLD, "it still answers with its old values — wrong user or password?"},
    {IDS_RESULT_GONE, "it did not answer again"},
    {IDS_RESULT_OTHER_MAC, "answers at this address with another MAC"},
    {IDS_CHANGES_SENT, "%1 change(s) sent; waiting for the cameras to answer."},
    {IDS_CHANGES_DONE, "%1 of %2 change(s) confirmed."},
    {IDS_MATCH_UNPLACED, "%1 camera(s) not moved: no free address left in host numbers %2 to %3."},
    {IDS_MATCH_NOTHING, "No selected camera is outside its subnet."},
    {IDS_BATCH_UNPLACED, "%1 camera(s) not changed: no free address left from %2."},
    {IDS_PLAN_TITLE, "Address plan"},
    {IDS_PLAN_MOVE, "%1  %2  %3 -> %4"},
    {IDS_PLAN_SKIP, "skipped %1: %2"},
    {IDS_PLAN_UNPLACED, "%1  %2  not moved: no free address left"},
    {IDS_PLAN_QUESTION, "Send these changes?"},
    {IDS_PLAN_MORE_SKIPPED, "... and %1 more skipped addresses"},
    {IDS_CREDENTIALS_TITLE, "Credentials for the change"},
    {IDS_CREDENTIALS_HINT,
     "The user and password the cameras are changed with. Left blank: each camera's own, as its "
     "answer carries them."},
    {IDS_USER, "User"},
    {IDS_PASSWORD, "Password"},
    {IDS_STATUS_CHANGES, "changes: %1 pending, %2 confirmed, %3 not confirmed"},
    {IDS_ADDRESS_CHARACTER, "Only digits and dots go here: \"%1\" was not taken."},
    {IDS_PLAN_REFUSED, "%1  %2  not changed: %3"},
    {IDS_PLAN_WARNING, "note: %1"},
    {IDS_PLAN_VALUE, "%1: %2 -> %3"},
    {IDS_PLAN_SUMMARY, "%1 camera(s) change, %2 not changed."},
    {IDS_PLAN_SUMMARY_WHY, "%1 not changed: %2"},
    {IDS_PLAN_SUMMARY_VALUES, "Values that change: %1"},
    {IDS_PLAN_NO_VALUE, "(none)"},
    {IDS_PLAN_SKIPPED_COUNT, "%1 address(es) skipped."},
    {IDS_FIELD_IP, "address"},
    {IDS_FIELD_MASK, "mask"},
    {IDS_FIELD_GATEWAY, "gateway"},
    {IDS_FIELD_DNS1, "DNS server 1"},
    {IDS_FIELD_DNS2, "DNS server 2"},
    {IDS_FIELD_HTTP_PORT, "HTTP port"},
    {IDS_FIELD_DHCP, "DHCP"},
    {IDS_FIELD_USER, "user"},
    {IDS_FIELD_PASSWORD, "password"},
    {IDS_PLAN_ON_OFF, "off|on"},
    {IDS_ISSUE_NOT_CONFIGURABLE, "only WS-Discovery heard it, which cannot change its settings"},
    {IDS_ISSUE_IN_CONFLICT,
     "its MAC answered with other addresses or from other senders, so another host may pose as it"},
    {IDS_ISSUE_ALREADY_INSIDE, "already in the subnet of its interface"},
    {IDS_ISSUE_NO_INTERFACE, "the interface that heard it is no longer searched"},
    {IDS_ISSUE_NO_FREE_ADDRESS, "no free address left"},
    {IDS_ISSUE_BAD_VALUE, "the %1: %2"},
    {IDS_ISSUE_GATEWAY_IS_ADDRESS, "the new address is the gateway's"},
    {IDS_ISSUE_NO_MASK, "no mask given and none to take over"},
    {IDS_ISSUE_PASSWORD_NEEDED, "its answer carries no password (text protocol): type it"},
    {IDS_ISSUE_FORCED, "the %1 is sent anyway: %2"},
    {IDS_ISSUE_NAMED_IN_CONFLICT, "its MAC answered with other addresses or from other senders"},
    {IDS_CREDENTIALS_NEEDED,
     "%1 camera(s) speak the text protocol and report no password: type the password they are "
     "changed with."},
    {IDS_CREDENTIALS_REQUIRED, "A password is needed for %1 camera(s)."},
    {IDS_PLAN_SEND, "Send"},
    {IDS_PLAN_CANCEL, "Cancel"},
    {IDS_STATUS_INTERFACE_MISSING,
     "interface %1 is listed but missing or without an address: it is searched once it appears"},
    {IDS_STATUS_ANSWERS_LOST,
     "%1 answers dropped and %2 repeated searches did not bring them all back: cameras may be "
     "missing"},
    {IDS_STATE_BIND_OTHER, "port %1 could not be bound"},
    {IDS_FIELD_GATEWAY_IS_ADDRESS, "The gateway cannot be the camera's own address."},
    {IDS_FIELD_NO_MASK, "Enter a mask: there is none to take over."},
    {IDS_FIELD_PASSWORD_NEEDED,
     "Type the password: the answer of a text-protocol camera carries none."},
    {IDS_LINK_PROGRESS, "Asking the link about %1 address(es)..."},
    {IDS_STANDARD_WAITING, "waiting for its turn"},
    {IDS_STANDARD_READING, "reading its settings"},
    {IDS_STANDARD_APPLYING, "changing its settings"},
    {IDS_STANDARD_CONFIRMING, "reading it back with the new settings"},
    {IDS_STANDARD_ANSWERS_WITH, "it answers at %1 with %2"},
    {IDS_MISMATCH_NO_INTERFACE, "no network interface"},
    {IDS_MISMATCH_ADDRESS, "another address"},
    {IDS_MISMATCH_DHCP, "another DHCP setting"},
    {IDS_MISMATCH_GATEWAY, "another gateway"},
    {IDS_MISMATCH_DNS, "other name servers"},
    {IDS_MISMATCH_HTTP_PORT, "another HTTP port"},
    {IDS_STANDARD_AUTH_REFUSED, "the camera refused the credentials: wrong user or password?"},
    {IDS_STANDARD_AUTH_BASIC, "the camera asks for Basic authentication, which is never sent"},
    {IDS_STANDARD_NOT_SUPPORTED, "the camera does not allow its network settings to be changed"},
    {IDS_STANDARD_FAULT, "the camera refused %1: %2"},
    {IDS_REFUSED_ADDRESS, "the address"},
    {IDS_REFUSED_GATEWAY, "the gateway"},
    {IDS_REFUSED_DNS, "the name servers"},
    {IDS_REFUSED_HTTP_PORT, "the HTTP port"},
    {IDS_REFUSED_REBOOT, "the reboot"},
    {IDS_REFUSED_REQUEST, "the request %1"},
    {IDS_STANDARD_BAD_ANSWER, "the camera's answer to %1 does not read"},
    {IDS_STANDARD_UNKNOWN,
     "the change went out and no answer came: it may have moved (refresh the list to see)"},
    {IDS_STANDARD_PLAN_REFUSED,
     "the camera cannot take these values (it named no interface, port or name servers to "
     "change)"},
    {IDS_STANDARD_SILENT_AT, "it does not answer at %1"},
    {IDS_STANDARD_UNREACHABLE, "its device service does not answer"},
    {IDS_STANDARD_NOT_READ_BACK, "it was not read back with the new settings"},
    {IDS_STANDARD_READ_PROGRESS, "Reading the settings of %1..."},
    {IDS_STANDARD_READ_FAILED, "The settings of %1 could not be read: %2"},
    {IDS_ISSUE_CREDENTIALS_STANDARD,
     "its device service wants an administrator's user and password: type them"},
    {IDS_FIELD_USER_NEEDED,
     "Type the user name: a camera changed through its device service needs one."},
    {IDS_FIELD_STANDARD_PASSWORD,
     "Type the password: a camera changed through its device service needs one."},
    {IDS_CREDENTIALS_STANDARD,
     "%1 camera(s) are changed through their device service: type the administrator's user and "
     "password."},
    {IDS_CREDENTIALS_USER_REQUIRED, "A user name is needed for %1 camera(s)."},
    {IDS_INFO_MODEL, "Model"},
    {IDS_INFO_FIRMWARE, "Firmware"},
    {IDS_INFO_SERIAL, "Serial number"},
    {IDS_INFO_DHCP, "DHCP"},
    {IDS_INFO_GATEWAY, "Gateway"},
    {IDS_INFO_DNS, "Name servers"},
    {IDS_TEMPORARY_TITLE, "Temporary address"},
    {IDS_TEMPORARY_QUESTION,
     "%1 camera(s) lie outside every subnet of this PC. To reach them, Quorvex adds %2 for the "
     "length of the change and removes it afterwards. Add it?"},
    {IDS_TEMPORARY_ON, "%1 on %2"},
    {IDS_TEMPORARY_PROGRESS, "Adding the temporary address..."},
    {IDS_TEMPORARY_FAILED, "The temporary address could not be added (%1): nothing was sent."},
    {IDS_ISSUE_NEEDS_TEMPORARY,
     "outside every subnet of this PC: it is reached only through a temporary address"},
    {IDS_PLAN_TEMPORARY, "through temporary address %1"},
};

}  // namespace

QString DefaultUiText(int id) {
    for (const auto& [key, text] : kEnglish) {
        if (key == id) return QString::fromUtf8(text);
    }
    return {};
}

QString UiText(const LanguageX& language, int id) {
    std::array<char16_t, kTextCapacity> text{};
    language.GetString(id, text);
    if (text[0] != u'\0') return QString::fromUtf16(text.data());
    return DefaultUiText(id);
}

QString VerdictUiText(const LanguageX& language, AddressVerdict verdict) {
    switch (verdict) {
        case AddressVerdict::free:
            return {};
        case AddressVerdict::not_an_address:
            return UiText(language, IDS_ADDRESS_MALFORMED);
        case AddressVerdict::mask_not_contiguous:
            return UiText(language, IDS_MASK_NOT_CONTIGUOUS);
        case AddressVerdict::special_address:
            return UiText(language, IDS_ADDRESS_NOT_HOST);
        case AddressVerdict::network_address:
        case AddressVerdict::broadcast_address:
            return UiText(language, IDS_ADDRESS_NOT_IN_SUBNET);
        case AddressVerdict::outside_subnet:
            return UiText(language, IDS_VERDICT_OUTSIDE);
        case AddressVerdict::pc_address:
            return UiText(language, IDS_VERDICT_PC);
        case AddressVerdict::gateway_address:
            return UiText(language, IDS_VERDICT_GATEWAY);
        case AddressVerdict::taken_by_camera:
            return UiText(language, IDS_VERDICT_CAMERA);
        case AddressVerdict::answered_on_link:
            return UiText(language, IDS_VERDICT_LINK);
    }
    return UiText(language, IDS_ADDRESS_NOT_HOST);
}

QString ResultUiText(const LanguageX& language, ChangeResult result) {
    switch (result) {
        case ChangeResult::confirmed:
            return UiText(language, IDS_CHANGE_CONFIRMED);
        case ChangeResult::answers_old:
            return UiText(language, IDS_RESULT_ANSWERS_OLD);
        case ChangeResult::other_mac:
            return UiText(language, IDS_RESULT_OTHER_MAC);
        case ChangeResult::gone:
            return UiText(language, IDS_RESULT_GONE);
    }
    return UiText(language, IDS_RESULT_GONE);
}

QString WireProblemUiText(const LanguageX& language, WireValueProblem problem) {
    switch (problem) {
        case WireValueProblem::none:
            return {};
        case WireValueProblem::line_break:
            return UiText(language, IDS_WIRE_LINE_BREAK);
        case WireValueProblem::control:
            return UiText(language, IDS_WIRE_CONTROL);
        case WireValueProblem::too_long:
            return UiText(language, IDS_WIRE_TOO_LONG);
        case WireValueProblem::not_ascii:
            return UiText(language, IDS_WIRE_NOT_ASCII);
    }
    return UiText(language, IDS_WIRE_CONTROL);
}

namespace {

// What a refused write was about.
QString RefusedWhat(const LanguageX& language, OnvifDeviceCodec::Operation operation) {
    using Op = OnvifDeviceCodec::Operation;
    switch (operation) {
        case Op::kSetNetworkInterfaces:
            return UiText(language, IDS_REFUSED_ADDRESS);
        case Op::kSetNetworkDefaultGateway:
            return UiText(language, IDS_REFUSED_GATEWAY);
        case Op::kSetDns:
            return UiText(language, IDS_REFUSED_DNS);
        case Op::kSetNetworkProtocols:
            return UiText(language, IDS_REFUSED_HTTP_PORT);
        case Op::kSystemReboot:
            return UiText(language, IDS_REFUSED_REBOOT);
        default:
            break;
    }
    return UiText(language, IDS_REFUSED_REQUEST).arg(OperationText(operation));
}

// The innermost subcode names the cause most exactly ("ter:InvalidIPv4Address");
// the camera's own words, so the same in every pack.
QString FaultName(const OnvifDeviceCodec::Fault& fault) {
    const OnvifDeviceCodec::QName& name =
        fault.subcodes.empty() ? fault.code : fault.subcodes.back();
    const QString local = QString::fromStdString(name.local);
    if (name.uri == OnvifDeviceCodec::kErrors) return QStringLiteral("ter:") + local;
    if (name.uri == OnvifDeviceCodec::kEnvelope) return QStringLiteral("env:") + local;
    return local.isEmpty() ? QStringLiteral("?") : local;
}

QString MismatchUiText(const LanguageX& language, ReadBackMismatch mismatch) {
    switch (mismatch) {
        case ReadBackMismatch::kNoInterface:
            return UiText(language, IDS_MISMATCH_NO_INTERFACE);
        case ReadBackMismatch::kAddress:
            return UiText(language, IDS_MISMATCH_ADDRESS);
        case ReadBackMismatch::kDhcp:
            return UiText(language, IDS_MISMATCH_DHCP);
        case ReadBackMismatch::kGateway:
            return UiText(language, IDS_MISMATCH_GATEWAY);
        case ReadBackMismatch::kDns:
            return UiText(language, IDS_MISMATCH_DNS);
        case ReadBackMismatch::kHttpPort:
            return UiText(language, IDS_MISMATCH_HTTP_PORT);
        case ReadBackMismatch::kNone:
            break;
    }
    return UiText(language, IDS_MISMATCH_ADDRESS);
}

}  // namespace

QString StandardStateUiText(const LanguageX& language, StandardChangeBatch::State state) {
    using State = StandardChangeBatch::State;
    switch (state) {
        case State::waiting:
            return UiText(language, IDS_STANDARD_WAITING);
        case State::reading:
            return UiText(language, IDS_STANDARD_READING);
        case State::applying:
            return UiText(language, IDS_STANDARD_APPLYING);
        case State::confirming:
        case State::done:
            break;
    }
    return UiText(language, IDS_STANDARD_CONFIRMING);
}

QString StandardFailureUiText(const LanguageX& language,
                              const StandardCameraSession::Failure& failure) {
    using Kind = StandardCameraSession::FailureKind;
    switch (failure.kind) {
        case Kind::kAuthRefused:
            return UiText(language, IDS_STANDARD_AUTH_REFUSED);
        case Kind::kAuthUnsupported:
            return UiText(language, IDS_STANDARD_AUTH_BASIC);
        case Kind::kNotSupported:
            return UiText(language, IDS_STANDARD_NOT_SUPPORTED);
        case Kind::kFault:
            return UiText(language, IDS_STANDARD_FAULT)
                .arg(RefusedWhat(language, failure.operation), FaultName(failure.fault));
        case Kind::kBadAnswer:
            return UiText(language, IDS_STANDARD_BAD_ANSWER).arg(OperationText(failure.operation));
        case Kind::kUnknown:
            return UiText(language, IDS_STANDARD_UNKNOWN);
        case Kind::kPlanRefused:
            return UiText(language, IDS_STANDARD_PLAN_REFUSED);
        case Kind::kUnreachable:
            return UiText(language, IDS_STANDARD_UNREACHABLE);
        case Kind::kNone:
            break;
    }
    return UiText(language, IDS_STANDARD_NOT_READ_BACK);
}

QString StandardOutcomeUiText(const LanguageX& language, const StandardChangeOutcome& outcome) {
    const QString at = QString::fromStdString(AddressText(outcome.new_address));
    if (outcome.mismatch != ReadBackMismatch::kNone)
        return UiText(language, IDS_STANDARD_ANSWERS_WITH)
            .arg(at, MismatchUiText(language, outcome.mismatch));
    // Silence at the new address says more than "no service answered".
    if (outcome.failure.kind == StandardCameraSession::FailureKind::kUnreachable &&
        outcome.stage == StandardChangeStage::confirm)
        return UiText(language, IDS_STANDARD_SILENT_AT).arg(at);
    return StandardFailureUiText(language, outcome.failure);
}

}  // namespace quorvex
