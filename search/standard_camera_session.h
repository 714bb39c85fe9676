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
// - Only Confirm's read-back at the new address says that a change took.
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
        bool accept_any_certificate = true;  // cameras carry self-signed certificates
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

    struct ConfirmResult {
        bool confirmed = false;
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

    // Reads the camera back at `new_address` (the address sent, or the one a
    // Hello gave for DHCP), on the HTTP port sent if one was, and compares it
    // with `applied.plan`; then sets a gateway that had to wait for the move.
    ConfirmResult Confirm(const StandardSnapshot& snapshot, const ApplyResult& applied,
                          std::uint32_t new_address, const StandardCredentials& credentials) const;

private:
    Options options_;
};

}  // namespace quorvex
