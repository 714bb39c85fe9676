#include "search/linux_adapters.h"

// Before the kernel headers, which then leave its definitions alone.
// clang-format off
#include <net/if.h>
// clang-format on
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
#include "search/netlink_reader.h"

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
              const std::function<void(const NetlinkMessage&)>& each) {
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
        static thread_local std::array<std::uint8_t, 65536> buffer;
        for (;;) {
            iovec vector{buffer.data(), buffer.size()};
            msghdr message{};
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            const ssize_t received = ::recvmsg(handle_, &message, 0);
            if (received <= 0 || (message.msg_flags & MSG_TRUNC)) return false;
            NetlinkReader reader(
                std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
            while (const auto reply = reader.Next()) {
                if (reply->type == NLMSG_DONE) return true;
                if (reply->type == NLMSG_ERROR) return false;
                each(*reply);
            }
            if (reader.malformed()) return false;
        }
    }

private:
    int handle_;
};

// Hands each attribute after a body of type `Body` to `each`; nothing when
// the message is shorter than its body.
template <typename Body, typename Each>
std::optional<Body> ReadMessage(const NetlinkMessage& message, Each each) {
    const auto body = ReadNetlinkStruct<Body>(message.body);
    if (!body) return std::nullopt;
    NetlinkReader::Attributes attributes(message.body, sizeof(Body));
    while (const auto attribute = attributes.Next()) each(*attribute);
    return body;
}

struct Link {
    int index = 0;
    std::string name;
    unsigned short hardware_type = 0;
    std::string kind;  // "veth", "bridge", ... for links the kernel made itself
};

std::optional<std::vector<Link>> ReadLinks() {
    Netlink netlink;
    ifinfomsg request{};
    request.ifi_family = AF_UNSPEC;
    std::vector<Link> links;
    const bool ok =
        netlink.Dump(RTM_GETLINK, &request, sizeof request, [&](const NetlinkMessage& m) {
            if (m.type != RTM_NEWLINK) return;
            Link link;
            const auto info = ReadMessage<ifinfomsg>(m, [&](const NetlinkAttribute& attribute) {
                if (attribute.type == IFLA_IFNAME) {
                    link.name = NetlinkText(attribute.payload);
                } else if (attribute.type == IFLA_LINKINFO) {
                    NetlinkReader::Attributes nested(attribute.payload, 0);
                    while (const auto inner = nested.Next()) {
                        if (inner->type == IFLA_INFO_KIND) link.kind = NetlinkText(inner->payload);
                    }
                }
            });
            if (!info) return;
            link.index = info->ifi_index;
            link.hardware_type = info->ifi_type;
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

// Every IPv4 address of link `index`, in the kernel's order.
std::vector<AdapterAddress> Addresses(int index) {
    Netlink netlink;
    ifaddrmsg request{};
    request.ifa_family = AF_INET;
    std::vector<AdapterAddress> addresses;
    netlink.Dump(RTM_GETADDR, &request, sizeof request, [&](const NetlinkMessage& m) {
        if (m.type != RTM_NEWADDR) return;
        AdapterAddress found;
        std::optional<std::uint32_t> local;
        std::optional<std::uint32_t> address;
        const auto info = ReadMessage<ifaddrmsg>(m, [&](const NetlinkAttribute& attribute) {
            // On a point-to-point link IFA_ADDRESS is the peer; IFA_LOCAL is ours.
            if (attribute.type == IFA_LOCAL) {
                local = NetlinkU32(attribute.payload);
            } else if (attribute.type == IFA_ADDRESS) {
                address = NetlinkU32(attribute.payload);
            } else if (attribute.type == IFA_CACHEINFO) {
                if (const auto cache = ReadNetlinkStruct<ifa_cacheinfo>(attribute.payload)) {
                    found.dhcp = cache->ifa_valid != kForever;
                }
            }
        });
        if (!info || info->ifa_family != AF_INET || static_cast<int>(info->ifa_index) != index) {
            return;
        }
        if (!local && !address) return;
        found.address = local ? *local : *address;
        found.prefix_length = std::min<unsigned>(info->ifa_prefixlen, 32);
        addresses.push_back(found);
    });
    return addresses;
}

// The gateway of the lowest-metric default route of the main table that
// leaves through link `index`.
std::optional<std::uint32_t> DefaultGateway(int index) {
    Netlink netlink;
    rtmsg request{};
    request.rtm_family = AF_INET;
    std::optional<std::uint32_t> best;
    std::uint32_t best_metric = 0;
    netlink.Dump(RTM_GETROUTE, &request, sizeof request, [&](const NetlinkMessage& m) {
        if (m.type != RTM_NEWROUTE) return;
        std::optional<std::uint32_t> table;
        std::uint32_t metric = 0;
        std::uint32_t out = 0;
        std::optional<std::uint32_t> gateway;
        const auto route = ReadMessage<rtmsg>(m, [&](const NetlinkAttribute& attribute) {
            const auto value = NetlinkU32(attribute.payload);
            if (!value) return;
            if (attribute.type == RTA_TABLE) table = value;
            if (attribute.type == RTA_PRIORITY) metric = *value;
            if (attribute.type == RTA_OIF) out = *value;
            if (attribute.type == RTA_GATEWAY) gateway = value;
        });
        if (!route || route->rtm_family != AF_INET || route->rtm_dst_len != 0 ||
            route->rtm_type != RTN_UNICAST) {
            return;
        }
        if (table.value_or(route->rtm_table) != RT_TABLE_MAIN || static_cast<int>(out) != index ||
            !gateway) {
            return;
        }
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
    // One lookup instead of a dump of every link: the search reads the values
    // of each chosen adapter again whenever the kernel reports a change.
    const int index = static_cast<int>(::if_nametoindex(std::string(name).c_str()));
    if (index == 0) return std::nullopt;

    AdapterValues values;
    values.addresses = Addresses(index);
    if (values.addresses.empty()) return values;
    values.gateway = DefaultGateway(index);
    for (const std::string& server : NameServers(paths_, index)) {
        std::uint32_t address = 0;
        // An IPv6 server is of no use to an IPv4 camera.
        if (ParseAddress(server, address)) values.name_servers.push_back(address);
    }
    return values;
}

}  // namespace quorvex
