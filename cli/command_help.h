#pragma once

// What quorvex-cli says about itself: its commands by name, each with its
// help, and the tool's overall help. Texts only; the parser decides.

#include <span>
#include <string_view>

#include "cli/command_line.h"

namespace quorvex {

struct CommandName {
    std::string_view name;
    CliCommand command;
    const char* help;
};

// Every command, in the order the tool's help lists them; the table lives
// as long as the program.
std::span<const CommandName> CommandNames();

// The tool's overall help.
const char* ToolHelpText();

}  // namespace quorvex
