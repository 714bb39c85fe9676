#include "search/temporary_address.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>
#include <utility>

#include "core/device_records.h"
#include "search/arp_probe.h"
#include "search/neighbour_probe.h"
#include "search/netlink_reader.h"

namespace quorvex {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// ---- rtnetlink ---------------------------------------------------------

class AddressRequest {
public:
    AddressRequest(int type, int flags, unsigned index, std::uint32_t address, int prefix) {
        Header().nlmsg_type = static_cast<std::uint16_t>(type);
        Header().nlmsg_flags = static_cast<std::uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags);
        ifaddrmsg message{};
        message.ifa_family = AF_INET;
        message.ifa_prefixlen = static_cast<unsigned char>(prefix);
        message.ifa_scope = RT_SCOPE_UNIVERSE;
        message.ifa_index = index;
        std::memcpy(bytes_.data() + NLMSG_HDRLEN, &message, sizeof message);
        length_ = NLMSG_LENGTH(sizeof message);
        Attribute(IFA_LOCAL, &address, sizeof address);
        Attribute(IFA_ADDRESS, &address, sizeof address);
    }
    void Attribute(unsigned short type, const void* data, std::size_t size) {
        const std::size_t at = NLMSG_ALIGN(length_);
        rtattr header{};
        header.rta_type = type;
        header.rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
        std::memcpy(bytes_.data() + at, &header, sizeof header);
        std::memcpy(bytes_.data() + at + RTA_LENGTH(0), data, size);
        length_ = at + RTA_ALIGN(header.rta_len);
    }
    // 0, or -errno from the kernel's acknowledgement.
    int Send() {
        Header().nlmsg_len = static_cast<std::uint32_t>(length_);
        const Fd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (fd.get() < 0) return -errno;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(fd.get(), bytes_.data(), length_, 0, reinterpret_cast<sockaddr*>(&kernel),
                     sizeof kernel) != static_cast<ssize_t>(length_))
            return -errno;
        std::array<std::uint8_t, 1024> answer{};
        const ssize_t got = ::recv(fd.get(), answer.data(), answer.size(), 0);
        if (got <= 0) return -EIO;
        NetlinkReader reader(std::span(answer.data(), static_cast<std::size_t>(got)));
        while (const auto message = reader.Next())
            if (message->type == NLMSG_ERROR)
                if (const auto error = ReadNetlinkStruct<nlmsgerr>(message->body))
                    return error->error;
        return -EIO;
    }

private:
    nlmsghdr& Header() { return *reinterpret_cast<nlmsghdr*>(bytes_.data()); }
    alignas(nlmsghdr) std::array<std::uint8_t, 256> bytes_{};
    std::size_t length_ = 0;
};

// Adds (or, with `renew`, refreshes the lifetime of) a marked address.
int AddMarked(const TemporaryAddressPlan& plan, bool renew) {
    AddressRequest request(RTM_NEWADDR, renew ? NLM_F_REPLACE : NLM_F_CREATE | NLM_F_EXCL,
                           plan.interface_index, plan.address, plan.prefix_length);
    const std::uint32_t metric = kTemporaryAddressMetric;
    request.Attribute(IFA_RT_PRIORITY, &metric, sizeof metric);
    ifa_cacheinfo lifetime{};
    lifetime.ifa_valid = static_cast<std::uint32_t>(kTemporaryAddressLifetime.count());
    lifetime.ifa_prefered = lifetime.ifa_valid;
    request.Attribute(IFA_CACHEINFO, &lifetime, sizeof lifetime);
    // A label must begin with the interface's name and fit its 15 characters.
    const std::string label = plan.interface_name + ":qvx";
    if (label.size() < IFNAMSIZ) request.Attribute(IFA_LABEL, label.c_str(), label.size() + 1);
    return request.Send();
}

int RemoveAddress(unsigned index, std::uint32_t address, int prefix) {
    const int result = AddressRequest(RTM_DELADDR, 0, index, address, prefix).Send();
    return result == -EADDRNOTAVAIL ? 0 : result;  // gone already (expired, or removed by hand)
}

struct MarkedAddress {
    unsigned index = 0;
    std::uint32_t address = 0;
    int prefix = 0;
};

// Every IPv4 address of this namespace that carries the metric mark.
std::vector<MarkedAddress> MarkedAddresses() {
    std::vector<MarkedAddress> marked;
    const Fd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0) return marked;
    struct {
        nlmsghdr header;
        ifaddrmsg message;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.message.ifa_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof request))
        return marked;
    std::vector<std::uint8_t> buffer(32768);
    for (;;) {
        const ssize_t got = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
        if (got <= 0) return marked;
        NetlinkReader reader(std::span(buffer.data(), static_cast<std::size_t>(got)));
        while (const auto message = reader.Next()) {
            if (message->type == NLMSG_DONE || message->type == NLMSG_ERROR) return marked;
            if (message->type != RTM_NEWADDR) continue;
            const auto head = ReadNetlinkStruct<ifaddrmsg>(message->body);
            if (!head || head->ifa_family != AF_INET) continue;
            MarkedAddress entry{head->ifa_index, 0, head->ifa_prefixlen};
            bool ours = false;
            NetlinkReader::Attributes attributes(message->body, sizeof(ifaddrmsg));
            while (const auto attribute = attributes.Next()) {
                if (attribute->type == IFA_LOCAL)
                    entry.address = NetlinkU32(attribute->payload).value_or(0);
                if (attribute->type == IFA_RT_PRIORITY)
                    ours = NetlinkU32(attribute->payload) == kTemporaryAddressMetric;
            }
            if (ours && entry.address != 0) marked.push_back(entry);
        }
        if (reader.malformed()) return marked;
    }
}

// ---- owners' locks -----------------------------------------------------

std::string LockDirectory() {
    if (::geteuid() == 0) return "/run/quorvex";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime)
        return std::string(runtime) + "/quorvex";
    return "/tmp/quorvex-" + std::to_string(::geteuid());
}

// One lock per address of one interface of one network namespace: the same
// address in another namespace is another address.
std::string LockPath(unsigned index, std::uint32_t address) {
    struct stat ns {};
    if (::stat("/proc/thread-self/ns/net", &ns) != 0) ns.st_ino = 0;
    return LockDirectory() + "/temporary-" + std::to_string(ns.st_ino) + "-" +
           std::to_string(index) + "-" + AddressText(address) + ".lock";
}

// The lock at `path` taken without waiting; an invalid Fd when another holds
// it or the file cannot be made. A holder that removes its address unlinks
// the file while it still holds it, so a lock taken on a file that is no
// longer the one at `path` is taken again on the new one. `busy` tells
// another holder from a file that cannot be made.
Fd TakeLock(const std::string& path, bool& busy) {
    busy = false;
    ::mkdir(LockDirectory().c_str(), 0700);
    for (int attempt = 0; attempt < 8; ++attempt) {
        Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (fd.get() < 0) return Fd{};
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            busy = errno == EWOULDBLOCK;
            return Fd{};
        }
        struct stat held {
        }, named{};
        if (::fstat(fd.get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return fd;
    }
    return Fd{};
}

std::string FailureText(const TemporaryAddressPlan& plan, int error) {
    if (error == -EPERM || error == -EACCES)
        return "adding a temporary address needs root or CAP_NET_ADMIN";
    return "cannot add " + TemporaryAddressText(plan) + ": " + std::strerror(-error);
}

}  // namespace

struct TemporaryAddresses::State {
    struct Entry {
        TemporaryAddressPlan plan;
        std::string lock_path;
        Fd lock;
    };
    std::mutex mutex;
    std::condition_variable_any renewal;
    std::vector<Entry> held;
    std::jthread renewer;  // last: stopped before the rest goes

    // Refreshes the lifetimes well before they run out, for a change that
    // takes longer than one.
    void Renew(std::stop_token stop) {
        std::unique_lock lock(mutex);
        for (;;) {
            renewal.wait_for(lock, stop, kTemporaryAddressLifetime / 3, [] { return false; });
            if (stop.stop_requested()) return;
            for (const Entry& e : held) AddMarked(e.plan, true);
        }
    }

    bool RemoveAll() {
        std::lock_guard lock(mutex);
        bool removed = true;
        for (Entry& e : held) {
            if (RemoveAddress(e.plan.interface_index, e.plan.address, e.plan.prefix_length) != 0)
                removed = false;
            ::unlink(e.lock_path.c_str());
            e.lock.Reset();
        }
        held.clear();
        return removed;
    }
};

TemporaryAddresses::TemporaryAddresses(std::unique_ptr<State> state) : state_(std::move(state)) {}

TemporaryAddresses::~TemporaryAddresses() {
    Remove();
}

TemporaryAddresses::TemporaryAddresses(TemporaryAddresses&&) noexcept = default;

TemporaryAddresses& TemporaryAddresses::operator=(TemporaryAddresses&& other) noexcept {
    if (this != &other) {
        Remove();
        state_ = std::move(other.state_);
    }
    return *this;
}

std::vector<TemporaryAddressPlan> TemporaryAddresses::Held() const {
    std::vector<TemporaryAddressPlan> plans;
    if (!state_) return plans;
    std::lock_guard lock(state_->mutex);
    for (const State::Entry& e : state_->held) plans.push_back(e.plan);
    return plans;
}

bool TemporaryAddresses::Remove() {
    if (!state_) return true;
    state_->renewer.request_stop();
    return state_->RemoveAll();
}

std::optional<TemporaryAddresses> TemporaryAddresses::Add(
    const std::vector<TemporaryAddressPlan>& plans, std::string& error) {
    auto state = std::make_unique<State>();
    // Removes what was added so far when a later address fails.
    TemporaryAddresses holder(std::move(state));
    std::vector<TemporaryAddressPlan> wanted;
    for (TemporaryAddressPlan plan : plans) {
        if (plan.interface_index == 0)
            plan.interface_index = ::if_nametoindex(plan.interface_name.c_str());
        if (std::find(wanted.begin(), wanted.end(), plan) == wanted.end()) wanted.push_back(plan);
    }
    for (const TemporaryAddressPlan& plan : wanted) {
        if (plan.interface_index == 0) {
            error = "cannot add " + TemporaryAddressText(plan) + ": no such interface";
            return std::nullopt;
        }
        if (NeighbourProbe::IsLocalAddress(AddressText(plan.address))) {
            error = "cannot add " + TemporaryAddressText(plan) + ": this PC holds it already";
            return std::nullopt;
        }
        State::Entry entry{plan, LockPath(plan.interface_index, plan.address), Fd{}};
        bool busy = false;
        entry.lock = TakeLock(entry.lock_path, busy);
        if (entry.lock.get() < 0) {
            error = "cannot add " + TemporaryAddressText(plan) +
                    (busy ? ": another running Quorvex holds it"
                          : ": cannot write its lock in " + LockDirectory());
            return std::nullopt;
        }
        // Right before: the link may have changed since the plan was made.
        const ArpProbe probe;
        const bool answered = !probe.InUse(plan.interface_name, {plan.address}).empty();
        if (!probe.Permitted()) {
            error = probe.Error() == EPERM || probe.Error() == EACCES
                        ? "adding a temporary address needs root or CAP_NET_ADMIN (and "
                          "CAP_NET_RAW to check it free on the link)"
                        : "cannot check " + TemporaryAddressText(plan) +
                              " free on the link: " + std::strerror(probe.Error());
            ::unlink(entry.lock_path.c_str());
            return std::nullopt;
        }
        if (answered) {
            error = "cannot add " + TemporaryAddressText(plan) + ": a host on the link holds it";
            ::unlink(entry.lock_path.c_str());
            return std::nullopt;
        }
        if (const int result = AddMarked(plan, false); result != 0) {
            error = FailureText(plan, result);
            ::unlink(entry.lock_path.c_str());
            return std::nullopt;
        }
        std::lock_guard lock(holder.state_->mutex);
        holder.state_->held.push_back(std::move(entry));
    }
    State* kept = holder.state_.get();
    if (!kept->held.empty())
        kept->renewer = std::jthread([kept](std::stop_token stop) { kept->Renew(stop); });
    return std::optional<TemporaryAddresses>(std::move(holder));
}

std::size_t RemoveLeftoverTemporaryAddresses() {
    std::size_t removed = 0;
    for (const MarkedAddress& marked : MarkedAddresses()) {
        const std::string path = LockPath(marked.index, marked.address);
        bool busy = false;
        Fd lock = TakeLock(path, busy);
        if (lock.get() < 0) continue;  // its owner runs, or no lock can be made here
        if (RemoveAddress(marked.index, marked.address, marked.prefix) == 0) ++removed;
        ::unlink(path.c_str());
    }
    return removed;
}

}  // namespace quorvex
