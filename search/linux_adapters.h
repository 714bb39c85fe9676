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
// Values, from the link's first IPv4 address: "EnableDHCP" 1 when that address
// has a finite valid lifetime (a DHCP client's lease), else 0; then either the
// DHCP names ("DhcpIPAddress", "DhcpSubnetMask", "DhcpDefaultGateway",
// "DhcpNameServer") or the static ones ("IPAddress", "SubnetMask",
// "DefaultGateway", "NameServer"). The gateway is that of the link's default
// route in the main table (lowest metric); name servers are the link's own
// where systemd-resolved keeps them per link, else those of
// /etc/resolv.conf, IPv4 only, separated by blanks. A link without an IPv4
// address has no values at all besides being readable.
//
// Reads the namespace of the calling thread.

#include "search/adapter_source.h"

namespace quorvex {

class LinuxAdapters : public AdapterSource {
public:
    std::optional<std::vector<Adapter>> ListAdapters() const override;
    std::optional<AdapterValues> ReadValues(std::string_view name) const override;
};

}  // namespace quorvex
