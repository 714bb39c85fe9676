// The rules a change follows before anything is sent: which address a camera
// may get and why not, which cameras of a batch get which address, what may
// go on the wire, and when a change counts as confirmed.

#include "search/address_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/device_records.h"
#include "search/change_confirmation.h"
#include "search/wire_value.h"

namespace quorvex {
namespace {

std::uint32_t A(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

// A PC at 10.0.0.1/24 with gateway 10.0.0.254; camera "CAM-A" at 10.0.0.20.
AddressFacts Site() {
    AddressFacts facts;
    facts.interface_subnets.push_back(*Ipv4Subnet::FromTexts("10.0.0.1", "255.255.255.0"));
    facts.pc_addresses = {A("10.0.0.1")};
    facts.gateways = {A("10.0.0.254")};
    facts.camera_addresses = {{A("10.0.0.20"), "CAM-A"}};
    facts.answered_on_link = {A("10.0.0.30")};
    return facts;
}

TEST(AddressCheck, EveryReasonAnAddressIsRefused) {
    const AddressFacts facts = Site();
    const std::pair<const char*, AddressVerdict> cases[] = {
        {"10.0.0.40", AddressVerdict::free},
        {"10.0.0", AddressVerdict::not_an_address},
        {"", AddressVerdict::not_an_address},
        {"0.0.0.0", AddressVerdict::special_address},
        {"127.0.0.1", AddressVerdict::special_address},
        {"224.0.0.1", AddressVerdict::special_address},
        {"169.254.1.1", AddressVerdict::special_address},
        {"10.0.0.0", AddressVerdict::network_address},
        {"10.0.0.255", AddressVerdict::broadcast_address},
        {"10.0.1.5", AddressVerdict::outside_subnet},
        {"10.0.0.1", AddressVerdict::pc_address},
        {"10.0.0.254", AddressVerdict::gateway_address},
        {"10.0.0.20", AddressVerdict::taken_by_camera},
        {"10.0.0.30", AddressVerdict::answered_on_link},
    };
    for (const auto& [address, verdict] : cases)
        EXPECT_EQ(CheckAddress(address, "255.255.255.0", facts, "CAM-B"), verdict) << address;
    // The mask is checked too, and a camera keeps its own address freely.
    EXPECT_EQ(CheckAddress("10.0.0.40", "255.0.255.0", facts), AddressVerdict::mask_not_contiguous);
    EXPECT_EQ(CheckAddress("10.0.0.20", "255.255.255.0", facts, "CAM-A"), AddressVerdict::free);
    // With a narrower mask the same address may be a broadcast address.
    EXPECT_EQ(CheckAddress("10.0.0.63", "255.255.255.192", facts),
              AddressVerdict::broadcast_address);
    // Only what the link alone decides can be overridden.
    EXPECT_TRUE(IsOverridable(AddressVerdict::answered_on_link));
    EXPECT_FALSE(IsOverridable(AddressVerdict::broadcast_address));
}

TEST(AddressPlan, ConsecutiveAddressesSkipRefusedOnesAskingTheLinkAboutEachOnce) {
    AddressFacts facts = Site();
    const std::uint32_t mask = A("255.255.255.0");
    const auto check = [&](std::uint32_t address, std::size_t) {
        return CheckAddress(address, mask, facts);
    };
    const Ipv4Subnet subnet{A("10.0.0.0"), mask};
    // Five cameras from .18: .20 is a camera's, .21 and .23 answer on the link
    // (found by the probe only when asked), .30 answered before.
    int rounds = 0;
    const LinkProbe probe = [&](const std::vector<std::uint32_t>& asked) {
        ++rounds;
        std::set<std::uint32_t> found;
        for (const std::uint32_t a : asked)
            if (a == A("10.0.0.21") || a == A("10.0.0.23")) found.insert(a);
        return found;
    };
    const AddressPlan plan = PlanAddressesOnLink(ConsecutiveAddresses(A("10.0.0.18"), subnet, 300),
                                                 5, check, probe, facts.answered_on_link);
    std::vector<std::string> given;
    for (const PlannedMove& move : plan.moves) given.push_back(AddressText(move.address));
    EXPECT_EQ(given, (std::vector<std::string>{"10.0.0.18", "10.0.0.19", "10.0.0.22", "10.0.0.24",
                                               "10.0.0.25"}));
    ASSERT_EQ(plan.skipped.size(), 3u);
    EXPECT_EQ(plan.skipped[0].why, AddressVerdict::taken_by_camera);
    EXPECT_EQ(plan.skipped[1].why, AddressVerdict::answered_on_link);
    EXPECT_EQ(plan.unplaced, 0u);
    EXPECT_EQ(rounds, 2);
}

TEST(ChangeRules, WireValuesCredentialsAndConfirmation) {
    EXPECT_EQ(CheckWireValue("admin"), WireValueProblem::none);
    EXPECT_EQ(CheckWireValue("pass\rword"), WireValueProblem::line_break);
    EXPECT_EQ(CheckWireValue("pass\nword"), WireValueProblem::line_break);
    EXPECT_EQ(CheckWireValue("tab\there"), WireValueProblem::control);
    EXPECT_EQ(CheckWireValue("p\xC3\xA4ss"), WireValueProblem::not_ascii);
    EXPECT_EQ(CheckWireValue(std::string(31, 'p')), WireValueProblem::none);
    EXPECT_EQ(CheckWireValue(std::string(32, 'p')), WireValueProblem::too_long);

    NetSettings settings{};
    // Confirmed only when the device answers with what was sent.
    SetText(settings.ip, "10.0.0.40");
    SetText(settings.mask, "255.255.255.0");
    settings.http_port = 8080;
    DeviceInfo now{};
    SetText(now.ip, "10.0.0.40");
    SetText(now.mask, "255.255.255.0");
    now.http_port = 80;
    EXPECT_EQ(JudgeChange(settings, std::nullopt), ChangeResult::gone);
    EXPECT_EQ(JudgeChange(settings, now), ChangeResult::answers_old);
    now.http_port = 8080;
    EXPECT_EQ(JudgeChange(settings, now), ChangeResult::confirmed);
    SetText(now.ip, "192.168.0.64");
    EXPECT_EQ(JudgeChange(settings, now), ChangeResult::answers_old);
}

}  // namespace
}  // namespace quorvex
