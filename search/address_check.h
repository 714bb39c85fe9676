#pragma once

// Whether an address may be given to a camera: the one rule that both
// front-ends ask before anything is sent, answered as a verdict with its
// reason. The front-ends only put the reason into words.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ipv4_subnet.h"

namespace quorvex {

enum class AddressVerdict {
    free,
    not_an_address,
    mask_not_contiguous,
    special_address,    // 0.0.0.0/8, loopback, link-local, multicast, reserved
    network_address,    // of the subnet the address and its mask make
    broadcast_address,  // of the same subnet
    outside_subnet,     // of every address of the interface that heard the camera
    pc_address,
    gateway_address,
    taken_by_camera,   // another camera of the table holds it
    answered_on_link,  // another host answered for it on the link
};

// What is known about the link where a camera is to get an address.
struct AddressFacts {
    // The subnets of the interface that heard the camera (one per address).
    std::vector<Ipv4Subnet> interface_subnets;
    // This PC's own addresses and gateways (network byte order).
    std::set<std::uint32_t> pc_addresses;
    std::set<std::uint32_t> gateways;
    // Addresses held by cameras of the table, with their device keys.
    std::map<std::uint32_t, std::string> camera_addresses;
    // Addresses another host answered for when asked on the link.
    std::set<std::uint32_t> answered_on_link;
};

// The verdict for giving `address` with `mask` (dotted texts) to the camera
// with device key `self_key`; its own current address is free for itself.
AddressVerdict CheckAddress(std::string_view address, std::string_view mask,
                            const AddressFacts& facts, std::string_view self_key = {});
// The same for an address and mask in network byte order.
AddressVerdict CheckAddress(std::uint32_t address, std::uint32_t mask, const AddressFacts& facts,
                            std::string_view self_key = {});

// True for the verdicts that the link alone decides, which `--force` and the
// like may override; the others are never sent.
bool IsOverridable(AddressVerdict verdict);

}  // namespace quorvex
