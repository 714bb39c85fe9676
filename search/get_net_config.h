#pragma once

// Decides on which adapters the device search runs and reads each chosen
// adapter's IPv4 settings into a `LocalInterface` record.
//
// Automatic rule, tested in this order with case-sensitive substring searches
// on the description: it contains "PCI"; it contains "Hyper-V"; the type is 71
// (wireless) and the description lacks "Microsoft". With an explicit list of
// names the chosen adapters are exactly the listed ones that exist, in the
// list's order, whatever their type.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_records.h"
#include "search/adapter_source.h"

namespace quorvex {

enum class AdapterChoice {
    kSkipped,    // the automatic rule does not choose it
    kPci,        // chosen: description contains "PCI"
    kHyperV,     // chosen: description contains "Hyper-V"
    kWireless,   // chosen: wireless and not "Microsoft"
    kListed,     // chosen: named in the explicit list
    kNotListed,  // an explicit list is in force and does not name it
};

// Short text for reports: "PCI", "Hyper-V", "wireless", "listed", ...
const char* AdapterChoiceText(AdapterChoice choice);

// One record of an adapter and whether its address is leased (DHCP).
struct AddressSettings {
    LocalInterface record{};
    bool dhcp = false;
};

// What the `interfaces` report shows for one adapter.
struct AdapterReport {
    Adapter adapter;
    AdapterChoice choice = AdapterChoice::kSkipped;
    bool chosen = false;
    bool dhcp = false;          // the first address is leased
    bool has_values = false;    // the adapter had values to read
    LocalInterface settings{};  // the first address, as ReadInterfaceSettings fills it
    // As GetLocalInterfaces fills them for this adapter: one per IPv4
    // address, or one without an address when it has none. Never empty.
    std::vector<AddressSettings> records;
    int list_position = -1;  // index in the explicit list, -1 if none
};

class GetNetConfig {
public:
    // `source` must outlive this object. An empty `interface_names` means the
    // automatic rule.
    explicit GetNetConfig(const AdapterSource& source,
                          std::vector<std::string> interface_names = {});
    virtual ~GetNetConfig() = default;

    // Records of the chosen adapters, adapter by adapter in search order: one
    // per IPv4 address of the adapter in the system's order, each with its own
    // mask and the adapter's gateway, name servers and name; an adapter without
    // an address (or without values) still gives one record, with its name and
    // no address. Fills as many of `interfaces` as there are records and
    // room for, and returns the number of records (so a result above
    // `interfaces.size()` means the set grew since counting, and an empty span
    // only counts). 0 when the chain cannot be read.
    int GetLocalInterfaces(std::span<LocalInterface> interfaces = {}) const;

    // Zeroes `record` and fills it from adapter `name`'s values, the first
    // address only, and its `name`. Returns whether that address is leased. A
    // missing value leaves its field empty; missing values altogether leave
    // the record empty but for its name.
    bool ReadInterfaceSettings(std::string_view name, LocalInterface& record) const;

    // The automatic rule alone.
    static AdapterChoice ChooseAutomatically(const Adapter& adapter);

    // Every adapter of the chain in host order, chosen or not, with its
    // settings; empty when the chain cannot be read.
    std::vector<AdapterReport> ReportAdapters() const;

private:
    // The chosen adapters in search order.
    std::vector<Adapter> Chosen(const std::vector<Adapter>& chain) const;

    const AdapterSource& source_;
    std::vector<std::string> interface_names_;
};

}  // namespace quorvex
