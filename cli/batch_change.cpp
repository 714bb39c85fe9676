#include "cli/batch_change.h"

#include <chrono>
#include <thread>

namespace quorvex {

namespace {

// While confirming, a new search goes out at this period, so a device that
// needs a moment to apply its settings is heard again.
constexpr auto kConfirmSearchPeriod = std::chrono::milliseconds(1000);
// Commands leave within a pass or two; the HTTP-port command after its delay.
constexpr auto kLeaveDeadline = SearchBusiness::kHttpPortDelay + std::chrono::seconds(10);

}  // namespace

std::vector<ChangeResult> ApplyAndConfirm(DeviceSearch& search,
                                          const std::vector<PlannedChange>& changes,
                                          double seconds) {
    SearchBusiness& business = search.business();
    std::vector<SearchBusiness::ChangeTicket> tickets;
    for (const PlannedChange& change : changes)
        tickets.push_back(business.ApplySettings(change.entry, change.settings));
    const auto deadline = std::chrono::steady_clock::now() + kLeaveDeadline;
    const auto all_left = [&] {
        for (const auto& ticket : tickets)
            if (!business.ChangeLeft(ticket)) return false;
        return true;
    };
    while (!all_left() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    // Only answers to searches sent after the change count.
    business.ClearDevices();
    const auto judge = [&](const PlannedChange& change) {
        const auto now = search.Find(DeviceKey(change.entry.info));
        return JudgeChange(change.settings,
                           now ? std::optional<DeviceInfo>(now->info) : std::nullopt);
    };
    search.Watch(
        seconds, "confirming",
        [&] {
            for (const PlannedChange& change : changes)
                if (judge(change) != ChangeResult::confirmed) return false;
            return true;
        },
        kConfirmSearchPeriod);
    std::vector<ChangeResult> results;
    for (const PlannedChange& change : changes) results.push_back(judge(change));
    return results;
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
