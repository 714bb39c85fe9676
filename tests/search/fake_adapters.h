#pragma once

// A fixed adapter chain with fixed values: stands in for the host adapters a
// test machine does not have (PCI, Hyper-V, wireless cards).

#include <map>
#include <string>
#include <vector>

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

inline AdapterValues StaticValues(std::string ip, std::string mask = "", std::string gateway = "",
                                  std::string servers = "") {
    return {{{"EnableDHCP", 0}},
            {{"IPAddress", ip},
             {"SubnetMask", mask},
             {"DefaultGateway", gateway},
             {"NameServer", servers}},
            {}};
}

}  // namespace quorvex::testing
