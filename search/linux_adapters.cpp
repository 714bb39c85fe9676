#include "search/linux_adapters.h"

#include <arpa/inet.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "core/device_records.h"

namespace quorvex {

namespace {

namespace fs = std::filesystem;

// One rtnetlink dump request and its replies.
class Netlink {
public:
    Netlink() : handle_(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~Netlink() {
        if (handle_ >= 0) ::close(handle_);
    }
    Netlink(const Netlink&) = delete;
    Netlink& operator=(const Netlink&) = delete;

    // Sends a dump request of `type` whose body is `body`, then hands every
    // reply message to `each`. False when the socket fails or a reply is cut.
    bool Dump(std::uint16_t type, const void* body, std::size_t body_length,
              const std::function<void(const nlmsghdr&)>& each) {
        if (handle_ < 0) return false;
        std::array<std::uint8_t, 128> request{};
        nlmsghdr header{};
        header.nlmsg_len = NLMSG_LENGTH(body_length);
        header.nlmsg_type = type;
        header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        header.nlmsg_seq = 1;
        std::memcpy(request.data(), &header, sizeof header);
        std::memcpy(request.data() + NLMSG_HDRLEN, body, body_length);
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(handle_, request.data(), header.nlmsg_len, 0,
                     reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0) {
            return false;
        }
        // Aligned for the message headers that are read in place.
        alignas(nlmsghdr) static thread_local std::array<std::uint8_t, 65536> buffer;
        for (;;) {
            iovec vector{buffer.data(), buffer.size()};
            msghdr message{};
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            const ssize_t received = ::recvmsg(handle_, &message, 0);
            if (received <= 0 || (message.msg_flags & MSG_TRUNC)) return false;
            // The walk NLMSG_OK and NLMSG_NEXT would do, without their
            // signed and unsigned comparisons.
            const auto length = static_cast<std::size_t>(received);
            std::size_t offset = 0;
            while (length - offset >= sizeof(nlmsghdr)) {
                const auto* reply = reinterpret_cast<const nlmsghdr*>(buffer.data() + offset);
                if (reply->nlmsg_len < sizeof(nlmsghdr) || reply->nlmsg_len > length - offset)
                    break;
                if (reply->nlmsg_type == NLMSG_DONE) return true;
                if (reply->nlmsg_type == NLMSG_ERROR) return false;
                each(*reply);
                offset += NLMSG_ALIGN(reply->nlmsg_len);
                if (offset > length) break;
            }
        }
    }

private:
    int handle_;
};

// Walks the attributes that follow a message body of `body_length` bytes.
template <typename Each>
void ForEachAttribute(const nlmsghdr& message, std::size_t body_length, Each each) {
    if (message.nlmsg_len < NLMSG_LENGTH(body_length)) return;
    const auto* attribute = reinterpret_cast<const rtattr*>(
        reinterpret_cast<const std::uint8_t*>(NLMSG_DATA(&message)) + NLMSG_ALIGN(body_length));
    int remaining = static_cast<int>(message.nlmsg_len - NLMSG_LENGTH(NLMSG_ALIGN(body_length)));
    for (; RTA_OK(attribute, remaining); attribute = RTA_NEXT(attribute, remaining)) {
        each(*attribute);
    }
}

std::string_view AttributeText(const rtattr& attribute) {
    const auto* data = static_cast<const char*>(RTA_DATA(&attribute));
    const std::size_t length = RTA_PAYLOAD(&attribute);
    return std::string_view(data, strnlen(data, length));
}

bool AttributeU32(const rtattr& attribute, std::uint32_t& value) {
    if (RTA_PAYLOAD(&attribute) < sizeof value) return false;
    std::memcpy(&value, RTA_DATA(&attribute), sizeof value);
    return true;
}

struct Link {
    int index = 0;
    std::string name;
    unsigned short hardware_type = 0;
    std::string kind;  // "veth", "bridge", ... for links the kernel made itself
};

std::optional<std::vector<Link>> ReadLinks() {
    Netlink netlink;
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    std::vector<Link> links;
    const bool ok = netlink.Dump(RTM_GETLINK, &body, sizeof body, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWLINK || message.nlmsg_len < NLMSG_LENGTH(sizeof body)) {
            return;
        }
        const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
        Link link;
        link.index = info->ifi_index;
        link.hardware_type = info->ifi_type;
        ForEachAttribute(message, sizeof body, [&](const rtattr& attribute) {
            if (attribute.rta_type == IFLA_IFNAME) {
                link.name = AttributeText(attribute);
            } else if (attribute.rta_type == IFLA_LINKINFO) {
                const rtattr* nested = static_cast<const rtattr*>(RTA_DATA(&attribute));
                int remaining = static_cast<int>(RTA_PAYLOAD(&attribute));
                for (; RTA_OK(nested, remaining); nested = RTA_NEXT(nested, remaining)) {
                    if (nested->rta_type == IFLA_INFO_KIND) link.kind = AttributeText(*nested);
                }
            }
        });
        if (!link.name.empty()) links.push_back(std::move(link));
    });
    if (!ok) return std::nullopt;
    std::sort(links.begin(), links.end(),
              [](const Link& a, const Link& b) { return a.index < b.index; });
    return links;
}

std::string ReadFirstLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The sysfs directory of `link`, or empty when sysfs shows another namespace's
// link of that name (or none).
fs::path SysfsDirectory(const LinuxAdapters::Paths& paths, const Link& link) {
    const fs::path directory = fs::path(paths.sysfs_net) / link.name;
    std::error_code error;
    if (!fs::exists(directory, error)) return {};
    if (ReadFirstLine(directory / "ifindex") != std::to_string(link.index)) return {};
    return directory;
}

bool IsWireless(const fs::path& directory) {
    if (directory.empty()) return false;
    std::error_code error;
    if (fs::exists(directory / "wireless", error) || fs::exists(directory / "phy80211", error)) {
        return true;
    }
    std::ifstream uevent(directory / "uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line == "DEVTYPE=wlan") return true;
    }
    return false;
}

// The last path element a symbolic link points at ("pci" for .../bus/pci).
std::string LinkTargetName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error) return {};
    return target.filename().string();
}

// The bus of the device behind a link, as the description names it: the
// first of "PCI", "Hyper-V" or "USB" met on the way from the device up
// through its parents. A virtio device is no bus of its own here: its parent
// on PCI names it. Empty when the link has no device.
struct DeviceFacts {
    bool has_device = false;
    std::string bus;     // "PCI", "Hyper-V", "USB", or the kernel's subsystem name
    std::string driver;  // the driver's name, when bound
};

DeviceFacts ReadDevice(const fs::path& directory) {
    DeviceFacts facts;
    if (directory.empty()) return facts;
    std::error_code error;
    const fs::path device = fs::canonical(directory / "device", error);
    if (error) return facts;
    facts.has_device = true;
    facts.driver = LinkTargetName(device / "driver");
    std::string first_subsystem;
    for (fs::path at = device; at.has_relative_path() && at.filename() != "devices";
         at = at.parent_path()) {
        const std::string subsystem = LinkTargetName(at / "subsystem");
        if (subsystem.empty()) continue;
        if (first_subsystem.empty()) first_subsystem = subsystem;
        if (subsystem == "pci") {
            facts.bus = "PCI";
            return facts;
        }
        if (subsystem == "vmbus") {
            facts.bus = "Hyper-V";
            return facts;
        }
        if (subsystem == "usb") {
            facts.bus = "USB";
            return facts;
        }
    }
    facts.bus = first_subsystem;
    return facts;
}

std::uint32_t TypeOf(const Link& link, bool wireless) {
    switch (link.hardware_type) {
        case ARPHRD_LOOPBACK:
            return kAdapterTypeLoopback;
        case ARPHRD_ETHER:
            return wireless ? kAdapterTypeWireless : kAdapterTypeEthernet;
        case ARPHRD_IEEE80211:
        case ARPHRD_IEEE80211_PRISM:
        case ARPHRD_IEEE80211_RADIOTAP:
            return kAdapterTypeWireless;
        case ARPHRD_PPP:
            return kAdapterTypePpp;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case ARPHRD_IP6GRE:
        case ARPHRD_NONE:
            return kAdapterTypeTunnel;
        default:
            return kAdapterTypeOther;
    }
}

std::string Describe(const Link& link, std::uint32_t type, const DeviceFacts& device) {
    const char* what = type == kAdapterTypeWireless   ? "wireless adapter"
                       : type == kAdapterTypeEthernet ? "Ethernet adapter"
                                                      : "network adapter";
    if (device.has_device) {
        std::string text = device.bus.empty() ? std::string(what) : device.bus + " " + what;
        if (!device.driver.empty()) text += " (" + device.driver + ")";
        return text;
    }
    if (type == kAdapterTypeLoopback) return "loopback";
    if (!link.kind.empty()) return "virtual " + link.kind + " link";
    return "virtual link";
}

// The valid lifetime of an address that never expires.
constexpr std::uint32_t kForever = 0xFFFFFFFFu;

struct Address {
    std::uint32_t address = 0;  // network order
    unsigned prefix_length = 0;
    bool dynamic = false;
};

std::optional<Address> FirstAddress(int index) {
    Netlink netlink;
    ifaddrmsg body{};
    body.ifa_family = AF_INET;
    std::optional<Address> first;
    netlink.Dump(RTM_GETADDR, &body, sizeof body, [&](const nlmsghdr& message) {
        if (first || message.nlmsg_type != RTM_NEWADDR ||
            message.nlmsg_len < NLMSG_LENGTH(sizeof body)) {
            return;
        }
        const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(&message));
        if (info->ifa_family != AF_INET || static_cast<int>(info->ifa_index) != index) return;
        Address found;
        found.prefix_length = info->ifa_prefixlen;
        bool have_local = false;
        bool have_address = false;
        ForEachAttribute(message, sizeof body, [&](const rtattr& attribute) {
            std::uint32_t value = 0;
            // On a point-to-point link IFA_ADDRESS is the peer; IFA_LOCAL is ours.
            if (attribute.rta_type == IFA_LOCAL && AttributeU32(attribute, value)) {
                found.address = value;
                have_local = true;
            } else if (attribute.rta_type == IFA_ADDRESS && !have_local &&
                       AttributeU32(attribute, value)) {
                found.address = value;
                have_address = true;
            } else if (attribute.rta_type == IFA_CACHEINFO &&
                       RTA_PAYLOAD(&attribute) >= sizeof(ifa_cacheinfo)) {
                ifa_cacheinfo cache{};
                std::memcpy(&cache, RTA_DATA(&attribute), sizeof cache);
                found.dynamic = cache.ifa_valid != kForever;
            }
        });
        if (have_local || have_address) first = found;
    });
    return first;
}

// The gateway of the lowest-metric default route of the main table that
// leaves through link `index`.
std::optional<std::uint32_t> DefaultGateway(int index) {
    Netlink netlink;
    rtmsg body{};
    body.rtm_family = AF_INET;
    std::optional<std::uint32_t> best;
    std::uint32_t best_metric = 0;
    netlink.Dump(RTM_GETROUTE, &body, sizeof body, [&](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWROUTE || message.nlmsg_len < NLMSG_LENGTH(sizeof body)) {
            return;
        }
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&message));
        if (route->rtm_family != AF_INET || route->rtm_dst_len != 0 ||
            route->rtm_type != RTN_UNICAST) {
            return;
        }
        std::uint32_t table = route->rtm_table;
        std::uint32_t metric = 0;
        std::uint32_t out = 0;
        std::optional<std::uint32_t> gateway;
        ForEachAttribute(message, sizeof body, [&](const rtattr& attribute) {
            std::uint32_t value = 0;
            if (!AttributeU32(attribute, value)) return;
            if (attribute.rta_type == RTA_TABLE) table = value;
            if (attribute.rta_type == RTA_PRIORITY) metric = value;
            if (attribute.rta_type == RTA_OIF) out = value;
            if (attribute.rta_type == RTA_GATEWAY) gateway = value;
        });
        if (table != RT_TABLE_MAIN || static_cast<int>(out) != index || !gateway) return;
        if (!best || metric < best_metric) {
            best = gateway;
            best_metric = metric;
        }
    });
    return best;
}

// Takes the IPv4 servers of a blank-separated list whose entries may carry a
// port, an interface or a server name ("10.0.0.1:53%eth0#dns.example").
void AppendServers(std::string_view list, std::vector<std::string>& servers) {
    std::istringstream words{std::string(list)};
    std::string word;
    while (words >> word) {
        const std::string address = word.substr(0, word.find_first_of(":%#"));
        std::uint32_t parsed = 0;
        if (ParseAddress(address, parsed) &&
            std::find(servers.begin(), servers.end(), address) == servers.end()) {
            servers.push_back(address);
        }
    }
}

// The servers named by `key=` lines of a state file; nullopt when the file
// holds no such line.
std::optional<std::vector<std::string>> ServersOfStateFile(const fs::path& path,
                                                           std::string_view key) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::optional<std::vector<std::string>> servers;
    std::string line;
    while (std::getline(file, line)) {
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=') {
            if (!servers) servers.emplace();
            AppendServers(std::string_view(line).substr(key.size() + 1), *servers);
        }
    }
    return servers;
}

std::vector<std::string> NameServers(const LinuxAdapters::Paths& paths, int index) {
    const std::string file = std::to_string(index);
    for (const auto& [directory, key] :
         {std::pair{paths.resolved_links, "SERVERS"}, std::pair{paths.networkd_links, "DNS"}}) {
        if (auto servers = ServersOfStateFile(fs::path(directory) / file, key);
            servers && !servers->empty()) {
            return *servers;
        }
    }
    std::vector<std::string> servers;
    std::ifstream resolv(paths.resolv_conf);
    std::string line;
    while (std::getline(resolv, line)) {
        std::istringstream words(line);
        std::string keyword;
        std::string server;
        if (words >> keyword >> server && keyword == "nameserver") AppendServers(server, servers);
    }
    return servers;
}

std::string MaskText(unsigned prefix_length) {
    const std::uint32_t mask =
        prefix_length == 0 ? 0 : ~std::uint32_t{0} << (32 - std::min(prefix_length, 32u));
    return AddressText(htonl(mask));
}

}  // namespace

std::optional<std::vector<Adapter>> LinuxAdapters::ListAdapters() const {
    const auto links = ReadLinks();
    if (!links) return std::nullopt;
    std::vector<Adapter> adapters;
    adapters.reserve(links->size());
    for (const Link& link : *links) {
        const fs::path directory = SysfsDirectory(paths_, link);
        const std::uint32_t type = TypeOf(link, IsWireless(directory));
        adapters.push_back({link.name, type, Describe(link, type, ReadDevice(directory))});
    }
    return adapters;
}

std::optional<AdapterValues> LinuxAdapters::ReadValues(std::string_view name) const {
    const auto links = ReadLinks();
    if (!links) return std::nullopt;
    const auto link = std::find_if(links->begin(), links->end(),
                                   [&](const Link& candidate) { return candidate.name == name; });
    if (link == links->end()) return std::nullopt;

    AdapterValues values;
    const auto address = FirstAddress(link->index);
    if (!address) return values;
    values.numbers["EnableDHCP"] = address->dynamic ? 1 : 0;
    const std::string mode = address->dynamic ? "Dhcp" : "";
    values.texts[address->dynamic ? "DhcpIPAddress" : "IPAddress"] = AddressText(address->address);
    values.texts[address->dynamic ? "DhcpSubnetMask" : "SubnetMask"] =
        MaskText(address->prefix_length);
    if (const auto gateway = DefaultGateway(link->index)) {
        values.texts[mode + "DefaultGateway"] = AddressText(*gateway);
    }
    const std::vector<std::string> servers = NameServers(paths_, link->index);
    if (!servers.empty()) {
        std::string joined;
        for (const std::string& server : servers) {
            if (!joined.empty()) joined += ' ';
            joined += server;
        }
        values.texts[mode + "NameServer"] = joined;
    }
    return values;
}

}  // namespace quorvex
