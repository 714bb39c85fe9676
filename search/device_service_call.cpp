#include "search/device_service_call.h"

#include <openssl/rand.h>

#include <chrono>

namespace quorvex::device_service {

std::int64_t NowUtc() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Session::Failure FailureOf(Session::FailureKind kind, Op op, long status) {
    Session::Failure f;
    f.kind = kind;
    f.operation = op;
    f.status = status;
    return f;
}

Answer Call(Link& link, Op op, const Builder& build, bool authenticate, bool changes) {
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

}  // namespace quorvex::device_service
