#include "search/linux_adapters.h"

namespace quorvex {

std::optional<std::vector<Adapter>> LinuxAdapters::ListAdapters() const {
    return std::nullopt;
}

std::optional<AdapterValues> LinuxAdapters::ReadValues(std::string_view) const {
    return std::nullopt;
}

}  // namespace quorvex
