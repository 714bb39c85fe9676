#pragma once

// One standard camera read and re-addressed over its device service: Read
// takes a snapshot, Apply sends a change at the old address, Confirm reads it
// back at the new one. Every call blocks (run it off the window's thread) and
// returns a plain value; a failure is typed, never reported as success.
//
// Contracts:
// - Credentials go out either as HTTP Digest or as a UsernameToken, never
//   both in one request and never as Basic; each token carries 16 fresh
//   random bytes and a Created time on the camera's clock. Credentials are
//   never logged or put into a failure's text.
// - Apply sends SetNetworkInterfaces once. A timeout or a reset after it was
//   sent is kUnknown: the camera may have moved; it is never sent again.
// - Only Confirm says that a change took: the camera's endpoint reference
//   answers a probe at the new address and an authenticated read-back there
//   holds what was sent. When the new address stays silent, Confirm looks at
//   the old one, so that a camera that stayed is told from one that is gone.
// The session keeps no state between calls but its options; values carry the
// rest (the snapshot holds the authentication and the clock offset).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/onvif_device_codec.h"
#include "search/onvif_http.h"
#include "search/standard_change_steps.h"

namespace quorvex {

struct StandardCredentials {
    std::string user;
    std::string password;
};

class StandardCameraSession {
public:
    struct Options {
        std::chrono::milliseconds connect_timeout{3000};
        std::chrono::milliseconds total_timeout{15000};
        // An answer slower than the speed floor this long is given up on,
        // whatever the total time left.
        std::chrono::seconds slow_for{5};
        // How long Confirm keeps knocking at the new address while the
        // camera is silent (moving, rebooting).
        std::chrono::milliseconds confirm_patience{60000};
        // How long a look at the old address waits for answers once the new
        // address has stayed silent.
        std::chrono::milliseconds old_address_patience{5000};
        // Most cameras carry a certificate they signed themselves, which no
        // store vouches for: accepted only when the user asks for it.
        bool accept_any_certificate = false;
    };

    enum class FailureKind {
        kNone,
        kUnreachable,      // no whole HTTP answer came from any address: see `transfer`
        kAuthRefused,      // wrong user or password
        kAuthUnsupported,  // the camera wants an authentication never sent (Basic)
        kNotSupported,     // the camera says network configuration is not supported
        kFault,            // a SOAP fault: see `fault`
        kBadAnswer,        // an answer that does not read
        kUnknown,          // a change went out and no answer came: it may have taken
        kPlanRefused,      // the wanted values cannot be sent: see `refusal`
    };
    struct Failure {
        FailureKind kind = FailureKind::kNone;
        OnvifDeviceCodec::Operation operation{};  // the call that failed
        OnvifDeviceCodec::Fault fault;            // code and subcode chain for kFault
        OnvifDeviceCodec::Error error = OnvifDeviceCodec::Error::kNone;
        long status = 0;  // the HTTP status, 0 when none came
        // How the last exchange ended for kUnreachable: too large, too slow,
        // redirected, silent, ...
        OnvifHttp::Failure transfer = OnvifHttp::Failure::kNone;
        PlanRefusal refusal = PlanRefusal::kNone;
    };

    // Where discovery found the camera.
    struct Target {
        std::string xaddrs;               // as announced, space-separated
        std::uint32_t answered_from = 0;  // the source of the answer, network byte order
        std::string endpoint_reference;
        // The authentication the camera took before: the read goes straight
        // to it instead of asking the camera again.
        std::optional<StandardAuthMethod> known_auth;
    };

    struct ReadResult {
        std::optional<StandardSnapshot> snapshot;
        Failure failure;
    };

    enum class ApplyOutcome {
        kNothingToDo,  // every wanted value is as read
        kMoving,       // accepted; the camera moves by itself
        kRebooting,    // accepted with RebootNeeded; SystemReboot answered
        kStaysPut,     // only values that do not move it (DNS, port, gateway) were set
        kFailed,       // refused before the move was sent: see failure
        kUnknown,      // the move (or the reboot) went out unanswered
    };
    struct ApplyResult {
        ApplyOutcome outcome = ApplyOutcome::kFailed;
        StandardChangePlan plan;  // what was (to be) sent, for Confirm
        std::vector<StandardStep> done;
        Failure failure;
    };

    // Where the search for the camera after a change found it.
    enum class Finding {
        kConfirmed,        // its endpoint answers a probe at the new address; the read-back holds
        kReadBackDiffers,  // read back at the new address with other values: see `mismatch`
        kNoProbeMatch,     // the read-back holds, but no probe at the new address was answered
        kOtherEndpoint,    // a probe at the new address was answered under another endpoint
        kAtOldAddress,     // silent at the new address; it answers at the old one
        kSilent,           // silent at the new address and at the old one
        kFailed,           // the read-back at the new address failed: see `failure`
    };

    struct ConfirmResult {
        bool confirmed = false;
        Finding finding = Finding::kSilent;
        ReadBackMismatch mismatch = ReadBackMismatch::kNone;
        // A gateway that had to wait for the move: set and read back.
        bool deferred_gateway_applied = false;
        Failure failure;  // why not confirmed, or why the deferred gateway failed
    };

    StandardCameraSession() : options_() {}
    explicit StandardCameraSession(Options options) : options_(options) {}

    ReadResult Read(const Target& target, const StandardCredentials& credentials) const;

    ApplyResult Apply(const StandardSnapshot& snapshot, const StandardWanted& wanted,
                      const StandardCredentials& credentials) const;

    // Probes `new_address` (the address sent, or the one a Hello gave for
    // DHCP) for the snapshot's endpoint reference and reads the camera back
    // there, on the HTTP port sent if one was, knocking at both until they
    // answer or `confirm_patience` runs out; a rebooting camera is read only
    // once it answers a probe again. Confirmed only when the probe names the
    // endpoint (any answer, for a camera that gave none) and the read-back
    // equals `applied.plan`; then a gateway that had to wait for the move is
    // set. When the new address stays silent, the old one is probed and read.
    ConfirmResult Confirm(const StandardSnapshot& snapshot, const ApplyResult& applied,
                          std::uint32_t new_address, const StandardCredentials& credentials) const;

    // The same search for a camera whose change went out unanswered (Apply
    // gave kUnknown): sends nothing that changes it and never confirms;
    // `finding` says where it answers, if anywhere.
    ConfirmResult Locate(const StandardSnapshot& snapshot, const ApplyResult& applied,
                         std::uint32_t new_address, const StandardCredentials& credentials) const;

private:
    ConfirmResult Search(const StandardSnapshot& snapshot, const ApplyResult& applied,
                         std::uint32_t new_address, const StandardCredentials& credentials,
                         bool wait_for_probe) const;

    Options options_;
};

}  // namespace quorvex
