#include "sim/local_addresses.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvex::sim {

namespace {

// One rtnetlink address request, answered by an acknowledgement: 0 or -errno.
int AddressRequest(int type, int flags, const std::string& interface, const std::string& address,
                   int prefix_length) {
    in_addr a{};
    const unsigned index = ::if_nametoindex(interface.c_str());
    if (index == 0) return -ENODEV;
    if (::inet_pton(AF_INET, address.c_str(), &a) != 1) return -EINVAL;
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return -errno;
    struct {
        nlmsghdr header;
        ifaddrmsg message;
        char attributes[64];
    } request{};
    request.header.nlmsg_type = static_cast<std::uint16_t>(type);
    request.header.nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
    request.header.nlmsg_seq = 1;
    request.message.ifa_family = AF_INET;
    request.message.ifa_prefixlen = static_cast<unsigned char>(prefix_length);
    request.message.ifa_scope = RT_SCOPE_UNIVERSE;
    request.message.ifa_index = index;
    std::size_t length = NLMSG_LENGTH(sizeof(ifaddrmsg));
    for (const unsigned short kind : {IFA_LOCAL, IFA_ADDRESS}) {
        auto* attribute =
            reinterpret_cast<rtattr*>(reinterpret_cast<char*>(&request) + NLMSG_ALIGN(length));
        attribute->rta_type = kind;
        attribute->rta_len = RTA_LENGTH(sizeof a);
        std::memcpy(RTA_DATA(attribute), &a, sizeof a);
        length = NLMSG_ALIGN(length) + RTA_ALIGN(attribute->rta_len);
    }
    request.header.nlmsg_len = static_cast<std::uint32_t>(length);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    int result = -EIO;
    if (::sendto(fd, &request, length, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) == static_cast<ssize_t>(length)) {
        alignas(nlmsghdr) char answer[1024];
        const ssize_t got = ::recv(fd, answer, sizeof answer, 0);
        const auto* h = reinterpret_cast<const nlmsghdr*>(answer);
        if (got >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr))) &&
            h->nlmsg_type == NLMSG_ERROR)
            result = static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
    }
    ::close(fd);
    return result;
}

}  // namespace

LocalAddresses::~LocalAddresses() {
    for (const Entry& e : added_)
        AddressRequest(RTM_DELADDR, 0, e.interface, e.address, e.prefix_length);
}

bool LocalAddresses::Add(const std::string& interface, const std::string& address,
                         int prefix_length, std::string& error) {
    const int result =
        AddressRequest(RTM_NEWADDR, NLM_F_CREATE | NLM_F_EXCL, interface, address, prefix_length);
    if (result == -EEXIST) return true;
    if (result != 0) {
        error = "cannot add " + address + " to " + interface + ": " + std::strerror(-result);
        return false;
    }
    added_.push_back(Entry{interface, address, prefix_length});
    return true;
}

bool LocalAddresses::Remove(const std::string& address, std::string& error) {
    const auto it = std::find_if(added_.begin(), added_.end(),
                                 [&](const Entry& e) { return e.address == address; });
    if (it == added_.end()) return true;
    const int result =
        AddressRequest(RTM_DELADDR, 0, it->interface, it->address, it->prefix_length);
    if (result != 0 && result != -EADDRNOTAVAIL) {
        error = "cannot remove " + address + ": " + std::strerror(-result);
        return false;
    }
    added_.erase(it);
    return true;
}

}  // namespace quorvex::sim
