#include "sim/sim_options.h"

#include <cstdint>
#include <limits>

namespace quorvex::sim {

namespace {

constexpr long long kMaxDevices = 1000000;
// Beyond this a flood would outlast any test; 2^32 also keeps random MACs
// distinct.
constexpr long long kMaxFlood = 1000000000;

bool ReadWhole(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= low && value <= high;
}

bool ValidPrefix(const std::string& prefix) {
    // "a.b.c." or "a.b.": numbers 0..255, each followed by a dot.
    int parts = 0;
    std::size_t at = 0;
    while (at < prefix.size()) {
        int value = 0, digits = 0;
        while (at < prefix.size() && prefix[at] >= '0' && prefix[at] <= '9' && digits < 4) {
            value = value * 10 + (prefix[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        if (at >= prefix.size() || prefix[at] != '.') return false;
        ++at;
        ++parts;
    }
    return parts == 2 || parts == 3;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool has_value = false;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                has_value = true;
            }
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        auto next = [&]() -> bool {
            if (has_value) return true;
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto number = [&](long long low, long long high, long long& out) -> bool {
            if (!next()) return false;
            if (!ReadWhole(value, low, high, out)) {
                error = arg + " wants a whole number in " + std::to_string(low) + ".." +
                        std::to_string(high) + ", not \"" + value + "\"";
                return false;
            }
            return true;
        };
        long long n = 0;
        if (arg == "--binary-h") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.binary_h = static_cast<int>(n);
        } else if (arg == "--binary-j") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.binary_j = static_cast<int>(n);
        } else if (arg == "--text") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.text = static_cast<int>(n);
        } else if (arg == "--wsd") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.wsd = static_cast<int>(n);
        } else if (arg == "--wsd-dual") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.wsd_dual = static_cast<int>(n);
        } else if (arg == "--wsd-style") {
            if (!next()) return false;
            o.generator.wsd_mixed_styles = value == "mixed";
            if (value == "plain") {
                o.generator.wsd_style = WsdStyle::kPlain;
            } else if (value == "odd") {
                o.generator.wsd_style = WsdStyle::kOdd;
            } else if (value == "ipv6-first") {
                o.generator.wsd_style = WsdStyle::kIpv6First;
            } else if (value != "mixed") {
                error = "--wsd-style wants plain, odd, ipv6-first or mixed, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--wsd-hello" || arg == "--wsd-malformed") {
            if (has_value) {
                error = arg + " takes no value";
                return false;
            }
            (arg == "--wsd-hello" ? o.wsd.hello : o.wsd.malformed) = true;
        } else if (arg == "--wsd-bye-after") {
            if (!number(0, 600000, n)) return false;
            o.wsd.bye_after_ms = static_cast<int>(n);
        } else if (arg == "--outside") {
            if (!number(0, kMaxDevices, n)) return false;
            o.generator.outside = static_cast<int>(n);
        } else if (arg == "--first-host") {
            if (!number(1, 254, n)) return false;
            o.generator.first_host = static_cast<int>(n);
        } else if (arg == "--seed") {
            if (!number(0, std::numeric_limits<long long>::max(), n)) return false;
            o.generator.seed = static_cast<std::uint64_t>(n);
        } else if (arg == "--spread") {
            if (!number(0, 600000, n)) return false;
            o.spread_ms = static_cast<int>(n);
        } else if (arg == "--subnet" || arg == "--outside-subnet") {
            if (!next()) return false;
            if (!ValidPrefix(value)) {
                error = arg + " wants a prefix such as 10.77.1. or 10.77., not \"" + value + "\"";
                return false;
            }
            (arg == "--subnet" ? o.generator.subnet : o.generator.outside_subnet) = value;
        } else if (arg == "--user" || arg == "--password") {
            if (!next()) return false;
            (arg == "--user" ? o.generator.user : o.generator.password) = value;
        } else if (arg == "--devices") {
            if (!next()) return false;
            o.devices_file = value;
        } else if (arg == "--reply") {
            if (!next()) return false;
            if (value == "mixed") {
                o.mixed = true;
            } else if (ParseReplyMode(value, o.reply)) {
                o.mixed = false;
            } else {
                error =
                    "--reply wants unicast, broadcast, multicast or mixed, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--interface") {
            if (!next()) return false;
            if (value.empty() || value.size() > 15) {
                error = "--interface wants an interface name, not \"" + value + "\"";
                return false;
            }
            o.interfaces.push_back(value);
        } else if (arg == "--flood") {
            if (!number(1, kMaxFlood, n)) return false;
            o.flood.count = static_cast<std::uint64_t>(n);
        } else if (arg == "--flood-kind") {
            if (!next()) return false;
            if (!ParseFloodKind(value, o.flood.kind)) {
                error =
                    "--flood-kind wants random, near-miss, truncated, oversized or mixed, "
                    "not \"" +
                    value + "\"";
                return false;
            }
        } else if (arg == "--flood-rate") {
            if (!number(0, kMaxFlood, n)) return false;
            o.flood.rate = static_cast<std::uint64_t>(n);
        } else if (arg == "--flood-to") {
            if (!next()) return false;
            if (!ParseFloodAim(value, o.flood.aim)) {
                error = "--flood-to wants unicast, group or mixed, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--random-macs") {
            if (!number(1, kMaxFlood, n)) return false;
            o.flood.random_macs = static_cast<std::uint64_t>(n);
        } else if (arg == "--spoof-macs") {
            if (has_value) {
                error = "--spoof-macs takes no value";
                return false;
            }
            o.flood.spoof_macs = true;
        } else if (arg == "--log") {
            if (!next()) return false;
            o.log_file = value;
        } else if (arg == "--ready-file") {
            if (!next()) return false;
            o.ready_file = value;
        } else {
            error = "unknown argument \"" + arg + "\"";
            return false;
        }
    }
    const long long total = static_cast<long long>(o.generator.binary_h) + o.generator.binary_j +
                            o.generator.text + o.generator.wsd;
    if (total > kMaxDevices) {
        error = "at most " + std::to_string(kMaxDevices) + " generated devices";
        return false;
    }
    const long long own = total - o.generator.wsd;
    if (o.generator.outside > own) {
        error = "--outside " + std::to_string(o.generator.outside) + " is more than the " +
                std::to_string(own) + " generated binary and text devices";
        return false;
    }
    if (o.generator.wsd_dual > o.generator.text) {
        error = "--wsd-dual " + std::to_string(o.generator.wsd_dual) + " is more than the " +
                std::to_string(o.generator.text) + " text devices";
        return false;
    }
    o.generator.mixed = o.mixed;
    o.generator.reply = o.reply;
    return true;
}

std::string SimUsage() {
    return R"(usage: quorvex-sim [options]

Simulates network cameras of both discovery protocols on the interfaces of
the network namespace it runs in. Run it only inside a private network
namespace: it answers broadcast and multicast probes.

Devices
  --binary-h N          N generated binary devices of family H (software
                        version 67.x.y.z with y above 60)
  --binary-j N          N generated binary devices of family J (any other
                        software version)
  --text N              N generated text-protocol devices (family E)
  --wsd N               N generated WS-Discovery cameras (port 3702), answering
                        only WS-Discovery probes, in the --wsd-style styles
  --wsd-dual N          the first N text devices answer WS-Discovery probes
                        too, with their MAC in the scopes
  --wsd-style STYLE     plain: every prefix on the Envelope, one XAddr, MAC
                          scope; answers both typed probes
                        odd: default SOAP namespace, inner declarations, odd
                          scope-name case, http and https XAddrs, no MAC;
                          answers only the Device probe
                        ipv6-first: IPv6 and IPv4 link-local XAddrs before
                          the real one; answers only the NetworkVideo-
                          Transmitter probe
                        mixed (default): the three in turn
  --seed S              seed for the generated MACs, versions and flags
                        (default 1); the same seed gives the same devices
  --subnet PREFIX       generated addresses are PREFIX + host number, e.g.
                        10.77.1. (default 192.168.1.); a two-part prefix such
                        as 10.77. spreads over the last two parts
  --first-host N        first host number (default 10); three-part prefixes
                        cycle within N..254
  --outside N           the last N generated binary and text devices take
                        addresses in the outside subnet instead (factory
                        addresses); WS-Discovery cameras stay inside
  --outside-subnet P    the outside subnet's prefix (default 192.168.0.)
  --user U              user name of the generated devices (default admin)
  --password P          password of the generated devices (default admin)
  --devices FILE        devices from a JSON file: an array of objects with the
                        keys mac (required, 00-1A-2B-3C-4D-5E or with colons),
                        protocol (binary|text), family (H|J|E), name, uid, ip,
                        mask, gateway, dns1, dns2, http_port, dhcp,
                        software_version, web_version, user (default admin),
                        password, device_id (text devices; default the MAC's
                        twelve hex digits), aux_flag, reply. A binary device's
                        family follows from its software version; a family
                        without a version gets a version of that family.
                        Generated devices come first, then the file's.

Answers
  --reply MODE          unicast: to the probe's source address and port
                        broadcast: to 255.255.255.255 at the probe's source
                          port (binary devices; text devices multicast instead)
                        multicast: to 239.255.255.250:12109 (text devices;
                          binary devices broadcast instead)
                        mixed: generated devices alternate between unicast and
                          their protocol's group reply
                        A file device's own "reply" overrides this.
                        Default unicast.
                        WS-Discovery cameras answer to the probe's source,
                        or (multicast) with ProbeMatches to the group at
                        3702; mixed makes every fourth one do that. Each
                        answers a MessageID once, however often it repeats.
  --wsd-hello           every WS-Discovery camera sends Hello to the group
                        once the first probe was heard
  --wsd-bye-after MS    and Bye MS milliseconds after that probe
  --wsd-malformed       every WS-Discovery probe also draws answers a PC must
                        refuse: cut short, a billion-laughs DOCTYPE, ~58 KB of
                        4,900 elements, a non-SOAP root; and a SOAP Fault
  --spread MS           each device answers after a random delay below MS
                        milliseconds; 0 (default) sends every answer at once

Commands (binary 44 48 02 01 by MAC; text "CMD * HDS/1.0" by Device-ID with
"netconf set ..." or "httpport set ...") are applied only with the device's
user and password; the change shows in the device's next answer. Devices
answer nothing to a command.

Hostile traffic (once the PC has probed on both ports; every mode aims at
the first PC heard, on the interface that heard it)
  --flood N             send N datagrams of --flood-kind to the PC's two
                        sockets; one line on standard error when done:
                        "quorvex-sim: flood done: N KIND datagrams in S s"
  --flood-kind KIND     random: random bytes, up to 1,472 of them, never
                          holding the byte 0x48 (so no header can form)
                        near-miss: whole answers with one thing wrong (other
                          header, other status line, another client id or
                          none); MACs 0E-BA-D0-..
                        truncated: decoy answers cut short, never whole; MACs
                          0A-DE-C0-01-00-xx (binary), 0A-DE-C0-02-00-xx (text)
                        oversized: 1,473 to 65,507 random bytes, and valid
                          answers of 65,507 bytes whose texts overrun every
                          field; MACs 0A-0B-51-01-00-01, 0A-0B-51-02-00-02
                        mixed (default): all of them, oversized ones rarely
  --flood-rate R        at most R datagrams per second; 0 (default) as fast
                        as possible. Also paces --random-macs
  --flood-to AIM        unicast: to the PC's address; group: to
                        255.255.255.255 at the binary probe's port and to
                        239.255.255.250:12109; mixed (default): alternating.
                        Also aims --random-macs
  --random-macs N       send N well-formed answers, binary and text in turn,
                        each with a MAC of its own (06-5A-..); reported on
                        standard error like --flood
  --spoof-macs          answer every probe a second time for each camera of
                        the probed protocol, right after it (at once, so
                        maybe before it, with --spread), with its MAC but the
                        name "spoofed NAME", address 192.0.2.66 and HTTP
                        port 6666

Serving
  --interface NAME      serve only this interface (repeatable); default every
                        up, non-loopback IPv4 interface of the namespace
  --log FILE            write one JSON line per datagram received: time,
                        interface, source address:port, destination port,
                        length, bytes in hex
  --ready-file FILE     written once every socket is bound
  --help                this text

Exit status: 0 after SIGTERM or SIGINT, 1 when the sockets cannot be set up,
2 for a bad argument or device file.
)";
}

}  // namespace quorvex::sim
