#include "search/credentials.h"

namespace quorvex {

void ApplyCredentials(NetSettings& settings, const Credentials& given, const DeviceInfo& info) {
    SetText(settings.user, given.user ? std::string_view(*given.user) : GetText(info.user));
    SetText(settings.password,
            given.password ? std::string_view(*given.password) : GetText(info.password));
}

}  // namespace quorvex
