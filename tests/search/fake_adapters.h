#pragma once

// A fixed adapter chain with fixed values: stands in for the host adapters a
// test machine does not have (PCI, Hyper-V, wireless cards).

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_records.h"
#include "core/ipv4_subnet.h"
#include "search/adapter_source.h"

namespace quorvex::testing {

class FakeAdapters : public AdapterSource {
public:
    FakeAdapters& Add(Adapter adapter, std::optional<AdapterValues> values = std::nullopt) {
        if (values) values_[adapter.name] = std::move(*values);
        chain_.push_back(std::move(adapter));
        return *this;
    }
    bool fail = false;  // makes the chain unreadable

    std::optional<std::vector<Adapter>> ListAdapters() const override {
        return fail ? std::nullopt : std::optional(chain_);
    }
    std::optional<AdapterValues> ReadValues(std::string_view name) const override {
        const auto found = values_.find(std::string(name));
        return found == values_.end() ? std::nullopt : std::optional(found->second);
    }

private:
    std::vector<Adapter> chain_;
    std::map<std::string, AdapterValues> values_;
};

// One address given as texts ("" for none), with the adapter's gateway and
// blank-separated name servers.
inline AdapterValues StaticValues(std::string_view ip, std::string_view mask = "255.255.255.0",
                                  std::string_view gateway = "", std::string_view servers = "",
                                  bool dhcp = false) {
    AdapterValues values;
    std::uint32_t address = 0;
    std::uint32_t mask_bits = 0;
    if (ParseAddress(ip, address) && ParseAddress(mask, mask_bits)) {
        values.addresses.push_back(
            {address, static_cast<unsigned>(MaskPrefixLength(mask_bits).value_or(0)), dhcp});
    }
    if (ParseAddress(gateway, address)) values.gateway = address;
    for (std::size_t at = 0; at < servers.size();) {
        const std::size_t blank = std::min(servers.find(' ', at), servers.size());
        if (ParseAddress(servers.substr(at, blank - at), address))
            values.name_servers.push_back(address);
        at = blank + 1;
    }
    return values;
}

}  // namespace quorvex::testing
