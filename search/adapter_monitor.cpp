#include "search/adapter_monitor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "search/netlink_reader.h"

namespace quorvex {

AdapterEvents& AdapterEvents::operator+=(const AdapterEvents& other) {
    links += other.links;
    addresses += other.addresses;
    routes += other.routes;
    overflow = overflow || other.overflow;
    malformed = malformed || other.malformed;
    return *this;
}

AdapterEvents ParseAdapterEvents(std::span<const std::uint8_t> bytes) {
    AdapterEvents events;
    NetlinkReader reader(bytes);
    while (const auto message = reader.Next()) {
        switch (message->type) {
            case RTM_NEWLINK:
            case RTM_DELLINK:
                if (ReadNetlinkStruct<ifinfomsg>(message->body)) {
                    ++events.links;
                } else {
                    events.malformed = true;
                }
                break;
            case RTM_NEWADDR:
            case RTM_DELADDR:
                if (const auto address = ReadNetlinkStruct<ifaddrmsg>(message->body)) {
                    if (address->ifa_family == AF_INET) ++events.addresses;
                } else {
                    events.malformed = true;
                }
                break;
            case RTM_NEWROUTE:
            case RTM_DELROUTE:
                // Only a default route names a gateway; the routes that come
                // and go with each address are told by the address event.
                if (const auto route = ReadNetlinkStruct<rtmsg>(message->body)) {
                    if (route->rtm_family == AF_INET && route->rtm_dst_len == 0) ++events.routes;
                } else {
                    events.malformed = true;
                }
                break;
            case NLMSG_OVERRUN:
                events.overflow = true;
                break;
            default:
                break;
        }
    }
    events.malformed = events.malformed || reader.malformed();
    return events;
}

AdapterMonitor::AdapterMonitor(int receive_buffer_bytes)
    : handle_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE)) {
    if (handle_ < 0) return;
    if (receive_buffer_bytes > 0) {
        ::setsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &receive_buffer_bytes,
                     sizeof receive_buffer_bytes);
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (::bind(handle_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

AdapterMonitor::~AdapterMonitor() {
    if (handle_ >= 0) ::close(handle_);
}

AdapterEvents AdapterMonitor::DrainEvents() {
    AdapterEvents events;
    if (handle_ < 0) return events;
    static thread_local std::array<std::uint8_t, 65536> buffer;
    for (int read = 0; read < kMaxReads; ++read) {
        sockaddr_nl sender{};
        iovec vector{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(handle_, &message, MSG_DONTWAIT);
        if (received < 0) {
            if (errno == EINTR) continue;
            // The kernel dropped notifications for want of room; the socket
            // reads on afterwards.
            if (errno == ENOBUFS) {
                events.overflow = true;
                continue;
            }
            break;  // EAGAIN: nothing more pending
        }
        // Only the kernel speaks for the adapters.
        if (sender.nl_pid != 0) continue;
        if (message.msg_flags & MSG_TRUNC) events.malformed = true;
        events += ParseAdapterEvents(
            std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
    }
    return events;
}

}  // namespace quorvex
