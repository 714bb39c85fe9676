// quorvex-cli set and match in a private "PC" namespace against simulated
// cameras whose text parser splits commands on blanks as firmware does: what
// reaches the cameras, and what the cameras hold afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::Simulator;

struct Result {
    int exit_code = -1;
    std::string out, err;
};

Result Cli(NetnsLab& lab, std::vector<std::string> args, const std::string& stdin_text = "") {
    args.insert(args.begin(), QUORVEX_CLI_PATH);
    Result r;
    r.exit_code = lab.Run(lab.pc_namespace(), args, &r.out, &r.err, stdin_text);
    return r;
}

std::unique_ptr<Simulator> StartSim(NetnsLab& lab, const std::string& json) {
    const std::string file = lab.scratch_dir() + "/cams.json";
    std::ofstream(file) << json;
    std::string why;
    auto sim = Simulator::Start(lab, lab.site_namespace("cams"), {"--devices", file}, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

// A text camera (MAC ...:01) and a binary one (...:02) at `ip_text` and
// `ip_binary`, both with gateway `gateway`, name servers 192.168.0.2 and
// 192.168.0.3 and the password "pw".
std::string Cameras(const std::string& ip_text, const std::string& ip_binary,
                    const std::string& gateway) {
    std::string json = "[";
    for (const auto& [mac, protocol, ip] :
         {std::tuple{"01", "text", ip_text}, std::tuple{"02", "binary", ip_binary}})
        json += std::string(json.size() > 1 ? "," : "") + R"({"mac": "00-1A-2B-3C-4D-)" + mac +
                R"(", "protocol": ")" + protocol + R"(", "ip": ")" + ip +
                R"(", "mask": "255.255.255.0", "gateway": ")" + gateway +
                R"(", "dns1": "192.168.0.2", "dns2": "192.168.0.3", "http_port": 80,
                "dhcp": 0, "user": "admin", "password": "pw"})";
    return json + "]";
}

// Settings commands the simulator received, either protocol.
std::vector<std::string> Commands(const Simulator& sim) {
    std::vector<std::string> out;
    for (const LoggedDatagram& d : sim.ReadLog()) {
        const std::string text(d.bytes.begin(), d.bytes.end());
        if (text.rfind("CMD", 0) == 0 || d.bytes.size() == 324) out.push_back(text);
    }
    return out;
}

// Every camera a scan lists, by MAC: "ip gateway dns1 dns2".
std::map<std::string, std::string> Scan(NetnsLab& lab, const std::string& config) {
    std::map<std::string, std::string> cameras;
    const Result scan = Cli(lab, {"--config", config, "scan", "--wait", "1.5", "--json"});
    EXPECT_EQ(scan.exit_code, 0) << scan.err;
    for (const auto& c : nlohmann::json::parse(scan.out))
        cameras[c["mac"]] = c["ip"].get<std::string>() + " " + c["gateway"].get<std::string>() +
                            " " + c["dns1"].get<std::string>() + " " + c["dns2"].get<std::string>();
    return cameras;
}

TEST(ChangeNetns, NothingGoesThatWasNotAskedForOrCannotBeRead) {
    QUORVEX_LAB_OR_SKIP(lab);
    // The PC's interface has no gateway; both cameras sit at factory addresses.
    const std::string pc_if = lab->AddSite("cams", "10.77.4.1/24", "10.77.4.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    const auto sim = StartSim(*lab, Cameras("192.168.0.64", "192.168.0.65", "192.168.0.1"));
    ASSERT_TRUE(sim);
    const std::string config = lab->scratch_dir() + "/config.xml";
    std::ofstream(config) << "<config><match_address><min>10</min><max>20</max></match_address>"
                             "<interfaces><interface>"
                          << pc_if << "</interface></interfaces></config>\n";
    const auto cli = [&](std::vector<std::string> args, const std::string& in = "pw\n") {
        args.insert(args.begin(), {"--config", config});
        return Cli(*lab, args, in);
    };

    // A dry run, no line on standard input, the camera's own gateway as its
    // address (the PC has no default route to know it by): nothing is sent.
    const Result dry = cli({"match", "--all", "--dry-run", "--password-stdin", "--wait", "1.5"});
    EXPECT_EQ(dry.exit_code, 0) << dry.out << dry.err;
    EXPECT_NE(dry.out.find("00-1A-2B-3C-4D-01  192.168.0.64 -> 10.77.4.10\n"), std::string::npos)
        << dry.out;
    EXPECT_NE(dry.out.find("dry run: 2 change(s) planned, nothing sent"), std::string::npos);
    const Result no_password = cli({"match", "--all", "--password-stdin", "--wait", "1"}, "");
    EXPECT_EQ(no_password.exit_code, 2);
    EXPECT_NE(no_password.err.find("--password-stdin found no line"), std::string::npos)
        << no_password.err;
    const Result gateway = cli({"set", "00-1A-2B-3C-4D-02", "--ip", "192.168.0.1", "--force"});
    EXPECT_EQ(gateway.exit_code, 1);
    EXPECT_NE(gateway.err.find("the new address is the gateway's"), std::string::npos)
        << gateway.err;
    const auto before = Scan(*lab, config);
    EXPECT_EQ(before.at("00-1A-2B-3C-4D-01").substr(0, 13), "192.168.0.64 ");
    EXPECT_EQ(before.at("00-1A-2B-3C-4D-02").substr(0, 13), "192.168.0.65 ");
    EXPECT_EQ(Commands(*sim).size(), 0u);

    // The name servers the interface has replace the cameras'; the gateway it
    // lacks (and a 0.0.0.0 name server) is left out of the text command, and
    // the binary record carries the camera's own: every other value intact.
    std::string dns[2];
    for (const auto& item : nlohmann::json::parse(cli({"interfaces", "--json"}).out))
        if (item["ifname"] == pc_if)
            for (int i = 0; i < 2; ++i)
                if ((dns[i] = item[i ? "dns2" : "dns1"].get<std::string>()) == "0.0.0.0")
                    dns[i].clear();
    const Result moved = cli({"match", "--all", "--password-stdin", "--wait", "4"});
    EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
    const std::string kept = " 192.168.0.1 " + (dns[0].empty() ? "192.168.0.2" : dns[0]) + " " +
                             (dns[1].empty() ? "192.168.0.3" : dns[1]);
    const auto after = Scan(*lab, config);
    EXPECT_EQ(after.at("00-1A-2B-3C-4D-01"), "10.77.4.10" + kept);
    EXPECT_EQ(after.at("00-1A-2B-3C-4D-02"), "10.77.4.11" + kept);
    for (const std::string& command : Commands(*sim))
        EXPECT_TRUE(command.find("  ") == command.npos && command.find("0.0.0.0") == command.npos)
            << command;

    // Zero-padded decimal goes out as the number it names.
    const Result padded = cli({"set", "00-1A-2B-3C-4D-01", "--ip", "010.077.004.005", "--gateway",
                               "010.077.004.253", "--password-stdin", "--wait", "4"});
    EXPECT_EQ(padded.exit_code, 0) << padded.out << padded.err;
    EXPECT_NE(padded.out.find("00-1A-2B-3C-4D-01  10.77.4.10 -> 10.77.4.5\n    gateway "
                              "192.168.0.1 -> 10.77.4.253\n"),
              std::string::npos)
        << padded.out;
    EXPECT_NE(Commands(*sim).back().find("-ipaddr 10.77.4.5 -netmask 255.255.255.0 -gateway "
                                         "10.77.4.253 "),
              std::string::npos);
    EXPECT_EQ(Scan(*lab, config).at("00-1A-2B-3C-4D-01").substr(0, 22), "10.77.4.5 10.77.4.253 ");
}

}  // namespace
}  // namespace quorvex
