#include "core/udp_socket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/filter.h>
#include <linux/sock_diag.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace quorvex {

namespace {

constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

bool SetInt(int handle, int level, int name, int value) {
    return setsockopt(handle, level, name, &value, sizeof value) == 0;
}

sockaddr_in MakeAddress(std::uint32_t address, std::uint16_t port) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_addr.s_addr = address;
    out.sin_port = htons(port);
    return out;
}

bool Bind(int handle, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in local = MakeAddress(address, port);
    return bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

}  // namespace

UdpSocket::~UdpSocket() {
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      source_address_(std::exchange(other.source_address_, 0)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        source_address_ = std::exchange(other.source_address_, 0);
    }
    return *this;
}

void UdpSocket::Close() {
    if (handle_ >= 0) ::close(handle_);
    handle_ = -1;
    source_address_ = 0;
}

std::string UdpSocket::InterfaceNameOf(std::uint32_t address) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::string name;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (in->sin_addr.s_addr == address && it->ifa_name != nullptr) {
            name = it->ifa_name;
            break;
        }
    }
    freeifaddrs(list);
    return name;
}

UdpSocket UdpSocket::OpenOnInterface(std::uint32_t interface_address, std::uint16_t port,
                                     Options options, Failure* failure) {
    Failure ignored;
    Failure& why = failure != nullptr ? *failure : ignored;
    why = {};
    // The wildcard, broadcast and multicast addresses name no single
    // interface; a socket for them would send out of whichever the route picks.
    const std::uint32_t host = ntohl(interface_address);
    if (host == 0 || host == 0xFFFFFFFFu || (host >> 28) == 0xE) {
        why.error = EADDRNOTAVAIL;
        return {};
    }

    UdpSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.IsValid()) {
        why.error = errno;
        return {};
    }
    const int handle = socket.handle_;

    if (options.reuse_address) SetInt(handle, SOL_SOCKET, SO_REUSEADDR, 1);
    if (options.reuse_port) SetInt(handle, SOL_SOCKET, SO_REUSEPORT, 1);
    if (options.broadcast) SetInt(handle, SOL_SOCKET, SO_BROADCAST, 1);
    // Bursts of answers from many devices arrive at once; the forced size
    // needs privileges, the plain one is capped by the system's limit.
    if (!SetInt(handle, SOL_SOCKET, SO_RCVBUFFORCE, kReceiveBufferBytes)) {
        SetInt(handle, SOL_SOCKET, SO_RCVBUF, kReceiveBufferBytes);
    }
    // Without this a socket hears every group that any socket of the host
    // joined on any interface.
    SetInt(handle, IPPROTO_IP, IP_MULTICAST_ALL, 0);
    // Tells each received datagram's destination, so that an answer sent to
    // another address of the same interface is credited to that address.
    SetInt(handle, IPPROTO_IP, IP_PKTINFO, 1);

    // A socket bound to a unicast address never sees limited broadcasts or
    // multicasts on Linux, so it is bound to the wildcard address and tied to
    // the interface's device instead; its sends then name the interface
    // address as their source.
    const std::string device = InterfaceNameOf(interface_address);
    if (!device.empty() && setsockopt(handle, SOL_SOCKET, SO_BINDTODEVICE, device.c_str(),
                                      static_cast<socklen_t>(device.size())) == 0) {
        if (!Bind(handle, options.unicast_only ? interface_address : htonl(INADDR_ANY), port)) {
            why = {true, errno};
            return {};
        }
        socket.source_address_ = interface_address;
        return socket;
    }
    if (!Bind(handle, interface_address, port)) {
        why = {true, errno};
        return {};
    }
    return socket;
}

UdpSocket UdpSocket::OpenForUnicast() {
    UdpSocket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.IsValid()) return {};
    SetInt(socket.handle_, IPPROTO_IP, IP_PKTINFO, 1);
    if (!Bind(socket.handle_, htonl(INADDR_ANY), 0)) return {};
    return socket;
}

std::uint16_t UdpSocket::LocalPort() const {
    if (!IsValid()) return 0;
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(handle_, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::JoinMulticast(std::uint32_t group, std::uint32_t interface_address, int ttl,
                              int* error, bool join) {
    int first_error = 0;
    const auto step = [&](bool ok) {
        if (!ok && first_error == 0) first_error = errno != 0 ? errno : EINVAL;
        return ok;
    };
    if (!IsValid()) {
        if (error != nullptr) *error = EBADF;
        return false;
    }
    bool joined = true;
    if (join) {
        ip_mreq membership{};
        membership.imr_multiaddr.s_addr = group;
        membership.imr_interface.s_addr = interface_address;
        joined = step(setsockopt(handle_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership,
                                 sizeof membership) == 0);
    }
    in_addr out_interface{};
    out_interface.s_addr = interface_address;
    const bool routed = step(setsockopt(handle_, IPPROTO_IP, IP_MULTICAST_IF, &out_interface,
                                        sizeof out_interface) == 0);
    const unsigned char loop = 0;
    const unsigned char hops = static_cast<unsigned char>(ttl);
    const bool quiet =
        step(setsockopt(handle_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0);
    const bool limited =
        step(setsockopt(handle_, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) == 0);
    if (error != nullptr) *error = first_error;
    return joined && routed && quiet && limited;
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> bytes, std::uint32_t address,
                       std::uint16_t port) const {
    if (!IsValid()) return false;
    sockaddr_in destination = MakeAddress(address, port);
    iovec part{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    if (source_address_ != 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = source_address_;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    const ssize_t sent = sendmsg(handle_, &message, MSG_NOSIGNAL);
    return sent == static_cast<ssize_t>(bytes.size());
}

int UdpSocket::ReceiveBufferBytes() const {
    if (!IsValid()) return 0;
    int bytes = 0;
    socklen_t size = sizeof bytes;
    if (getsockopt(handle_, SOL_SOCKET, SO_RCVBUF, &bytes, &size) != 0) return 0;
    return bytes;
}

bool UdpSocket::SpreadOver(std::uint32_t members) {
    if (!IsValid() || members == 0) return false;
    // The kernel runs this per datagram with the UDP payload at offset 0 and
    // the IP header at SKF_NET_OFF. It mixes the source address with payload
    // words 64 to 127 (where a device's identity stands in both protocols'
    // answers) and returns a member index. A datagram too short for the loads
    // ends the program early with 0: the first member takes it.
    std::vector<sock_filter> program;
    program.push_back(
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(SKF_NET_OFF) + 12));
    program.push_back(BPF_STMT(BPF_MISC | BPF_TAX, 0));
    for (std::uint32_t offset = 64; offset < 128; offset += 4) {
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset));
        program.push_back(BPF_STMT(BPF_ALU | BPF_XOR | BPF_X, 0));
        program.push_back(BPF_STMT(BPF_MISC | BPF_TAX, 0));
    }
    program.push_back(BPF_STMT(BPF_ALU | BPF_MUL | BPF_K, 0x9E3779B1u));
    program.push_back(BPF_STMT(BPF_ALU | BPF_RSH | BPF_K, 16));
    program.push_back(BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, members));
    program.push_back(BPF_STMT(BPF_RET | BPF_A, 0));
    sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    return setsockopt(handle_, SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &fprog, sizeof fprog) == 0;
}

std::uint64_t UdpSocket::Drops() const {
    if (!IsValid()) return 0;
    std::uint32_t meminfo[SK_MEMINFO_VARS] = {};
    socklen_t size = sizeof meminfo;
    if (getsockopt(handle_, SOL_SOCKET, SO_MEMINFO, meminfo, &size) != 0) return 0;
    if (size < (SK_MEMINFO_DROPS + 1) * sizeof(std::uint32_t)) return 0;
    return meminfo[SK_MEMINFO_DROPS];
}

}  // namespace quorvex
