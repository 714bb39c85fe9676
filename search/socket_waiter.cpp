#include "search/socket_waiter.h"

namespace quorvex {

SocketWaiter::SocketWaiter() {}
SocketWaiter::~SocketWaiter() {}
void SocketWaiter::Wake() {}
SocketWaiter::Result SocketWaiter::Wait(const std::vector<int>&, std::chrono::milliseconds) {
    return {};
}

}  // namespace quorvex
