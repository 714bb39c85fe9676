// The change planner on a made-up site: a PC on 10.77.0.1/24 (eth1, no
// gateway, one name server) and cameras of both own protocols heard there.

#include "search/change_planner.h"

#include <gtest/gtest.h>

#include "search/change_watch.h"

namespace quorvex {
namespace {

constexpr std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b) << 8 |
           static_cast<std::uint32_t>(c) << 16 | static_cast<std::uint32_t>(d) << 24;
}

DeviceUpdate Camera(std::uint8_t mac, std::int32_t protocol, const char* ip,
                    const char* gateway = "192.168.0.1", const char* dns2 = "0.0.0.0") {
    DeviceUpdate d;
    d.entry.protocol = protocol;
    d.entry.interface_address = Ip(10, 77, 0, 1);
    DeviceInfo& i = d.entry.info;
    i.mac[5] = mac;
    SetText(i.ip, ip);
    SetText(i.mask, "255.255.255.0");
    SetText(i.gateway, gateway);
    SetText(i.dns1, "192.168.0.2");
    SetText(i.dns2, dns2);
    SetText(i.user, "admin");
    SetText(i.password, protocol == kProtocolBinary ? "own-pw" : "");
    i.http_port = 80;
    return d;
}

struct Site {
    SiteFacts facts;
    ChangeRequest request;
    Site(std::vector<DeviceUpdate> cameras, ChangeKind kind) {
        LocalInterface eth1{};
        SetText(eth1.ip, "10.77.0.1");
        SetText(eth1.mask, "255.255.255.0");
        SetText(eth1.dns1, "10.77.0.53");
        SetText(eth1.dns2, "0.0.0.0");  // one name server only
        SetText(eth1.name, "eth1");
        facts = {{eth1}, cameras, 10, 20};
        request.kind = kind;
        request.devices = std::move(cameras);
        request.credentials.password = "pw";
    }
    ChangePlan Plan(const LinkProbe& probe = {}) const { return PlanChange(request, facts, probe); }
};

std::string Sent(const CameraPlan& c, char (NetSettings::*field)[32]) {
    return c.settings ? std::string(GetText((*c.settings).*field)) : "refused";
}

TEST(ChangePlanner, AddressesAreCheckedShownAndSentInCanonicalForm) {
    EXPECT_EQ(CanonicalAddress("010.077.000.005"), "10.77.0.5");
    EXPECT_EQ(CanonicalAddress("10.77.0"), std::nullopt);
    Site site({Camera(1, kProtocolText, "10.77.0.40", "10.77.0.254")}, ChangeKind::settings);
    site.request.ip = "010.077.000.005";
    site.request.gateway = "010.077.000.254";
    ChangePlan plan = site.Plan();
    ASSERT_TRUE(plan.cameras[0].settings);
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::ip), "10.77.0.5");
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::gateway), "10.77.0.254");
    EXPECT_EQ(plan.cameras[0].changes,
              (std::vector<ValueChange>{{PlanField::ip, "10.77.0.40", "10.77.0.5"}}));
    // The check reads the number: zero padding does not hide the PC's address.
    site.request.ip = "010.077.000.001";
    plan = site.Plan();
    EXPECT_EQ(plan.cameras[0].refusal,
              (PlanIssue{PlanProblem::bad_address, PlanField::ip, AddressVerdict::pc_address}));
}

TEST(ChangePlanner, NoValueIsMadeUpForEitherProtocol) {
    // A match into a subnet whose interface has no gateway and one name server.
    Site site(
        {Camera(1, kProtocolText, "192.168.0.64"), Camera(2, kProtocolBinary, "192.168.0.65")},
        ChangeKind::match);
    ChangePlan plan = site.Plan();
    const CameraPlan& text = plan.cameras[0];
    const CameraPlan& binary = plan.cameras[1];
    EXPECT_EQ(Sent(text, &NetSettings::ip), "10.77.0.10");
    EXPECT_EQ(Sent(binary, &NetSettings::ip), "10.77.0.11");
    // The text command leaves gateway and second name server out; the binary
    // record keeps the camera's own; the interface's one name server goes.
    EXPECT_EQ(Sent(text, &NetSettings::gateway) + "|" + Sent(text, &NetSettings::dns2), "|");
    EXPECT_EQ(Sent(binary, &NetSettings::gateway) + "|" + Sent(binary, &NetSettings::dns2),
              "192.168.0.1|0.0.0.0");
    EXPECT_EQ(Sent(text, &NetSettings::dns1) + Sent(binary, &NetSettings::dns1),
              "10.77.0.5310.77.0.53");
    EXPECT_EQ(text.changes.size(), 2u);  // ip and dns1; what is left out is no change
    // A camera's own gateway that fits its new subnet stays; a given 0.0.0.0
    // is refused.
    site.request.kind = ChangeKind::settings;
    site.request.devices = {Camera(3, kProtocolText, "10.77.0.30", "10.77.0.254", "10.77.0.54")};
    site.request.ip = "10.77.0.31";
    plan = site.Plan();
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::gateway) + "|" +
                  Sent(plan.cameras[0], &NetSettings::dns2),
              "10.77.0.254|10.77.0.54");
    site.request.dns2 = "0.0.0.0";
    EXPECT_EQ(site.Plan().cameras[0].refusal, (PlanIssue{PlanProblem::bad_address, PlanField::dns2,
                                                         AddressVerdict::special_address}));
    // The new address is the camera's own gateway: refused, also without a
    // default route on the PC.
    site.request.dns2.reset();
    site.request.ip = "10.77.0.254";
    EXPECT_EQ(site.Plan().cameras[0].refusal.problem, PlanProblem::gateway_is_address);
    site.request.ip = "10.77.0.31";
    site.request.gateway = "10.78.0.1";
    EXPECT_EQ(site.Plan().cameras[0].refusal.problem, PlanProblem::gateway_outside);
}

TEST(ChangePlanner, CredentialsAreCheckedByTheCamerasProtocol) {
    Site site(
        {Camera(1, kProtocolText, "192.168.0.64"), Camera(2, kProtocolBinary, "192.168.0.65")},
        ChangeKind::match);
    site.request.credentials.password.reset();
    ChangePlan plan = site.Plan();
    EXPECT_EQ(plan.cameras[0].refusal,
              (PlanIssue{PlanProblem::password_needed, PlanField::password}));
    EXPECT_EQ(Sent(plan.cameras[1], &NetSettings::password), "own-pw");
    // The refused camera takes no address: the binary one gets the first.
    EXPECT_EQ(Sent(plan.cameras[1], &NetSettings::ip), "10.77.0.10");
    site.request.credentials.password = "p\xC3\xA4ss";  // only the binary protocol carries it
    plan = site.Plan();
    EXPECT_EQ(plan.cameras[0].refusal,
              (PlanIssue{PlanProblem::bad_value, PlanField::password, AddressVerdict::free,
                         WireValueProblem::not_ascii}));
    EXPECT_EQ(Sent(plan.cameras[1], &NetSettings::password), "p\xC3\xA4ss");
    EXPECT_EQ(plan.Planned(), 1u);
    EXPECT_FALSE(plan.Clean());
}

// A camera only WS-Discovery heard, without MAC, announcing `xaddrs`.
DeviceUpdate StandardCamera(const char* endpoint, const char* ip, const char* xaddrs) {
    DeviceUpdate d = Camera(0, kProtocolWsDiscovery, ip);
    SetText(d.entry.info.mask, "");
    SetText(d.entry.info.user, "");
    auto wsd = std::make_shared<WsdInfo>();
    SetText(wsd->endpoint, endpoint);
    SetText(wsd->xaddrs, xaddrs);
    wsd->source_address = Ip(10, 77, 0, 40);
    d.wsd = wsd;
    return d;
}

TEST(ChangePlanner, AStandardCameraIsPlannedThroughItsDeviceServiceByTheSameRules) {
    const DeviceUpdate standard =
        StandardCamera("urn:uuid:one", "10.77.0.40", "https://10.77.0.40:443/onvif/device_service");
    const DeviceUpdate silent = StandardCamera("urn:uuid:two", "10.77.0.41", "rtsp://10.77.0.41/");
    Site site({standard, silent, Camera(1, kProtocolText, "10.77.0.30")}, ChangeKind::settings);
    site.request.named = true;
    site.request.ip = "10.77.0.30";  // the text camera's
    site.request.credentials.user = "admin";
    // Without a front-end that carries the change, as before: not configurable.
    ChangePlan plan = site.Plan();
    EXPECT_EQ(plan.cameras[0].refusal.problem, PlanProblem::not_configurable);
    site.request.standard_cameras = true;
    site.request.devices.pop_back();
    plan = site.Plan();
    EXPECT_TRUE(plan.cameras[0].standard);
    EXPECT_EQ(plan.cameras[0].refusal, (PlanIssue{PlanProblem::bad_address, PlanField::ip,
                                                  AddressVerdict::taken_by_camera}));
    EXPECT_EQ(plan.cameras[1].refusal.problem, PlanProblem::not_configurable);  // no http XAddr
    // A free address is planned, canonical, and handed to no datagram; no
    // mask told or typed: the camera keeps its prefix (checked with the
    // interface's mask above).
    site.request.ip = "010.077.000.050";
    plan = site.Plan();
    ASSERT_TRUE(plan.cameras[0].settings);
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::ip), "10.77.0.50");
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::mask), "");
    site.request.gateway = "10.77.0.254";  // inside a subnet not known
    EXPECT_EQ(site.Plan().cameras[0].refusal, (PlanIssue{PlanProblem::no_mask, PlanField::mask}));
    site.request.ip = "10.77.0.255";
    site.request.mask = "255.255.255.0";
    EXPECT_EQ(site.Plan().cameras[0].refusal.verdict, AddressVerdict::broadcast_address);
    site.request.ip = "10.77.0.50";
    EXPECT_TRUE(plan.ToSend().empty());
    ASSERT_EQ(plan.ToSendStandard().size(), 1u);
    EXPECT_EQ(PlanKey(plan.ToSendStandard()[0]->device).rfind("WSD-", 0), 0u);
    // It needs a typed user and password; its answer carries neither.
    site.request.credentials.user.reset();
    EXPECT_EQ(site.Plan().cameras[0].refusal,
              (PlanIssue{PlanProblem::password_needed, PlanField::user}));
    site.request.credentials = {"admin", std::nullopt};
    EXPECT_EQ(site.Plan().cameras[0].refusal,
              (PlanIssue{PlanProblem::password_needed, PlanField::password}));
    site.request.credentials.password = "pw";
    site.request.dry_run = true;
    EXPECT_TRUE(site.Plan().ToSendStandard().empty());
}

TEST(ChangePlanner, AStandardCameraOutsideEverySubnetIsReachedThroughATemporaryAddress) {
    const auto outside = [](const char* endpoint, const char* ip, std::uint32_t source) {
        DeviceUpdate d = StandardCamera(
            endpoint, ip, ("http://" + std::string(ip) + "/onvif/device_service").c_str());
        auto wsd = std::make_shared<WsdInfo>(*d.wsd);
        wsd->source_address = source;
        d.wsd = wsd;
        return d;
    };
    Site site({outside("urn:uuid:a", "192.168.1.64", Ip(192, 168, 1, 64)),
               outside("urn:uuid:b", "192.168.1.65", Ip(192, 168, 1, 65)),
               Camera(1, kProtocolBinary, "192.168.1.66"),
               outside("urn:uuid:c", "172.16.5.9", Ip(172, 16, 5, 9)),
               outside("urn:uuid:d", "10.77.0.40", Ip(10, 77, 0, 40))},
              ChangeKind::match);
    site.request.standard_cameras = true;
    site.request.credentials.user = "admin";
    site.facts.devices.push_back(Camera(2, kProtocolText, "192.168.1.252"));
    // Without it nothing goes to them, a datagram camera of the same subnet
    // moves all the same, and one inside needs none.
    ChangePlan plan = site.Plan();
    for (const std::size_t i : {0u, 1u, 3u})
        EXPECT_EQ(plan.cameras[i].refusal.problem, PlanProblem::needs_temporary_address);
    EXPECT_TRUE(plan.cameras[2].settings && !plan.cameras[2].temporary);
    EXPECT_EQ(plan.cameras[4].refusal.problem, PlanProblem::already_inside);
    EXPECT_TRUE(plan.ToSendStandard().empty());
    EXPECT_TRUE(plan.TemporaryAddresses().empty());

    // With it: the top of the /24, past what answers on the link and what a
    // camera holds; one address per subnet and interface.
    site.request.temporary_address = true;
    std::vector<std::uint32_t> asked;
    const LinkProbe probe = [&asked](const std::vector<std::uint32_t>& addresses) {
        asked.insert(asked.end(), addresses.begin(), addresses.end());
        return std::set<std::uint32_t>{Ip(192, 168, 1, 254), Ip(192, 168, 1, 253)};
    };
    plan = site.Plan(probe);
    const TemporaryAddressPlan shared{0, "eth1", Ip(192, 168, 1, 251), 24};
    EXPECT_EQ(plan.cameras[0].temporary, shared);
    EXPECT_EQ(plan.cameras[1].temporary, shared);
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::ip), "10.77.0.10");
    EXPECT_EQ(Sent(plan.cameras[1], &NetSettings::ip), "10.77.0.11");
    EXPECT_FALSE(plan.cameras[2].temporary);
    EXPECT_EQ(plan.TemporaryAddresses(),
              (std::vector<TemporaryAddressPlan>{shared, {0, "eth1", Ip(172, 16, 5, 254), 24}}));
    EXPECT_EQ(TemporaryAddressText(shared), "192.168.1.251/24 on eth1");
    EXPECT_EQ(std::count(asked.begin(), asked.end(), Ip(192, 168, 1, 252)), 0);  // a camera's
    EXPECT_EQ(std::count(asked.begin(), asked.end(), Ip(192, 168, 1, 64)), 0);
    // Every candidate answering: none to take, the camera is refused.
    plan = site.Plan([](const std::vector<std::uint32_t>& all) {
        return std::set<std::uint32_t>(all.begin(), all.end());
    });
    EXPECT_EQ(plan.cameras[0].refusal.problem, PlanProblem::no_free_address);
    EXPECT_TRUE(plan.TemporaryAddresses().empty());
    // A dry run names the address and adds none.
    site.request.dry_run = true;
    plan = site.Plan(probe);
    EXPECT_EQ(plan.cameras[0].temporary, shared);
    EXPECT_TRUE(plan.TemporaryAddresses().empty());
}

TEST(ChangePlanner, ACameraInConflictMovesOnlyWhenNamed) {
    DeviceUpdate posed = Camera(1, kProtocolBinary, "192.168.0.64");
    posed.mac_conflict = true;
    Site site({posed, Camera(2, kProtocolBinary, "192.168.0.65"),
               Camera(3, kProtocolBinary, "10.77.0.12")},
              ChangeKind::match);
    ChangePlan plan = site.Plan();
    EXPECT_EQ(plan.cameras[0].refusal.problem, PlanProblem::in_conflict);
    EXPECT_EQ(plan.cameras[2].refusal.problem, PlanProblem::already_inside);
    EXPECT_EQ(plan.ToSend().size(), 1u);
    site.request.named = true;
    site.request.devices = {posed};
    plan = site.Plan();
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::ip), "10.77.0.10");
    EXPECT_EQ(plan.cameras[0].warnings, (std::vector<PlanIssue>{{PlanProblem::named_in_conflict}}));
}

TEST(ChangePlanner, BatchNeverGivesAnAddressTwiceAndSkipsTakenOnes) {
    std::vector<DeviceUpdate> cameras;
    for (std::uint8_t i = 1; i <= 4; ++i)
        cameras.push_back(Camera(i, kProtocolBinary, "192.168.0.64", "10.77.0.251"));
    cameras.push_back(Camera(9, kProtocolBinary, "10.77.0.250"));  // holds .250
    Site site(cameras, ChangeKind::batch);
    site.request.devices.pop_back();
    site.request.ip = "10.77.0.248";
    // The link answers for .249; .250 is a camera's, .251 the cameras' gateway.
    const LinkProbe probe = [](const std::vector<std::uint32_t>& asked) {
        std::set<std::uint32_t> found;
        for (const std::uint32_t a : asked)
            if (a == Ip(10, 77, 0, 249)) found.insert(a);
        return found;
    };
    const ChangePlan plan = site.Plan(probe);
    std::vector<std::string> given;
    for (const CameraPlan& c : plan.cameras) given.push_back(Sent(c, &NetSettings::ip));
    EXPECT_EQ(given, (std::vector<std::string>{"10.77.0.248", "10.77.0.252", "10.77.0.253",
                                               "10.77.0.254"}));
    std::vector<AddressVerdict> why;
    for (const SkippedAddress& s : plan.skipped) why.push_back(s.why);
    EXPECT_EQ(why, (std::vector<AddressVerdict>{AddressVerdict::answered_on_link,
                                                AddressVerdict::taken_by_camera,
                                                AddressVerdict::gateway_address}));
    // One camera more than the subnet holds (its end is the broadcast
    // address): that one stays where it is.
    site.request.ip = "10.77.0.252";
    const ChangePlan short_plan = site.Plan(probe);
    EXPECT_EQ(short_plan.Planned(), 3u);
    EXPECT_EQ(short_plan.cameras[3].refusal.problem, PlanProblem::no_free_address);
    EXPECT_EQ(short_plan.skipped.back().why, AddressVerdict::broadcast_address);
    // A start no camera of its subnet could hold is refused, not skipped past.
    for (const auto& [start, verdict] : {std::pair{"10.78.0.5", AddressVerdict::outside_subnet},
                                         {"10.77.0.0", AddressVerdict::network_address}}) {
        site.request.ip = start;
        EXPECT_EQ(site.Plan().cameras[0].refusal,
                  (PlanIssue{PlanProblem::bad_address, PlanField::ip, verdict}))
            << start;
    }
}

TEST(ChangePlanner, AKeptAddressAndDhcpTakeNobodysAddressAndMatchesWalkOn) {
    // A camera keeping its address outside the subnet may still change its
    // port; moving to another outside address is refused.
    Site site({Camera(1, kProtocolText, "192.168.0.64")}, ChangeKind::settings);
    site.request.ip = "192.168.0.64";
    site.request.http_port = 81;
    ChangePlan plan = site.Plan([](const std::vector<std::uint32_t>& asked) {
        return std::set<std::uint32_t>(asked.begin(), asked.end());
    });
    ASSERT_TRUE(plan.Clean());
    EXPECT_EQ(plan.cameras[0].changes,
              (std::vector<ValueChange>{{PlanField::http_port, "80", "81"}}));
    site.request.ip = "192.168.0.65";
    EXPECT_EQ(site.Plan().cameras[0].refusal.verdict, AddressVerdict::outside_subnet);

    // DHCP for a batch: no start needed, every camera DHCP on with its own
    // address and mask, nothing made up.
    site.request = Site({Camera(1, kProtocolText, "10.77.0.40", "10.77.0.254"),
                         Camera(2, kProtocolText, "192.168.0.65")},
                        ChangeKind::batch)
                       .request;
    site.request.dhcp = true;
    plan = site.Plan();
    ASSERT_EQ(plan.Planned(), 2u);
    for (const CameraPlan& camera : plan.cameras) {
        EXPECT_EQ(camera.settings->dhcp, 1);
        EXPECT_EQ(Sent(camera, &NetSettings::ip), GetText(camera.device.entry.info.ip));
        EXPECT_EQ(Sent(camera, &NetSettings::mask), "255.255.255.0");
        EXPECT_EQ(Sent(camera, &NetSettings::dns2), "");  // its 0.0.0.0 is no server
    }
    EXPECT_EQ(Sent(plan.cameras[0], &NetSettings::gateway), "10.77.0.254");

    // A match walks on from the next host number and round from the first.
    site = Site({Camera(1, kProtocolBinary, "192.168.0.64")}, ChangeKind::match);
    site.facts.match_next = 19;
    EXPECT_EQ(Sent(site.Plan().cameras[0], &NetSettings::ip), "10.77.0.19");
    site.facts.devices.push_back(Camera(2, kProtocolBinary, "10.77.0.19"));
    site.facts.devices.push_back(Camera(3, kProtocolBinary, "10.77.0.20"));
    EXPECT_EQ(Sent(site.Plan().cameras[0], &NetSettings::ip), "10.77.0.10");
}

TEST(ChangePlanner, ADryRunGivesNothingToSend) {
    Site site({Camera(1, kProtocolBinary, "192.168.0.64")}, ChangeKind::match);
    site.request.dry_run = true;
    const ChangePlan plan = site.Plan();
    EXPECT_EQ(plan.Planned(), 1u);
    EXPECT_TRUE(plan.ToSend().empty());
    SearchBusiness business{SearchBusiness::ProtocolMap{}};
    ChangeWatch watch(business, plan, std::chrono::seconds(1));
    EXPECT_TRUE(watch.Done());
    EXPECT_TRUE(watch.Changes().empty());
}

}  // namespace
}  // namespace quorvex
