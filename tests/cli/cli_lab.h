#pragma once

// Running the real quorvex-cli in a lab's PC namespace, and the files and
// simulators its runs need. QUORVEX_CLI_PATH names the built program.

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/netns_lab.h"

namespace quorvex::testing {

struct CliResult {
    int exit_code = -1;
    std::string out, err;
};

// quorvex-cli with `args` in the PC namespace, `stdin_text` as its input.
inline CliResult Cli(NetnsLab& lab, std::vector<std::string> args,
                     const std::string& stdin_text = "") {
    args.insert(args.begin(), QUORVEX_CLI_PATH);
    CliResult r;
    r.exit_code = lab.Run(lab.pc_namespace(), args, &r.out, &r.err, stdin_text);
    return r;
}

inline std::string WriteFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The JSON text as a property tree (arrays are children keyed ""); throws
// when it does not parse, which fails the test.
inline boost::property_tree::ptree ReadJson(const std::string& text) {
    std::istringstream in(text);
    boost::property_tree::ptree tree;
    boost::property_tree::read_json(in, tree);
    return tree;
}

// The simulator at `site` playing the cameras of the device file `json`.
inline std::unique_ptr<Simulator> StartSim(NetnsLab& lab, const std::string& site,
                                           const std::string& json) {
    std::string why;
    auto sim = Simulator::Start(
        lab, lab.site_namespace(site),
        {"--devices", WriteFile(lab.scratch_dir() + "/" + site + ".json", json)}, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

}  // namespace quorvex::testing
