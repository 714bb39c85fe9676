#include "cli/batch_change.h"

#include <chrono>

namespace quorvex {

std::vector<ChangeResult> ApplyAndConfirm(DeviceSearch& search,
                                          const std::vector<PlannedChange>& changes,
                                          double seconds) {
    const auto confirm_time = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(seconds));
    ChangeWatch watch(search.business(), changes, confirm_time);
    // The watch keeps its own time; this bound only outlasts it.
    const double bound =
        seconds + std::chrono::duration<double>(ChangeWatch::kLeaveDeadline).count() + 1;
    search.Watch(bound, "confirming", [&] { return watch.Poll(); });
    return watch.Results();
}

std::string VerdictText(AddressVerdict verdict) {
    switch (verdict) {
        case AddressVerdict::free:
            return "free";
        case AddressVerdict::not_an_address:
            return "not an IPv4 address";
        case AddressVerdict::mask_not_contiguous:
            return "the mask is not a subnet mask";
        case AddressVerdict::special_address:
            return "a special address (0.0.0.0, loopback, link-local, multicast or reserved)";
        case AddressVerdict::network_address:
            return "the network address of its subnet";
        case AddressVerdict::broadcast_address:
            return "the broadcast address of its subnet";
        case AddressVerdict::outside_subnet:
            return "outside the subnet of the interface";
        case AddressVerdict::pc_address:
            return "this PC's own address";
        case AddressVerdict::gateway_address:
            return "the gateway's address";
        case AddressVerdict::taken_by_camera:
            return "another camera's address";
        case AddressVerdict::answered_on_link:
            return "another host answers for it on the link";
    }
    return "refused";
}

std::string ResultText(ChangeResult result) {
    switch (result) {
        case ChangeResult::confirmed:
            return "confirmed";
        case ChangeResult::answers_old:
            return "answers with other values";
        case ChangeResult::gone:
            return "gone";
    }
    return "unknown";
}

std::string WireProblemText(WireValueProblem problem) {
    switch (problem) {
        case WireValueProblem::none:
            return "fine";
        case WireValueProblem::line_break:
            return "holds a line break";
        case WireValueProblem::control:
            return "holds a control character";
        case WireValueProblem::too_long:
            return "is longer than 31 bytes";
        case WireValueProblem::not_ascii:
            return "holds a character outside ASCII";
    }
    return "cannot be sent";
}

}  // namespace quorvex
