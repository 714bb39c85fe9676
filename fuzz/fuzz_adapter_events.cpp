// The adapter monitor's reading of kernel notifications over arbitrary bytes.
// It must stay within the bytes (the sanitizers watch), count no more events
// than whole messages fit in them, and never give a negative count.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "search/adapter_monitor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quorvex::fuzz::Require;
    const auto events = quorvex::ParseAdapterEvents(std::span<const std::uint8_t>(data, size));
    // The smallest counted message is a 16-byte header and an 8-byte body.
    const auto counted = static_cast<std::size_t>(events.links + events.addresses + events.routes);
    Require(counted * 24 <= size, "no more events than whole messages fit");
    Require(events.links >= 0 && events.addresses >= 0 && events.routes >= 0,
            "counts are never negative");
    return 0;
}
