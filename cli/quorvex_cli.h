#pragma once

// The whole of quorvex-cli behind `main`: parses the arguments, reads the
// settings and runs the command. Usage errors (exit 2) are found before any
// socket is opened.

#include <iosfwd>
#include <string_view>
#include <vector>

namespace quorvex {

// `args` are the arguments after the program name. Returns the exit code.
int RunQuorvexCli(const std::vector<std::string_view>& args, std::istream& in, std::ostream& out,
                  std::ostream& err);

}  // namespace quorvex
