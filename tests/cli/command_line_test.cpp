#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/batch_change.h"

namespace quorvex {
namespace {

using Kind = ParsedCommandLine::Kind;

// The runs in cli_netns_test take the plain spellings; here the rest.
TEST(CommandLine, TakesEveryOptionInEitherSpellingAndSetsOnlyWhatIsGiven) {
    auto p = ParseCommandLine({"scan", "--json", "--wait=12", "--config=other.xml",
                               "--interface=veth7", "--interface", "eth1"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.format, OutputFormat::kJson);
    EXPECT_EQ(p.options.wait_seconds, 12.0);
    EXPECT_EQ(p.options.config_file, "other.xml");
    EXPECT_EQ(p.options.interfaces, (std::vector<std::string>{"veth7", "eth1"}));
    EXPECT_EQ(p.options.protocols, (std::vector<std::string>{"text", "binary", "wsd"}));
    p = ParseCommandLine({"scan", "--protocol=wsd,text,wsd"});
    EXPECT_EQ(p.options.protocols, (std::vector<std::string>{"wsd", "text"}));
    p = ParseCommandLine({"scan", "--protocol", "text,onvif"});
    EXPECT_EQ(p.kind, Kind::kError);
    EXPECT_NE(p.text.find("--protocol"), std::string::npos) << p.text;

    p = ParseCommandLine({"set", "00:1a:2b:3c:4d:5e", "--dhcp", "off", "--dns1", "8.8.8.8",
                          "--dns2", "0.0.0.0", "--http-port", "65535", "--user", "operator"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    const CliOptions& o = p.options;
    EXPECT_EQ(o.mac + " " + *o.dns1 + " " + *o.dns2 + " " + *o.user,
              "00-1A-2B-3C-4D-5E 8.8.8.8 0.0.0.0 operator");
    EXPECT_EQ(o.dhcp, false);
    EXPECT_EQ(o.http_port, 65535);
    EXPECT_FALSE(o.ip || o.mask || o.gateway || o.password_stdin);
    // A camera only WS-Discovery heard: by its WS-Discovery key or endpoint.
    p = ParseCommandLine({"set", "WSD-00000000abcd", "urn:uuid:5157-8E00"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.macs, (std::vector<std::string>{"WSD-00000000ABCD", "urn:uuid:5157-8E00"}));
    p = ParseCommandLine({"set", "--http-port=1", "00-1a-2B-3c-4D-5e", "--dhcp=on"});
    EXPECT_EQ(p.options.mac, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(p.options.http_port, 1);
    EXPECT_EQ(p.options.dhcp, true);

    // The tool's own options stand before or after the command; after "--"
    // every word is an argument, the command too when none came before.
    p = ParseCommandLine(
        {"match", "-q", "00:1a:2b:3c:4d:5e", "--config", "c.xml", "--", "00-1A-2B-3C-4D-01"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.config_file, "c.xml");
    EXPECT_EQ(p.options.macs, (std::vector<std::string>{"00-1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-01"}));
    p = ParseCommandLine({"-q", "--", "match", "00-1A-2B-3C-4D-01"});
    ASSERT_EQ(p.kind, Kind::kRun) << p.text;
    EXPECT_EQ(p.options.command, CliCommand::kMatch);
    EXPECT_EQ(ParseCommandLine({"set", "--", "--ip"}).text,
              "set: '--ip' is not a MAC address (use 00-1A-2B-3C-4D-5E or 00:1a:2b:3c:4d:5e)");
    EXPECT_EQ(ParseCommandLine({"scan", "--json=1"}).text, "scan: --json takes no value");
    EXPECT_EQ(ParseCommandLine({"--", "scanner"}).text, "unknown command 'scanner'");

    // A camera's self-signed certificate passes only when asked for, in the
    // sessions the commands open.
    for (const char* command : {"set", "match"}) {
        p = ParseCommandLine({command, "00-1A-2B-3C-4D-5E"});
        ASSERT_EQ(p.kind, Kind::kRun) << p.text;
        EXPECT_FALSE(SessionOptions(p.options).accept_any_certificate) << command;
        p = ParseCommandLine({command, "00-1A-2B-3C-4D-5E", "--accept-self-signed"});
        ASSERT_EQ(p.kind, Kind::kRun) << p.text;
        EXPECT_TRUE(SessionOptions(p.options).accept_any_certificate) << command;
    }
    EXPECT_EQ(ParseCommandLine({"scan", "--accept-self-signed"}).kind, Kind::kError);
}

// Misuse that parsing refuses, with part of its message: command lines split
// at spaces, "MAC" standing for a well-formed MAC.
// clang-format off
const std::pair<const char*, std::vector<std::string>> kMisuse[] = {
    {"no command given", {"", "--config x.xml"}}, {"unknown command 'frobnicate'", {"frobnicate"}},
    {"unknown option '--verbose'", {"--verbose scan"}}, {"--config given twice", {"--config a.xml --config b.xml scan"}},
    {"--config needs a file name", {"--config= scan"}},
    {"scan: unknown option '--wat'", {"scan --wat 3"}}, {"scan: unexpected argument 'extra'", {"scan extra"}},
    {"scan: missing value for --wait", {"scan --wait"}}, {"scan: --wait given twice", {"scan --wait 1 --wait 2"}},
    {"scan: --wait takes auto or a number of seconds", {"scan --wait soon", "scan --wait 0", "scan --wait -1",
                                                "scan --wait 3601", "scan --wait nan", "scan --wait 3s"}},
    {"scan: --json and --csv exclude each other", {"scan --json --csv", "scan --csv --json"}},
    {"scan: --interface needs an adapter name", {"scan --interface="}},
    {"scan: missing value for --interface", {"scan --interface"}},
    {"interfaces: unknown option '--csv'", {"interfaces --csv"}},
    {"interfaces: unknown option '--wait'", {"interfaces --wait 1"}},
    {"config: unknown option '--interface'", {"config --interface eth0"}},
    {"set: needs the MAC of the device to change", {"set", "set --ip 10.0.0.1"}},
    {"set: '00-1A-2B-3C-4D' is not a MAC address", {"set 00-1A-2B-3C-4D"}},
    {"is not a MAC address", {"set 00-1A-2B:3C-4D-5E", "set 00-1A-2B-3C-4D-5G"}},
    {"set: MAC 00-1A-2B-3C-4D-5E given twice", {"set MAC MAC"}},
    {"set: --ip gives one address; use --ip-from", {"set MAC 00-1A-2B-3C-4D-5F --ip 10.0.0.1", "set --all-outside --ip 10.0.0.1"}},
    {"set: --all-outside needs --ip-from", {"set --all-outside"}}, {"set: give --ip or --ip-from, not both", {"set MAC --ip 10.0.0.1 --ip-from 10.0.0.2"}},
    {"set: give --all-outside or MACs, not both", {"set MAC --all-outside --ip-from 10.0.0.2"}}, {"set: --ip given twice", {"set MAC --ip 10.0.0.1 --ip 10.0.0.2"}},
    {"scan: --bom goes with --csv", {"scan --bom", "scan --json --bom"}},
    {"scan: --protocol takes a comma list of text, binary and wsd", {"scan --protocol foo", "scan --protocol text,"}},
    {"config: unexpected argument 'x'", {"config -- x"}},
    {"set: '10.0.0' is not an IPv4 address (--ip)", {"set MAC --ip 10.0.0"}},
    {"'10.0.0.256' is not an IPv4 address (--ip)", {"set MAC --ip 10.0.0.256"}},
    {"'gw' is not an IPv4 address (--gateway)", {"set MAC --gateway gw"}},
    {"'' is not an IPv4 address (--dns1)", {"set MAC --dns1="}},
    {"is not an IPv4 address (--dns2)", {"set MAC --dns2 1.2.3.4.5"}},
    {"'255.0.255.0' is not a subnet mask (--mask)", {"set MAC --mask 255.0.255.0"}},
    {"set: HTTP port '0' is outside 1-65535", {"set MAC --http-port 0"}},
    {"is outside 1-65535", {"set MAC --http-port 65536", "set MAC --http-port 99999999999999999999"}},
    {"HTTP port '-80' is not a number", {"set MAC --http-port -80"}},
    {"HTTP port '80x' is not a number", {"set MAC --http-port 80x"}},
    {"set: --dhcp takes on or off, not 'yes'", {"set MAC --dhcp yes"}},
    {"set: --user is longer than 31 bytes", {"set MAC --user u23456789012345678901234567890123"}},
    {"set: unknown option '--password'", {"set MAC --password secret"}},
    {"set: unknown option '--all'", {"set MAC --all"}}, {"set: --dry-run given twice", {"set MAC --dry-run --dry-run"}},
    {"match: give --all or at least one MAC", {"match"}}, {"match: give --all or MACs, not both", {"match --all MAC"}},
    {"match: MAC 00-1A-2B-3C-4D-5E given twice", {"match MAC 00:1a:2b:3c:4d:5e"}},
    {"match: --all given twice", {"match --all --all"}}, {"match: 'cam-7' is not a MAC address", {"match cam-7"}},
    {"match: unknown option '--ip'", {"match --all --ip 1.2.3.4"}}, {"match: unknown option '--ip-from'", {"match --all --ip-from 1.2.3.4"}},
};
// clang-format on

TEST(CommandLine, RefusesEveryMisuseWithOneLineNamingIt) {
    for (const auto& [message, lines] : kMisuse)
        for (const std::string& line : lines) {
            std::vector<std::string> words;
            std::istringstream in(line);
            for (std::string word; in >> word;)
                words.push_back(word == "MAC" ? "00-1A-2B-3C-4D-5E" : word);
            const ParsedCommandLine p = ParseCommandLine({words.begin(), words.end()});
            EXPECT_EQ(p.kind, Kind::kError) << line;
            EXPECT_NE(p.text.find(message), std::string::npos) << line << " -> " << p.text;
            EXPECT_EQ(p.text.find('\n'), std::string::npos) << line << " -> " << p.text;
        }
    EXPECT_EQ(ParseCommandLine({"set", "00-1A-2B-3C-4D-5E", "--ip", "10.0.0.1 "}).kind,
              Kind::kError);
}

TEST(CommandLine, HelpWinsWhereverItStandsAndNamesEveryOptionWithAnExample) {
    EXPECT_EQ(ParseCommandLine({"--help"}).text, ToolHelp());
    const ParsedCommandLine version = ParseCommandLine({"scan", "--wait", "2", "--version", "-x"});
    EXPECT_EQ(version.kind, Kind::kHelp);
    EXPECT_EQ(version.text.rfind("quorvex-cli 1.", 0), 0u) << version.text;
    const std::pair<std::string_view, std::vector<std::string>> commands[] = {
        {"interfaces", {"--json"}},
        {"config", {"--json"}},
        {"scan", {"--wait", "--interface", "--json", "--csv"}},
        {"set",
         {"--dhcp", "--ip", "--mask", "--gateway", "--dns1", "--dns2", "--http-port", "--user",
          "--password-stdin", "--wait", "--interface", "--ip-from", "--all-outside", "--dry-run",
          "--force", "--temporary-address", "--json"}},
        {"match",
         {"--all", "--wait", "--interface", "MAC", "--user", "--password-stdin", "--dry-run",
          "--force", "--temporary-address", "--json"}},
    };
    for (const auto& [name, options] : commands) {
        EXPECT_NE(ToolHelp().find(name), std::string::npos) << name;
        for (const auto& args : {std::vector<std::string_view>{name, "--help"},
                                 std::vector<std::string_view>{name, "-h", "--bogus"}}) {
            const ParsedCommandLine p = ParseCommandLine(args);
            ASSERT_EQ(p.kind, Kind::kHelp) << name;
            EXPECT_EQ(p.text.rfind("Usage: quorvex-cli " + std::string(name), 0), 0u) << p.text;
            const std::size_t example = p.text.find("Example:\n");
            ASSERT_NE(example, std::string::npos) << name;
            const std::size_t run = p.text.find("quorvex-cli ", example);
            EXPECT_NE(p.text.find(" " + std::string(name) + " ", run), std::string::npos) << name;
            for (const std::string& option : options)
                EXPECT_NE(p.text.find("  " + option), std::string::npos) << name << " " << option;
        }
        // The command's manual page names every option its help names, and
        // where config.xml is looked up.
        std::ifstream file(std::string(QUORVEX_SOURCE_DIR "/packaging/man/quorvex-cli-") +
                           std::string(name) + ".1");
        std::string page((std::istreambuf_iterator<char>(file)), {});
        ASSERT_FALSE(page.empty()) << name;
        for (std::size_t at; (at = page.find("\\-")) != std::string::npos;) page.erase(at, 1);
        for (std::size_t at; (at = page.find("\\fB")) != std::string::npos;) page.erase(at, 3);
        const std::string help = ParseCommandLine({name, "--help"}).text;
        for (std::size_t at = 0; (at = help.find("  --", at)) != std::string::npos;) {
            const std::size_t end = help.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 4);
            const std::string option = help.substr(at + 2, end - at - 2);
            EXPECT_NE(page.find(option), std::string::npos) << name << " page lacks " << option;
            at = end;
        }
        EXPECT_NE(page.find("$XDG_CONFIG_HOME/quorvex/config.xml"), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace quorvex
