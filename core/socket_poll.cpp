#include "core/socket_poll.h"

#include <poll.h>

#include <vector>

namespace quorvex {

struct SocketPoll::Set {
    std::vector<pollfd> entries;
};

SocketPoll::SocketPoll() : set_(std::make_unique<Set>()) {}

SocketPoll::~SocketPoll() = default;

void SocketPoll::Clear() {
    set_->entries.clear();
}

void SocketPoll::Add(int handle) {
    set_->entries.push_back(pollfd{handle, POLLIN, 0});
}

std::size_t SocketPoll::size() const {
    return set_->entries.size();
}

int SocketPoll::Wait(int timeout_ms) {
    for (pollfd& entry : set_->entries) entry.revents = 0;
    if (set_->entries.empty()) return 0;
    const int ready =
        poll(set_->entries.data(), set_->entries.size(), timeout_ms < 0 ? 0 : timeout_ms);
    return ready > 0 ? ready : 0;
}

bool SocketPoll::Readable(std::size_t index) const {
    // An error or hang-up also wakes the poll; the read that follows finds
    // nothing and moves on.
    return index < set_->entries.size() &&
           (set_->entries[index].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
}

}  // namespace quorvex
