// quorvex-sim: simulated cameras of both discovery protocols, for the tests,
// the demo and the benchmarks. It runs inside a private network namespace.

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "sim/device_file.h"
#include "sim/device_responder.h"
#include "sim/device_simulator.h"
#include "sim/flood_responder.h"
#include "sim/sim_options.h"
#include "sim/spoof_responder.h"
#include "sim/standard_service.h"
#include "sim/wsd_responder.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop.store(true);
}

int Usage(const std::string& error) {
    std::cerr << "quorvex-sim: " << error << " (see --help)\n";
    return 2;
}

// Written under another name and renamed, so a reader never sees half of it.
bool WriteReadyFile(const std::string& path,
                    const std::vector<quorvex::sim::ServedInterface>& interfaces) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary);
        for (const auto& i : interfaces) out << i.name << "\n";
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorvex::sim;
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, options, error)) return Usage(error);
    if (options.help) {
        std::cout << SimUsage();
        return 0;
    }

    std::vector<SimDevice> devices = GenerateDevices(options.generator);
    if (!options.devices_file.empty()) {
        std::vector<SimDevice> from_file;
        if (!LoadDeviceFile(options.devices_file, options.reply, from_file, error))
            return Usage(error);
        devices.insert(devices.end(), std::make_move_iterator(from_file.begin()),
                       std::make_move_iterator(from_file.end()));
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    DeviceSimulator simulator;
    const bool wsd = std::any_of(devices.begin(), devices.end(), SpeaksWsd);
    switch (simulator.Open(options.interfaces, error, wsd)) {
        case DeviceSimulator::OpenResult::kOk:
            break;
        case DeviceSimulator::OpenResult::kUnknownInterface:
            return Usage(error);
        default:
            std::cerr << "quorvex-sim: " << error << "\n";
            return 1;
    }
    if (!options.log_file.empty() && !simulator.log().Open(options.log_file)) {
        std::cerr << "quorvex-sim: cannot write " << options.log_file << "\n";
        return 1;
    }
    const FloodSettings& flood = options.flood;
    // Impostors answer after the cameras, so they are added after them.
    std::unique_ptr<SpoofResponder> impostors;
    if (flood.spoof_macs) impostors = std::make_unique<SpoofResponder>(devices);
    if (wsd) {
        simulator.AddResponder(
            std::make_unique<WsdResponder>(devices, options.wsd, simulator.interfaces()));
        auto standard = std::make_unique<StandardService>(devices, simulator.interfaces(),
                                                          &simulator.log(), &std::cerr);
        if (!standard->empty()) {
            if (!standard->Open(error)) {
                std::cerr << "quorvex-sim: " << error << "\n";
                return 1;
            }
            simulator.AddResponder(std::move(standard));
        }
    }
    simulator.AddResponder(std::make_unique<DeviceResponder>(std::move(devices), options.spread_ms,
                                                             options.generator.seed));
    if (impostors) simulator.AddResponder(std::move(impostors));
    if (flood.count > 0) {
        simulator.AddResponder(std::make_unique<FloodResponder>(
            flood.kind, flood.count, flood.rate, flood.aim, options.generator.seed, &std::cerr));
    }
    if (flood.random_macs > 0) {
        simulator.AddResponder(
            std::make_unique<FloodResponder>(FloodKind::kRandomMacs, flood.random_macs, flood.rate,
                                             flood.aim, options.generator.seed, &std::cerr));
    }
    if (!options.ready_file.empty() &&
        !WriteReadyFile(options.ready_file, simulator.interfaces())) {
        std::cerr << "quorvex-sim: cannot write " << options.ready_file << "\n";
        return 1;
    }
    simulator.Run(g_stop);
    return 0;
}
