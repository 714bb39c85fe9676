// quorvex-sim's standard cameras asking who calls: HTTP Digest with both
// algorithms and expiring nonces, UsernameToken on the camera's own clock,
// and bad requests, over real HTTP from the PC side of a lab.

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/sim/standard_test_client.h"

namespace quorvex::standard_test {
namespace {

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
}  // namespace
}  // namespace quorvex::standard_test
