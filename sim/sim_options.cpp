#include "sim/sim_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

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
    // CLI11 reads the names, both spellings and repeats; each option's
    // callback checks its value as it is read and words its own message.
    CLI::App app{"", "quorvex-sim"};
    app.set_help_flag();
    app.add_flag_callback("-h,--help", [&o] { o.help = true; })->disable_flag_override();
    struct Problem {
        std::string message;
    };
    const auto text = [&app](const std::string& name,
                             std::function<void(const std::string&)> take) {
        app.add_option_function<std::string>(name, take)->trigger_on_parse();
    };
    const auto number = [&text](const std::string& name, long long low, long long high,
                                std::function<void(long long)> take) {
        text(name, [name, low, high, take](const std::string& value) {
            long long n = 0;
            if (!ReadWhole(value, low, high, n))
                throw Problem{name + " wants a whole number in " + std::to_string(low) + ".." +
                              std::to_string(high) + ", not \"" + value + "\""};
            take(n);
        });
    };
    GeneratorSettings& g = o.generator;
    number("--binary-h", 0, kMaxDevices, [&g](long long n) { g.binary_h = static_cast<int>(n); });
    number("--binary-j", 0, kMaxDevices, [&g](long long n) { g.binary_j = static_cast<int>(n); });
    number("--text", 0, kMaxDevices, [&g](long long n) { g.text = static_cast<int>(n); });
    number("--wsd", 0, kMaxDevices, [&g](long long n) { g.wsd = static_cast<int>(n); });
    number("--wsd-dual", 0, kMaxDevices, [&g](long long n) { g.wsd_dual = static_cast<int>(n); });
    text("--wsd-style", [&g](const std::string& value) {
        g.wsd_mixed_styles = value == "mixed";
        if (value == "plain") {
            g.wsd_style = WsdStyle::kPlain;
        } else if (value == "odd") {
            g.wsd_style = WsdStyle::kOdd;
        } else if (value == "ipv6-first") {
            g.wsd_style = WsdStyle::kIpv6First;
        } else if (value != "mixed") {
            throw Problem{"--wsd-style wants plain, odd, ipv6-first or mixed, not \"" + value +
                          "\""};
        }
    });
    app.add_flag_callback("--wsd-hello", [&o] { o.wsd.hello = true; })->disable_flag_override();
    app.add_flag_callback("--wsd-malformed", [&o] { o.wsd.malformed = true; })
        ->disable_flag_override();
    number("--wsd-bye-after", 0, 600000,
           [&o](long long n) { o.wsd.bye_after_ms = static_cast<int>(n); });
    number("--standard", 0, kMaxDevices, [&g](long long n) { g.standard = static_cast<int>(n); });
    const auto each = [](const std::string& value, const std::function<void(std::string)>& take) {
        for (std::size_t at = 0; at <= value.size();) {
            const std::size_t comma = std::min(value.find(',', at), value.size());
            take(value.substr(at, comma - at));
            at = comma + 1;
        }
    };
    text("--standard-behaviour", [&g, each](const std::string& value) {
        g.standard_behaviours.clear();
        each(value, [&g, &value](const std::string& one) {
            StandardSettings probe;
            if (!ParseStandardBehaviour(one, probe))
                throw Problem{
                    "--standard-behaviour wants normal, reboot-needed, reverts, faults, "
                    "strict-gateway, new-endpoint, silent-move, huge, endless, trickle, redirect, "
                    "html-error, doctype or bad-utf8, comma-separated, not \"" +
                    value + "\""};
            g.standard_behaviours.push_back(one);
        });
    });
    text("--standard-auth", [&g, each](const std::string& value) {
        g.standard_auths.clear();
        each(value, [&g, &value](const std::string& one) {
            if (one != "digest" && one != "token")
                throw Problem{"--standard-auth wants digest or token, comma-separated, not \"" +
                              value + "\""};
            g.standard_auths.push_back(one == "digest" ? StandardAuth::kDigest
                                                       : StandardAuth::kUsernameToken);
        });
    });
    text("--standard-clock-offset", [&g](const std::string& value) {
        long long n = 0;
        const bool negative = value.starts_with('-');
        if (!ReadWhole(negative ? value.substr(1) : value, 0, 3153600000LL, n))
            throw Problem{"--standard-clock-offset wants seconds, e.g. -259200, not \"" + value +
                          "\""};
        g.standard_settings.clock_offset_s = negative ? -n : n;
    });
    app.add_flag_callback("--standard-time-needs-auth",
                          [&g] { g.standard_settings.time_needs_auth = true; })
        ->disable_flag_override();
    app.add_flag_callback("--standard-no-mac-scope",
                          [&g] { g.standard_settings.mac_scope = false; })
        ->disable_flag_override();
    number("--standard-port", 1, 65535,
           [&g](long long n) { g.standard_port = static_cast<std::uint16_t>(n); });
    text("--standard-path", [&g](const std::string& value) {
        if (!value.starts_with('/') || value.size() > 200 ||
            value.find_first_of(" \t\r\n<>&\"") != std::string::npos)
            throw Problem{"--standard-path wants a path such as /onvif/device_service, not \"" +
                          value + "\""};
        g.standard_settings.path = value;
    });
    number("--standard-move-delay", 0, 600000,
           [&g](long long n) { g.standard_settings.move_delay_ms = static_cast<int>(n); });
    number("--standard-nonce-life", 1, 3600000,
           [&g](long long n) { g.standard_settings.nonce_life_ms = static_cast<int>(n); });
    number("--outside", 0, kMaxDevices, [&g](long long n) { g.outside = static_cast<int>(n); });
    number("--first-host", 1, 254, [&g](long long n) { g.first_host = static_cast<int>(n); });
    number("--seed", 0, std::numeric_limits<long long>::max(),
           [&g](long long n) { g.seed = static_cast<std::uint64_t>(n); });
    number("--spread", 0, 600000, [&o](long long n) { o.spread_ms = static_cast<int>(n); });
    text("--reply-delay", [&g](const std::string& value) {
        std::vector<int> delays;
        for (std::size_t at = 0; at <= value.size();) {
            const std::size_t comma = std::min(value.find(',', at), value.size());
            long long n = 0;
            if (!ReadWhole(value.substr(at, comma - at), 0, 600000, n))
                throw Problem{
                    "--reply-delay wants milliseconds in 0..600000, comma-separated, "
                    "not \"" +
                    value + "\""};
            delays.push_back(static_cast<int>(n));
            at = comma + 1;
        }
        g.reply_delays_ms = std::move(delays);
    });
    for (const auto& [name, prefix] :
         {std::pair{"--subnet", &g.subnet}, std::pair{"--outside-subnet", &g.outside_subnet}}) {
        text(name, [name = std::string(name), prefix = prefix](const std::string& value) {
            if (!ValidPrefix(value))
                throw Problem{name + " wants a prefix such as 10.77.1. or 10.77., not \"" + value +
                              "\""};
            *prefix = value;
        });
    }
    text("--user", [&g](const std::string& value) { g.user = value; });
    text("--password", [&g](const std::string& value) { g.password = value; });
    text("--devices", [&o](const std::string& value) { o.devices_file = value; });
    text("--reply", [&o](const std::string& value) {
        o.mixed = value == "mixed";
        if (!o.mixed && !ParseReplyMode(value, o.reply))
            throw Problem{"--reply wants unicast, broadcast, multicast or mixed, not \"" + value +
                          "\""};
    });
    text("--interface", [&o](const std::string& value) {
        if (value.empty() || value.size() > 15)
            throw Problem{"--interface wants an interface name, not \"" + value + "\""};
        o.interfaces.push_back(value);
    });
    number("--flood", 1, kMaxFlood,
           [&o](long long n) { o.flood.count = static_cast<std::uint64_t>(n); });
    text("--flood-kind", [&o](const std::string& value) {
        if (!ParseFloodKind(value, o.flood.kind))
            throw Problem{
                "--flood-kind wants random, near-miss, truncated, oversized or mixed, not \"" +
                value + "\""};
    });
    number("--flood-rate", 0, kMaxFlood,
           [&o](long long n) { o.flood.rate = static_cast<std::uint64_t>(n); });
    text("--flood-to", [&o](const std::string& value) {
        if (!ParseFloodAim(value, o.flood.aim))
            throw Problem{"--flood-to wants unicast, group or mixed, not \"" + value + "\""};
    });
    number("--random-macs", 1, kMaxFlood,
           [&o](long long n) { o.flood.random_macs = static_cast<std::uint64_t>(n); });
    app.add_flag_callback("--spoof-macs", [&o] { o.flood.spoof_macs = true; })
        ->disable_flag_override();
    text("--log", [&o](const std::string& value) { o.log_file = value; });
    text("--ready-file", [&o](const std::string& value) { o.ready_file = value; });

    std::vector<std::string> args;
    for (int i = argc - 1; i >= 1; --i) {
        const std::string arg = argv[i];
        // CLI11 would read an empty "--name=" as "--name" and take the next
        // argument as its value.
        if (arg.size() > 3 && arg.starts_with("--") && arg.find('=') == arg.size() - 1) {
            error = arg.substr(0, arg.size() - 1) + " needs a value";
            return false;
        }
        args.push_back(arg);
    }
    try {
        app.parse(args);
    } catch (const Problem& p) {
        error = p.message;
        return false;
    } catch (const CLI::ExtrasError&) {
        error = "unknown argument \"" + app.remaining().front() + "\"";
        return false;
    } catch (const CLI::ArgumentMismatch& e) {
        // "NAME: 1 required TEXT missing" when an option that takes a value
        // ends the line; "NAME was given a disallowed flag override" for
        // "--spoof-macs=x".
        const std::string what = e.what();
        if (what.find(" required ") != std::string::npos)
            error = what.substr(0, what.find(':')) + " needs a value";
        else if (const std::size_t end = what.find(" was given"); end != std::string::npos)
            error = "--" + what.substr(0, end) + " takes no value";
        else
            error = what;
        return false;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    const long long total = static_cast<long long>(o.generator.binary_h) + o.generator.binary_j +
                            o.generator.text + o.generator.wsd + o.generator.standard;
    if (total > kMaxDevices) {
        error = "at most " + std::to_string(kMaxDevices) + " generated devices";
        return false;
    }
    const long long own = total - o.generator.wsd - o.generator.standard;
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

Simulates network cameras of both discovery protocols, and standard
cameras with their device management service, on the interfaces of the
network namespace it runs in. Run it only inside a private network
namespace: it answers broadcast and multicast probes and adds addresses.

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
  --standard N          N generated standard cameras after those: plain-style
                        WS-Discovery cameras that also serve the device
                        management service (SOAP 1.2 over HTTP) at an address
                        of their own, which the simulator adds to the served
                        interface whose subnet holds it (else the first) and
                        removes again at exit; their XAddrs name
                        http://ADDRESS:PORT/PATH and their answers leave from
                        that address
  --standard-auth A[,A...]
                        digest: HTTP Digest, SHA-256 and MD5 offered, qop=auth
                        token: WS-Security UsernameToken PasswordDigest,
                          Created checked against the camera's clock, each
                          nonce accepted once
                        camera i takes the i-th, cycling (default digest)
  --standard-behaviour B[,B...]
                        what SetNetworkInterfaces does, camera i taking the
                        i-th, cycling:
                        normal (default): RebootNeeded false; the camera moves
                          to the new address by itself after the move delay
                          (Bye from the old address, Hello from the new)
                        reboot-needed: RebootNeeded true; it moves only after
                          SystemReboot
                        reverts: answers success and stays where it was
                        faults: answers env:Sender / ter:InvalidArgVal /
                          ter:InvalidIPv4Address
                        strict-gateway: normal, but a gateway outside the
                          subnet it is in now is refused with
                          ter:InvalidGatewayAddress
                        new-endpoint: normal, but once moved it answers
                          probes under another endpoint reference
                        silent-move: normal, but it hangs up instead of
                          answering SetNetworkInterfaces
                        hostile on every call of the device service:
                        huge: a 100 MB answer, chunked, streamed as the
                          client takes it
                        endless: a chunked answer that never ends, 1 KB
                          every 100 ms
                        trickle: a valid answer, its body a byte a second
                        redirect: 302 to another path of the same address
                        html-error: 405 with a web page
                        hostile in GetDeviceInformation alone:
                        doctype: a DOCTYPE declaring nested entities
                        bad-utf8: bytes that are no UTF-8 in the
                          manufacturer's name
                        Name servers and the HTTP port are stored and read
                        back; a new HTTP port takes effect with the next move
                        or reboot. GetSystemDateAndTime and
                        GetServiceCapabilities need no credentials
  --standard-clock-offset S
                        the cameras' clocks run S seconds off (may be
                        negative; 259200 is three days ahead)
  --standard-time-needs-auth
                        GetSystemDateAndTime too wants credentials
  --standard-no-mac-scope
                        their WS-Discovery scopes name no MAC (only a read
                          of the device service tells it)
  --standard-port P     the device service's HTTP port (default 80)
  --standard-path PATH  its path (default /onvif/device_service)
  --standard-move-delay MS
                        silence between the answer and a move or the return
                        from a reboot (default 300)
  --standard-nonce-life MS
                        a digest nonce is stale (401 with stale=true) this
                        long after it was issued (default 60000)
                        --user and --password are the cameras' credentials.
                        Each call is logged (--log) as a line with the keys
                        camera, address, operation, auth and result
  --seed S              seed for the generated MACs, versions and flags
                        (default 1); the same seed gives the same devices
  --subnet PREFIX       generated addresses are PREFIX + host number, e.g.
                        10.77.1. (default 192.168.1.); a two-part prefix such
                        as 10.77. spreads over the last two parts
  --first-host N        first host number (default 10); three-part prefixes
                        cycle within N..254
  --outside N           the last N generated binary and text devices take
                        addresses in the outside subnet instead (factory
                        addresses); WS-Discovery and standard cameras stay
                        inside
  --outside-subnet P    the outside subnet's prefix (default 192.168.0.)
  --user U              user name of the generated devices (default admin)
  --password P          password of the generated devices (default admin)
  --devices FILE        devices from a JSON file: an array of objects with the
                        keys mac (required, 00-1A-2B-3C-4D-5E or with colons),
                        protocol (binary|text), family (H|J|E), name, uid, ip,
                        mask, gateway, dns1, dns2, http_port, dhcp,
                        software_version, web_version, user (default admin),
                        password, device_id (text devices; default the MAC's
                        twelve hex digits), aux_flag, reply, reply_delay_ms.
                        protocol standard makes a standard camera (ip and
                        mask required; http_port is its service's port) with
                        the keys endpoint (default from the MAC), hardware,
                        location, auth (digest|token), behaviour (as
                        --standard-behaviour), clock_offset_s,
                        time_needs_auth, path, move_delay_ms, nonce_life_ms.
                        A binary device's
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
                        Answers all leave from the simulator's address, so a
                        WS-Discovery-only camera whose address lies outside
                        the probed interface's subnet names a host of that
                        subnet of its own in its XAddrs instead.
  --wsd-hello           every WS-Discovery camera sends Hello to the group
                        once the first probe was heard
  --wsd-bye-after MS    and Bye MS milliseconds after that probe
  --wsd-malformed       every WS-Discovery probe also draws answers a PC must
                        refuse: cut short, a billion-laughs DOCTYPE, ~58 KB of
                        4,900 elements, a non-SOAP root; and a SOAP Fault
  --spread MS           each device answers after a random delay below MS
                        milliseconds; 0 (default) sends every answer at once
  --reply-delay MS[,MS...]
                        generated device i holds every answer (WS-Discovery
                        ones too) back by the i-th delay, cycling through
                        the list, before any --spread; a file device's
                        "reply_delay_ms" does the same

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

Exit status: 0 after SIGTERM or SIGINT, 1 when the sockets or the standard
cameras' addresses cannot be set up, 2 for a bad argument or device file.
)";
}

}  // namespace quorvex::sim
