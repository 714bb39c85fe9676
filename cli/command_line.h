#pragma once

// The command line of quorvex-cli:
//   quorvex-cli [--config FILE] COMMAND [OPTIONS]
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
    std::string config_file;  // empty: "config.xml" in the current directory
    OutputFormat format = OutputFormat::kTable;
    double wait_seconds = 3.0;
    // scan: end when the site has gone quiet instead of after `wait_seconds`.
    bool wait_auto = true;
    std::vector<std::string> interfaces;  // --interface, in the order given

    // set: the device and the values that replace its current ones.
    std::string mac;  // device key, "00-1A-2B-3C-4D-5E"
    std::optional<bool> dhcp;
    std::optional<std::string> ip;
    std::optional<std::string> mask;
    std::optional<std::string> gateway;
    std::optional<std::string> dns1;
    std::optional<std::string> dns2;
    std::optional<std::uint16_t> http_port;
    std::optional<std::string> user;
    bool password_stdin = false;

    // match: every device outside its subnet, or the named ones (device keys).
    bool all = false;
    std::vector<std::string> macs;
};

struct ParsedCommandLine {
    enum class Kind {
        kRun,   // `options` holds a valid command
        kHelp,  // `text` is the help to print on standard output; exit 0
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
