#include "sim/device_simulator.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/binary_device_protocol.h"
#include "sim/text_device_protocol.h"
#include "sim/wsd_device_protocol.h"

namespace quorvex::sim {

struct DeviceSimulator::Socket {
    int fd = -1;
    std::size_t interface_index = 0;
    SocketKind kind = SocketKind::kBinary;
    std::uint16_t port = 0;
};

namespace {

constexpr int kBufferBytes = 4 * 1024 * 1024;
constexpr std::size_t kBatch = 256;
constexpr int kReceivesPerTurn = 256;

bool Set(int fd, int level, int option, int value) {
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

void GrowBuffers(int fd) {
    // Forced sizes need root, which the simulator has in its namespace; the
    // plain ones are the fall-back.
    if (!Set(fd, SOL_SOCKET, SO_RCVBUFFORCE, kBufferBytes))
        Set(fd, SOL_SOCKET, SO_RCVBUF, kBufferBytes);
    if (!Set(fd, SOL_SOCKET, SO_SNDBUFFORCE, kBufferBytes))
        Set(fd, SOL_SOCKET, SO_SNDBUF, kBufferBytes);
}

// A socket that hears only `name`: bound to the device and to the wildcard
// address, it receives unicast, broadcast and (once joined) multicast
// datagrams for `port` that arrive on that interface, and its replies leave
// through it.
int OpenOn(const ServedInterface& interface, std::uint16_t port, SocketKind kind,
           std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    auto fail = [&](const char* what) {
        error = interface.name + ": " + what + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    };
    Set(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    // Tells each datagram's destination: a probe sent to one camera's
    // address is that camera's alone.
    Set(fd, IPPROTO_IP, IP_PKTINFO, 1);
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, interface.name.c_str(),
                     static_cast<socklen_t>(interface.name.size())) != 0)
        return fail("SO_BINDTODEVICE");
    GrowBuffers(fd);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return fail("bind");
    if (kind == SocketKind::kBinary) {
        if (!Set(fd, SOL_SOCKET, SO_BROADCAST, 1)) return fail("SO_BROADCAST");
        return fd;
    }
    ip_mreqn group{};
    ::inet_pton(AF_INET, kTextGroup, &group.imr_multiaddr);
    group.imr_address.s_addr = interface.address;
    group.imr_ifindex = static_cast<int>(::if_nametoindex(interface.name.c_str()));
    if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group) != 0)
        return fail("IP_ADD_MEMBERSHIP");
    ip_mreqn out{};
    out.imr_address.s_addr = interface.address;
    out.imr_ifindex = group.imr_ifindex;
    if (::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) != 0)
        return fail("IP_MULTICAST_IF");
    // Our own multicast answers must not come back to us as datagrams to
    // answer, and only groups this socket joined should reach it.
    Set(fd, IPPROTO_IP, IP_MULTICAST_LOOP, 0);
    Set(fd, IPPROTO_IP, IP_MULTICAST_TTL, 4);
    Set(fd, IPPROTO_IP, IP_MULTICAST_ALL, 0);
    return fd;
}

bool EarlierLast(const OutgoingDatagram& a, const OutgoingDatagram& b) {
    return a.due > b.due;
}

}  // namespace

// Room for the largest UDP datagram, so that the log holds whatever arrived.
DeviceSimulator::DeviceSimulator() : receive_buffer_(65536) {}

DeviceSimulator::~DeviceSimulator() {
    for (const Socket& s : sockets_) ::close(s.fd);
}

DeviceSimulator::OpenResult DeviceSimulator::Open(const std::vector<std::string>& only,
                                                  std::string& error, bool wsd) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        error = std::string("getifaddrs: ") + std::strerror(errno);
        return OpenResult::kSocketFailed;
    }
    std::vector<ServedInterface> found;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
        if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const std::string name = i->ifa_name;
        if (std::any_of(found.begin(), found.end(),
                        [&](const ServedInterface& f) { return f.name == name; }))
            continue;
        ServedInterface s;
        s.name = name;
        s.address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        if (i->ifa_netmask && i->ifa_netmask->sa_family == AF_INET)
            s.mask = reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr;
        found.push_back(s);
    }
    ::freeifaddrs(list);

    if (only.empty()) {
        interfaces_ = found;
    } else {
        for (const std::string& name : only) {
            auto it = std::find_if(found.begin(), found.end(),
                                   [&](const ServedInterface& f) { return f.name == name; });
            if (it == found.end()) {
                error = "no up IPv4 interface named \"" + name + "\"";
                return OpenResult::kUnknownInterface;
            }
            if (std::none_of(interfaces_.begin(), interfaces_.end(),
                             [&](const ServedInterface& f) { return f.name == name; }))
                interfaces_.push_back(*it);
        }
    }
    if (interfaces_.empty()) {
        error = "no up IPv4 interface to serve";
        return OpenResult::kNoInterface;
    }
    for (std::size_t i = 0; i < interfaces_.size(); ++i) {
        for (const auto& [kind, port] : {std::pair{SocketKind::kBinary, kBinaryPort},
                                         std::pair{SocketKind::kText, kTextPort}}) {
            const int fd = OpenOn(interfaces_[i], port, kind, error);
            if (fd < 0) return OpenResult::kSocketFailed;
            sockets_.push_back(Socket{fd, i, kind, port});
        }
        if (wsd) {
            const int fd = OpenOn(interfaces_[i], kWsdPort, SocketKind::kWsd, error);
            if (fd < 0) return OpenResult::kSocketFailed;
            sockets_.push_back(Socket{fd, i, SocketKind::kWsd, kWsdPort});
        }
    }
    return OpenResult::kOk;
}

void DeviceSimulator::AddResponder(std::unique_ptr<Responder> responder) {
    responders_.push_back(std::move(responder));
}

void DeviceSimulator::Schedule(std::vector<OutgoingDatagram>& out) {
    for (OutgoingDatagram& o : out) {
        pending_.push_back(std::move(o));
        std::push_heap(pending_.begin(), pending_.end(), EarlierLast);
    }
    out.clear();
}

void DeviceSimulator::Receive(std::size_t socket_index) {
    const Socket& s = sockets_[socket_index];
    std::vector<OutgoingDatagram> out;
    for (int n = 0; n < kReceivesPerTurn; ++n) {
        sockaddr_in from{};
        iovec part{receive_buffer_.data(), receive_buffer_.size()};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(s.fd, &message, 0);
        if (got < 0) break;  // EAGAIN: drained
        ReceivedDatagram d;
        d.interface_index = s.interface_index;
        d.socket = s.kind;
        d.source_address = from.sin_addr.s_addr;
        d.source_port = ntohs(from.sin_port);
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                d.destination_address = info.ipi_addr.s_addr;
            }
        }
        d.bytes =
            std::span<const std::uint8_t>(receive_buffer_.data(), static_cast<std::size_t>(got));
        log_.Write(interfaces_[s.interface_index].name, d.source_address, d.source_port, s.port,
                   d.bytes);
        const Clock::time_point now = Clock::now();
        for (auto& r : responders_) r->OnDatagram(d, now, out);
    }
    Schedule(out);
}

int DeviceSimulator::FdFor(const OutgoingDatagram& o) const {
    for (const Socket& s : sockets_)
        if (s.interface_index == o.interface_index && s.kind == o.socket) return s.fd;
    return -1;
}

void DeviceSimulator::SendDue(Clock::time_point now) {
    std::vector<OutgoingDatagram> due;
    while (!pending_.empty() && pending_.front().due <= now) {
        std::pop_heap(pending_.begin(), pending_.end(), EarlierLast);
        due.push_back(std::move(pending_.back()));
        pending_.pop_back();
    }
    if (due.empty()) return;
    // Group by socket so that each sendmmsg call carries one socket's batch.
    std::stable_sort(
        due.begin(), due.end(), [](const OutgoingDatagram& a, const OutgoingDatagram& b) {
            return std::pair(a.interface_index, a.socket) < std::pair(b.interface_index, b.socket);
        });

    std::vector<mmsghdr> messages(kBatch);
    std::vector<iovec> vectors(kBatch);
    std::vector<sockaddr_in> targets(kBatch);
    // Room for one IP_PKTINFO per message, for answers from a camera's own
    // address.
    union Control {
        char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
        cmsghdr align;
    };
    std::vector<Control> controls(kBatch);
    std::size_t at = 0;
    while (at < due.size()) {
        const int fd = FdFor(due[at]);
        std::size_t n = 0;
        while (at + n < due.size() && n < kBatch &&
               due[at + n].interface_index == due[at].interface_index &&
               due[at + n].socket == due[at].socket)
            ++n;
        for (std::size_t i = 0; i < n; ++i) {
            OutgoingDatagram& o = due[at + i];
            targets[i] = sockaddr_in{};
            targets[i].sin_family = AF_INET;
            targets[i].sin_addr.s_addr = o.address;
            targets[i].sin_port = htons(o.port);
            vectors[i].iov_base = o.bytes.data();
            vectors[i].iov_len = o.bytes.size();
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &targets[i];
            messages[i].msg_hdr.msg_namelen = sizeof targets[i];
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
            if (o.source != 0) {
                controls[i] = Control{};
                messages[i].msg_hdr.msg_control = controls[i].bytes;
                messages[i].msg_hdr.msg_controllen = sizeof controls[i].bytes;
                cmsghdr* c = CMSG_FIRSTHDR(&messages[i].msg_hdr);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
                in_pktinfo info{};
                info.ipi_spec_dst.s_addr = o.source;
                std::memcpy(CMSG_DATA(c), &info, sizeof info);
            }
        }
        std::size_t sent = 0;
        int stalls = 0;
        while (fd >= 0 && sent < n) {
            const int r =
                ::sendmmsg(fd, messages.data() + sent, static_cast<unsigned>(n - sent), 0);
            if (r > 0) {
                sent += static_cast<std::size_t>(r);
                continue;
            }
            if (r < 0 && (errno == EAGAIN || errno == ENOBUFS) && stalls++ < 50) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 20);
                continue;
            }
            // Unreachable destination or a full queue that does not drain:
            // that answer is lost, as it would be on a real wire.
            ++sent;
        }
        at += n;
    }
}

void DeviceSimulator::Run(const std::atomic<bool>& stop) {
    std::vector<pollfd> polls;
    std::vector<std::size_t> extra_at(responders_.size() + 1);
    std::vector<OutgoingDatagram> out;
    while (!stop.load()) {
        Clock::time_point now = Clock::now();
        for (auto& r : responders_) r->OnTick(now, interfaces_, out);
        Schedule(out);
        SendDue(now);

        Clock::time_point wake = now + std::chrono::milliseconds(100);
        if (!pending_.empty()) wake = std::min(wake, pending_.front().due);
        for (const auto& r : responders_) wake = std::min(wake, r->NextTick(now));
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now());
        const int timeout_ms = static_cast<int>(std::clamp<long long>(wait.count(), 0, 100));
        polls.clear();
        for (const Socket& s : sockets_) polls.push_back(pollfd{s.fd, POLLIN, 0});
        for (std::size_t r = 0; r < responders_.size(); ++r) {
            extra_at[r] = polls.size();
            responders_[r]->AppendPollFds(polls);
        }
        extra_at[responders_.size()] = polls.size();
        const int ready = ::poll(polls.data(), polls.size(), timeout_ms);
        if (ready <= 0) continue;  // time-out, or a signal asking us to stop
        for (std::size_t i = 0; i < sockets_.size(); ++i) {
            if (polls[i].revents & POLLIN) Receive(i);
        }
        now = Clock::now();
        for (std::size_t r = 0; r < responders_.size(); ++r) {
            if (extra_at[r + 1] == extra_at[r]) continue;
            responders_[r]->OnPolled(
                std::span<const pollfd>(polls).subspan(extra_at[r], extra_at[r + 1] - extra_at[r]),
                now, out);
        }
        Schedule(out);
    }
}

}  // namespace quorvex::sim
