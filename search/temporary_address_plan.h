#pragma once

// One address the PC takes for the length of a change so that it can reach a
// standard camera that sits outside every subnet of its interfaces: an HTTP
// request needs a route, and a camera's factory address on a foreign site has
// none until the PC holds an address of the camera's subnet itself.

#include <cstdint>
#include <string>

namespace quorvex {

struct TemporaryAddressPlan {
    // The interface that heard the camera(s) the address is for. The index
    // is 0 when the plan was made from the interfaces' records alone: the
    // Linux layer then looks the name up when it adds the address.
    unsigned interface_index = 0;
    std::string interface_name;
    std::uint32_t address = 0;  // network byte order
    int prefix_length = 24;
    bool operator==(const TemporaryAddressPlan&) const = default;
};

// "192.168.1.254/24 on eth0".
std::string TemporaryAddressText(const TemporaryAddressPlan& plan);

}  // namespace quorvex
