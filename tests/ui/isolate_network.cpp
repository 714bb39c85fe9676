// The window tests that need no network still start a search manager. They
// name an interface no machine has, so nothing is chosen; as a second guard,
// when the process may, it moves into a network namespace of its own with
// nothing but a loopback that is down, before any thread exists.

#include <sched.h>
#include <unistd.h>

namespace {

const bool kIsolated = geteuid() == 0 && unshare(CLONE_NEWNET) == 0;

}  // namespace
