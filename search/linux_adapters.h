#pragma once

// The adapter chain and the per-adapter values read from the Linux kernel
// (rtnetlink for links, addresses and routes; sysfs for the device behind a
// link; the resolver's files for name servers).
//
// Chain: every link in interface-index order. Type: 24 loopback, 71 for a
// wireless link, 131 for tunnels, 23 for PPP, 6 for other Ethernet-framed
// links, 1 otherwise. Description: names the bus of the device behind the link
// ("PCI", also for a virtio device on PCI; "Hyper-V" for VMBus; "USB"), and for
// links without a device (veth, bridge, VLAN, tun/tap) the link kind only.
//
// Values: `addresses`, every IPv4 address of the link in the kernel's order,
// each leased (DHCP) when it has a finite valid lifetime. The named values
// follow the first address: "EnableDHCP" 1 when it is leased, else 0; then
// either the DHCP names ("DhcpIPAddress", "DhcpSubnetMask",
// "DhcpDefaultGateway", "DhcpNameServer") or the static ones ("IPAddress",
// "SubnetMask", "DefaultGateway", "NameServer"), the address and mask values
// holding every address and its mask as zero-separated strings in the same
// order. The gateway is that of the link's default
// route in the main table (lowest metric); name servers are the link's own
// where systemd keeps them per link, else those of the resolver configuration;
// IPv4 only, separated by blanks. A link without an IPv4 address, default
// route or name server lacks the matching values.
//
// Reads the network namespace of the calling thread. Sysfs shows the
// namespace it was mounted in, so a sysfs entry counts only when its ifindex
// matches the link's.

#include <string>

#include "search/adapter_source.h"

namespace quorvex {

class LinuxAdapters : public AdapterSource {
public:
    // Where the files live; tests point them at a scratch tree.
    struct Paths {
        std::string sysfs_net = "/sys/class/net";
        std::string resolv_conf = "/etc/resolv.conf";
        // Per-link files named by ifindex: systemd-resolved ("SERVERS=") and
        // systemd-networkd ("DNS=").
        std::string resolved_links = "/run/systemd/resolve/netif";
        std::string networkd_links = "/run/systemd/netif/links";
    };

    LinuxAdapters() = default;
    explicit LinuxAdapters(Paths paths) : paths_(std::move(paths)) {}

    std::optional<std::vector<Adapter>> ListAdapters() const override;
    // nullopt when no link has that name.
    std::optional<AdapterValues> ReadValues(std::string_view name) const override;

private:
    Paths paths_;
};

}  // namespace quorvex
