#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvex {
namespace {

using Kind = ParsedCommandLine::Kind;

ParsedCommandLine Parse(std::vector<std::string_view> args) {
    return ParseCommandLine(args);
}

TEST(CommandLine, ScanTakesWaitInterfacesAndOneFormat) {
    auto p = Parse({"scan"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.command, CliCommand::kScan);
    EXPECT_EQ(p.options.wait_seconds, 3.0);
    EXPECT_EQ(p.options.format, OutputFormat::kTable);
    EXPECT_TRUE(p.options.interfaces.empty());
    EXPECT_TRUE(p.options.config_file.empty());

    p = Parse({"--config", "site/config.xml", "scan", "--wait", "0.5", "--interface", "eth1",
               "--interface=veth7", "--csv"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.config_file, "site/config.xml");
    EXPECT_EQ(p.options.wait_seconds, 0.5);
    EXPECT_EQ(p.options.interfaces, (std::vector<std::string>{"eth1", "veth7"}));
    EXPECT_EQ(p.options.format, OutputFormat::kCsv);

    p = Parse({"scan", "--json", "--wait=12", "--config=other.xml"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.format, OutputFormat::kJson);
    EXPECT_EQ(p.options.wait_seconds, 12.0);
    EXPECT_EQ(p.options.config_file, "other.xml");
}

TEST(CommandLine, SetTakesEveryValueAndNormalisesTheMac) {
    auto p = Parse({"set",
                    "00:1a:2b:3c:4d:5e",
                    "--dhcp",
                    "off",
                    "--ip",
                    "10.77.1.50",
                    "--mask",
                    "255.255.0.0",
                    "--gateway",
                    "10.77.1.1",
                    "--dns1",
                    "8.8.8.8",
                    "--dns2",
                    "0.0.0.0",
                    "--http-port",
                    "65535",
                    "--user",
                    "operator",
                    "--password-stdin",
                    "--wait",
                    "5",
                    "--interface",
                    "eth0"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    const CliOptions& o = p.options;
    EXPECT_EQ(o.command, CliCommand::kSet);
    EXPECT_EQ(o.mac, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(o.dhcp, false);
    EXPECT_EQ(o.ip, "10.77.1.50");
    EXPECT_EQ(o.mask, "255.255.0.0");
    EXPECT_EQ(o.gateway, "10.77.1.1");
    EXPECT_EQ(o.dns1, "8.8.8.8");
    EXPECT_EQ(o.dns2, "0.0.0.0");
    EXPECT_EQ(o.http_port, 65535);
    EXPECT_EQ(o.user, "operator");
    EXPECT_TRUE(o.password_stdin);
    EXPECT_EQ(o.wait_seconds, 5.0);
    EXPECT_EQ(o.interfaces, std::vector<std::string>{"eth0"});

    // Only what is given is set; the rest stays the device's own.
    p = Parse({"set", "--http-port=1", "00-1A-2B-3C-4D-5E", "--dhcp=on"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.http_port, 1);
    EXPECT_EQ(p.options.dhcp, true);
    EXPECT_FALSE(p.options.ip || p.options.mask || p.options.gateway || p.options.user);
    EXPECT_FALSE(p.options.password_stdin);
    EXPECT_EQ(Parse({"set", "00-1a-2B-3c-4D-5e"}).options.mac, "00-1A-2B-3C-4D-5E");
}

TEST(CommandLine, MatchTakesAllOrMacsAndTheOtherCommandsOnlyJson) {
    auto p = Parse({"match", "--all", "--wait", "4"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_TRUE(p.options.all);
    EXPECT_TRUE(p.options.macs.empty());

    p = Parse({"match", "00:1a:2b:3c:4d:5e", "00-1A-2B-3C-4D-01"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_FALSE(p.options.all);
    EXPECT_EQ(p.options.macs, (std::vector<std::string>{"00-1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-01"}));

    p = Parse({"interfaces", "--json"});
    ASSERT_EQ(p.kind, Kind::kRun);
    EXPECT_EQ(p.options.command, CliCommand::kInterfaces);
    EXPECT_EQ(p.options.format, OutputFormat::kJson);
    p = Parse({"config"});
    ASSERT_EQ(p.kind, Kind::kRun);
    EXPECT_EQ(p.options.command, CliCommand::kConfig);
    EXPECT_EQ(p.options.format, OutputFormat::kTable);
}

TEST(CommandLine, HelpExplainsEveryOptionWithAnExample) {
    const ParsedCommandLine tool = Parse({"--help"});
    ASSERT_EQ(tool.kind, Kind::kHelp);
    EXPECT_EQ(tool.text, ToolHelp());
    for (const char* word : {"interfaces", "scan", "set", "match", "config", "--config", "Example"})
        EXPECT_NE(tool.text.find(word), std::string::npos) << word;

    struct Command {
        std::string_view name;
        std::vector<std::string> options;
    };
    const Command commands[] = {
        {"interfaces", {"--json"}},
        {"config", {"--json"}},
        {"scan", {"--wait", "--interface", "--json", "--csv"}},
        {"set",
         {"--dhcp", "--ip", "--mask", "--gateway", "--dns1", "--dns2", "--http-port", "--user",
          "--password-stdin", "--wait", "--interface"}},
        {"match", {"--all", "--wait", "--interface", "MAC"}},
    };
    for (const Command& c : commands) {
        // Help wins wherever it stands, also after a bad argument's place.
        for (const auto& args : {std::vector<std::string_view>{c.name, "--help"},
                                 std::vector<std::string_view>{c.name, "-h", "--bogus"}}) {
            const ParsedCommandLine p = Parse(args);
            ASSERT_EQ(p.kind, Kind::kHelp) << c.name;
            EXPECT_NE(p.text.find("Usage: quorvex-cli " + std::string(c.name)), std::string::npos);
            const std::size_t example = p.text.find("Example:\n");
            ASSERT_NE(example, std::string::npos) << c.name;
            const std::size_t run = p.text.find("quorvex-cli ", example);
            ASSERT_NE(run, std::string::npos) << c.name;
            EXPECT_NE(p.text.find(" " + std::string(c.name) + " ", run), std::string::npos);
            for (const std::string& option : c.options)
                EXPECT_NE(p.text.find("  " + option), std::string::npos) << c.name << " " << option;
        }
    }
}

}  // namespace
}  // namespace quorvex
