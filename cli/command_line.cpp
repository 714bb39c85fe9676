#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>
#include <system_error>

#include "core/device_records.h"
#include "core/protocol_names.h"

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
    "                    last one, and not before 2.25 s after the search, as\n"
    "                    devices may hold their answers back (at most 10 s;\n"
    "                    the default)\n"
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
    "the link or the table holds, with a warning). Addresses are read as decimal\n"
    "and sent in their plain form (010.077.000.005 goes out as 10.77.0.5). A\n"
    "gateway or name server not given stays the device's own (a gateway only\n"
    "while it fits the new subnet; else a text device keeps it untouched): no\n"
    "blank value and no 0.0.0.0 is made up. The new address may not be the\n"
    "gateway's.\n"
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
    "  --json             one JSON object: dry_run, plan, skipped, not_moved,\n"
    "                     warnings, results\n"
    "  --dhcp on|off      DHCP on or off\n"
    "  --mask A           new subnet mask (e.g. 255.255.255.0)\n"
    "  --gateway A        new default gateway\n"
    "  --dns1 A           new first name server\n"
    "  --dns2 A           new second name server\n"
    "  --http-port N      new HTTP port, 1-65535\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input (default: the one a binary device reports; text\n"
    "                     devices report none, so they need it)\n"
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
    "Usage: quorvex-cli match [--user NAME] [--password-stdin] [--dry-run] [--force]\n"
    "                         [--json] [--wait SECONDS] [--interface NAME]...\n"
    "                         [--any-interface] (--all | MAC...)\n"
    "\n"
    "Gives each named device (or every device with --all) that lies outside the\n"
    "subnet of the interface that heard it a free address of that subnet, from\n"
    "the host-number range of config.xml. Addresses of this PC, its gateway,\n"
    "other cameras and hosts that answer on the link are skipped, and no address\n"
    "is given twice: when the range runs out, the devices left over are not\n"
    "moved. The mask, gateway and name servers come from the interface; one it\n"
    "does not have stays the device's own where that fits the new subnet, else a\n"
    "text device keeps it untouched (nothing blank or 0.0.0.0 is sent). A device\n"
    "whose MAC answered with other addresses or from other senders is moved only\n"
    "when named. Prints the plan, sends it, searches again and reports which\n"
    "devices answer at their new address; exit 0 when all do.\n"
    "\n"
    "  --all              every device outside its subnet\n"
    "  --dry-run          print the plan only; send nothing\n"
    "  --force            accepted as for set; match never hands out an address\n"
    "                     that is taken\n"
    "  MAC                a device by its key (00-1A-2B-3C-4D-5E or 00:1a:...)\n"
    "  --user NAME        login name (default: the device's own)\n"
    "  --password-stdin   read the login password from the first line of standard\n"
    "                     input; needed for text devices, which report none\n"
    "  --json             one JSON object: dry_run, plan, skipped, not_moved,\n"
    "                     warnings, results\n"
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

// Thrown from an option's callback: the one-line problem, without the
// command's prefix.
struct UsageError {
    std::string message;
};

// Thrown by --help and --version the moment they are read, so they win over
// anything that follows them on the line.
struct ShowText {
    std::string text;
};

// CLI11 does the reading: which command, which option, "--name=value" and
// "--name value", "--", repeats. Every option is handled by a callback that
// runs as the option is read (trigger_on_parse), so problems are found in the
// order of the line, and each callback words its own message. Unknown
// options and stray arguments are collected rather than thrown, so that they
// are named in the tool's own words and ahead of anything they caused.
class Parser {
public:
    Parser() {
        app_.set_help_flag();
        app_.allow_extras();
        app_.require_subcommand(0, 1);
        AddCommon(app_);
        for (const CommandName& c : kCommands) {
            CLI::App* sub = app_.add_subcommand(std::string(c.name));
            sub->allow_extras();
            sub->preparse_callback([this, &c](std::size_t) {
                command_ = &c;
                result_.options.command = c.command;
            });
            AddCommon(*sub);
            AddCommandOptions(*sub, c.command);
            commands_.push_back(sub);
        }
    }

    ParsedCommandLine Run(const std::vector<std::string_view>& args) {
        // After "--" every word is an argument; CLI11 would hand such words
        // back to the tool once a command's own arguments are satisfied, so
        // it sees only the options part.
        const auto end_of_options = std::find(args.begin(), args.end(), "--");
        std::optional<std::string> problem;
        try {
            app_.parse(ReversedForCli11({args.begin(), end_of_options}));
            if (end_of_options != args.end())
                TakeArguments({std::next(end_of_options), args.end()});
        } catch (const ShowText& shown) {
            result_.kind = ParsedCommandLine::Kind::kHelp;
            result_.text = shown.text;
            return result_;
        } catch (const UsageError& e) {
            problem = e.message;
        } catch (const CLI::ArgumentMismatch& e) {
            problem = Mismatch(e.what());
        } catch (const CLI::ParseError& e) {
            problem = e.what();
        }
        // What was not understood came earlier on the line than anything
        // thrown, and is the likelier cause.
        if (const std::optional<std::string> stray = Stray()) return Fail(*stray);
        if (problem) return Fail(*problem);
        if (command_ == nullptr) return Fail("no command given (try --help)");
        if (std::optional<std::string> wrong = Finish()) return Fail(*wrong);
        result_.kind = ParsedCommandLine::Kind::kRun;
        return result_;
    }

private:
    // The words after "--": the command when none came before, then device
    // keys for set and match; any other command takes none.
    void TakeArguments(std::vector<std::string_view> words) {
        if (command_ == nullptr && !app_.remaining().empty()) return;  // Stray names it
        if (command_ == nullptr && !words.empty()) {
            for (const CommandName& c : kCommands)
                if (c.name == words.front()) command_ = &c;
            if (command_ == nullptr)
                throw UsageError{"unknown command '" + std::string(words.front()) + "'"};
            result_.options.command = command_->command;
            words.erase(words.begin());
        }
        if (command_ == nullptr) return;
        if (command_->command == CliCommand::kSet || command_->command == CliCommand::kMatch)
            TakeMacs({words.begin(), words.end()});
        else
            surplus_.insert(surplus_.end(), words.begin(), words.end());
    }

    // The two mismatches CLI11 finds itself, in the words of the rest:
    // "NAME: 1 required TEXT missing" when an option that takes a value ends
    // the line, "NAME was given a disallowed flag override" for "--json=x".
    static std::string Mismatch(const std::string& what) {
        if (what.find(" required ") != std::string::npos)
            return "missing value for " + what.substr(0, what.find(':'));
        if (const std::size_t end = what.find(" was given"); end != std::string::npos)
            return "--" + what.substr(0, end) + " takes no value";
        return what;
    }

    // CLI11 takes an empty "--name=" as "--name" followed by the next
    // argument; an empty value is a value of its own here (and usually wrong),
    // so it is passed as one. CLI11 also wants the arguments last to first.
    static std::vector<std::string> ReversedForCli11(const std::vector<std::string_view>& args) {
        std::vector<std::string> out;
        for (const std::string_view arg : args) {
            if (arg.size() > 3 && arg.starts_with("--") && arg.find('=') == arg.size() - 1) {
                out.emplace_back(arg.substr(0, arg.size() - 1));
                out.emplace_back();
            } else {
                out.emplace_back(arg);
            }
        }
        std::reverse(out.begin(), out.end());
        return out;
    }

    ParsedCommandLine Fail(const std::string& message) {
        result_.kind = ParsedCommandLine::Kind::kError;
        result_.text = (command_ ? std::string(command_->name) + ": " : std::string()) + message;
        return result_;
    }

    // The first argument nobody took: an unknown option or command before the
    // command, then an unknown option or a surplus argument after it.
    std::optional<std::string> Stray() {
        const std::vector<std::string> before = app_.remaining();
        if (!before.empty()) {
            command_ = nullptr;  // what stands before the command gets no prefix
            return (before.front().starts_with("-") ? "unknown option '" : "unknown command '") +
                   before.front() + "'";
        }
        for (CLI::App* sub : commands_) {
            if (sub->count() == 0) continue;
            for (const std::string& arg : sub->remaining()) {
                if (arg.starts_with("-")) return "unknown option '" + arg + "'";
            }
        }
        if (!surplus_.empty()) return "unexpected argument '" + surplus_.front() + "'";
        return std::nullopt;
    }

    void Once(const std::string& name) {
        if (!seen_.insert(name).second) throw UsageError{name + " given twice"};
    }

    // An option that takes a value; `take` checks and stores it.
    void Value(CLI::App& app, const std::string& name, bool once,
               std::function<void(const std::string&)> take) {
        const std::string long_name = name.substr(name.find("--"));
        app.add_option_function<std::string>(name,
                                             [this, long_name, once, take](const std::string& v) {
                                                 if (once) Once(long_name);
                                                 take(v);
                                             })
            ->trigger_on_parse();
    }

    // An option without a value, given at most once.
    void Flag(CLI::App& app, const std::string& name, std::function<void()> take) {
        app.add_flag_callback(name,
                              [this, name, take] {
                                  Once(name);
                                  take();
                              })
            ->trigger_on_parse()
            ->disable_flag_override();
    }

    // What every command takes as well as the tool: help, version, -q, --config.
    void AddCommon(CLI::App& app) {
        app.add_flag_callback("-h,--help",
                              [this] { throw ShowText{command_ ? command_->help : kToolHelp}; })
            ->trigger_on_parse()
            ->disable_flag_override();
        app.add_flag_callback("--version",
                              [] { throw ShowText{std::string("quorvex-cli ") + kVersion + "\n"}; })
            ->trigger_on_parse()
            ->disable_flag_override();
        app.add_flag_callback("-q,--quiet", [this] { result_.options.quiet = true; })
            ->trigger_on_parse()
            ->disable_flag_override();
        Value(app, "--config", true, [this](const std::string& file) {
            if (file.empty()) throw UsageError{"--config needs a file name"};
            result_.options.config_file = file;
        });
    }

    void AddCommandOptions(CLI::App& app, CliCommand command) {
        CliOptions& o = result_.options;
        Flag(app, "--json", [&o] {
            if (o.format == OutputFormat::kCsv)
                throw UsageError{"--json and --csv exclude each other"};
            o.format = OutputFormat::kJson;
        });
        switch (command) {
            case CliCommand::kInterfaces:
            case CliCommand::kConfig:
                break;
            case CliCommand::kScan:
                AddSearch(app);
                Flag(app, "--csv", [&o] {
                    if (o.format == OutputFormat::kJson)
                        throw UsageError{"--json and --csv exclude each other"};
                    o.format = OutputFormat::kCsv;
                });
                Flag(app, "--bom", [&o] { o.bom = true; });
                break;
            case CliCommand::kSet:
                AddSearch(app);
                AddChange(app);
                AddSettings(app);
                Flag(app, "--all-outside", [&o] { o.all_outside = true; });
                break;
            case CliCommand::kMatch:
                AddSearch(app);
                AddChange(app);
                Flag(app, "--all", [&o] { o.all = true; });
                break;
        }
        if (command == CliCommand::kSet || command == CliCommand::kMatch) {
            app.add_option_function<std::vector<std::string>>(
                "MAC", [this](const std::vector<std::string>& macs) { TakeMacs(macs); });
        } else {
            app.add_option("ARGUMENTS", surplus_);
        }
    }

    // scan, set and match: how long, where and in which protocols to search.
    void AddSearch(CLI::App& app) {
        CliOptions& o = result_.options;
        Value(app, "--wait", true, [&o](const std::string& value) { TakeWait(value, o); });
        Value(app, "--interface", false, [&o](const std::string& name) {
            if (name.empty()) throw UsageError{"--interface needs an adapter name"};
            o.interfaces.push_back(name);
        });
        Flag(app, "--any-interface", [&o] { o.any_interface = true; });
        Value(app, "--protocol", true, [&o](const std::string& value) { TakeProtocols(value, o); });
    }

    // set and match: how a change is sent.
    void AddChange(CLI::App& app) {
        CliOptions& o = result_.options;
        Flag(app, "--dry-run", [&o] { o.dry_run = true; });
        Flag(app, "--force", [&o] { o.force = true; });
        Value(app, "--user", true, [&o](const std::string& value) {
            if (value.size() > kMaxCredentialLength)
                throw UsageError{"--user is longer than 31 bytes"};
            o.user = value;
        });
        Flag(app, "--password-stdin", [&o] { o.password_stdin = true; });
    }

    // set: the values that replace a device's own.
    void AddSettings(CLI::App& app) {
        CliOptions& o = result_.options;
        Value(app, "--dhcp", true, [&o](const std::string& value) {
            if (value != "on" && value != "off")
                throw UsageError{"--dhcp takes on or off, not '" + value + "'"};
            o.dhcp = value == "on";
        });
        const std::pair<const char*, std::optional<std::string>*> addresses[] = {
            {"--ip", &o.ip},           {"--ip-from", &o.ip_from}, {"--mask", &o.mask},
            {"--gateway", &o.gateway}, {"--dns1", &o.dns1},       {"--dns2", &o.dns2}};
        for (const auto& [name, field] : addresses) {
            const std::string option = name;
            Value(app, option, true, [option, field = field](const std::string& value) {
                std::uint32_t address = 0;
                if (!ParseAddress(value, address))
                    throw UsageError{"'" + value + "' is not an IPv4 address (" + option + ")"};
                if (option == "--mask" && !IsContiguousMask(address))
                    throw UsageError{"'" + value + "' is not a subnet mask (" + option + ")"};
                *field = value;
            });
        }
        Value(app, "--http-port", true, [&o](const std::string& value) { TakePort(value, o); });
    }

    static void TakeWait(const std::string& value, CliOptions& o) {
        if (value == "auto") {
            o.wait_auto = true;
            return;
        }
        double seconds = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (ec != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
            seconds <= 0 || seconds > kMaxWaitSeconds)
            throw UsageError{
                "--wait takes auto or a number of seconds above 0 and up to 3600, not '" + value +
                "'"};
        o.wait_seconds = seconds;
        o.wait_auto = false;
    }

    static void TakeProtocols(const std::string& value, CliOptions& o) {
        std::vector<std::string> chosen;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = value.find(',', start);
            const std::string name = value.substr(start, comma - start);
            if (!ProtocolFromKey(name)) {
                std::string keys;
                for (const ProtocolNaming& naming : kProtocolNames) {
                    if (!keys.empty()) keys += &naming == &kProtocolNames.back() ? " and " : ", ";
                    keys += naming.key;
                }
                throw UsageError{"--protocol takes a comma list of " + keys + ", not '" + value +
                                 "'"};
            }
            if (std::find(chosen.begin(), chosen.end(), name) == chosen.end())
                chosen.push_back(name);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        o.protocols = chosen;
    }

    static void TakePort(const std::string& value, CliOptions& o) {
        unsigned long port = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (ec == std::errc::result_out_of_range ||
            (ec == std::errc() && end == value.data() + value.size() && (port < 1 || port > 65535)))
            throw UsageError{"HTTP port '" + value + "' is outside 1-65535"};
        if (ec != std::errc() || end != value.data() + value.size())
            throw UsageError{"HTTP port '" + value + "' is not a number"};
        o.http_port = static_cast<std::uint16_t>(port);
    }

    void TakeMacs(const std::vector<std::string>& texts) {
        CliOptions& o = result_.options;
        for (const std::string& text : texts) {
            std::uint8_t mac[6] = {};
            if (!ParseDeviceKey(text, mac))
                throw UsageError{"'" + text +
                                 "' is not a MAC address (use 00-1A-2B-3C-4D-5E or "
                                 "00:1a:2b:3c:4d:5e)"};
            const std::string key = DeviceKey(mac);
            if (std::find(o.macs.begin(), o.macs.end(), key) != o.macs.end())
                throw UsageError{"MAC " + key + " given twice"};
            o.macs.push_back(key);
        }
        if (!o.macs.empty()) o.mac = o.macs.front();
    }

    // What no single option can tell.
    std::optional<std::string> Finish() const {
        const CliOptions& o = result_.options;
        if (o.bom && o.format != OutputFormat::kCsv) return "--bom goes with --csv";
        if (o.command == CliCommand::kSet) {
            if (o.macs.empty() && !o.all_outside)
                return "needs the MAC of the device to change (or --all-outside)";
            if (!o.macs.empty() && o.all_outside) return "give --all-outside or MACs, not both";
            if (o.ip && o.ip_from) return "give --ip or --ip-from, not both";
            if (o.ip && (o.all_outside || o.macs.size() > 1))
                return "--ip gives one address; use --ip-from for several devices";
            if (o.all_outside && !o.ip_from) return "--all-outside needs --ip-from";
        }
        if (o.command == CliCommand::kMatch) {
            if (o.all && !o.macs.empty()) return "give --all or MACs, not both";
            if (!o.all && o.macs.empty()) return "give --all or at least one MAC";
        }
        return std::nullopt;
    }

    CLI::App app_{"", "quorvex-cli"};
    std::vector<CLI::App*> commands_;
    const CommandName* command_ = nullptr;
    std::set<std::string> seen_;
    std::vector<std::string> surplus_;  // arguments of a command that takes none
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
    return Parser().Run(args);
}

std::string ToolHelp() {
    return kToolHelp;
}

}  // namespace quorvex
