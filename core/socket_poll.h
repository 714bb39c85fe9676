#pragma once

// Waits for any of a set of socket handles to become readable. The set's
// storage is kept between waits, so a steady caller allocates nothing.

#include <cstddef>
#include <memory>

namespace quorvex {

class SocketPoll {
public:
    SocketPoll();
    ~SocketPoll();
    SocketPoll(const SocketPoll&) = delete;
    SocketPoll& operator=(const SocketPoll&) = delete;

    void Clear();
    // Adds a handle; its index is the number of handles added before it.
    void Add(int handle);
    std::size_t size() const;

    // Waits at most `timeout_ms` (0: not at all) until a handle is readable.
    // Returns the number of readable handles, 0 on time-out or error.
    int Wait(int timeout_ms);
    // Whether the handle at `index` was readable at the last `Wait`.
    bool Readable(std::size_t index) const;

private:
    struct Set;
    std::unique_ptr<Set> set_;
};

}  // namespace quorvex
