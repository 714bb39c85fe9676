// The HTTP exchange against a tiny server on loopback that plays cameras,
// good and hostile: Digest challenges checked by hand, answers that never
// end, trickle or point elsewhere, and a camera that goes quiet after a
// change. Loopback only; nothing here broadcasts.
#include "search/onvif_http.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/standard_camera_session.h"

namespace quorvex {
namespace {

using Failure = OnvifHttp::Failure;

struct HttpRequest {
    std::string head;  // request line and headers
    std::string body;
    std::string Header(std::string_view name) const {
        const std::string key = "\r\n" + std::string(name) + ": ";
        const std::size_t at = head.find(key);
        if (at == std::string::npos) return {};
        const std::size_t end = head.find("\r\n", at + key.size());
        return head.substr(at + key.size(), end - at - key.size());
    }
};

// Accepts on 127.0.0.1, one thread a connection. The handler answers one
// request; it gets the socket for answers that are not one write, and
// returns false to close the connection.
class FakeCamera {
public:
    using Handler = std::function<bool(const HttpRequest&, int fd, const std::atomic<bool>& stop)>;

    explicit FakeCamera(Handler handler) : handler_(std::move(handler)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(listener_, 8), 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
    }
    ~FakeCamera() {
        stop_ = true;
        acceptor_.join();
        for (std::thread& t : connections_) t.join();
        close(listener_);
    }

    std::string Url(std::string_view path = "/onvif/device_service") const {
        return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    }
    std::vector<HttpRequest> Seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }

private:
    void Accept() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const int fd = accept(listener_, nullptr, nullptr);
            if (fd >= 0) connections_.emplace_back([this, fd] { Serve(fd); });
        }
    }
    // Reads one request; false at the end of the connection or on stop.
    bool ReadRequest(int fd, std::string& buffer, HttpRequest& out) {
        std::size_t end = std::string::npos;
        std::size_t want = 0;
        while (!stop_) {
            if (end == std::string::npos && (end = buffer.find("\r\n\r\n")) != std::string::npos) {
                out.head = buffer.substr(0, end + 2);
                const std::string length = out.Header("Content-Length");
                want = end + 4 + (length.empty() ? 0 : std::stoul(length));
            }
            if (end != std::string::npos && buffer.size() >= want) {
                out.body = buffer.substr(end + 4, want - end - 4);
                buffer.erase(0, want);
                return true;
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char chunk[4096];
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        return false;
    }
    void Serve(int fd) {
        std::string buffer;
        HttpRequest request;
        while (ReadRequest(fd, buffer, request)) {
            {
                std::lock_guard lock(mutex_);
                seen_.push_back(request);
            }
            if (!handler_(request, fd, stop_)) break;
        }
        close(fd);
    }

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> connections_;  // only the acceptor adds, before the join
    mutable std::mutex mutex_;
    std::vector<HttpRequest> seen_;
};

bool Send(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string Reply(int status, std::string_view extra_headers, std::string_view body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
           std::string(extra_headers) + "\r\n" + std::string(body);
}

// Waits until the client goes away (or the test ends) without a word.
void Hang(int fd, const std::atomic<bool>& stop) {
    char byte;
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && recv(fd, &byte, 1, MSG_PEEK) <= 0) return;
    }
}

constexpr std::string_view kSoapOk =
    R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"><env:Body/></env:Envelope>)";

std::string Hex(const EVP_MD* md, std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, md, nullptr);
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        static constexpr char kHex[] = "0123456789abcdef";
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

// The fields of a Digest Authorization header.
std::map<std::string, std::string> DigestFields(std::string_view header) {
    std::map<std::string, std::string> fields;
    header.remove_prefix(std::string_view("Digest ").size());
    while (!header.empty()) {
        while (!header.empty() && (header.front() == ' ' || header.front() == ','))
            header.remove_prefix(1);
        const std::size_t equals = header.find('=');
        if (equals == std::string_view::npos) break;
        const std::string key(header.substr(0, equals));
        header.remove_prefix(equals + 1);
        std::size_t end = 0;
        std::string value;
        if (!header.empty() && header.front() == '"') {
            end = header.find('"', 1);
            value = header.substr(1, end - 1);
            ++end;
        } else {
            end = std::min(header.find(','), header.size());
            value = header.substr(0, end);
        }
        fields[key] = value;
        header.remove_prefix(std::min(end, header.size()));
    }
    return fields;
}

// A camera that wants Digest with `algorithm` and the password "secret":
// it checks the answer to its challenge by RFC 7616's formula.
FakeCamera::Handler DigestCamera(std::string algorithm, const EVP_MD* md) {
    return [algorithm, md](const HttpRequest& request, int fd, const std::atomic<bool>&) {
        const std::string authorization = request.Header("Authorization");
        const std::string challenge =
            "WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", "
            "nonce=\"5f0e\", algorithm=" +
            algorithm + "\r\n";
        if (authorization.rfind("Digest ", 0) != 0) return Send(fd, Reply(401, challenge, "no"));
        auto f = DigestFields(authorization);
        const std::string ha1 = Hex(md, f["username"] + ":cam:secret");
        const std::string ha2 = Hex(md, "POST:" + f["uri"]);
        const std::string expected =
            Hex(md, ha1 + ":5f0e:" + f["nc"] + ":" + f["cnonce"] + ":auth:" + ha2);
        const bool good = f["response"] == expected && f["uri"] == "/onvif/device_service" &&
                          f["username"] == "admin";
        return Send(fd, good ? Reply(200, "", kSoapOk) : Reply(401, challenge, "no"));
    };
}

OnvifHttp::Request Soap(const FakeCamera& camera) {
    OnvifHttp::Request request;
    request.url = camera.Url();
    request.action = "http://www.onvif.org/ver10/device/wsdl/GetNetworkInterfaces";
    request.body = "<body/>";
    request.connect_timeout = std::chrono::seconds(5);
    request.total_timeout = std::chrono::seconds(20);
    return request;
}

TEST(OnvifHttp, DigestAnswersTheChallengeAndNeverSendsBasic) {
    for (const auto& [algorithm, md] :
         {std::pair{"MD5", EVP_md5()}, std::pair{"SHA-256", EVP_sha256()}}) {
        FakeCamera camera(DigestCamera(algorithm, md));
        OnvifHttp::Request request = Soap(camera);
        request.user = "admin";
        request.password = "secret";
        const OnvifHttp::Response good = OnvifHttp::Post(request);
        EXPECT_EQ(good.failure, Failure::kNone) << algorithm;
        EXPECT_EQ(good.status, 200) << algorithm;
        EXPECT_EQ(good.body, kSoapOk);

        request.password = "wrong";
        const OnvifHttp::Response refused = OnvifHttp::Post(request);
        EXPECT_EQ(refused.failure, Failure::kNone) << "an answer came: a refusal";
        EXPECT_EQ(refused.status, 401);

        const std::vector<HttpRequest> seen = camera.Seen();
        ASSERT_GE(seen.size(), 3u);
        for (const HttpRequest& r : seen) {
            EXPECT_EQ(r.Header("Authorization").rfind("Basic", 0), std::string::npos);
            // libcurl probes for the challenge with an empty body.
            if (!r.Header("Authorization").empty()) {
                EXPECT_EQ(r.body, "<body/>");
            }
            EXPECT_EQ(r.Header("Content-Type"),
                      "application/soap+xml; charset=utf-8; "
                      "action=\"http://www.onvif.org/ver10/device/wsdl/GetNetworkInterfaces\"");
        }
    }
}

TEST(OnvifHttp, ActionRefusedWithoutFaultIsTriedOnceTheOtherWay) {
    FakeCamera picky([](const HttpRequest& r, int fd, const std::atomic<bool>&) {
        const bool action = r.Header("Content-Type").find("action=") != std::string::npos;
        return Send(fd, action ? Reply(415, "", "<html>Unsupported Media Type</html>")
                               : Reply(200, "", kSoapOk));
    });
    const OnvifHttp::Response response = OnvifHttp::Post(Soap(picky));
    EXPECT_EQ(response.status, 200);
    EXPECT_TRUE(response.retried);
    EXPECT_FALSE(response.action_sent) << "what worked, for the caller to remember";
    EXPECT_EQ(picky.Seen().size(), 2u);

    // A SOAP fault is the camera's real answer, not a complaint about the
    // header: no second try.
    const std::string fault =
        R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"><env:Body>)"
        R"(<env:Fault><env:Code><env:Value>env:Sender</env:Value></env:Code></env:Fault>)"
        R"(</env:Body></env:Envelope>)";
    FakeCamera faulting([&](const HttpRequest&, int fd, const std::atomic<bool>&) {
        return Send(fd, Reply(400, "", fault));
    });
    const OnvifHttp::Response answered = OnvifHttp::Post(Soap(faulting));
    EXPECT_EQ(answered.status, 400);
    EXPECT_FALSE(answered.retried);
    EXPECT_EQ(answered.body, fault);
    EXPECT_EQ(faulting.Seen().size(), 1u);
}

TEST(OnvifHttp, HugeNeverEndingAndTricklingAnswersAreCutAndBounded) {
    const std::string chunk(64 * 1024, 'x');
    // Declares 100 MB and sends it; then one that sends without end.
    FakeCamera huge([&](const HttpRequest&, int fd, const std::atomic<bool>& stop) {
        Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\n\r\n");
        for (int i = 0; i < 1600 && !stop && Send(fd, chunk); ++i) {
        }
        return false;
    });
    FakeCamera endless([&](const HttpRequest&, int fd, const std::atomic<bool>& stop) {
        Send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        while (!stop && Send(fd, chunk)) {
        }
        return false;
    });
    for (FakeCamera* camera : {&huge, &endless}) {
        OnvifHttp::Request request = Soap(*camera);
        request.max_answer_bytes = 1024 * 1024;
        const OnvifHttp::Response response = OnvifHttp::Post(request);
        EXPECT_EQ(response.failure, Failure::kTooLarge);
        EXPECT_LE(response.body.size(), request.max_answer_bytes);
    }

    FakeCamera trickle([](const HttpRequest&, int fd, const std::atomic<bool>& stop) {
        Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        while (!stop && Send(fd, "x")) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return false;
    });
    OnvifHttp::Request slow = Soap(trickle);
    slow.min_bytes_per_second = 100;
    slow.slow_for = std::chrono::seconds(1);
    const OnvifHttp::Response trickled = OnvifHttp::Post(slow);
    EXPECT_EQ(trickled.failure, Failure::kTooSlow) << "given up before the total time";
    EXPECT_LT(trickled.body.size(), 100000u);
}

TEST(OnvifHttp, RedirectRefusalAndSilenceAreTheirOwnFailures) {
    FakeCamera moved([](const HttpRequest&, int fd, const std::atomic<bool>&) {
        return Send(fd, Reply(302, "Location: http://192.0.2.7/elsewhere\r\n", ""));
    });
    const OnvifHttp::Response redirected = OnvifHttp::Post(Soap(moved));
    EXPECT_EQ(redirected.failure, Failure::kRedirected);
    EXPECT_EQ(redirected.redirect_to, "http://192.0.2.7/elsewhere");
    EXPECT_EQ(moved.Seen().size(), 1u) << "not followed";

    // A port nobody listens on: bound, then closed.
    OnvifHttp::Request refused;
    {
        FakeCamera gone([](const HttpRequest&, int, const std::atomic<bool>&) { return false; });
        refused = Soap(gone);
    }
    EXPECT_EQ(OnvifHttp::Post(refused).failure, Failure::kConnectFailed);
    refused.url = "ftp://127.0.0.1/";
    EXPECT_EQ(OnvifHttp::Post(refused).failure, Failure::kBadRequest);

    // A camera that takes a new address may never answer the request that
    // gave it: that is "unknown", never "failed", for a change alone.
    FakeCamera silent([](const HttpRequest&, int fd, const std::atomic<bool>& stop) {
        Hang(fd, stop);
        return false;
    });
    FakeCamera hangs_up([](const HttpRequest&, int, const std::atomic<bool>&) { return false; });
    for (FakeCamera* camera : {&silent, &hangs_up}) {
        OnvifHttp::Request change = Soap(*camera);
        change.action = "http://www.onvif.org/ver10/device/wsdl/SetNetworkInterfaces";
        change.total_timeout = std::chrono::seconds(2);
        // Below the speed floor from the start, yet silent rather than slow.
        change.slow_for = std::chrono::seconds(1);
        change.changes_settings = true;
        EXPECT_EQ(OnvifHttp::Post(change).failure, Failure::kOutcomeUnknown);
        change.changes_settings = false;
        EXPECT_EQ(OnvifHttp::Post(change).failure,
                  camera == &silent ? Failure::kTimeout : Failure::kConnectionLost);
    }

    // A digest camera that takes the signed change and goes at once: the
    // change went out once, on a connection of its own, and its outcome is
    // unknown. Sent again on the connection that carried the challenge, it
    // would reach a camera that stayed a second time.
    FakeCamera moves_at_once([](const HttpRequest& request, int fd, const std::atomic<bool>&) {
        if (!request.Header("Authorization").empty()) return false;
        return Send(fd, Reply(401,
                              "WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", "
                              "nonce=\"5f0e\", algorithm=MD5\r\n",
                              "no"));
    });
    OnvifHttp::Request change = Soap(moves_at_once);
    change.action = "http://www.onvif.org/ver10/device/wsdl/SetNetworkInterfaces";
    change.user = "admin";
    change.password = "secret";
    change.changes_settings = true;
    EXPECT_EQ(OnvifHttp::Post(change).failure, Failure::kOutcomeUnknown);
    std::size_t signed_requests = 0;
    for (const HttpRequest& r : moves_at_once.Seen())
        signed_requests += r.Header("Authorization").empty() ? 0 : 1;
    EXPECT_EQ(signed_requests, 1u);
}

// The session over the same exchange: a move whose answer never comes is
// "unknown" and is never sent again, and each UsernameToken travels alone
// (no Authorization header) with a nonce of its own.
TEST(StandardCameraSessionOverHttp, AnUnansweredMoveIsUnknownAndSentOnce) {
    FakeCamera camera([](const HttpRequest& request, int fd, const std::atomic<bool>&) {
        if (request.body.find("SetNetworkInterfaces") != std::string::npos) return false;
        return Send(fd, Reply(200, "",
                              R"(<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope")"
                              R"( xmlns:tds="http://www.onvif.org/ver10/device/wsdl"><env:Body>)"
                              R"(<tds:SetDNSResponse/></env:Body></env:Envelope>)"));
    });
    StandardSnapshot before;
    before.service_url = camera.Url();
    before.auth = StandardAuthMethod::kUsernameToken;
    before.interface_token = "eth0";
    before.address = htonl(0x0A000005);  // 10.0.0.5/24
    before.prefix_length = 24;
    before.dns = OnvifDeviceCodec::DnsSettings{};
    StandardWanted wanted;
    wanted.address = htonl(0x0A00003C);  // 10.0.0.60
    wanted.prefix_length = 24;
    wanted.dns = std::vector<std::uint32_t>{htonl(0x0A000002)};

    const StandardCameraSession session;
    const auto applied = session.Apply(before, wanted, {"admin", "secret"});
    EXPECT_EQ(applied.outcome, StandardCameraSession::ApplyOutcome::kUnknown);
    EXPECT_EQ(applied.failure.kind, StandardCameraSession::FailureKind::kUnknown);
    EXPECT_EQ(applied.done, std::vector<StandardStep>{StandardStep::kSetDns});
    const auto seen = camera.Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].body.find("SetDNS"), std::string::npos);
    EXPECT_NE(seen[1].body.find("SetNetworkInterfaces"), std::string::npos);
    std::vector<std::string> nonces;
    for (const HttpRequest& r : seen) {
        EXPECT_EQ(r.Header("Authorization"), "");
        const std::size_t at = r.body.find("Nonce");
        ASSERT_NE(at, std::string::npos) << r.body;
        const std::size_t start = r.body.find('>', at) + 1;
        nonces.push_back(r.body.substr(start, r.body.find('<', start) - start));
        EXPECT_EQ(r.body.find("secret"), std::string::npos) << "the password never travels";
    }
    EXPECT_EQ(nonces[0].size(), 24u);  // 16 bytes in Base64
    EXPECT_NE(nonces[0], nonces[1]);
}

}  // namespace
}  // namespace quorvex
