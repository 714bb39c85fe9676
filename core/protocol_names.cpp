#include "core/protocol_names.h"

#include <algorithm>

namespace quorvex {

namespace {

const ProtocolNaming* Find(std::int32_t id) {
    const auto it = std::find_if(kProtocolNames.begin(), kProtocolNames.end(),
                                 [id](const ProtocolNaming& n) { return n.id == id; });
    return it == kProtocolNames.end() ? nullptr : &*it;
}

}  // namespace

std::string_view ProtocolKey(std::int32_t id) {
    const ProtocolNaming* naming = Find(id);
    return naming ? naming->key : std::string_view{};
}

std::string_view ProtocolSpokenName(std::int32_t id) {
    const ProtocolNaming* naming = Find(id);
    return naming ? naming->spoken : std::string_view("other");
}

std::optional<std::int32_t> ProtocolFromKey(std::string_view key) {
    for (const ProtocolNaming& naming : kProtocolNames)
        if (naming.key == key) return naming.id;
    return std::nullopt;
}

}  // namespace quorvex
