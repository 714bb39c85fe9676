#include "sim/flood_settings.h"

#include <array>
#include <utility>

namespace quorvex::sim {

namespace {

constexpr std::array<std::pair<std::string_view, FloodKind>, 6> kKinds = {{
    {"random", FloodKind::kRandom},
    {"near-miss", FloodKind::kNearMiss},
    {"truncated", FloodKind::kTruncated},
    {"oversized", FloodKind::kOversized},
    {"mixed", FloodKind::kMixed},
    {"random-macs", FloodKind::kRandomMacs},
}};

}  // namespace

bool ParseFloodKind(std::string_view text, FloodKind& kind) {
    // Answers with random MACs have an option of their own.
    for (const auto& [name, value] : kKinds) {
        if (name == text && value != FloodKind::kRandomMacs) {
            kind = value;
            return true;
        }
    }
    return false;
}

bool ParseFloodAim(std::string_view text, FloodAim& aim) {
    if (text == "unicast")
        aim = FloodAim::kUnicast;
    else if (text == "group")
        aim = FloodAim::kGroup;
    else if (text == "mixed")
        aim = FloodAim::kMixed;
    else
        return false;
    return true;
}

std::string_view FloodKindName(FloodKind kind) {
    for (const auto& [name, value] : kKinds)
        if (value == kind) return name;
    return "?";
}

}  // namespace quorvex::sim
