#pragma once

// A fixed adapter chain with fixed values: the host adapters a test machine
// does not have (PCI, Hyper-V, wireless cards) stand here instead of the
// kernel's.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "search/adapter_source.h"

namespace quorvex::testing {

class FakeAdapters : public AdapterSource {
public:
    // Appends an adapter; `values` stays unset for an adapter without any.
    FakeAdapters& Add(Adapter adapter, std::optional<AdapterValues> values = std::nullopt) {
        chain_.push_back(adapter);
        if (values) values_[adapter.name] = std::move(*values);
        return *this;
    }
    // Makes the chain unreadable.
    void Fail() { fail_ = true; }

    std::optional<std::vector<Adapter>> ListAdapters() const override {
        if (fail_) return std::nullopt;
        return chain_;
    }
    std::optional<AdapterValues> ReadValues(std::string_view name) const override {
        const auto found = values_.find(std::string(name));
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::vector<Adapter> chain_;
    std::map<std::string, AdapterValues> values_;
    bool fail_ = false;
};

// Static settings as the adapter layer names them.
inline AdapterValues StaticValues(std::string ip, std::string mask, std::string gateway,
                                  std::string servers) {
    AdapterValues values;
    values.numbers["EnableDHCP"] = 0;
    values.texts["IPAddress"] = std::move(ip);
    values.texts["SubnetMask"] = std::move(mask);
    values.texts["DefaultGateway"] = std::move(gateway);
    values.texts["NameServer"] = std::move(servers);
    return values;
}

}  // namespace quorvex::testing
