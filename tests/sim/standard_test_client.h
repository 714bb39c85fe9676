#pragma once

// A minimal client of the simulated standard cameras for the tests: raw HTTP
// over TCP, and HTTP Digest and UsernameToken worked out here with OpenSSL,
// so the camera's checks are tested against code they do not share.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex::standard_test {

using namespace std::chrono_literals;
using testing::NetnsLab;
using testing::Simulator;

inline constexpr const char* kPath = "/onvif/device_service";

struct Reply {
    int status = 0;  // 0: no connection or no answer
    std::string head, body;
    bool Has(const std::string& text) const { return body.find(text) != std::string::npos; }
};

inline int ConnectTo(const std::string& address, std::uint16_t port, int timeout_ms) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t size = sizeof error;
    if (::poll(&p, 1, timeout_ms) != 1 ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One POST with Connection: close, read to the end (10 s at most).
inline Reply Post(const std::string& address, std::uint16_t port, const std::string& body,
                  const std::string& authorization = "", const std::string& target = kPath,
                  int connect_ms = 5000) {
    Reply reply;
    const int fd = ConnectTo(address, port, connect_ms);
    if (fd < 0) return reply;
    std::string request = "POST " + target + " HTTP/1.1\r\nHost: " + address +
                          "\r\nContent-Type: application/soap+xml; charset=utf-8\r\n"
                          "Connection: close\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n";
    if (!authorization.empty()) request += "Authorization: " + authorization + "\r\n";
    request += "\r\n" + body;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got;
    const auto end = std::chrono::steady_clock::now() + 10s;
    for (char buffer[8192];;) {
        pollfd p{fd, POLLIN, 0};
        if (std::chrono::steady_clock::now() > end || ::poll(&p, 1, 1000) < 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n > 0) got.append(buffer, std::size_t(n));
    }
    ::close(fd);
    const std::size_t split = got.find("\r\n\r\n");
    if (got.rfind("HTTP/1.1 ", 0) != 0 || split == std::string::npos) return reply;
    reply.status = std::stoi(got.substr(9, 3));
    reply.head = got.substr(0, split);
    reply.body = got.substr(split + 4);
    return reply;
}

inline std::string Envelope(const std::string& body, const std::string& header = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:d=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:sc=\"http://www.onvif.org/ver10/schema\">"
           "<s:Header>" +
           header + "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

inline std::string Call(const std::string& operation) {
    return Envelope("<d:" + operation + "/>");
}

inline std::string Hash(const EVP_MD* md, const std::string& text, bool hex = true) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(text.data(), text.size(), out, &size, md, nullptr);
    if (!hex) return std::string(reinterpret_cast<char*>(out), size);
    std::string s;
    char two[3];
    for (unsigned i = 0; i < size; ++i) std::snprintf(two, sizeof two, "%02x", out[i]), s += two;
    return s;
}

// The value of `name` in the challenge for `algorithm`, "" when none.
inline std::string ChallengeValue(const Reply& r, const std::string& algorithm,
                                  const std::string& name) {
    std::size_t at = 0;
    while ((at = r.head.find("WWW-Authenticate: Digest ", at)) != std::string::npos) {
        const std::string line = r.head.substr(at, r.head.find("\r\n", at) - at);
        at += 10;
        if (line.find("algorithm=" + algorithm) == std::string::npos) continue;
        const std::size_t v = line.find(name + "=\"");
        if (v == std::string::npos)
            return name == "stale" && line.find("stale=true") != line.npos ? "true" : "";
        const std::size_t start = v + name.size() + 2;
        return line.substr(start, line.find('"', start) - start);
    }
    return "";
}

inline std::string DigestAuthorization(const Reply& challenge, const std::string& algorithm,
                                       const std::string& user, const std::string& password,
                                       const std::string& uri = kPath) {
    const EVP_MD* md = algorithm == "MD5" ? EVP_md5() : EVP_sha256();
    const std::string realm = ChallengeValue(challenge, algorithm, "realm");
    const std::string nonce = ChallengeValue(challenge, algorithm, "nonce");
    const std::string cnonce = "0a4f113b", nc = "00000001";
    const std::string ha1 = Hash(md, user + ":" + realm + ":" + password);
    const std::string ha2 = Hash(md, "POST:" + uri);
    const std::string response =
        Hash(md, ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2);
    return "Digest username=\"" + user + "\", realm=\"" + realm + "\", nonce=\"" + nonce +
           "\", uri=\"" + uri + "\", algorithm=" + algorithm + ", qop=auth, nc=" + nc +
           ", cnonce=\"" + cnonce + "\", response=\"" + response + "\"";
}

inline std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    out.resize(std::size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                           reinterpret_cast<const unsigned char*>(bytes.data()),
                                           int(bytes.size()))));
    return out;
}

inline std::string UtcText(std::time_t t) {
    char text[32];
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// A UsernameToken header with `nonce` (16 fresh bytes when empty) at `created`.
inline std::string Token(const std::string& user, const std::string& password, std::time_t created,
                         std::string nonce = "") {
    if (nonce.empty()) {
        nonce.resize(16);
        RAND_bytes(reinterpret_cast<unsigned char*>(nonce.data()), 16);
    }
    const std::string when = UtcText(created);
    return "<wsse:Security s:mustUnderstand=\"true\" xmlns:wsse=\"http://docs.oasis-open.org/wss/"
           "2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\" xmlns:wsu=\"http://docs.oasis-"
           "open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\"><wsse:UsernameToken>"
           "<wsse:Username>" +
           user +
           "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           Base64(Hash(EVP_sha1(), nonce + when + password, false)) +
           "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-soap-message-security-1.0#Base64Binary\">" +
           Base64(nonce) + "</wsse:Nonce><wsu:Created>" + when +
           "</wsu:Created></wsse:UsernameToken></wsse:Security>";
}

// The text of the first element named `local` (any prefix) in `xml`.
inline std::string ElementText(const std::string& xml, const std::string& local) {
    const std::size_t at = xml.find(":" + local + ">");
    if (at == std::string::npos) return "";
    const std::size_t start = at + local.size() + 2;
    return xml.substr(start, xml.find('<', start) - start);
}

// A digest client for one camera: fetches a challenge, then signs with `algorithm`.
inline Reply DigestPost(const std::string& address, std::uint16_t port, const std::string& body,
                        const std::string& algorithm = "SHA-256",
                        const std::string& password = "pw") {
    const Reply challenge = Post(address, port, body);
    if (challenge.status != 401) return challenge;
    return Post(address, port, body, DigestAuthorization(challenge, algorithm, "admin", password));
}

inline std::unique_ptr<Simulator> StartCameras(NetnsLab& lab, std::vector<std::string> args) {
    if (lab.AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) return nullptr;
    args.insert(args.end(), {"--subnet", "10.77.1.", "--first-host", "50", "--password", "pw",
                             "--standard-port", "8080"});
    std::string why;
    auto sim = Simulator::Start(lab, lab.site_namespace("a"), args, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

}  // namespace quorvex::standard_test
