#pragma once

// One call to a standard camera's device service, as Read, Apply and Confirm
// make them: the request built with the link's credentials in the link's
// way (a UsernameToken with a fresh nonce on the camera's clock, or HTTP
// Digest, never both), sent once, and its answer read into a value or a
// typed failure. Internal to the session.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/onvif_device_codec.h"
#include "search/onvif_http.h"
#include "search/standard_camera_session.h"

namespace quorvex::device_service {

using Codec = OnvifDeviceCodec;
using Op = Codec::Operation;
using Session = StandardCameraSession;
using Builder = std::function<std::optional<std::string>(const Codec::UsernameToken*)>;

// Seconds since the epoch on the PC's clock.
std::int64_t NowUtc();

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

Session::Failure FailureOf(Session::FailureKind kind, Op op, long status = 0);

// One request. `authenticate` adds the link's credentials in the link's way,
// and only that way. `changes`: the request changes settings, so it is never
// sent twice (see OnvifHttp).
Answer Call(Link& link, Op op, const Builder& build, bool authenticate, bool changes = false);

// The builder of a request without arguments.
Builder Plain(Op op);

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

}  // namespace quorvex::device_service
