// The simulator's device file reader over arbitrary text. It may refuse, but
// must never throw or crash, must give a reason when it refuses, and must
// leave the caller's list untouched then.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "sim/device_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvex::sim;
    using quorvex::fuzz::Require;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<SimDevice> devices(1);
    std::string error;
    bool read = false;
    try {
        read = DevicesFromJson(text, ReplyMode::kUnicast, devices, error);
    } catch (...) {
        Require(false, "DevicesFromJson never throws");
    }
    if (!read) Require(!error.empty() && devices.size() == 1, "a refusal has a reason");
    return 0;
}
