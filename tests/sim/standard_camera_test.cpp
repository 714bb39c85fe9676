// quorvex-sim's standard cameras, spoken to over real HTTP from the PC side
// of a lab: a hand-written client that computes HTTP Digest and UsernameToken
// itself, so the camera's checks are tested against code they do not share.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::NetnsLab;
using testing::Simulator;

constexpr const char* kPath = "/onvif/device_service";

struct Reply {
    int status = 0;  // 0: no connection or no answer
    std::string head, body;
    bool Has(const std::string& text) const { return body.find(text) != std::string::npos; }
};

int ConnectTo(const std::string& address, std::uint16_t port, int timeout_ms) {
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
Reply Post(const std::string& address, std::uint16_t port, const std::string& body,
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

std::string Envelope(const std::string& body, const std::string& header = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:d=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:sc=\"http://www.onvif.org/ver10/schema\">"
           "<s:Header>" +
           header + "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string Call(const std::string& operation) {
    return Envelope("<d:" + operation + "/>");
}

std::string SetAddress(const std::string& address) {
    return Envelope(
        "<d:SetNetworkInterfaces><d:InterfaceToken>eth0</d:InterfaceToken><d:NetworkInterface>"
        "<sc:Enabled>true</sc:Enabled><sc:IPv4><sc:Enabled>true</sc:Enabled><sc:Manual>"
        "<sc:Address>" +
        address +
        "</sc:Address><sc:PrefixLength>24</sc:PrefixLength></sc:Manual>"
        "<sc:DHCP>false</sc:DHCP></sc:IPv4></d:NetworkInterface></d:SetNetworkInterfaces>");
}

std::string Hash(const EVP_MD* md, const std::string& text, bool hex = true) {
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
std::string ChallengeValue(const Reply& r, const std::string& algorithm, const std::string& name) {
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

std::string DigestAuthorization(const Reply& challenge, const std::string& algorithm,
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

std::string Base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    out.resize(std::size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                           reinterpret_cast<const unsigned char*>(bytes.data()),
                                           int(bytes.size()))));
    return out;
}

std::string UtcText(std::time_t t) {
    char text[32];
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// A UsernameToken header with `nonce` (16 fresh bytes when empty) at `created`.
std::string Token(const std::string& user, const std::string& password, std::time_t created,
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
std::string ElementText(const std::string& xml, const std::string& local) {
    const std::size_t at = xml.find(":" + local + ">");
    if (at == std::string::npos) return "";
    const std::size_t start = at + local.size() + 2;
    return xml.substr(start, xml.find('<', start) - start);
}

// A digest client for one camera: fetches a challenge, then signs with `algorithm`.
Reply DigestPost(const std::string& address, std::uint16_t port, const std::string& body,
                 const std::string& algorithm = "SHA-256", const std::string& password = "pw") {
    const Reply challenge = Post(address, port, body);
    if (challenge.status != 401) return challenge;
    return Post(address, port, body, DigestAuthorization(challenge, algorithm, "admin", password));
}

std::unique_ptr<Simulator> StartCameras(NetnsLab& lab, std::vector<std::string> args) {
    if (lab.AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) return nullptr;
    args.insert(args.end(), {"--subnet", "10.77.1.", "--first-host", "50", "--password", "pw",
                             "--standard-port", "8080"});
    std::string why;
    auto sim = Simulator::Start(lab, lab.site_namespace("a"), args, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

TEST(StandardCameraAuth, DigestTakesMd5AndSha256AndRefusesWrongPasswordsUrisAndTokens) {
    QUORVEX_LAB_OR_SKIP(lab);
    auto sim = StartCameras(*lab, {"--standard", "1"});
    ASSERT_TRUE(sim);
    lab->EnterPc();
    const std::string camera = "10.77.1.50";

    // The clock and the capabilities are open to anyone.
    Reply r = Post(camera, 8080, Call("GetSystemDateAndTime"));
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.Has("<tt:UTCDateTime><tt:Time><tt:Hour>")) << r.body;
    r = Post(camera, 8080, Call("GetServiceCapabilities"));
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.Has("UsernameToken=\"false\" HttpDigest=\"true\"")) << r.body;

    // Anything else without credentials: a challenge for each algorithm.
    r = Post(camera, 8080, Call("GetDeviceInformation"));
    ASSERT_EQ(r.status, 401) << r.head;
    EXPECT_EQ(ChallengeValue(r, "SHA-256", "nonce").size(), 32u) << r.head;
    EXPECT_EQ(ChallengeValue(r, "MD5", "nonce").size(), 32u) << r.head;
    EXPECT_LT(r.head.find("algorithm=SHA-256"), r.head.find("algorithm=MD5"));
    for (const std::string algorithm : {"MD5", "SHA-256"}) {
        r = DigestPost(camera, 8080, Call("GetNetworkInterfaces"), algorithm);
        EXPECT_EQ(r.status, 200) << algorithm << r.head;
        EXPECT_TRUE(r.Has("<tt:Address>10.77.1.50</tt:Address>")) << r.body;
        EXPECT_EQ(ElementText(r.body, "PrefixLength"), "24");
    }
    r = DigestPost(camera, 8080, Call("GetDNS"), "SHA-256", "wrong");
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(ChallengeValue(r, "SHA-256", "stale"), "");
    // The digest's uri must be the request target.
    const Reply challenge = Post(camera, 8080, Call("GetDNS"));
    r = Post(camera, 8080, Call("GetDNS"),
             DigestAuthorization(challenge, "MD5", "admin", "pw", "/elsewhere"));
    EXPECT_EQ(r.status, 400);
    // A digest-only camera asks a UsernameToken caller for a digest.
    r = Post(camera, 8080, Envelope("<d:GetDNS/>", Token("admin", "pw", std::time(nullptr))));
    EXPECT_EQ(r.status, 401);
    EXPECT_FALSE(ChallengeValue(r, "MD5", "nonce").empty());

    // Bad input gets an answer, never a crash: the next call still works.
    const std::string authorization =
        DigestAuthorization(Post(camera, 8080, Call("GetDNS")), "SHA-256", "admin", "pw");
    r = Post(camera, 8080, "<!DOCTYPE e [<!ENTITY a \"a\">]>" + Call("GetDNS"), authorization);
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.Has("<env:Value>ter:WellFormed</env:Value>")) << r.body;
    r = Post(camera, 8080,
             Envelope("<m:GetProfiles xmlns:m=\"http://www.onvif.org/ver10/media/wsdl\"/>"),
             authorization);
    EXPECT_EQ(r.status, 500);
    EXPECT_TRUE(r.Has("<env:Value>ter:ActionNotSupported</env:Value>")) << r.body;
    EXPECT_EQ(Post(camera, 8080, std::string(70000, ' '), authorization).status, 413);
    EXPECT_EQ(Post(camera, 8080, Call("GetDNS"), authorization, "/other").status, 404);
    // Two requests on one kept-alive connection, the second sent before the
    // first is answered: two answers, in order.
    const int fd = ConnectTo(camera, 8080, 5000);
    ASSERT_GE(fd, 0);
    const std::string body = Call("GetServiceCapabilities");
    std::string twice;
    for (const char* connection : {"keep-alive", "close"})
        twice += std::string("POST ") + kPath + " HTTP/1.1\r\nConnection: " + connection +
                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    ::send(fd, twice.data(), twice.size(), MSG_NOSIGNAL);
    std::string both;
    char buffer[8192];
    for (pollfd p{fd, POLLIN, 0}; ::poll(&p, 1, 10000) == 1;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        both.append(buffer, std::size_t(n));
    }
    ::close(fd);
    EXPECT_EQ(both.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << both;
    EXPECT_NE(both.find("HTTP/1.1 200 OK\r\n", 10), std::string::npos) << both;

    const auto logged = [&](const std::string& operation, const std::string& auth) {
        return sim->WaitForLog(
            [&](const testing::LoggedDatagram& d) {
                return d.operation == operation && d.auth == auth && d.address == camera;
            },
            1);
    };
    EXPECT_EQ(logged("GetNetworkInterfaces", "digest MD5 ok"), 1u);
    EXPECT_EQ(logged("GetNetworkInterfaces", "digest SHA-256 ok"), 1u);
    EXPECT_EQ(logged("GetDNS", "digest SHA-256 wrong-user-or-password"), 1u);
    EXPECT_EQ(logged("GetDNS", "digest MD5 wrong-uri"), 1u);
    EXPECT_EQ(logged("GetServiceCapabilities", "open"), 3u);  // one, then the two in a row
}

TEST(StandardCameraAuth, DigestNonceGoesStaleAndAFreshOneWorks) {
    QUORVEX_LAB_OR_SKIP(lab);
    auto sim = StartCameras(*lab, {"--standard", "1", "--standard-nonce-life", "1000"});
    ASSERT_TRUE(sim);
    lab->EnterPc();
    const Reply first = Post("10.77.1.50", 8080, Call("GetDNS"));
    ASSERT_EQ(first.status, 401);
    const std::string old = DigestAuthorization(first, "SHA-256", "admin", "pw");
    // Right credentials on an expired nonce: 401 with stale=true.
    Reply r;
    EXPECT_TRUE(testing::WaitUntil(
        [&] {
            r = Post("10.77.1.50", 8080, Call("GetDNS"), old);
            return r.status == 401;
        },
        20s));
    EXPECT_EQ(ChallengeValue(r, "SHA-256", "stale"), "true") << r.head;
    EXPECT_TRUE(testing::WaitUntil(
        [&] {
            r = Post("10.77.1.50", 8080, Call("GetDNS"),
                     DigestAuthorization(r, "SHA-256", "admin", "pw"));
            return r.status == 200;
        },
        20s));
    EXPECT_TRUE(r.Has("DNSInformation")) << r.body;
}

TEST(StandardCameraAuth, UsernameTokenCountsOnTheCamerasClockAndEachNonceOnce) {
    QUORVEX_LAB_OR_SKIP(lab);
    auto sim =
        StartCameras(*lab, {"--standard", "1", "--standard-auth", "token",
                            "--standard-clock-offset", "259200", "--standard-time-needs-auth"});
    ASSERT_TRUE(sim);
    lab->EnterPc();
    const std::string camera = "10.77.1.50";

    // This camera wants a token even for its clock; one on the PC's clock
    // does, since nobody can know the camera's before reading it.
    Reply r = Post(camera, 8080, Call("GetSystemDateAndTime"));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.Has("ter:NotAuthorized")) << r.body;
    r = Post(camera, 8080,
             Envelope("<d:GetSystemDateAndTime/>", Token("admin", "pw", std::time(nullptr))));
    ASSERT_EQ(r.status, 200) << r.body;
    std::tm tm{};
    tm.tm_year = std::stoi(ElementText(r.body, "Year")) - 1900;
    tm.tm_mon = std::stoi(ElementText(r.body, "Month")) - 1;
    tm.tm_mday = std::stoi(ElementText(r.body, "Day"));
    tm.tm_hour = std::stoi(ElementText(r.body, "Hour"));
    tm.tm_min = std::stoi(ElementText(r.body, "Minute"));
    tm.tm_sec = std::stoi(ElementText(r.body, "Second"));
    const std::time_t offset = ::timegm(&tm) - std::time(nullptr);
    EXPECT_NEAR(double(offset), 259200.0, 120.0);

    const auto call = [&](const std::string& token) {
        return Post(camera, 8080, Envelope("<d:GetNetworkInterfaces/>", token));
    };
    r = call(Token("admin", "pw", std::time(nullptr) + offset));
    EXPECT_EQ(r.status, 200) << r.body;
    EXPECT_TRUE(r.Has("<tt:Address>10.77.1.50</tt:Address>"));
    // The PC's own clock is three days behind the camera's: refused.
    r = call(Token("admin", "pw", std::time(nullptr)));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.Has("<env:Value>ter:NotAuthorized</env:Value>")) << r.body;
    // A nonce counts once, even with everything else right.
    const std::string nonce = "0123456789abcdef";
    const std::time_t now = std::time(nullptr) + offset;
    EXPECT_EQ(call(Token("admin", "pw", now, nonce)).status, 200);
    r = call(Token("admin", "pw", now, nonce));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.Has("ter:NotAuthorized"));
    EXPECT_EQ(call(Token("admin", "wrong", now)).status, 400);
    // No token: 400 and NotAuthorized, never a digest challenge.
    r = call("");
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(
        r.Has("<env:Value>env:Sender</env:Value><env:Subcode><env:Value>"
              "ter:NotAuthorized</env:Value>"))
        << r.body;
    EXPECT_EQ(r.head.find("WWW-Authenticate"), std::string::npos);

    const auto count = [&](const std::string& auth) {
        return sim->WaitForLog([&](const testing::LoggedDatagram& d) { return d.auth == auth; }, 1);
    };
    EXPECT_EQ(count("token ok"), 3u);
    EXPECT_EQ(count("token created-outside-window"), 1u);
    EXPECT_EQ(count("token nonce-reused"), 1u);
    EXPECT_EQ(count("token missing"), 2u);
}

// A UDP socket on the PC: unicast at 10.77.1.1:40010 and, when `group`, the
// WS-Discovery group at 3702, where Hello and Bye arrive.
struct Udp {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    explicit Udp(bool group) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(group ? 3702 : 40010);
        ::inet_pton(AF_INET, group ? "0.0.0.0" : "10.77.1.1", &local.sin_addr);
        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
        if (group) {
            ip_mreq join{};
            ::inet_pton(AF_INET, "239.255.255.250", &join.imr_multiaddr);
            ::inet_pton(AF_INET, "10.77.1.1", &join.imr_interface);
            EXPECT_EQ(::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join), 0);
        }
    }
    ~Udp() { ::close(fd); }
    void Probe(const std::string& id) {
        const std::string probe =
            "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\""
            " xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
            " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
            " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><e:Header><w:MessageID>"
            "urn:uuid:" +
            id +
            "</w:MessageID><w:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe"
            "</w:Action></e:Header><e:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter"
            "</d:Types></d:Probe></e:Body></e:Envelope>";
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(3702);
        ::inet_pton(AF_INET, "10.77.1.2", &to.sin_addr);
        ::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    // Datagrams as "source|text" until one holds `wanted` (10 s at most).
    std::vector<std::string> ReceiveUntil(const std::string& wanted) {
        std::vector<std::string> got;
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) != 1) continue;
            char buffer[65536];
            sockaddr_in from{};
            socklen_t size = sizeof from;
            const ssize_t n =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
            if (n <= 0) continue;
            char source[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, source, sizeof source);
            got.push_back(std::string(source) + "|" + std::string(buffer, std::size_t(n)));
            if (got.back().find(wanted) != std::string::npos) break;
        }
        return got;
    }
};

// The one datagram of `got` that holds `text`, "" when none does.
std::string Holding(const std::vector<std::string>& got, const std::string& text) {
    for (const std::string& g : got)
        if (g.find(text) != std::string::npos) return g;
    return "";
}

TEST(StandardCameraBehaviour, EachCameraMovesRevertsRefusesOrFaultsAsItsBehaviourSays) {
    QUORVEX_LAB_OR_SKIP(lab);
    auto sim = StartCameras(*lab, {"--standard", "5", "--standard-behaviour",
                                   "normal,reboot-needed,reverts,strict-gateway,faults",
                                   "--standard-move-delay", "100"});
    ASSERT_TRUE(sim);
    lab->EnterPc();
    Udp unicast(false), group(true);
    const std::string service = ":8080/onvif/device_service";

    // Each camera answers a probe from its own address, naming it.
    unicast.Probe("before");
    const auto before = unicast.ReceiveUntil("http://10.77.1.54" + service);
    const std::string normal_match = Holding(before, "http://10.77.1.50" + service);
    ASSERT_EQ(normal_match.rfind("10.77.1.50|", 0), 0u) << normal_match;
    const std::string endpoint = ElementText(normal_match, "Address");
    ASSERT_EQ(endpoint.rfind("urn:uuid:", 0), 0u);
    const std::size_t mac_at = normal_match.find("onvif://www.onvif.org/MAC/");
    ASSERT_NE(mac_at, std::string::npos);
    const std::string mac = normal_match.substr(mac_at + 26, 17);

    // faults: the whole subcode chain, and nothing changes.
    Reply r = DigestPost("10.77.1.54", 8080, SetAddress("10.77.1.64"));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(
        r.Has("<env:Code><env:Value>env:Sender</env:Value><env:Subcode><env:Value>"
              "ter:InvalidArgVal</env:Value><env:Subcode><env:Value>"
              "ter:InvalidIPv4Address</env:Value></env:Subcode></env:Subcode></env:Code>"
              "<env:Reason><env:Text xml:lang=\"en\">"))
        << r.body;

    // strict-gateway: refused outside the subnet it is in; DNS and the HTTP
    // port are stored and read back, and the port waits for the next move.
    r = DigestPost("10.77.1.53", 8080,
                   Envelope("<d:SetNetworkDefaultGateway><d:IPv4Address>10.77.2.1</d:IPv4Address>"
                            "</d:SetNetworkDefaultGateway>"));
    EXPECT_EQ(r.status, 400);
    EXPECT_TRUE(r.Has("<env:Value>ter:InvalidGatewayAddress</env:Value>")) << r.body;
    EXPECT_EQ(DigestPost("10.77.1.53", 8080,
                         Envelope("<d:SetNetworkDefaultGateway><d:IPv4Address>10.77.1.254"
                                  "</d:IPv4Address></d:SetNetworkDefaultGateway>"))
                  .status,
              200);
    EXPECT_EQ(ElementText(DigestPost("10.77.1.53", 8080, Call("GetNetworkDefaultGateway")).body,
                          "IPv4Address"),
              "10.77.1.254");
    EXPECT_EQ(DigestPost("10.77.1.53", 8080,
                         Envelope("<d:SetDNS><d:FromDHCP>false</d:FromDHCP><d:DNSManual>"
                                  "<sc:Type>IPv4</sc:Type><sc:IPv4Address>10.77.1.8"
                                  "</sc:IPv4Address></d:DNSManual><d:DNSManual><sc:Type>IPv4"
                                  "</sc:Type><sc:IPv4Address>10.77.1.9</sc:IPv4Address>"
                                  "</d:DNSManual></d:SetDNS>"))
                  .status,
              200);
    r = DigestPost("10.77.1.53", 8080, Call("GetDNS"));
    EXPECT_TRUE(
        r.Has("<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>10.77.1.8"
              "</tt:IPv4Address></tt:DNSManual><tt:DNSManual><tt:Type>IPv4</tt:Type>"
              "<tt:IPv4Address>10.77.1.9</tt:IPv4Address></tt:DNSManual>"))
        << r.body;
    EXPECT_EQ(DigestPost("10.77.1.53", 8080,
                         Envelope("<d:SetNetworkProtocols><d:NetworkProtocols><sc:Name>HTTP"
                                  "</sc:Name><sc:Enabled>true</sc:Enabled><sc:Port>8081</sc:Port>"
                                  "</d:NetworkProtocols></d:SetNetworkProtocols>"))
                  .status,
              200);
    r = DigestPost("10.77.1.53", 8080, Call("GetNetworkProtocols"));
    EXPECT_TRUE(r.Has("<tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8081"))
        << r.body;

    // reverts: says yes, stays.
    r = DigestPost("10.77.1.52", 8080, SetAddress("10.77.1.62"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(ElementText(r.body, "RebootNeeded"), "false");

    // normal: moves by itself, Bye from the old address, Hello from the new.
    r = DigestPost("10.77.1.50", 8080, SetAddress("10.77.1.60"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(ElementText(r.body, "RebootNeeded"), "false");
    auto announced = group.ReceiveUntil("http://10.77.1.60" + service);
    EXPECT_EQ(Holding(announced, ":Bye>").rfind("10.77.1.50|", 0), 0u);
    EXPECT_EQ(Holding(announced, ":Hello>").rfind("10.77.1.60|", 0), 0u);
    unicast.Probe("after");
    const auto after = unicast.ReceiveUntil("http://10.77.1.54" + service);
    const std::string moved = Holding(after, endpoint);
    EXPECT_EQ(moved.rfind("10.77.1.60|", 0), 0u) << moved;
    EXPECT_NE(moved.find("http://10.77.1.60" + service), std::string::npos);
    EXPECT_NE(moved.find(mac), std::string::npos);
    EXPECT_EQ(Holding(after, "http://10.77.1.50:"), "");
    r = DigestPost("10.77.1.60", 8080, Call("GetNetworkInterfaces"));
    EXPECT_TRUE(r.Has("<tt:Address>10.77.1.60</tt:Address>")) << r.body;
    EXPECT_EQ(ElementText(r.body, "HwAddress"), mac);
    EXPECT_EQ(Post("10.77.1.50", 8080, Call("GetNetworkInterfaces"), "", kPath, 1500).status, 0);

    // The reverting camera had the same time to move and did not.
    EXPECT_EQ(Post("10.77.1.62", 8080, Call("GetNetworkInterfaces"), "", kPath, 1500).status, 0);
    r = DigestPost("10.77.1.52", 8080, Call("GetNetworkInterfaces"));
    EXPECT_TRUE(r.Has("<tt:Address>10.77.1.52</tt:Address>")) << r.body;

    // reboot-needed: stays until SystemReboot, then moves.
    r = DigestPost("10.77.1.51", 8080, SetAddress("10.77.1.61"));
    EXPECT_EQ(ElementText(r.body, "RebootNeeded"), "true") << r.body;
    r = DigestPost("10.77.1.51", 8080, Call("GetNetworkInterfaces"));
    EXPECT_EQ(r.status, 200);  // still where it was
    EXPECT_EQ(DigestPost("10.77.1.51", 8080, Call("SystemReboot")).status, 200);
    announced = group.ReceiveUntil("http://10.77.1.61" + service);
    EXPECT_EQ(Holding(announced, ":Hello>").rfind("10.77.1.61|", 0), 0u);
    EXPECT_EQ(DigestPost("10.77.1.61", 8080, Call("GetDeviceInformation")).status, 200);
    EXPECT_EQ(Post("10.77.1.51", 8080, Call("GetNetworkInterfaces"), "", kPath, 1500).status, 0);

    // The log says what reached each camera: the faulting one accepted no Set*.
    std::size_t sets = 0;
    for (const auto& d : sim->ReadLog()) {
        if (d.address != "10.77.1.54" || !d.operation.starts_with("Set")) continue;
        ++sets;
        EXPECT_TRUE(d.result.starts_with("fault") || d.result == "http 401") << d.result;
    }
    EXPECT_EQ(sets, 2u);  // the challenge, then the fault
    EXPECT_EQ(sim->WaitForLog(
                  [](const testing::LoggedDatagram& d) {
                      return d.address == "10.77.1.52" && d.result == "accepted, reverted";
                  },
                  1),
              1u);
    EXPECT_EQ(sim->Stop(), 0);
}

}  // namespace
}  // namespace quorvex
