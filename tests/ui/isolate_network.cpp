// Tests without a network still start a search manager on an interface no
// machine has; as a second guard, when the process may, it moves into a
// network namespace of its own (loopback down) before any thread exists.
#include <sched.h>
#include <unistd.h>

namespace {
const bool kIsolated = geteuid() == 0 && unshare(CLONE_NEWNET) == 0;
}  // namespace
