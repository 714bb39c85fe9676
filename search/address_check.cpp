#include "search/address_check.h"

#include "core/device_records.h"

namespace quorvex {

AddressVerdict CheckAddress(std::string_view address, std::string_view mask,
                            const AddressFacts& facts, std::string_view self_key) {
    std::uint32_t a = 0;
    std::uint32_t m = 0;
    if (!ParseAddress(address, a)) return AddressVerdict::not_an_address;
    if (!ParseAddress(mask, m)) return AddressVerdict::mask_not_contiguous;
    return CheckAddress(a, m, facts, self_key);
}

AddressVerdict CheckAddress(std::uint32_t address, std::uint32_t mask, const AddressFacts& facts,
                            std::string_view self_key) {
    if (!MaskPrefixLength(mask)) return AddressVerdict::mask_not_contiguous;
    if (IsSpecialAddress(address)) return AddressVerdict::special_address;
    const Ipv4Subnet own{address, mask};
    if (!own.IsHostAddress(address)) {
        return address == own.Network() ? AddressVerdict::network_address
                                        : AddressVerdict::broadcast_address;
    }
    bool inside = false;
    for (const Ipv4Subnet& subnet : facts.interface_subnets) {
        inside = inside || subnet.Contains(address);
    }
    if (!inside) return AddressVerdict::outside_subnet;
    if (facts.pc_addresses.count(address) != 0) return AddressVerdict::pc_address;
    if (facts.gateways.count(address) != 0) return AddressVerdict::gateway_address;
    const auto camera = facts.camera_addresses.find(address);
    if (camera != facts.camera_addresses.end()) {
        // A camera keeping its own address takes nobody's.
        if (camera->second == self_key) return AddressVerdict::free;
        return AddressVerdict::taken_by_camera;
    }
    if (facts.answered_on_link.count(address) != 0) return AddressVerdict::answered_on_link;
    return AddressVerdict::free;
}

bool IsOverridable(AddressVerdict verdict) {
    switch (verdict) {
        case AddressVerdict::outside_subnet:
        case AddressVerdict::pc_address:
        case AddressVerdict::gateway_address:
        case AddressVerdict::taken_by_camera:
        case AddressVerdict::answered_on_link:
            return true;
        default:
            return false;
    }
}

}  // namespace quorvex
