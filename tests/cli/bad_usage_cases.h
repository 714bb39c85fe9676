#pragma once

// Every kind of misuse of quorvex-cli that parsing must refuse, with the part
// of the one-line message that names the problem. The real binary runs this
// list outside any namespace and again beside a simulator, which must hear
// nothing.

#include <string>
#include <vector>

namespace quorvex::testing {

struct BadUsage {
    std::vector<std::string> args;
    std::string message;
};

inline const std::vector<BadUsage>& ParseFailures() {
    static const std::string mac = "00-1A-2B-3C-4D-5E";
    static const std::vector<BadUsage> cases = {
        {{}, "no command given"},
        {{"--config", "x.xml"}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"--verbose", "scan"}, "unknown option '--verbose'"},
        {{"scan", "--wat", "3"}, "scan: unknown option '--wat'"},
        {{"scan", "extra"}, "scan: unexpected argument 'extra'"},
        {{"scan", "--wait"}, "scan: missing value for --wait"},
        {{"scan", "--wait", "soon"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "0"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "-1"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "3601"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "nan"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "3s"}, "scan: --wait takes a number of seconds"},
        {{"scan", "--wait", "1", "--wait", "2"}, "scan: --wait given twice"},
        {{"scan", "--json", "--csv"}, "scan: --json and --csv exclude each other"},
        {{"scan", "--csv", "--json"}, "scan: --json and --csv exclude each other"},
        {{"scan", "--interface", ""}, "scan: --interface needs an adapter name"},
        {{"scan", "--interface"}, "scan: missing value for --interface"},
        {{"--config", "a.xml", "--config", "b.xml", "scan"}, "--config given twice"},
        {{"--config=", "scan"}, "--config needs a file name"},
        {{"interfaces", "--csv"}, "interfaces: unknown option '--csv'"},
        {{"interfaces", "--wait", "1"}, "interfaces: unknown option '--wait'"},
        {{"config", "--interface", "eth0"}, "config: unknown option '--interface'"},
        {{"set"}, "set: needs the MAC of the device to change"},
        {{"set", "--ip", "10.0.0.1"}, "set: needs the MAC of the device to change"},
        {{"set", "00-1A-2B-3C-4D"}, "set: '00-1A-2B-3C-4D' is not a MAC address"},
        {{"set", "00-1A-2B:3C-4D-5E"}, "is not a MAC address"},
        {{"set", "00-1A-2B-3C-4D-5G"}, "is not a MAC address"},
        {{"set", mac, mac}, "set: takes one MAC, got a second"},
        {{"set", mac, "--ip", "10.0.0"}, "set: '10.0.0' is not an IPv4 address (--ip)"},
        {{"set", mac, "--ip", "10.0.0.256"}, "'10.0.0.256' is not an IPv4 address (--ip)"},
        {{"set", mac, "--ip", "10.0.0.1 "}, "is not an IPv4 address (--ip)"},
        {{"set", mac, "--gateway", "gw"}, "'gw' is not an IPv4 address (--gateway)"},
        {{"set", mac, "--dns1", ""}, "'' is not an IPv4 address (--dns1)"},
        {{"set", mac, "--dns2", "1.2.3.4.5"}, "is not an IPv4 address (--dns2)"},
        {{"set", mac, "--mask", "255.0.255.0"}, "'255.0.255.0' is not a subnet mask (--mask)"},
        {{"set", mac, "--ip", "10.0.0.1", "--ip", "10.0.0.2"}, "set: --ip given twice"},
        {{"set", mac, "--http-port", "0"}, "set: HTTP port '0' is outside 1-65535"},
        {{"set", mac, "--http-port", "65536"}, "HTTP port '65536' is outside 1-65535"},
        {{"set", mac, "--http-port", "99999999999999999999"}, "is outside 1-65535"},
        {{"set", mac, "--http-port", "-80"}, "HTTP port '-80' is not a number"},
        {{"set", mac, "--http-port", "80x"}, "HTTP port '80x' is not a number"},
        {{"set", mac, "--dhcp", "yes"}, "set: --dhcp takes on or off, not 'yes'"},
        {{"set", mac, "--user", "u23456789012345678901234567890123"},
         "set: --user is longer than 31 bytes"},
        {{"set", mac, "--password", "secret"}, "set: unknown option '--password'"},
        {{"set", mac, "--all"}, "set: unknown option '--all'"},
        {{"set", mac, "--json"}, "set: unknown option '--json'"},
        {{"match"}, "match: give --all or at least one MAC"},
        {{"match", "--all", mac}, "match: give --all or MACs, not both"},
        {{"match", mac, "00:1a:2b:3c:4d:5e"}, "match: MAC 00-1A-2B-3C-4D-5E given twice"},
        {{"match", "--all", "--all"}, "match: --all given twice"},
        {{"match", "--all", "--ip", "1.2.3.4"}, "match: unknown option '--ip'"},
        {{"match", "cam-7"}, "match: 'cam-7' is not a MAC address"},
    };
    return cases;
}

}  // namespace quorvex::testing
