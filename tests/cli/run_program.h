#pragma once

// Runs a program in the caller's own namespace and collects its exit code and
// output: for the runs of quorvex-cli that send nothing (usage errors, help,
// `config`). Everything that may send runs through the network lab instead.

#include <string>
#include <vector>

namespace quorvex::testing {

struct ProgramResult {
    int exit_code = -1;  // 128 + signal when killed; -1 when it could not run
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] is a path) in `directory` (the caller's when empty)
// with `stdin_text` on standard input; kills it after 30 s.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& directory = "",
                         const std::string& stdin_text = "");

// The built quorvex-cli.
std::string CliPath();

}  // namespace quorvex::testing
