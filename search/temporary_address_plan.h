#pragma once

// One address the PC takes for the length of a change so that it can reach a
// standard camera that sits outside every subnet of its interfaces: an HTTP
// request needs a route, and a camera's factory address on a foreign site has
// none until the PC holds an address of the camera's subnet itself.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "search/address_plan.h"
#include "search/device_update.h"

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

// The address a standard camera's device service is reached at: the host of
// the URL tried first when it is an IPv4 address, else the answer's sender;
// none for a camera without either.
std::optional<std::uint32_t> ServiceHost(const DeviceUpdate& device);

// The address the PC takes to reach `camera` (network byte order): a host of
// the /24 around it, the highest first, that is not in `taken`, that `usable`
// accepts and that `probe` (when set) does not find answered on the link.
// None when every host is refused.
std::optional<std::uint32_t> FreeTemporaryAddress(std::uint32_t camera,
                                                  const std::set<std::uint32_t>& taken,
                                                  const std::function<bool(std::uint32_t)>& usable,
                                                  const LinkProbe& probe);

}  // namespace quorvex
