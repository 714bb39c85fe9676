#pragma once

// Where the host's adapter chain and each adapter's IP settings come from. The
// interface enumeration reads only through this seam, so the choice rule and
// the value reading run the same over the real kernel and over a fixed list.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// Interface type numbers as the adapter chain reports them.
inline constexpr std::uint32_t kAdapterTypeOther = 1;
inline constexpr std::uint32_t kAdapterTypeEthernet = 6;
inline constexpr std::uint32_t kAdapterTypePpp = 23;
inline constexpr std::uint32_t kAdapterTypeLoopback = 24;
inline constexpr std::uint32_t kAdapterTypeWireless = 71;
inline constexpr std::uint32_t kAdapterTypeTunnel = 131;

// One link of the adapter chain.
struct Adapter {
    std::string name;         // the key under which the adapter's values are read
    std::uint32_t type = 0;   // kAdapterType...
    std::string description;  // names the device's bus ("PCI", "Hyper-V", "USB") when it has one
};

// One IPv4 address of an adapter.
struct AdapterAddress {
    std::uint32_t address = 0;  // network byte order
    unsigned prefix_length = 0;
    bool dhcp = false;  // leased: the address has a finite lifetime
};

// The IPv4 values of one adapter, typed as the kernel gives them. A value the
// system does not have is simply absent.
struct AdapterValues {
    std::vector<AdapterAddress> addresses;    // every IPv4 address, in the system's order
    std::optional<std::uint32_t> gateway;     // the default route's, network byte order
    std::vector<std::uint32_t> name_servers;  // IPv4 servers in the resolver's order
};

class AdapterSource {
public:
    virtual ~AdapterSource() = default;
    // The adapter chain in host order; nullopt when it cannot be read.
    virtual std::optional<std::vector<Adapter>> ListAdapters() const = 0;
    // The values of adapter `name`; nullopt when it has none to read (as a
    // missing settings key).
    virtual std::optional<AdapterValues> ReadValues(std::string_view name) const = 0;
};

}  // namespace quorvex
