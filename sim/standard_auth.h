#pragma once

// How a simulated standard camera checks who calls it: HTTP Digest (SHA-256
// and MD5 offered, qop=auth, nonces that expire) or a WS-Security
// UsernameToken with a PasswordDigest, checked against the camera's own
// clock and accepting each nonce once.

#include <chrono>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "sim/soap_request.h"

namespace quorvex::sim {

enum class AuthVerdict {
    kOk,
    kMissing,      // no credentials of the camera's kind
    kWrongUser,    // or a wrong password: the same answer to the caller
    kStale,        // digest: a nonce this camera did not issue or that expired
    kWrongUri,     // digest: the uri is not the request target
    kMalformed,    // credentials that cannot be read
    kClock,        // token: Created outside the window around the camera's clock
    kNonceReused,  // token: a nonce accepted before
};

// Short words for the camera's log: "ok", "missing", "wrong-user", ...
std::string_view AuthVerdictName(AuthVerdict verdict);

// Hex of a hash of `text` ("MD5", "SHA-256" or "SHA-1"), or "" for another name.
std::string HexDigest(std::string_view algorithm, std::string_view text);

std::string Base64(std::string_view bytes);
// Nothing for text that is not Base64.
bool FromBase64(std::string_view text, std::string& bytes);

class DigestGuard {
public:
    DigestGuard(std::string realm, std::chrono::milliseconds nonce_life)
        : realm_(std::move(realm)), nonce_life_(nonce_life) {}

    // The WWW-Authenticate values (SHA-256 first, then MD5), each with a
    // fresh nonce; `stale` marks a retry with the same credentials.
    std::vector<std::string> Challenge(std::chrono::steady_clock::time_point now, bool stale);

    // Checks an Authorization header. `algorithm` is set to what it used.
    AuthVerdict Check(std::string_view authorization, std::string_view method,
                      std::string_view target, std::string_view user, std::string_view password,
                      std::chrono::steady_clock::time_point now, std::string& algorithm);

private:
    struct Issued {
        std::string nonce;
        std::chrono::steady_clock::time_point expires;
    };
    std::string realm_;
    std::chrono::milliseconds nonce_life_;
    std::deque<Issued> issued_;
};

class TokenGuard {
public:
    explicit TokenGuard(std::chrono::seconds window) : window_(window) {}

    // Checks the request's UsernameToken against `camera_now`, the camera's
    // clock (unless not `check_clock`); an accepted nonce is remembered and
    // refused after.
    AuthVerdict Check(const SoapRequest& request, std::string_view user, std::string_view password,
                      std::chrono::system_clock::time_point camera_now, bool check_clock = true);

private:
    std::chrono::seconds window_;
    std::deque<std::string> seen_nonces_;
};

// "YYYY-MM-DDThh:mm:ss[.fff]Z" as a time; false for anything else.
bool ParseUtc(std::string_view text, std::chrono::system_clock::time_point& out);

}  // namespace quorvex::sim
