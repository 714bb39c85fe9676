#pragma once

// Small helpers the benchmarks share: clocks, the privilege a desktop session
// runs with, and reading the simulator's log for the moment a probe arrived.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex::testing {
class Simulator;
}

namespace quorvex::bench {

// Seconds since the epoch; the simulator's log uses the same clock.
double WallSeconds();

// Drops CAP_NET_ADMIN from the calling thread (and the threads it starts
// afterwards), as in a desktop session: forced receive buffers are then
// refused and the kernel's `net.core.rmem_max` caps every socket. False when
// the kernel refused.
bool DropNetAdmin();

// Whether the calling thread holds CAP_NET_ADMIN in its effective set.
bool HoldsNetAdmin();

// The kernel's receive-buffer limit of the machine (`net.core.rmem_max`).
long ReceiveBufferLimit();

// The arrival time (at the simulator) of the first discovery probe of either
// protocol logged at or after `since`; none when no probe was logged.
std::optional<double> FirstProbeAfter(const testing::Simulator& simulator, double since);

// CPU seconds (user + system) used so far by the calling thread / the process.
double ThreadCpuSeconds();
double ProcessCpuSeconds();

// Resident memory of the process, in bytes.
std::uint64_t ResidentBytes();

// The path of the running program, for a benchmark that runs each row in a
// child of its own (so that its peak memory is that row's); empty, with a
// line on standard error naming `bench`, when it cannot be read.
std::string OwnProgram(std::string_view bench);

}  // namespace quorvex::bench
