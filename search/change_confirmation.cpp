#include "search/change_confirmation.h"

namespace quorvex {

bool ShowsSettings(const DeviceInfo& now, const NetSettings& sent) {
    if ((now.dhcp != 0) != (sent.dhcp != 0) || now.http_port != sent.http_port) return false;
    if (sent.dhcp != 0) return true;
    // A value left out of the command (empty) is the camera's to keep.
    const auto same = [](std::string_view wanted, std::string_view reported) {
        return wanted.empty() || wanted == reported;
    };
    return same(GetText(sent.ip), GetText(now.ip)) && same(GetText(sent.mask), GetText(now.mask)) &&
           same(GetText(sent.gateway), GetText(now.gateway)) &&
           same(GetText(sent.dns1), GetText(now.dns1)) &&
           same(GetText(sent.dns2), GetText(now.dns2));
}

ChangeResult JudgeChange(const NetSettings& sent, const std::optional<DeviceInfo>& now,
                         const std::optional<DeviceInfo>& other_mac) {
    if (now) return ShowsSettings(*now, sent) ? ChangeResult::confirmed : ChangeResult::answers_old;
    // Under DHCP, or with the address left out, there is no address of the
    // change to be answered at.
    const bool at_address = other_mac && sent.dhcp == 0 && !GetText(sent.ip).empty() &&
                            GetText(other_mac->ip) == GetText(sent.ip);
    return at_address ? ChangeResult::other_mac : ChangeResult::gone;
}

}  // namespace quorvex
