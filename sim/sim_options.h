#pragma once

// The simulator's command line. Every option is documented in `SimUsage`.
// Hostile traffic modes add an option family of their own here and a
// `Responder` beside `DeviceResponder`.

#include <string>
#include <vector>

#include "sim/flood_settings.h"
#include "sim/sim_device.h"
#include "sim/wsd_responder.h"

namespace quorvex::sim {

struct SimOptions {
    GeneratorSettings generator;
    std::string devices_file;
    ReplyMode reply = ReplyMode::kUnicast;
    bool mixed = false;
    int spread_ms = 0;
    std::vector<std::string> interfaces;
    std::string log_file;
    std::string ready_file;
    FloodSettings flood;
    WsdBehaviour wsd;
    bool help = false;
};

// Reads argv[1..argc). Both "--name value" and "--name=value" are taken. On a
// bad argument returns false with a one-line `error`.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The text that --help prints.
std::string SimUsage();

}  // namespace quorvex::sim
