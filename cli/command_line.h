#pragma once

// The command line of quorvex-cli:
//   quorvex-cli [--config FILE] [-q] COMMAND [OPTIONS] [--] [ARGUMENTS]
// Parsing only reads the arguments: it opens no socket and touches no file,
// so every usage error is reported before anything reaches the network.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

enum class CliCommand { kInterfaces, kScan, kSet, kMatch, kConfig };

enum class OutputFormat { kTable, kJson, kCsv };

struct CliOptions {
    CliCommand command = CliCommand::kScan;
    std::string config_file;  // empty: the lookup of config/config_lookup.h
    OutputFormat format = OutputFormat::kTable;
    bool quiet = false;  // -q: no progress line and no notes on standard error
    bool bom = false;    // --bom: CSV starts with a UTF-8 byte order mark
    // --wait SECONDS; set and match also wait this long with --wait auto.
    double wait_seconds = 3.0;
    // scan: end when the site has gone quiet instead of after `wait_seconds`.
    bool wait_auto = true;
    std::vector<std::string> interfaces;  // --interface, in the order given
    bool any_interface = false;           // --any-interface
    // --protocol: "text", "binary", "wsd" in the order given; all by default.
    std::vector<std::string> protocols = {"text", "binary", "wsd"};
    bool dry_run = false;  // set, match: print what would be sent, send nothing
    bool force = false;    // set, match: send even where a check advises against it
    // set, match: lend this PC an address of a standard camera's subnet when
    // it lies outside all of the PC's.
    bool temporary_address = false;
    // A standard camera's own self-signed https certificate is accepted.
    bool accept_self_signed = false;

    // set: the devices and the values that replace their current ones.
    std::string mac;                     // the first device key, "00-1A-2B-3C-4D-5E"
    bool all_outside = false;            // --all-outside instead of MACs
    std::optional<std::string> ip_from;  // --ip-from: first address of a batch
    std::optional<bool> dhcp;
    std::optional<std::string> ip;
    std::optional<std::string> mask;
    std::optional<std::string> gateway;
    std::optional<std::string> dns1;
    std::optional<std::string> dns2;
    std::optional<std::uint16_t> http_port;
    std::optional<std::string> user;  // set and match
    bool password_stdin = false;      // set and match

    // match: every device outside its subnet, or the named ones. set and
    // match: every device key named, in the order given.
    bool all = false;
    std::vector<std::string> macs;
};

struct ParsedCommandLine {
    enum class Kind {
        kRun,   // `options` holds a valid command
        kHelp,  // `text` is the help or version to print on standard output; exit 0
        kError  // `text` is the one-line problem for standard error; exit 2
    };
    Kind kind = Kind::kError;
    CliOptions options;
    std::string text;
};

// Longest user name or password that a device record holds (its fields are
// 32 bytes with the terminator).
inline constexpr std::size_t kMaxCredentialLength = 31;

// Parses the arguments after the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args);

// The tool's overall help.
std::string ToolHelp();

}  // namespace quorvex
