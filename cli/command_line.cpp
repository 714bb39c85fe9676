#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <set>
#include <system_error>

#include "cli/command_help.h"
#include "core/device_records.h"
#include "core/protocol_names.h"

namespace quorvex {

namespace {

// A URI with a scheme ("urn:uuid:...", "uuid:...", "http://..."), short
// enough for the endpoint field and without blanks or control characters.
bool IsEndpointReference(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= text.size() ||
        text.size() >= sizeof(WsdInfo::endpoint) ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(text[i])) && text[i] != '+' &&
            text[i] != '-' && text[i] != '.')
            return false;
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7F; });
}

constexpr double kMaxWaitSeconds = 3600.0;
constexpr const char* kVersion = QUORVEX_VERSION;

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
        for (const CommandName& c : CommandNames()) {
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
            for (const CommandName& c : CommandNames())
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
        app.add_flag_callback(
               "-h,--help", [this] { throw ShowText{command_ ? command_->help : ToolHelpText()}; })
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
        Flag(app, "--temporary-address", [&o] { o.temporary_address = true; });
        Flag(app, "--accept-self-signed", [&o] { o.accept_self_signed = true; });
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
            std::uint64_t table_key = 0;
            // A camera only WS-Discovery heard goes by its WS-Discovery key
            // or its endpoint reference (a URI such as urn:uuid:...).
            const std::string key = ParseTableKey(text, table_key) ? TableKeyText(table_key)
                                    : IsEndpointReference(text)    ? text
                                                                   : std::string();
            if (key.empty())
                throw UsageError{"'" + text +
                                 "' is not a MAC address (use 00-1A-2B-3C-4D-5E or "
                                 "00:1a:2b:3c:4d:5e)"};
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
    return ToolHelpText();
}

}  // namespace quorvex
