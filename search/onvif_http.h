#pragma once

// The HTTP exchange with a standard camera's device service: one SOAP request
// POSTed, one answer back, every way it can go wrong as a typed value.
//
// Contracts:
// - HTTP authentication is Digest only (MD5 or SHA-256, as the camera
//   offers), or none when the credentials travel in the message as a
//   UsernameToken; a password never goes out as Basic.
// - Redirects are reported, never followed.
// - The answer is capped while it arrives: a longer or never-ending one is cut
//   at `max_answer_bytes` and reported, so memory stays bounded whatever the
//   camera sends; a trickle slower than the speed floor and an exchange longer
//   than the total time end it too.
// - A request that changes settings and gets no whole answer after it was
//   sent reports kOutcomeUnknown: the camera may have acted, so the caller
//   verifies and never sends it again blindly.
// - Certificates are checked on https unless the caller accepts any (a
//   camera's own self-signed one).
// Safe to call from several threads at once; each call uses its own handle.

#include <chrono>
#include <cstddef>
#include <string>

#include "core/onvif_device_codec.h"

namespace quorvex {

class OnvifHttp {
public:
    enum class Failure {
        kNone,            // an HTTP answer came, whatever its status
        kBadRequest,      // no http or https URL, or the request could not be set up
        kConnectFailed,   // refused, unreachable or not connected in time: nothing was sent
        kTimeout,         // no whole answer in the total time, or silence past the floor
        kTooSlow,         // an answer began, then ran below the speed floor
        kConnectionLost,  // closed or reset before a whole answer came
        kTooLarge,        // the answer passed max_answer_bytes and was cut there
        kRedirected,      // the camera points elsewhere (redirect_to); not followed
        kTls,             // the https handshake or the certificate failed
        kOutcomeUnknown,  // a changing request went out and no whole answer came back
        kOther,
    };

    struct Request {
        std::string url;     // the device service address, http or https
        std::string action;  // the SOAP action of the operation
        std::string body;
        // Whether the Content-Type carries `action`: some firmwares require
        // it, some reject it. The caller keeps what worked per camera.
        bool send_action = true;
        // HTTP Digest credentials; an empty user sends none.
        std::string user;
        std::string password;
        bool changes_settings = false;
        bool accept_any_certificate = false;
        std::chrono::milliseconds connect_timeout{3000};
        std::chrono::milliseconds total_timeout{15000};
        // Fewer answer bytes than min_bytes_per_second * slow_for in a
        // stretch of slow_for ends the exchange.
        long min_bytes_per_second = 16;
        std::chrono::seconds slow_for{5};
        std::size_t max_answer_bytes = OnvifDeviceCodec::kMaxAnswerBytes;
    };

    struct Response {
        Failure failure = Failure::kNone;
        long status = 0;          // the last HTTP status seen, 0 when none
        std::string body;         // never longer than max_answer_bytes
        bool action_sent = true;  // how the last attempt was sent
        bool retried = false;     // refused with 400 or 415 and no fault, sent once the other way
        std::string redirect_to;
        // A 401 that offered HTTP Digest (its WWW-Authenticate named Digest):
        // how a caller without credentials learns which authentication fits.
        bool digest_offered = false;
    };

    static Response Post(const Request& request);
};

}  // namespace quorvex
