// What a change comes to: a match of several cameras at once on a PC at
// 10.77.0.1/24 (the addresses it hands out, what it says it skipped, how
// often it asks the link), and the result of a change once it was sent.

#include <gtest/gtest.h>

#include "search/change_confirmation.h"
#include "search/change_planner.h"

namespace quorvex {
namespace {

constexpr std::uint32_t Ip(std::uint8_t d) {
    return 10u | 77u << 8 | static_cast<std::uint32_t>(d) << 24;
}

DeviceUpdate Camera(std::uint8_t mac, const char* ip) {
    DeviceUpdate d;
    d.entry.protocol = kProtocolBinary;
    d.entry.interface_address = Ip(1);
    d.entry.info.mac[5] = mac;
    SetText(d.entry.info.ip, ip);
    SetText(d.entry.info.mask, "255.255.255.0");
    SetText(d.entry.info.password, "own-pw");
    d.entry.info.http_port = 80;
    return d;
}

TEST(ChangePlannerMatch, EachAddressGoesOnceAndTheLinkIsAskedOncePerRound) {
    LocalInterface eth1{};
    SetText(eth1.ip, "10.77.0.1");
    SetText(eth1.mask, "255.255.255.0");
    SetText(eth1.name, "eth1");
    ChangeRequest request;
    request.kind = ChangeKind::match;
    for (std::uint8_t i = 1; i <= 4; ++i) request.devices.push_back(Camera(i, "192.168.0.64"));
    std::vector<DeviceUpdate> table = request.devices;
    table.push_back(Camera(9, "10.77.0.12"));  // a camera already inside holds .12
    const SiteFacts facts{{eth1}, table, 10, 15};

    // The link answers for .11; every question is recorded.
    std::vector<std::vector<std::uint32_t>> questions;
    const LinkProbe probe = [&](const std::vector<std::uint32_t>& asked) {
        questions.push_back(asked);
        std::set<std::uint32_t> found;
        for (const std::uint32_t a : asked)
            if (a == Ip(11)) found.insert(a);
        return found;
    };
    const ChangePlan plan = PlanChange(request, facts, probe);
    std::vector<std::string> given;
    for (const CameraPlan& c : plan.cameras)
        given.push_back(c.settings ? std::string(GetText(c.settings->ip)) : "refused");
    EXPECT_EQ(given,
              (std::vector<std::string>{"10.77.0.10", "10.77.0.13", "10.77.0.14", "10.77.0.15"}));
    // Skipped are the link's and the table camera's addresses, never one the
    // plan itself gave to the camera before.
    std::vector<std::pair<std::uint32_t, AddressVerdict>> skipped;
    for (const SkippedAddress& s : plan.skipped) skipped.emplace_back(s.address, s.why);
    EXPECT_EQ(skipped, (std::vector<std::pair<std::uint32_t, AddressVerdict>>{
                           {Ip(11), AddressVerdict::answered_on_link},
                           {Ip(12), AddressVerdict::taken_by_camera}}));
    // All first choices at once, then only the addresses new in the second
    // round: not one question per camera.
    EXPECT_EQ(questions, (std::vector<std::vector<std::uint32_t>>{{Ip(10), Ip(11), Ip(13), Ip(14)},
                                                                  {Ip(15)}}));

    // One camera more than the range holds stays where it is, and nothing it
    // was refused is counted as skipped a second time.
    request.devices.push_back(Camera(5, "192.168.0.65"));
    const ChangePlan full = PlanChange(request, facts, probe);
    EXPECT_EQ(full.Planned(), 4u);
    EXPECT_EQ(full.cameras[4].refusal.problem, PlanProblem::no_free_address);
    EXPECT_EQ(full.skipped.size(), 2u);
}

TEST(ChangeResultRule, AnotherMacAtTheSentAddressIsNamedNotCalledGone) {
    NetSettings sent{};
    SetText(sent.ip, "10.77.0.40");
    SetText(sent.mask, "255.255.255.0");
    sent.http_port = 80;
    DeviceInfo other{};
    other.mac[5] = 0x77;
    SetText(other.ip, "10.77.0.40");
    SetText(other.mask, "255.255.255.0");
    other.http_port = 80;
    EXPECT_EQ(JudgeChange(sent, std::nullopt, other), ChangeResult::other_mac);
    // The camera's own answer decides whenever there is one.
    DeviceInfo own = other;
    own.mac[5] = 0x01;
    EXPECT_EQ(JudgeChange(sent, own, other), ChangeResult::confirmed);
    SetText(own.ip, "192.168.0.64");
    EXPECT_EQ(JudgeChange(sent, own, other), ChangeResult::answers_old);
    // Another MAC elsewhere, or a change that set no address, says nothing.
    SetText(other.ip, "10.77.0.41");
    EXPECT_EQ(JudgeChange(sent, std::nullopt, other), ChangeResult::gone);
    SetText(other.ip, "10.77.0.40");
    sent.dhcp = 1;
    EXPECT_EQ(JudgeChange(sent, std::nullopt, other), ChangeResult::gone);
}

}  // namespace
}  // namespace quorvex
