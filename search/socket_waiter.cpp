#include "search/socket_waiter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace quorvex {

SocketWaiter::SocketWaiter() {
    event_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (event_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

SocketWaiter::~SocketWaiter() {
    if (event_ >= 0) ::close(event_);
}

void SocketWaiter::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means "woken"; nothing else can go wrong here.
    [[maybe_unused]] const auto written = ::write(event_, &one, sizeof one);
}

SocketWaiter::Result SocketWaiter::Wait(const std::vector<int>& handles,
                                        std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    fds.reserve(handles.size() + 1);
    fds.push_back({event_, POLLIN, 0});
    for (const int handle : handles) fds.push_back({handle, POLLIN, 0});

    Result result;
    const int timeout_ms = timeout.count() < 0 ? 0 : static_cast<int>(timeout.count());
    const int count = ::poll(fds.data(), fds.size(), timeout_ms);
    if (count <= 0) return result;  // time-out, or a signal: the caller's loop goes on
    if (fds[0].revents & POLLIN) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto read = ::read(event_, &value, sizeof value);
        result.woken = true;
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents & POLLNVAL) {
            result.invalid.push_back(fds[i].fd);
        } else if (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) {
            result.ready.push_back(fds[i].fd);
        }
    }
    return result;
}

}  // namespace quorvex
