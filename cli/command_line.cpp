#include "cli/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>
#include <system_error>

#include "core/device_records.h"

namespace quorvex {

namespace {

constexpr double kMaxWaitSeconds = 3600.0;
constexpr const char* kVersion = QUORVEX_VERSION;

const char kToolHelp[] =
    "Usage: quorvex-cli [--config FILE] [-q] COMMAND [OPTIONS] [--] [ARGUMENTS]\n"
    "\n"
    "Finds the network cameras on this PC's local networks and changes their\n"
    "network settings, like the Quorvex window.\n"
    "\n"
    "Commands:\n"
    "  interfaces   list this PC's adapters and which of them the search uses\n"
    "  scan         search for devices and list them\n"
    "  set          change the network settings of one device or a batch\n"
    "  match        move devices outside their interface's subnet into it\n"
    "  config       show the settings in effect\n"
    "\n"
    "Options:\n"
    "  --config FILE  read FILE as config.xml; FILE's directory then also holds\n"
    "                 the Language folder\n"
    "  -q, --quiet    no progress line on standard error\n"
    "  --help         this help; COMMAND --help explains a command\n"
    "  --version      print the version\n"
    "  --             end of options: what follows is arguments (MACs)\n"
    "\n"
    "config.xml is looked up in this order: --config FILE; the per-user file\n"
    "$XDG_CONFIG_HOME/quorvex/config.xml (~/.config/quorvex/config.xml); the\n"
    "shipped file PREFIX/share/quorvex/config.xml; config.xml in the current\n"
    "directory. When the file found exists but cannot be read, scan, set and\n"
    "match search only with --interface or --any-interface.\n"
    "\n"
    "Exit codes: 0 success; 1 nothing found, device not found, change not\n"
    "confirmed or output not written; 2 bad usage or unreadable settings.\n"
    "\n"
    "Example:\n"
    "  quorvex-cli --config ~/site/config.xml scan --wait 5 --json\n";

const char kInterfacesHelp[] =
    "Usage: quorvex-cli interfaces [--json]\n"
    "\n"
    "Lists every adapter of this PC in the system's order: name, type,\n"
    "description, whether the search uses it and why, and the settings read\n"
    "for it (address, prefix, mask, gateway, name servers, DHCP). Sends nothing.\n"
    "\n"
    "  --json   print one JSON array instead of a table\n"
    "\n"
    "Example:\n"
    "  quorvex-cli interfaces --json\n";

const char kScanHelp[] =
    "Usage: quorvex-cli scan [--wait SECONDS|auto] [--interface NAME]... [--any-interface]\n"
    "                        [--protocol LIST] [--json | --csv [--bom]]\n"
    "\n"
    "Sends one search at the start, takes answers until the site has gone quiet\n"
    "(or for SECONDS), then lists the devices sorted by MAC address: each one's\n"
    "address, marked when it lies outside the subnet of the interface that heard\n"
    "it, and that interface's name. Exit 1 when no device answered, or when a\n"
    "protocol could not listen everywhere (the list may then be incomplete;\n"
    "stderr says where and why).\n"
    "\n"
    "  --wait auto       end when no new device has come for a while after the\n"
    "                    last one (at least 0.25 s, at most 10 s; the default)\n"
    "  --wait SECONDS    take answers for exactly this long (fractions allowed,\n"
    "                    up to 3600)\n"
    "  --interface NAME  search on this adapter; repeat for several. Replaces the\n"
    "                    adapter choice, like config.interfaces\n"
    "  --any-interface   search on the automatic adapter choice even when the\n"
    "                    config.xml found cannot be read\n"
    "  --protocol LIST   comma list of text, binary, wsd (default: all)\n"
    "  --json            one JSON array, one object per device\n"
    "  --csv             CSV with a header row (RFC 4180); texts that a\n"
    "                    spreadsheet would run as formulas get a leading '\n"
    "  --bom             start the CSV with a UTF-8 byte order mark\n"
    "\n"
    "Example:\n"
    "  quorvex-cli scan --wait 5 --interface eth0 --csv > cameras.csv\n";

const char kSetHelp[] =
    "Usage: quorvex-cli set (MAC... | --all-outside) [--ip A | --ip-from A] [--mask A]\n"
    "                       [--gateway A] [--dns1 A] [--dns2 A] [--dhcp on|off]\n"
    "                       [--http-port N] [--user NAME] [--password-stdin] [--dry-run]\n"
    "                       [--force] [--json] [--wait SECONDS] [--interface NAME]...\n"
    "                       [--any-interface]\n"
    "\n"
    "Finds the devices MAC... (00-1A-2B-3C-4D-5E or 00:1a:2b:3c:4d:5e), keeps their\n"
    "current settings except the ones given, and sends them. A text-protocol\n"
    "device whose HTTP port changes gets the HTTP-port command 2 s after the\n"
    "first has left. Then searches again and reports per device: confirmed,\n"
    "answers with other values, or gone.\n"
    "\n"
    "An address is checked before anything is sent: it must be a host address of\n"
    "the subnet of the interface that heard the device, not special, not this\n"
    "PC's or the gateway's, not another camera's, and no other host may answer\n"
    "for it on the link. A refused address is not sent (--force sends one that\n"
    "the link or the table holds, with a warning).\n"
    "\n"
    "  --ip A             new IPv4 address of the one device given\n"
    "  --ip-from A        give the devices consecutive free addresses from A; mask,\n"
    "                     gateway and name servers not given come from the\n"
    "                     interface. The plan (and every address skipped, and\n"
    "                     why) is printed before anything is sent; devices left\n"
    "                     over when the subnet runs out are not moved\n"
    "  --all-outside      every device outside its interface's subnet (needs\n"
    "                     --ip-from)\n"
    "  --dry-run          print the plan only; send nothing\n"
    "  --force            send an address that is taken, with a warning\n"
    "  --json             one JSON object: plan, skipped, not_moved, results\n"
    "  --dhcp on|off      DHCP on or off\n"
    "  --mask A           new subnet mask (e.g. 255.255.255.0)\n"
    "  --gateway A        new default gateway\n"
    "  --dns1 A           new first name server\n"
    "  --dns2 A           new second name server\n"
    "  --http-port N      new HTTP port, 1-65535\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input (default: the one a binary device reports; text\n"
    "                     devices report none)\n"
    "  --wait SECONDS     how long to look for the devices, and again for the\n"
    "                     confirmation (default 3)\n"
    "  --interface NAME   search on this adapter; repeat for several\n"
    "  --any-interface    search on the automatic adapter choice even when the\n"
    "                     config.xml found cannot be read\n"
    "  --protocol LIST    comma list of text, binary, wsd (default: all)\n"
    "\n"
    "Exit 1 when a device was not found, not moved or not confirmed.\n"
    "\n"
    "Example:\n"
    "  echo secret | quorvex-cli set 00-1A-2B-3C-4D-5E --ip 192.168.1.64 \\\n"
    "      --mask 255.255.255.0 --http-port 8080 --password-stdin\n"
    "  quorvex-cli set --all-outside --ip-from 192.168.1.100 --dry-run\n";

const char kMatchHelp[] =
    "Usage: quorvex-cli match [--user NAME] [--password-stdin] [--json] [--wait SECONDS]\n"
    "                         [--interface NAME]... [--any-interface] (--all | MAC...)\n"
    "\n"
    "Gives each named device (or every device with --all) that lies outside the\n"
    "subnet of the interface that heard it a free address of that subnet, from\n"
    "the host-number range of config.xml. Addresses of this PC, its gateway,\n"
    "other cameras and hosts that answer on the link are skipped, and no address\n"
    "is given twice: when the range runs out, the devices left over are not\n"
    "moved. Prints the plan, sends it, searches again and reports which devices\n"
    "answer at their new address; exit 0 when all do.\n"
    "\n"
    "  --all              every device outside its subnet\n"
    "  MAC                a device by its key (00-1A-2B-3C-4D-5E or 00:1a:...)\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input (needed for text devices with a password)\n"
    "  --json             one JSON object: plan, skipped, not_moved, results\n"
    "  --wait SECONDS     how long to search, and again for the confirmation\n"
    "                     (default 3)\n"
    "  --interface NAME   search on this adapter; repeat for several\n"
    "  --any-interface    search on the automatic adapter choice even when the\n"
    "                     config.xml found cannot be read\n"
    "  --protocol LIST    comma list of text, binary, wsd (default: all)\n"
    "\n"
    "Example:\n"
    "  echo secret | quorvex-cli match --all --password-stdin --wait 5\n";

const char kConfigHelp[] =
    "Usage: quorvex-cli config [--json]\n"
    "\n"
    "Shows the settings in effect: search interval, host-number range, language\n"
    "and the language file that would be loaded, the explicit interface list\n"
    "and the configuration file. Sends nothing.\n"
    "\n"
    "  --json   print one JSON object instead of lines\n"
    "\n"
    "Example:\n"
    "  quorvex-cli --config ./site/config.xml config --json\n";

struct CommandName {
    std::string_view name;
    CliCommand command;
    const char* help;
};

constexpr CommandName kCommands[] = {
    {"interfaces", CliCommand::kInterfaces, kInterfacesHelp},
    {"scan", CliCommand::kScan, kScanHelp},
    {"set", CliCommand::kSet, kSetHelp},
    {"match", CliCommand::kMatch, kMatchHelp},
    {"config", CliCommand::kConfig, kConfigHelp},
};

// A mask is a run of one bits followed by zero bits.
bool IsContiguousMask(std::uint32_t network_order) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&network_order);
    const std::uint32_t host = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                               (std::uint32_t{b[2]} << 8) | b[3];
    const std::uint32_t inverted = ~host;
    return (inverted & (inverted + 1)) == 0;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string_view>& args) : args_(args) {}

    ParsedCommandLine Run() {
        const CommandName* command = nullptr;
        bool options_ended = false;
        while (at_ < args_.size()) {
            const std::string_view arg = args_[at_++];
            if (options_ended) {
                if (command == nullptr) {
                    if (!TakeCommand(arg, command)) return result_;
                } else if (!Positional(arg)) {
                    return result_;
                }
                continue;
            }
            if (arg == "--") {
                options_ended = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") return Help(command);
            if (arg == "--version") {
                result_.kind = ParsedCommandLine::Kind::kHelp;
                result_.text = std::string("quorvex-cli ") + kVersion + "\n";
                return result_;
            }
            if (arg == "-q" || arg == "--quiet") {
                result_.options.quiet = true;
                continue;
            }
            if (IsOption(arg, "--config")) {
                if (!Once("--config") || !TakeText(arg, "--config", result_.options.config_file))
                    return result_;
                if (result_.options.config_file.empty()) return Fail("--config needs a file name");
                continue;
            }
            if (command == nullptr) {
                if (arg.starts_with("-")) return Fail("unknown option '" + std::string(arg) + "'");
                if (!TakeCommand(arg, command)) return result_;
                continue;
            }
            if (!CommandArgument(arg)) return result_;
        }
        if (command == nullptr) return Fail("no command given (try --help)");
        if (!Finish()) return result_;
        result_.kind = ParsedCommandLine::Kind::kRun;
        return result_;
    }

private:
    bool TakeCommand(std::string_view arg, const CommandName*& command) {
        for (const CommandName& c : kCommands)
            if (c.name == arg) command = &c;
        if (command == nullptr) return Error("unknown command '" + std::string(arg) + "'");
        result_.options.command = command->command;
        prefix_ = std::string(command->name) + ": ";
        return true;
    }

    // An argument that is not an option: a device key for set and match.
    bool Positional(std::string_view arg) {
        CliOptions& o = result_.options;
        if (o.command == CliCommand::kSet || o.command == CliCommand::kMatch) {
            std::string key;
            if (!TakeMac(arg, key)) return false;
            for (const std::string& known : o.macs)
                if (known == key) return Error("MAC " + key + " given twice");
            o.macs.push_back(key);
            if (o.mac.empty()) o.mac = key;
            return true;
        }
        return Error("unexpected argument '" + std::string(arg) + "'");
    }

    static bool IsOption(std::string_view arg, std::string_view name) {
        return arg == name ||
               (arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=');
    }

    ParsedCommandLine Help(const CommandName* command) {
        result_.kind = ParsedCommandLine::Kind::kHelp;
        result_.text = command ? command->help : kToolHelp;
        return result_;
    }

    ParsedCommandLine Fail(const std::string& message) {
        result_.kind = ParsedCommandLine::Kind::kError;
        result_.text = prefix_ + message;
        return result_;
    }

    bool Error(const std::string& message) {
        Fail(message);
        return false;
    }

    // The value of an option given as "--name VALUE" or "--name=VALUE".
    bool TakeText(std::string_view arg, std::string_view name, std::string& value) {
        if (arg.size() > name.size()) {
            value = std::string(arg.substr(name.size() + 1));
            return true;
        }
        if (at_ >= args_.size()) return Error("missing value for " + std::string(name));
        value = std::string(args_[at_++]);
        return true;
    }

    bool Once(std::string_view name) {
        if (seen_.insert(std::string(name)).second) return true;
        return Error(std::string(name) + " given twice");
    }

    bool TakeAddress(std::string_view arg, std::string_view name, std::optional<std::string>& out,
                     bool mask) {
        std::string value;
        if (!Once(name) || !TakeText(arg, name, value)) return false;
        std::uint32_t address = 0;
        if (!ParseAddress(value, address))
            return Error("'" + value + "' is not an IPv4 address (" + std::string(name) + ")");
        if (mask && !IsContiguousMask(address))
            return Error("'" + value + "' is not a subnet mask (" + std::string(name) + ")");
        out = value;
        return true;
    }

    bool TakeWait(std::string_view arg) {
        std::string value;
        if (!Once("--wait") || !TakeText(arg, "--wait", value)) return false;
        if (value == "auto") {
            result_.options.wait_auto = true;
            return true;
        }
        double seconds = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
            seconds <= 0 || seconds > kMaxWaitSeconds)
            return Error("--wait takes auto or a number of seconds above 0 and up to 3600, not '" +
                         value + "'");
        result_.options.wait_seconds = seconds;
        result_.options.wait_auto = false;
        return true;
    }

    bool TakeProtocols(std::string_view arg) {
        std::string value;
        if (!Once("--protocol") || !TakeText(arg, "--protocol", value)) return false;
        std::vector<std::string> chosen;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = value.find(',', start);
            const std::string name = value.substr(start, comma - start);
            if (name != "text" && name != "binary" && name != "wsd")
                return Error("--protocol takes a comma list of text, binary and wsd, not '" +
                             value + "'");
            if (std::find(chosen.begin(), chosen.end(), name) == chosen.end())
                chosen.push_back(name);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        result_.options.protocols = chosen;
        return true;
    }

    bool TakePort(std::string_view arg) {
        std::string value;
        if (!Once("--http-port") || !TakeText(arg, "--http-port", value)) return false;
        unsigned long port = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (ec == std::errc::result_out_of_range ||
            (ec == std::errc() && end == value.data() + value.size() && (port < 1 || port > 65535)))
            return Error("HTTP port '" + value + "' is outside 1-65535");
        if (ec != std::errc() || end != value.data() + value.size())
            return Error("HTTP port '" + value + "' is not a number");
        result_.options.http_port = static_cast<std::uint16_t>(port);
        return true;
    }

    bool TakeMac(std::string_view text, std::string& key) {
        std::uint8_t mac[6] = {};
        if (!ParseDeviceKey(text, mac))
            return Error("'" + std::string(text) +
                         "' is not a MAC address (use 00-1A-2B-3C-4D-5E or 00:1a:2b:3c:4d:5e)");
        key = DeviceKey(mac);
        return true;
    }

    bool CommandArgument(std::string_view arg) {
        CliOptions& o = result_.options;
        const CliCommand c = o.command;
        const bool searches =
            c == CliCommand::kScan || c == CliCommand::kSet || c == CliCommand::kMatch;

        if (arg == "--json") {
            if (!Once("--json")) return false;
            if (o.format == OutputFormat::kCsv) return Error("--json and --csv exclude each other");
            o.format = OutputFormat::kJson;
            return true;
        }
        if (arg == "--csv" && c == CliCommand::kScan) {
            if (!Once("--csv")) return false;
            if (o.format == OutputFormat::kJson)
                return Error("--json and --csv exclude each other");
            o.format = OutputFormat::kCsv;
            return true;
        }
        if (arg == "--bom" && c == CliCommand::kScan) {
            if (!Once("--bom")) return false;
            o.bom = true;
            return true;
        }
        if (searches && IsOption(arg, "--wait")) return TakeWait(arg);
        if (searches && arg == "--any-interface") {
            if (!Once("--any-interface")) return false;
            o.any_interface = true;
            return true;
        }
        if (searches && IsOption(arg, "--protocol")) return TakeProtocols(arg);
        if ((c == CliCommand::kSet || c == CliCommand::kMatch) &&
            (arg == "--dry-run" || arg == "--force")) {
            if (!Once(arg)) return false;
            (arg == "--dry-run" ? o.dry_run : o.force) = true;
            return true;
        }
        if ((c == CliCommand::kSet || c == CliCommand::kMatch) && IsOption(arg, "--user")) {
            std::string value;
            if (!Once("--user") || !TakeText(arg, "--user", value)) return false;
            if (value.size() > kMaxCredentialLength) return Error("--user is longer than 31 bytes");
            o.user = value;
            return true;
        }
        if ((c == CliCommand::kSet || c == CliCommand::kMatch) && arg == "--password-stdin") {
            if (!Once("--password-stdin")) return false;
            o.password_stdin = true;
            return true;
        }
        if (searches && IsOption(arg, "--interface")) {
            std::string name;
            if (!TakeText(arg, "--interface", name)) return false;
            if (name.empty()) return Error("--interface needs an adapter name");
            o.interfaces.push_back(name);
            return true;
        }
        if (c == CliCommand::kSet) {
            if (IsOption(arg, "--dhcp")) {
                std::string value;
                if (!Once("--dhcp") || !TakeText(arg, "--dhcp", value)) return false;
                if (value != "on" && value != "off")
                    return Error("--dhcp takes on or off, not '" + value + "'");
                o.dhcp = value == "on";
                return true;
            }
            if (IsOption(arg, "--ip")) return TakeAddress(arg, "--ip", o.ip, false);
            if (IsOption(arg, "--ip-from")) return TakeAddress(arg, "--ip-from", o.ip_from, false);
            if (arg == "--all-outside") {
                if (!Once("--all-outside")) return false;
                o.all_outside = true;
                return true;
            }
            if (IsOption(arg, "--mask")) return TakeAddress(arg, "--mask", o.mask, true);
            if (IsOption(arg, "--gateway")) return TakeAddress(arg, "--gateway", o.gateway, false);
            if (IsOption(arg, "--dns1")) return TakeAddress(arg, "--dns1", o.dns1, false);
            if (IsOption(arg, "--dns2")) return TakeAddress(arg, "--dns2", o.dns2, false);
            if (IsOption(arg, "--http-port")) return TakePort(arg);
        }
        if (c == CliCommand::kSet || c == CliCommand::kMatch) {
            if (arg == "--all" && c == CliCommand::kMatch) {
                if (!Once("--all")) return false;
                o.all = true;
                return true;
            }
        }
        if (arg.starts_with("-")) return Error("unknown option '" + std::string(arg) + "'");
        return Positional(arg);
    }

    bool Finish() {
        const CliOptions& o = result_.options;
        if (o.bom && o.format != OutputFormat::kCsv) return Error("--bom goes with --csv");
        if (o.command == CliCommand::kSet) {
            if (o.macs.empty() && !o.all_outside)
                return Error("needs the MAC of the device to change (or --all-outside)");
            if (!o.macs.empty() && o.all_outside)
                return Error("give --all-outside or MACs, not both");
            if (o.ip && o.ip_from) return Error("give --ip or --ip-from, not both");
            if (o.ip && (o.all_outside || o.macs.size() > 1))
                return Error("--ip gives one address; use --ip-from for several devices");
            if (o.all_outside && !o.ip_from) return Error("--all-outside needs --ip-from");
            if (!o.macs.empty()) result_.options.mac = o.macs.front();
        }
        if (o.command == CliCommand::kMatch) {
            if (o.all && !o.macs.empty()) return Error("give --all or MACs, not both");
            if (!o.all && o.macs.empty()) return Error("give --all or at least one MAC");
        }
        return true;
    }

    const std::vector<std::string_view>& args_;
    std::size_t at_ = 0;
    std::string prefix_;
    std::set<std::string> seen_;
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
    return Parser(args).Run();
}

std::string ToolHelp() {
    return kToolHelp;
}

}  // namespace quorvex
