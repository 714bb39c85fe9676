// A standard camera at a factory address (192.168.1.64/24) behind the PC's
// link on a 10.77.x site: the camera's side holds only its own subnet, so the
// PC reaches it over HTTP only while it holds an address of that subnet
// itself. The real quorvex-cli against the simulator, in private namespaces.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "tests/cli/cli_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::Cli;
using testing::LoggedDatagram;
using testing::NetnsLab;
using testing::ReadFile;
using testing::ReadJson;
using testing::Simulator;

struct OutsideSite {
    std::string pc_if;
    std::unique_ptr<Simulator> sim;
    std::vector<std::string> keys;  // the cameras at 192.168.1.64, .65, ...
};

// `count` standard cameras from 192.168.1.64 whose answers reach the PC by
// the group only (the camera has no route back to the PC's subnet).
OutsideSite StartOutsideSite(NetnsLab& lab, int count, const std::string& move_delay_ms) {
    OutsideSite site;
    site.pc_if = lab.AddSite("cams", "10.77.1.1/24", "192.168.1.2/24");
    EXPECT_FALSE(site.pc_if.empty()) << lab.last_error();
    std::string why;
    site.sim = Simulator::Start(lab, lab.site_namespace("cams"),
                                {"--subnet", "192.168.1.", "--first-host", "64", "--password", "pw",
                                 "--standard", std::to_string(count), "--standard-auth", "digest",
                                 "--reply", "multicast", "--standard-move-delay", move_delay_ms},
                                &why);
    EXPECT_TRUE(site.sim) << why;
    if (!site.sim) return site;
    const std::string scan =
        Cli(lab, {"scan", "--wait", "2", "--json", "--interface", site.pc_if}).out;
    std::map<std::string, std::string> by_address;
    for (const auto& c : ReadJson(scan))
        by_address[c.second.get<std::string>("ip")] = c.second.get<std::string>("mac");
    for (int i = 0; i < count; ++i)
        site.keys.push_back(by_address["192.168.1." + std::to_string(64 + i)]);
    return site;
}

// The PC's IPv4 addresses in the subnet of the cameras' factory addresses.
std::string FactorySubnetAddresses(NetnsLab& lab) {
    std::string out;
    lab.Run(lab.pc_namespace(), {"ip", "-o", "-4", "addr", "show"}, &out);
    std::string found;
    for (std::size_t at = 0; (at = out.find("inet 192.168.1.", at)) != std::string::npos; ++at)
        found += out.substr(at + 5, out.find(' ', at + 5) - at - 5) + ";";
    return found;
}

std::vector<LoggedDatagram> Calls(const Simulator& sim) {
    std::vector<LoggedDatagram> calls;
    for (const LoggedDatagram& d : sim.ReadLog())
        if (!d.operation.empty()) calls.push_back(d);
    return calls;
}

std::vector<std::string> Match(const OutsideSite& site, const std::string& key,
                               std::vector<std::string> extra) {
    std::vector<std::string> args = {"match",  key,           "--user",
                                     "admin",  "--interface", site.pc_if,
                                     "--wait", "2",           "--password-stdin"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// Without the flag nothing goes to the camera; a dry run with it names the
// address (past one that answers on the link) and adds none; with it the camera moves into the PC's
// subnet and the address is gone afterwards.
TEST(CliNetnsTemporaryAddress, AnOutsideCameraMovesOnlyWithTheFlagAndLeavesNoAddress) {
    QUORVEX_LAB_OR_SKIP(lab);
    const OutsideSite site = StartOutsideSite(*lab, 1, "200");
    ASSERT_TRUE(site.sim);
    const std::string key = site.keys[0];
    ASSERT_FALSE(key.empty());

    const testing::CliResult refused = Cli(*lab, Match(site, key, {}), "pw\n");
    EXPECT_EQ(refused.exit_code, 1) << refused.out << refused.err;
    EXPECT_NE(refused.err.find(key + " not changed: "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--temporary-address"), std::string::npos) << refused.err;
    EXPECT_TRUE(Calls(*site.sim).empty());

    // The top of the subnet answers on the link (the kernel of the camera's
    // side answers the probe): the next one down is taken.
    ASSERT_TRUE(lab->AddAddress(lab->site_namespace("cams"), lab->site_interface("cams"),
                                "192.168.1.254/24"))
        << lab->last_error();
    const testing::CliResult dry =
        Cli(*lab, Match(site, key, {"--temporary-address", "--dry-run"}), "pw\n");
    EXPECT_EQ(dry.exit_code, 0) << dry.out << dry.err;
    EXPECT_NE(dry.out.find("through temporary address 192.168.1.253/24 on " + site.pc_if),
              std::string::npos)
        << dry.out;
    EXPECT_TRUE(Calls(*site.sim).empty());
    EXPECT_EQ(FactorySubnetAddresses(*lab), "");

    const testing::CliResult moved = Cli(*lab, Match(site, key, {"--temporary-address"}), "pw\n");
    EXPECT_EQ(moved.exit_code, 0) << moved.out << moved.err;
    EXPECT_NE(moved.out.find(key + ": answers at 10.77.1."), std::string::npos) << moved.out;
    EXPECT_FALSE(Calls(*site.sim).empty());
    EXPECT_EQ(FactorySubnetAddresses(*lab), "");
}

// A run killed while the camera takes its time to move leaves its address
// behind (marked, and expiring by itself): the next start removes it, even a
// dry run's, but never one that a running start holds. Ctrl+C removes it at
// once and says so.
TEST(CliNetnsTemporaryAddress, AKilledRunsAddressGoesAtTheNextStartAndCtrlCTakesItAtOnce) {
    QUORVEX_LAB_OR_SKIP(lab);
    // The cameras take half a minute to move: each run holds its address
    // until it is stopped.
    const OutsideSite site = StartOutsideSite(*lab, 2, "30000");
    ASSERT_TRUE(site.sim);
    ASSERT_FALSE(site.keys[0].empty());
    ASSERT_FALSE(site.keys[1].empty());
    const auto spawn = [&](const std::string& key, const std::string& name) {
        // exec: the signals must reach the tool itself, not a shell around it.
        const std::string password = testing::WriteFile(lab->scratch_dir() + "/pw", "pw\n");
        std::vector<std::string> argv = {"sh", "-c", "exec \"$@\" <" + password, "sh",
                                         QUORVEX_CLI_PATH};
        for (const std::string& a : Match(site, key, {"--temporary-address"})) argv.push_back(a);
        return lab->Spawn(lab->pc_namespace(), argv, lab->scratch_dir() + "/" + name + ".out",
                          lab->scratch_dir() + "/" + name + ".err");
    };
    const auto address_held = [&] { return !FactorySubnetAddresses(*lab).empty(); };

    auto killed = spawn(site.keys[0], "killed");
    ASSERT_TRUE(testing::WaitUntil(address_held, 60s))
        << ReadFile(lab->scratch_dir() + "/killed.err");
    EXPECT_EQ(killed.Stop(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(FactorySubnetAddresses(*lab), "192.168.1.254/24;");
    const testing::CliResult dry = Cli(*lab, Match(site, site.keys[1], {"--dry-run"}), "pw\n");
    EXPECT_EQ(FactorySubnetAddresses(*lab), "") << dry.out << dry.err;

    auto interrupted = spawn(site.keys[1], "interrupted");
    ASSERT_TRUE(testing::WaitUntil(address_held, 60s))
        << ReadFile(lab->scratch_dir() + "/interrupted.err");
    // Another start beside it leaves alone what a running one holds.
    Cli(*lab, Match(site, site.keys[0], {"--dry-run"}), "pw\n");
    EXPECT_EQ(FactorySubnetAddresses(*lab), "192.168.1.254/24;");
    EXPECT_EQ(interrupted.Stop(SIGINT, 30s), 128 + SIGINT);
    EXPECT_EQ(FactorySubnetAddresses(*lab), "");
    const std::string err = ReadFile(lab->scratch_dir() + "/interrupted.err");
    EXPECT_NE(err.find("stopped by SIGINT"), std::string::npos) << err;
}

}  // namespace
}  // namespace quorvex
