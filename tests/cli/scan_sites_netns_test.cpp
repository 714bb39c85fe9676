// quorvex-cli against sites that are not one /24 heard by one program: several
// scans at once, a protocol port held by another program, late and hostile
// answers, subnets of every size, interfaces with several addresses.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/search_status.h"
#include "tests/cli/cli_lab.h"

namespace quorvex {
namespace {

using testing::ChildProcess;
using testing::Cli;
using testing::NetnsLab;
using testing::ReadFile;
using testing::Simulator;
using testing::StartSim;
using Result = testing::CliResult;

// MAC -> {ip, outside_subnet} of a `scan --json` output (or MAC ->
// {protocols, family} with `protocols`); empty when it does not parse.
std::map<std::string, std::pair<std::string, std::string>> Listed(const std::string& json,
                                                                  bool protocols = false) {
    std::map<std::string, std::pair<std::string, std::string>> devices;
    try {
        for (const auto& item : testing::ReadJson(json)) {
            const auto field = [&](const char* key) { return item.second.get<std::string>(key); };
            devices[field("mac")] = protocols ? std::pair{field("protocols"), field("family")}
                                              : std::pair{field("ip"), field("outside_subnet")};
        }
    } catch (const std::exception&) {
        devices.clear();
    }
    return devices;
}

// Devices of a `scan --json` output that WS-Discovery heard.
std::size_t HeardByWsd(const std::string& json) {
    std::size_t count = 0;
    for (const auto& [mac, fields] : Listed(json, true))
        count += fields.first.find("wsd") != std::string::npos;
    return count;
}

std::string TextCamera(const std::string& mac_last, const std::string& ip,
                       const std::string& mask = "255.255.255.0") {
    return R"({"mac": "00-1A-2B-3C-4D-)" + mac_last + R"(", "protocol": "text", "ip": ")" + ip +
           R"(", "mask": ")" + mask + R"(", "password": "", "reply": "unicast"})";
}

TEST(ScanSitesNetns, ThreeScansAtOnceEachListEveryCamera) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("site", "10.77.0.1/24", "10.77.0.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // Unicast, broadcast and multicast answers all in one site; 40
    // WS-Discovery cameras and 10 text cameras that answer it too, some of
    // them to the group, which every program hears on the shared port 3702.
    std::string why;
    const auto sim =
        Simulator::Start(*lab, lab->site_namespace("site"),
                         {"--binary-h", "50", "--binary-j", "50", "--text", "100", "--wsd", "40",
                          "--wsd-dual", "10", "--reply", "mixed", "--subnet", "10.77.0."},
                         &why);
    ASSERT_TRUE(sim) << why;

    std::vector<ChildProcess> scans;
    for (int i = 0; i < 3; ++i)
        scans.push_back(
            lab->Spawn(lab->pc_namespace(),
                       {QUORVEX_CLI_PATH, "scan", "--wait", "2", "--json", "--interface", pc_if},
                       lab->scratch_dir() + "/scan" + std::to_string(i) + ".json",
                       lab->scratch_dir() + "/scan" + std::to_string(i) + ".err"));
    for (int i = 0; i < 3; ++i) {
        const std::string out = lab->scratch_dir() + "/scan" + std::to_string(i);
        EXPECT_EQ(scans[i].Wait(std::chrono::seconds(30)), 0) << ReadFile(out + ".err");
        EXPECT_EQ(Listed(ReadFile(out + ".json")).size(), 240u) << "scan " << i;
        EXPECT_EQ(HeardByWsd(ReadFile(out + ".json")), 50u) << "scan " << i;
    }
}

TEST(ScanSitesNetns, APortHeldByAnotherProgramIsReportedAndAnswersToTheAskerStillCome) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("site", "10.77.3.1/24", "10.77.3.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("site"),
        {"--text", "70", "--wsd", "30", "--reply", "unicast", "--subnet", "10.77.3."}, &why);
    ASSERT_TRUE(sim) << why;
    // Another program holds the text protocol's port and the WS-Discovery
    // port without sharing them.
    std::vector<int> holders;
    for (const std::uint16_t port : {12109, 3702}) {
        ASSERT_TRUE(lab->RunIn(lab->pc_namespace(), [&] {
            const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in any{};
            any.sin_family = AF_INET;
            any.sin_port = htons(port);
            if (::bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0) {
                holders.push_back(holder);
            } else {
                ::close(holder);
            }
        }));
    }
    ASSERT_EQ(holders.size(), 2u);

    const Result scan = Cli(*lab, {"scan", "--json", "--wait", "1.5", "--interface", pc_if});
    // WS-Discovery alone: its probes and their answers need no well-known port.
    const Result wsd =
        Cli(*lab, {"scan", "--json", "--wait", "1.5", "--protocol", "wsd", "--interface", pc_if});
    for (const int holder : holders) ::close(holder);
    EXPECT_EQ(Listed(scan.out).size(), 100u) << scan.err;
    EXPECT_EQ(HeardByWsd(scan.out), 30u) << scan.err;
    EXPECT_EQ(scan.exit_code, 1);
    EXPECT_NE(scan.err.find("text protocol on " + pc_if), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("port 12109 in use"), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("port 3702 in use"), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("Hello, Bye and answers sent to the group are missed"),
              std::string::npos)
        << scan.err;
    EXPECT_NE(scan.err.find("incomplete"), std::string::npos) << scan.err;
    const auto listed = Listed(wsd.out, true);
    EXPECT_EQ(listed.size(), 30u) << wsd.err;
    for (const auto& [mac, fields] : listed) {
        EXPECT_EQ(fields.first, "wsd") << mac;
        EXPECT_EQ(fields.second, "WS-Discovery") << mac;
    }
    EXPECT_EQ(wsd.err.find("text protocol"), std::string::npos) << wsd.err;
    EXPECT_NE(wsd.err.find("port 3702 in use"), std::string::npos) << wsd.err;
}

// The default wait lists cameras that hold their answers back up to two
// seconds; a fault among the answers fails the scan, refused datagrams are
// only named.
TEST(ScanSitesNetns, TheDefaultWaitListsLateCamerasAndAFaultFailsTheScan) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("site", "10.77.4.1/24", "10.77.4.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // Five cameras of each protocol (and one text camera that answers
    // WS-Discovery too), the n-th of each answering every probe after the
    // n-th delay. Every probe draws a fault and four datagrams to refuse
    // besides the cameras' own answers.
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("site"),
        {"--binary-h", "5", "--text", "5", "--wsd-dual", "1", "--wsd", "5", "--reply-delay",
         "0,700,900,1500,1900", "--subnet", "10.77.4.", "--wsd-malformed"},
        &why);
    ASSERT_TRUE(sim) << why;
    const Result scan = Cli(*lab, {"scan", "--json", "--interface", pc_if});
    EXPECT_EQ(Listed(scan.out).size(), 15u) << scan.out << scan.err;
    EXPECT_EQ(HeardByWsd(scan.out), 6u) << scan.out;
    // A fault means a device the list cannot show: not a success.
    EXPECT_EQ(scan.exit_code, 1) << scan.err;
    EXPECT_NE(scan.err.find("WS-Discovery protocol: "), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("were faults: those devices are not listed"), std::string::npos)
        << scan.err;
    EXPECT_NE(scan.err.find("datagram(s) refused"), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("incomplete"), std::string::npos) << scan.err;

    // Refused datagrams alone, which anyone on the link can send, fail nothing.
    SearchStatus status;
    status.rejections.push_back({kProtocolWsDiscovery, 0, 8});
    EXPECT_TRUE(DescribeProblems(status).empty());
    ASSERT_EQ(DescribeNotes(status).size(), 1u);
    status.rejections[0].faults = 1;
    EXPECT_EQ(DescribeProblems(status).size(), 1u);
}

TEST(ScanSitesNetns, InsideAndOutsideFollowTheMaskAndEveryAddressOfTheInterface) {
    QUORVEX_LAB_OR_SKIP(lab);
    // A /29: a camera at its factory address is moved to a host of the /29,
    // never to the network's host numbers of a /24.
    const std::string small_if = lab->AddSite("small", "10.97.0.1/29", "10.97.0.6/29");
    // A /16 whose cameras sit in other /24s than the PC's.
    const std::string wide_if = lab->AddSite("wide", "10.98.5.1/16", "10.98.5.2/16");
    // Two addresses on one interface, the cameras' subnet second.
    const std::string two_if = lab->AddSite("two", "10.96.0.1/24", "10.95.0.2/24");
    ASSERT_FALSE(small_if.empty() || wide_if.empty() || two_if.empty()) << lab->last_error();
    ASSERT_TRUE(lab->AddAddress(lab->pc_namespace(), two_if, "10.95.0.1/24"));

    const auto start = [&](const std::string& site, const std::string& cameras) {
        return StartSim(*lab, site, cameras);
    };
    const auto small = start("small", "[" + TextCamera("01", "192.168.0.64") + "]");
    const auto wide = start("wide", "[" + TextCamera("02", "10.98.200.7", "255.255.0.0") + "," +
                                        TextCamera("03", "10.99.0.7", "255.255.0.0") + "]");
    const auto two = start(
        "two", "[" + TextCamera("04", "10.95.0.40") + "," + TextCamera("05", "10.96.0.50") + "]");
    ASSERT_TRUE(small && wide && two);

    const Result scan = Cli(*lab, {"scan", "--json", "--wait", "1.5", "--interface", small_if,
                                   "--interface", wide_if, "--interface", two_if});
    EXPECT_EQ(scan.exit_code, 0) << scan.err;
    const auto listed = Listed(scan.out);
    using Row = std::pair<std::string, std::string>;
    EXPECT_EQ(listed.at("00-1A-2B-3C-4D-01"), Row("192.168.0.64", "true"));
    EXPECT_EQ(listed.at("00-1A-2B-3C-4D-02"), Row("10.98.200.7", "false"));
    EXPECT_EQ(listed.at("00-1A-2B-3C-4D-03"), Row("10.99.0.7", "true"));
    EXPECT_EQ(listed.at("00-1A-2B-3C-4D-04"), Row("10.95.0.40", "false"));
    EXPECT_EQ(listed.at("00-1A-2B-3C-4D-05"), Row("10.96.0.50", "false"));

    // Matching moves only the camera outside, into a free host of the /29
    // (.1 is the PC, .6 is taken on the link).
    const Result match = Cli(*lab,
                             {"match", "--all", "--password-stdin", "--wait", "2", "--interface",
                              small_if, "--interface", two_if},
                             "\n");
    EXPECT_EQ(match.exit_code, 0) << match.out << match.err;
    EXPECT_NE(match.out.find("00-1A-2B-3C-4D-01  192.168.0.64 -> 10.97.0.2"), std::string::npos)
        << match.out;
    EXPECT_EQ(match.out.find("00-1A-2B-3C-4D-04"), std::string::npos) << match.out;
    EXPECT_EQ(match.out.find("00-1A-2B-3C-4D-05"), std::string::npos) << match.out;
}

}  // namespace
}  // namespace quorvex
