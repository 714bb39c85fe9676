#include "search/temporary_address_plan.h"

#include "core/device_records.h"

namespace quorvex {

std::string TemporaryAddressText(const TemporaryAddressPlan& plan) {
    return AddressText(plan.address) + "/" + std::to_string(plan.prefix_length) + " on " +
           plan.interface_name;
}

}  // namespace quorvex
