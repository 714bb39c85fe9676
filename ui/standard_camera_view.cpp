#include "ui/standard_camera_view.h"

#include <string>

#include "core/ipv4_subnet.h"

namespace quorvex {

std::optional<StandardSnapshot> SnapshotOf(const StandardCameraBook& book,
                                           const DeviceUpdate& device) {
    if (!device.wsd || GetText(device.wsd->endpoint).empty()) return std::nullopt;
    return book.Find(GetText(device.wsd->endpoint));
}

DeviceInfo InfoWithSnapshot(const DeviceInfo& shown, const StandardSnapshot& read) {
    DeviceInfo info = shown;
    if (read.address != 0) {
        SetText(info.ip, AddressText(read.address));
        if (read.prefix_length >= 1 && read.prefix_length <= 32)
            SetText(info.mask, AddressText(PrefixMask(read.prefix_length)));
    }
    info.dhcp = read.dhcp ? 1 : 0;
    if (read.gateways)
        SetText(info.gateway,
                read.gateways->empty() ? std::string() : AddressText(read.gateways->front()));
    if (read.dns) {
        // The servers in force: those DHCP gave while the camera takes them
        // from it, else its own.
        const std::vector<std::uint32_t>& servers =
            read.dns->from_dhcp ? read.dns->dns_from_dhcp : read.dns->dns_manual;
        SetText(info.dns1, servers.empty() ? std::string() : AddressText(servers[0]));
        SetText(info.dns2, servers.size() < 2 ? std::string() : AddressText(servers[1]));
    }
    if (read.http_port != 0) info.http_port = read.http_port;
    return info;
}

}  // namespace quorvex
