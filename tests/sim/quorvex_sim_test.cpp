// quorvex-sim as a program, spoken to with hand-written datagrams from the PC
// side of a lab, and the lab itself.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::NetnsLab;
using testing::SimulatorPath;
using Bytes = std::vector<std::uint8_t>;

sockaddr_in Endpoint(const char* address, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
}

// A UDP socket on the PC side bound to `address`:`port`.
struct Udp {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    Udp(const char* address, std::uint16_t port) {
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const sockaddr_in local = Endpoint(address, port);
        EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    }
    ~Udp() { ::close(fd); }
    void Send(const std::string& text, std::uint16_t port) {
        const sockaddr_in to = Endpoint("10.77.1.2", port);
        ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    }
    std::string Receive() {  // the next datagram, or "" after 10 s
        pollfd p{fd, POLLIN, 0};
        std::string bytes(65536, '\0');
        const ssize_t n = ::poll(&p, 1, 10000) > 0 ? ::recv(fd, bytes.data(), bytes.size(), 0) : 0;
        bytes.resize(std::size_t(std::max<ssize_t>(n, 0)));
        return bytes;
    }
};

const std::string kProbe("\x44\x48\x01\x01", 4);

// A 324-byte settings command for MAC 00 1A 2B 3C 4D 5E with password "pw".
std::string BinaryCommand(const std::string& ip) {
    std::string c(324, '\0');
    c.replace(0, 4, "\x44\x48\x02\x01");                           // 0: header 44 48 02 01
    c.replace(4, ip.size(), ip);                                   // 4: IP
    c.replace(20, 11, "255.255.0.0");                              // 20: mask
    c.replace(84, 6, std::string("\x00\x1A\x2B\x3C\x4D\x5E", 6));  // 84: MAC
    c[90] = 0x51;                // 90: HTTP port 81, little-endian
    c.replace(236, 5, "admin");  // 236: user
    c.replace(268, 2, "pw");     // 268: password
    return c;                    // 301: DHCP off
}

std::string TextSearch(const std::string& client) {
    return "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:" + client +
           "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
}

TEST(QuorvexSimProgram, BadArgumentsAndDeviceFilesExitTwoWithAMessage) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string dir = lab->scratch_dir();
    std::ofstream(dir + "/cut.json") << R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary",)";
    std::ofstream(dir + "/deep.json") << std::string(100000, '[');
    std::ofstream(dir + "/nomac.json") << R"([{"protocol": "binary"}])";
    std::ofstream(dir + "/port.json") << R"([{"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary",
                                            "http_port": 70000}])";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--binary-h", "many"},
                                                 {"--reply"},
                                                 {"--whatever"},
                                                 {"--spoof-macs=1"},
                                                 {"--log=", "--text", "1"},
                                                 {"--subnet", "10.77.1"},
                                                 {"--flood", "0"},
                                                 {"--flood-kind", "loud"},
                                                 {"--random-macs", "99999999999"},
                                                 {"--devices", dir + "/cut.json"},
                                                 {"--devices", dir + "/deep.json"},
                                                 {"--devices", dir + "/nomac.json"},
                                                 {"--devices", dir + "/port.json"},
                                                 {"--devices", dir + "/missing.json"},
                                                 {"--standard-auth", "digest,basic"},
                                                 {"--standard-behaviour", "sleepy"},
                                                 {"--standard-clock-offset", "soon"},
                                                 {"--standard-path", "no-slash"},
                                                 {"--interface", "nosuch0"}}) {
        std::vector<std::string> argv = {SimulatorPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string err;
        EXPECT_EQ(lab->Run(lab->pc_namespace(), argv, nullptr, &err), 2) << args.back();
        EXPECT_EQ(err.rfind("quorvex-sim: ", 0), 0u) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
    }
}

TEST(QuorvexSimProgram, FileDevicesAnswerTakeCommandsLogAllAndStopOnSigint) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty()) << lab->last_error();
    const std::string devices = lab->scratch_dir() + "/devices.json";
    std::ofstream(devices) << R"([
      {"mac": "00-1A-2B-3C-4D-5E", "protocol": "binary", "ip": "192.168.0.64", "password": "pw"},
      {"mac": "00-1A-2B-3C-4D-60", "protocol": "binary", "reply": "broadcast"},
      {"mac": "00:1a:2b:3c:4d:5f", "protocol": "text", "device_id": "DEV-7", "password": "pw"}])";
    std::string why;
    auto sim =
        testing::Simulator::Start(*lab, lab->site_namespace("a"), {"--devices", devices}, &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();
    Udp binary("10.77.1.1", 40001), text("10.77.1.1", 40002);
    Udp broadcast("255.255.255.255", 40001);  // hears only what is sent to 255.255.255.255

    binary.Send(kProbe, 8600);
    std::string answer = binary.Receive();
    ASSERT_EQ(answer.size(), 324u);
    EXPECT_EQ(answer.substr(0, 16), std::string("\x44\x48\x01\x08"
                                                "192.168.0.64",
                                                16));
    EXPECT_EQ(broadcast.Receive().substr(84, 6), std::string("\x00\x1A\x2B\x3C\x4D\x60", 6));
    binary.Send(BinaryCommand("10.77.1.50"), 8600);
    binary.Send(kProbe, 8600);
    answer = binary.Receive();
    EXPECT_EQ(answer.substr(4, 11), std::string("10.77.1.50\0", 11));  // 4: IP
    EXPECT_EQ(answer[90], 81);                                         // 90: HTTP port

    // A search without a client id gets no answer; the next one does.
    text.Send("SEARCH * HDS/1.0\r\nCSeq:1\r\n\r\n", 12109);
    text.Send(TextSearch("T1"), 12109);
    std::string reply = text.Receive();
    EXPECT_EQ(reply.rfind("HDS/1.0 200 OK\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("\r\nClient-ID:T1\r\nDevice-ID:DEV-7\r\n"), std::string::npos) << reply;
    text.Send(
        "CMD * HDS/1.0\r\nCSeq:3\r\nClient-ID:T1\r\nAccept-Type:text/HDP\r\n"
        "Authorization:Basic admin:pw\r\nDevice-ID:DEV-7\r\nContent-Length:27\r\n\r\n"
        "httpport set -httpport 8081\r\n\r\n",
        12109);
    text.Send(TextSearch("T2"), 12109);
    reply = text.Receive();
    EXPECT_NE(reply.find("Client-ID:T2\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\nHttp-Port:8081\r\n"), std::string::npos) << reply;

    // Every datagram is in the log, whole, with where it came from.
    const auto log = sim->ReadLog();
    ASSERT_EQ(log.size(), 7u);  // three binary datagrams, four text ones
    EXPECT_EQ(log[0].interface, "eth0");
    EXPECT_EQ(log[0].source, "10.77.1.1:40001");
    EXPECT_EQ(log[0].destination_port, 8600);
    EXPECT_EQ(std::string(log[1].bytes.begin(), log[1].bytes.end()), BinaryCommand("10.77.1.50"));
    EXPECT_EQ(log.back().destination_port, 12109);
    EXPECT_EQ(std::string(log.back().bytes.begin(), log.back().bytes.end()), TextSearch("T2"));
    EXPECT_EQ(sim->process().Stop(SIGINT), 0);
}

bool NamespaceExists(const std::string& name) {
    return !name.empty() && std::filesystem::exists("/run/netns/" + name);
}

ino_t ThreadNamespace() {
    struct stat s {};
    ::stat("/proc/thread-self/ns/net", &s);
    return s.st_ino;
}

TEST(NetnsLabLifecycle, RemovesItsNamespacesAndSweepsThoseOfDeadRuns) {
    QUORVEX_LAB_OR_SKIP(maker);
    // A namespace named after a process that has exited, as a crashed run
    // leaves it.
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string stale = "qvx" + std::to_string(dead) + "-0-pc";
    ASSERT_EQ(maker->Run("", {"ip", "netns", "add", stale}), 0);
    maker.reset();

    const ino_t before = ThreadNamespace();
    std::string pc, site, scratch;
    {
        QUORVEX_LAB_OR_SKIP(lab);
        EXPECT_FALSE(NamespaceExists(stale));
        pc = lab->pc_namespace();
        scratch = lab->scratch_dir();
        ASSERT_FALSE(lab->AddSite("a", "10.77.1.1/24", "10.77.1.2/24").empty());
        site = lab->site_namespace("a");
        EXPECT_TRUE(NamespaceExists(pc) && NamespaceExists(site));
        lab->EnterPc();
        EXPECT_NE(ThreadNamespace(), before);

        std::string out, err;
        EXPECT_EQ(lab->Run(site, {"sh", "-c", "cat; ip -o -4 addr >&2; exit 3"}, &out, &err, "in"),
                  3);
        EXPECT_EQ(out, "in");
        EXPECT_NE(err.find("10.77.1.2/24"), std::string::npos) << err;  // the site's own address
        EXPECT_EQ(lab->Run("", {"sleep", "10"}, nullptr, nullptr, "", 100ms), -1);
        auto child = lab->Spawn(site, {"sleep", "60"});
        EXPECT_TRUE(child.Running());
        EXPECT_EQ(child.Stop(), 128 + SIGTERM);
        lab->Spawn(site, {"sleep", "60"});  // left to the lab to stop
    }
    EXPECT_EQ(ThreadNamespace(), before);
    EXPECT_FALSE(NamespaceExists(pc) || NamespaceExists(site));
    EXPECT_FALSE(std::filesystem::exists(scratch));
}

}  // namespace
}  // namespace quorvex
