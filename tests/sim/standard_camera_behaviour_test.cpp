// quorvex-sim's standard cameras changing their settings as each one's
// behaviour says: moving (and answering probes and HTTP only at the new
// address), rebooting first, reverting, refusing a gateway or faulting.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/sim/standard_test_client.h"

namespace quorvex::standard_test {
namespace {

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
}  // namespace quorvex::standard_test
