// OnvifHttp: the exchange over libcurl.
//
// libcurl rather than a hand-made client: it does HTTP Digest with MD5 and
// SHA-256 (qop, stale nonces, the uri matching the request target), https
// with the system's certificate store, and connect, total and speed-floor
// timeouts correctly, all of which a camera client needs and none of which
// is worth writing again.
#include "search/onvif_http.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <span>
#include <utility>

#include "core/onvif_device_codec.h"

namespace quorvex {

namespace {

struct EasyFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Easy = std::unique_ptr<CURL, EasyFree>;
using HeaderList = std::unique_ptr<curl_slist, ListFree>;

// curl_global_init is not thread-safe itself; it runs once for the process.
bool GlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

struct Sink {
    std::string* body;
    std::size_t limit;
    bool too_large = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
    Sink& sink = *static_cast<Sink*>(user);
    const std::size_t length = size * count;
    if (length > sink.limit - sink.body->size()) {
        // Keep what fits, then end the transfer: a short count aborts it.
        sink.body->append(data, sink.limit - sink.body->size());
        sink.too_large = true;
        return 0;
    }
    sink.body->append(data, length);
    return length;
}

// The speed floor, kept here rather than by libcurl's own: libcurl counts the
// request it sent as speed and averages over a window of its own, so a
// trickle after a long request passes its floor for seconds more than asked,
// and it reports the floor with the total time's code. Judged over whole
// stretches of `slow_for`, so that a pause between bursts does not count
// against a camera that keeps up on the whole.
struct SpeedFloor {
    long min_bytes_per_second = 0;
    std::chrono::seconds slow_for{};
    bool started = false;
    bool tripped = false;
    std::chrono::steady_clock::time_point mark;
    curl_off_t mark_bytes = 0;
};

int Progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    SpeedFloor& floor = *static_cast<SpeedFloor*>(user);
    if (floor.min_bytes_per_second <= 0 || floor.slow_for.count() <= 0) return 0;
    const auto now = std::chrono::steady_clock::now();
    // The count starts again with each request of the exchange (a Digest
    // challenge, then the signed request).
    if (!floor.started || received < floor.mark_bytes) {
        floor.started = true;
        floor.mark = now;
        floor.mark_bytes = received;
        return 0;
    }
    if (now - floor.mark < floor.slow_for) return 0;
    if (received - floor.mark_bytes < floor.min_bytes_per_second * floor.slow_for.count()) {
        floor.tripped = true;
        return 1;  // ends the transfer
    }
    floor.mark = now;
    floor.mark_bytes = received;
    return 0;
}

HeaderList Add(HeaderList list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) return nullptr;
    (void)list.release();  // now owned through `grown`
    return HeaderList(grown);
}

OnvifHttp::Failure FromCode(CURLcode code, bool connected) {
    using Failure = OnvifHttp::Failure;
    switch (code) {
        case CURLE_OK:
            return Failure::kNone;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return Failure::kBadRequest;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return Failure::kConnectFailed;
        case CURLE_OPERATION_TIMEDOUT:
            return connected ? Failure::kTimeout : Failure::kConnectFailed;
        case CURLE_FILESIZE_EXCEEDED:
            return Failure::kTooLarge;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return Failure::kConnectionLost;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return Failure::kTls;
        default:
            return Failure::kOther;
    }
}

OnvifHttp::Response Attempt(const OnvifHttp::Request& request, bool send_action) {
    OnvifHttp::Response response;
    response.action_sent = send_action;
    const Easy easy(curl_easy_init());
    std::string content_type = "Content-Type: application/soap+xml; charset=utf-8";
    if (send_action) content_type += "; action=\"" + request.action + '"';
    // No "Expect: 100-continue": cameras rarely answer it, and waiting for
    // one costs a second a request.
    HeaderList headers = Add(HeaderList{}, content_type);
    if (headers) headers = Add(std::move(headers), "Expect:");
    if (!easy || !headers) {
        response.failure = OnvifHttp::Failure::kBadRequest;
        return response;
    }
    Sink sink{&response.body, request.max_answer_bytes};
    CURL* h = easy.get();
    bool ok = curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    // Signals for timeouts would reach other threads of the program.
    ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    // Cameras sit on the local link; a proxy from the environment is never
    // the way to them.
    ok = ok && curl_easy_setopt(h, CURLOPT_NOPROXY, "*") == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                                static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
    // libcurl sends a request again, unasked, when a connection it reused
    // dies before any answer; the signed request of a Digest exchange goes on
    // the connection that carried the challenge. A camera that takes a change
    // and hangs up would get it twice: a change goes on a connection of its
    // own, whose loss leaves its outcome unknown.
    if (request.changes_settings)
        ok = ok && curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                                static_cast<long>(request.connect_timeout.count())) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS,
                                static_cast<long>(request.total_timeout.count())) == CURLE_OK;
    SpeedFloor floor;
    floor.min_bytes_per_second = request.min_bytes_per_second;
    floor.slow_for = request.slow_for;
    ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Progress) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFODATA, &floor) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    // A declared length over the cap ends the transfer before any of it.
    ok = ok && curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                                static_cast<curl_off_t>(request.max_answer_bytes)) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Write) == CURLE_OK;
    ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
    if (!request.user.empty()) {
        // Digest alone: CURLAUTH_ANY would let a camera ask for Basic and
        // get the password in the clear.
        ok = ok && curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_DIGEST) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str()) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str()) == CURLE_OK;
    }
    if (request.accept_any_certificate) {
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L) == CURLE_OK;
        ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L) == CURLE_OK;
    }
    if (!ok) {
        response.failure = OnvifHttp::Failure::kBadRequest;
        return response;
    }

    const CURLcode code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    long offered = 0;
    if (curl_easy_getinfo(h, CURLINFO_HTTPAUTH_AVAIL, &offered) == CURLE_OK)
        response.digest_offered = (offered & CURLAUTH_DIGEST) != 0;
    curl_off_t connect_time = 0;
    curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connect_time);
    long sent = 0;
    curl_easy_getinfo(h, CURLINFO_REQUEST_SIZE, &sent);

    const bool connected = connect_time > 0 || sent > 0;
    response.failure = sink.too_large ? OnvifHttp::Failure::kTooLarge : FromCode(code, connected);
    if (floor.tripped) {
        // A camera that has said nothing at all is silent, not slow.
        response.failure = !connected             ? OnvifHttp::Failure::kConnectFailed
                           : response.status == 0 ? OnvifHttp::Failure::kTimeout
                                                  : OnvifHttp::Failure::kTooSlow;
    }
    if (response.failure == OnvifHttp::Failure::kNone && response.status >= 300 &&
        response.status < 400) {
        char* location = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location)
            response.redirect_to = location;
        response.failure = OnvifHttp::Failure::kRedirected;
    }
    if (request.changes_settings && sent > 0) {
        switch (response.failure) {
            case OnvifHttp::Failure::kTimeout:
            case OnvifHttp::Failure::kTooSlow:
            case OnvifHttp::Failure::kConnectionLost:
            case OnvifHttp::Failure::kTooLarge:
            case OnvifHttp::Failure::kOther:
                response.failure = OnvifHttp::Failure::kOutcomeUnknown;
                break;
            default:
                break;
        }
    }
    return response;
}

}  // namespace

OnvifHttp::Response OnvifHttp::Post(const Request& request) {
    if (!GlobalInit()) {
        Response response;
        response.failure = Failure::kBadRequest;
        return response;
    }
    Response response = Attempt(request, request.send_action);
    // A firmware that dislikes how the action was (or was not) given refuses
    // with 400 or 415 and no fault; the request did nothing, so trying the
    // other way once is safe even for a change.
    const bool refused =
        response.failure == Failure::kNone && (response.status == 400 || response.status == 415);
    if (refused &&
        !OnvifDeviceCodec::IsFault(std::span(
            reinterpret_cast<const std::uint8_t*>(response.body.data()), response.body.size()))) {
        response = Attempt(request, !request.send_action);
        response.retried = true;
    }
    return response;
}

}  // namespace quorvex
