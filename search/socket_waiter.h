#pragma once

// Waits on a set of socket handles and on a wake-up event at once (poll over
// the handles plus an eventfd), so that a worker can sleep in its sockets and
// still be woken at once from another thread.

#include <chrono>
#include <vector>

namespace quorvex {

class SocketWaiter {
public:
    // Throws std::system_error when the event cannot be created.
    SocketWaiter();
    ~SocketWaiter();
    SocketWaiter(const SocketWaiter&) = delete;
    SocketWaiter& operator=(const SocketWaiter&) = delete;

    // Ends the current or next `Wait` at once. Safe from any thread.
    void Wake();

    struct Result {
        bool woken = false;        // `Wake` was called (the event is consumed)
        std::vector<int> ready;    // handles with data or an error pending
        std::vector<int> invalid;  // handles that are not open descriptors
    };
    // Waits up to `timeout` until a handle is readable or `Wake` is called.
    Result Wait(const std::vector<int>& handles, std::chrono::milliseconds timeout);

private:
    int event_ = -1;
};

}  // namespace quorvex
