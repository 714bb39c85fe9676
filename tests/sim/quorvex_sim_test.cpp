// quorvex-sim as a program, spoken to with plain sockets from the PC side of
// a lab. The datagrams here are written by hand, independently of the
// simulator's code and of core's codecs.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using testing::NetnsLab;
using testing::Simulator;
using testing::SimulatorPath;

// A UDP socket on the PC side, bound to `address`:`port`.
class Udp {
public:
    Udp(const char* address, std::uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in local = Endpoint(address, port);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    }
    ~Udp() { ::close(fd_); }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;

    void SendTo(const std::vector<std::uint8_t>& bytes, const char* address, std::uint16_t port) {
        const sockaddr_in to = Endpoint(address, port);
        ASSERT_EQ(::sendto(fd_, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }
    void SendTo(const std::string& text, const char* address, std::uint16_t port) {
        SendTo(std::vector<std::uint8_t>(text.begin(), text.end()), address, port);
    }
    // The next datagram, or nothing within 10 s.
    std::optional<std::vector<std::uint8_t>> Receive() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return std::nullopt;
        std::vector<std::uint8_t> bytes(65536);
        const ssize_t n = ::recv(fd_, bytes.data(), bytes.size(), 0);
        if (n < 0) return std::nullopt;
        bytes.resize(static_cast<std::size_t>(n));
        return bytes;
    }
    std::uint16_t port() const {
        sockaddr_in local{};
        socklen_t size = sizeof local;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
        return ntohs(local.sin_port);
    }

private:
    static sockaddr_in Endpoint(const char* address, std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        return a;
    }
    int fd_;
};

std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t width) {
    std::string text;
    for (std::size_t i = offset; i < offset + width && i < bytes.size() && bytes[i]; ++i)
        text.push_back(static_cast<char>(bytes[i]));
    return text;
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, const std::string& text) {
    std::memcpy(bytes.data() + offset, text.data(), text.size());
}

const std::string kLongName(70, 'L');

std::string WriteDeviceFile(const NetnsLab& lab) {
    const std::string path = lab.scratch_dir() + "/devices.json";
    std::ofstream(path) << R"([
  {"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "name": ")"
                        << kLongName << R"(",
   "uid": "UID-B", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
   "http_port": 8080, "software_version": "67.1.61.5", "user": "admin", "password": "pw",
   "aux_flag": 165},
  {"mac": "00:1a:2b:3c:4d:5f", "protocol": "text", "name": "Gate", "device_id": "DEV-7",
   "ip": "192.168.0.65", "user": "admin", "password": "pw"}
])";
    return path;
}

// The probe: 44 48 01 01 and nothing else.
const std::vector<std::uint8_t> kProbe = {0x44, 0x48, 0x01, 0x01};

// A 324-byte settings command for MAC 00 1A 2B 3C 4D 5E.
std::vector<std::uint8_t> BinaryCommand(const std::string& ip, const std::string& password) {
    std::vector<std::uint8_t> c(324, 0);
    c[0] = 0x44;  // 0: header 44 48 02 01
    c[1] = 0x48;
    c[2] = 0x02;
    c[3] = 0x01;
    Put(c, 4, ip);              // 4: IP
    Put(c, 20, "255.255.0.0");  // 20: mask
    Put(c, 36, "10.77.0.1");    // 36: gateway
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::memcpy(c.data() + 84, mac, 6);  // 84: MAC
    c[90] = 0x51;                        // 90: HTTP port 81, little-endian
    c[91] = 0x00;
    Put(c, 236, "admin");   // 236: user
    Put(c, 268, password);  // 268: password
    c[300] = 165;           // 300: flag byte, as reported
    c[301] = 0;             // 301: DHCP off
    return c;
}

std::string TextSearch(const std::string& client) {
    return "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:" + client +
           "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
}

std::string TextCommand(const std::string& password, const std::string& body) {
    return "CMD * HDS/1.0\r\nCSeq:3\r\nClient-ID:T1\r\nAccept-Type:text/HDP\r\n"
           "Authorization:Basic admin:" +
           password + "\r\nDevice-ID:DEV-7\r\nContent-Length:" + std::to_string(body.size()) +
           "\r\n\r\n" + body + "\r\n\r\n";
}

TEST(QuorvexSimProgram, BadArgumentsAndDeviceFilesExitTwoWithAMessage) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) << lab->last_error();
    const std::string ns = lab->site_namespace("a");
    const std::string broken = lab->scratch_dir() + "/broken.json";
    std::ofstream(broken) << "[{\"mac\": \"00-1A-2B-3C-4D-5E\", \"protocol\": \"binary\",";

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--binary-h", "many"},
          {"--reply"},
          {"--whatever"},
          {"--devices", broken},
          {"--devices", lab->scratch_dir() + "/missing.json"},
          {"--interface", "nosuch0"}}) {
        std::vector<std::string> argv = {SimulatorPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out, err;
        EXPECT_EQ(lab->Run(ns, argv, &out, &err), 2) << args[0];
        EXPECT_EQ(err.rfind("quorvex-sim: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
    std::string out;
    EXPECT_EQ(lab->Run(ns, {SimulatorPath(), "--help"}, &out), 0);
    for (const char* option :
         {"--binary-h", "--binary-j", "--text", "--seed", "--subnet", "--outside", "--devices",
          "--reply", "--spread", "--interface", "--log", "--ready-file"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
}

TEST(QuorvexSimProgram, FileDevicesAnswerTakeCommandsWithTheRightPasswordAndLogAll) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) << lab->last_error();
    std::string why;
    auto sim = Simulator::Start(*lab, lab->site_namespace("a"),
                                {"--devices", WriteDeviceFile(*lab)}, &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();
    Udp binary("10.77.1.1", 0);
    Udp text("10.77.1.1", 0);

    binary.SendTo(kProbe, "10.77.1.2", 8600);
    auto answer = binary.Receive();
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->size(), 324u);
    EXPECT_EQ((*answer)[3], 0x08);                    // 0: header 44 48 01 08
    EXPECT_EQ(Text(*answer, 4, 16), "192.168.0.64");  // 4: IP
    EXPECT_EQ((*answer)[84], 0x00);                   // 84: MAC
    EXPECT_EQ((*answer)[89], 0x5E);
    EXPECT_EQ((*answer)[90], 0x90);  // 90: HTTP port 8080
    EXPECT_EQ((*answer)[91], 0x1F);
    EXPECT_EQ(Text(*answer, 124, 80), kLongName);  // 124: name, 70 characters
    EXPECT_EQ(Text(*answer, 268, 32), "pw");       // 268: password
    EXPECT_EQ((*answer)[300], 165);                // 300: flag byte

    // A wrong password changes nothing; the right one changes the next answer.
    binary.SendTo(BinaryCommand("10.77.9.9", "guess"), "10.77.1.2", 8600);
    binary.SendTo(kProbe, "10.77.1.2", 8600);
    answer = binary.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Text(*answer, 4, 16), "192.168.0.64");
    binary.SendTo(BinaryCommand("10.77.1.50", "pw"), "10.77.1.2", 8600);
    binary.SendTo(kProbe, "10.77.1.2", 8600);
    answer = binary.Receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(Text(*answer, 4, 16), "10.77.1.50");
    EXPECT_EQ(Text(*answer, 20, 16), "255.255.0.0");
    EXPECT_EQ((*answer)[90], 81);
    EXPECT_EQ(Text(*answer, 124, 80), kLongName);

    // A search without a client id gets no answer; the next one does.
    text.SendTo("SEARCH * HDS/1.0\r\nCSeq:1\r\n\r\n", "10.77.1.2", 12109);
    text.SendTo(TextSearch("T1"), "10.77.1.2", 12109);
    auto reply = text.Receive();
    ASSERT_TRUE(reply);
    std::string body(reply->begin(), reply->end());
    EXPECT_EQ(body.rfind("HDS/1.0 200 OK\r\n", 0), 0u) << body;
    EXPECT_NE(body.find("Client-ID:T1\r\nDevice-ID:DEV-7\r\nDevice-Name:Gate\r\n"),
              std::string::npos)
        << body;
    EXPECT_NE(body.find("\r\nIP:192.168.0.65\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("\r\nMAC:00:1A:2B:3C:4D:5F\r\n"), std::string::npos) << body;

    text.SendTo(TextCommand("guess", "httpport set -httpport 8000"), "10.77.1.2", 12109);
    text.SendTo(TextCommand("pw",
                            "netconf set -ipaddr 10.77.1.51 -netmask 255.255.255.0 "
                            "-gateway 10.77.1.1 -dhcp off -fdnsip 10.77.1.1 -sdnsip 0.0.0.0 "
                            "-dnsstat 0 -hwaddr 00:1A:2B:3C:4D:5F"),
                "10.77.1.2", 12109);
    text.SendTo(TextCommand("pw", "httpport set -httpport 8081"), "10.77.1.2", 12109);
    text.SendTo(TextSearch("T2"), "10.77.1.2", 12109);
    reply = text.Receive();
    ASSERT_TRUE(reply);
    body.assign(reply->begin(), reply->end());
    EXPECT_NE(body.find("Client-ID:T2\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("\r\nIP:10.77.1.51\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("\r\nHttp-Port:8081\r\n"), std::string::npos) << body;

    // Every datagram is in the log, whole, with where it came from.
    const auto log = sim->ReadLog();
    ASSERT_EQ(log.size(), 11u);  // five binary datagrams, six text ones
    EXPECT_EQ(log[0].interface, "eth0");
    EXPECT_EQ(log[0].source, "10.77.1.1:" + std::to_string(binary.port()));
    EXPECT_EQ(log[0].destination_port, 8600);
    EXPECT_EQ(log[0].bytes, kProbe);
    EXPECT_EQ(log[1].bytes.size(), 324u);
    EXPECT_EQ(log.back().destination_port, 12109);
    EXPECT_EQ(std::string(log.back().bytes.begin(), log.back().bytes.end()), TextSearch("T2"));

    EXPECT_EQ(sim->Stop(), 0);
}

TEST(QuorvexSimProgram, AnswersABroadcastProbeByBroadcastAndStopsOnSigint) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    auto sim =
        Simulator::Start(*lab, lab->site_namespace("a"),
                         {"--binary-j", "3", "--reply", "broadcast", "--spread", "200"}, &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();
    // Bound to the wildcard on the PC's interface, so that it hears datagrams
    // to 255.255.255.255 as well as to its own address; the packet info says
    // which of the two each answer was sent to.
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, pc_if.c_str(),
                 static_cast<socklen_t>(pc_if.size()));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(8600);
    to.sin_addr.s_addr = INADDR_BROADCAST;
    ASSERT_EQ(
        ::sendto(fd, kProbe.data(), kProbe.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        4);
    int broadcasts = 0;
    for (pollfd p{fd, POLLIN, 0}; broadcasts < 3 && ::poll(&p, 1, 10000) > 0;) {
        std::array<std::uint8_t, 2048> bytes{};
        alignas(cmsghdr) char control[256];
        iovec v{bytes.data(), bytes.size()};
        msghdr m{};
        m.msg_iov = &v;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        ASSERT_EQ(::recvmsg(fd, &m, 0), 324);
        EXPECT_EQ(bytes[3], 0x08);
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            EXPECT_EQ(info.ipi_addr.s_addr, INADDR_BROADCAST);
            ++broadcasts;
        }
    }
    ::close(fd);
    EXPECT_EQ(broadcasts, 3);
    EXPECT_EQ(sim->process().Stop(SIGINT), 0);
}

}  // namespace
}  // namespace quorvex
