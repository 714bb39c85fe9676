// The decisions behind re-addressing a standard camera, without a network.

#include "search/standard_change_steps.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace quorvex {
namespace {

using Codec = OnvifDeviceCodec;

std::uint32_t Ip(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

TEST(StandardServiceUrls, AnsweringHostFirstHttpBeforeHttpsLinkLocalAndIpv6Last) {
    const auto urls = OrderServiceUrls(
        "http://[fe80::1]/onvif/device_service  http://169.254.3.4/onvif/device_service "
        "https://10.0.0.5/onvif/device_service http://10.0.0.9:8080/d "
        "http://10.0.0.5:8080/onvif/device_service ftp://10.0.0.5/x http://user@10.0.0.5/",
        Ip("10.0.0.5"));
    // Link-local and IPv6 ones keep their announced order, after the rest.
    const std::vector<std::string> want = {
        "http://10.0.0.5:8080/onvif/device_service", "https://10.0.0.5/onvif/device_service",
        "http://10.0.0.9:8080/d", "http://[fe80::1]/onvif/device_service",
        "http://169.254.3.4/onvif/device_service"};
    EXPECT_EQ(urls, want);
    // Only https: it is used all the same.
    EXPECT_EQ(OrderServiceUrls("https://10.0.0.5/s", Ip("10.0.0.5")),
              std::vector<std::string>{"https://10.0.0.5/s"});
    EXPECT_TRUE(OrderServiceUrls("  \t", Ip("10.0.0.5")).empty());

    EXPECT_EQ(ServiceUrlAt("http://10.0.0.5:8080/onvif/device_service", Ip("10.0.0.60"), 0),
              "http://10.0.0.60:8080/onvif/device_service");
    EXPECT_EQ(ServiceUrlAt("https://10.0.0.5/x?y", Ip("10.0.0.60"), 8443),
              "https://10.0.0.60:8443/x?y");
    EXPECT_EQ(ServiceUrlAt("http://[fe80::1]:80/d", Ip("10.0.0.60"), 0), "http://10.0.0.60:80/d");
    EXPECT_EQ(ServiceUrlAt("gopher://10.0.0.5/", Ip("10.0.0.60"), 0), "");
}

TEST(StandardAuthentication, ChosenFromTheUnauthenticatedAnswerAndTheClockOffset) {
    Codec::ServiceCapabilities token_only;
    token_only.username_token = true;
    EXPECT_EQ(ChooseAuthentication(401, true, false, false, std::nullopt),
              StandardAuthMethod::kDigest);
    // 401 without a Digest challenge (Basic only): nothing this client sends.
    EXPECT_EQ(ChooseAuthentication(401, false, false, false, std::nullopt), std::nullopt);
    EXPECT_EQ(ChooseAuthentication(400, false, false, false, std::nullopt),
              StandardAuthMethod::kUsernameToken);
    EXPECT_EQ(ChooseAuthentication(500, false, true, false, std::nullopt),
              StandardAuthMethod::kUsernameToken);
    EXPECT_EQ(ChooseAuthentication(200, false, false, true, token_only),
              StandardAuthMethod::kUsernameToken);
    EXPECT_EQ(ChooseAuthentication(200, false, false, true, std::nullopt),
              StandardAuthMethod::kNone);
    EXPECT_EQ(ChooseAuthentication(500, false, false, false, std::nullopt), std::nullopt);

    // A camera three days ahead: the token's Created time is three days ahead too.
    const std::int64_t pc = 1'700'000'000;  // 2023-11-14T22:13:20Z
    const std::int64_t offset = ClockOffset(pc + 3 * 86400 + 7, pc);
    EXPECT_EQ(offset, 3 * 86400 + 7);
    EXPECT_EQ(CreatedOnCameraClock(pc, offset), "2023-11-17T22:13:27Z");
    EXPECT_EQ(CreatedOnCameraClock(pc, ClockOffset(pc - 3600, pc)), "2023-11-14T21:13:20Z");
}

StandardSnapshot Before() {
    StandardSnapshot s;
    s.interface_token = "eth0";
    s.address = Ip("10.0.0.5");
    s.prefix_length = 24;
    s.gateways = std::vector<std::uint32_t>{Ip("10.0.0.1")};
    s.dns = Codec::DnsSettings{};
    s.dns->search_domains = {"site.example"};
    s.dns->dns_manual = {Ip("10.0.0.2")};
    s.protocols = std::vector<Codec::NetworkProtocol>{{Codec::ProtocolName::kHttp, true, {80}}};
    s.http_port = 80;
    return s;
}

TEST(StandardChangePlan, DnsAndPortFirstMoveLastGatewayBeforeOrAfterByTheOldSubnet) {
    const StandardSnapshot before = Before();
    StandardWanted all;
    all.address = Ip("10.0.0.60");
    all.prefix_length = 24;
    all.gateway = Ip("10.0.0.254");
    all.dns = std::vector<std::uint32_t>{Ip("10.0.0.3")};
    all.http_port = 8080;
    StandardChangePlan plan = PlanStandardChange(before, all);
    EXPECT_EQ(plan.steps,
              (std::vector<StandardStep>{StandardStep::kSetDns, StandardStep::kSetHttpPort,
                                         StandardStep::kSetGateway, StandardStep::kSetInterface}));
    EXPECT_EQ(plan.dns.search_domains, before.dns->search_domains);  // sent back as read
    EXPECT_EQ(plan.interface.token, "eth0");
    EXPECT_EQ(plan.interface.address, Ip("10.0.0.60"));
    EXPECT_EQ(plan.interface.dhcp, false);

    // Moving to another subnet with its gateway: the gateway waits for the move.
    StandardWanted away;
    away.address = Ip("10.9.0.60");
    away.prefix_length = 16;
    away.gateway = Ip("10.9.0.1");
    plan = PlanStandardChange(before, away);
    EXPECT_EQ(plan.steps, (std::vector<StandardStep>{StandardStep::kSetInterface,
                                                     StandardStep::kSetGatewayAfterMove}));
    EXPECT_EQ(plan.gateway, Ip("10.9.0.1"));

    // Nothing for unchanged values, a 0 gateway is never sent, and a gateway
    // alone (no move) goes at once whatever its subnet.
    StandardWanted same;
    same.address = before.address;
    same.prefix_length = 24;
    same.gateway = Ip("10.0.0.1");
    same.dns = before.dns->dns_manual;
    same.http_port = 80;
    EXPECT_TRUE(PlanStandardChange(before, same).steps.empty());
    StandardWanted zero;
    zero.gateway = 0;
    EXPECT_TRUE(PlanStandardChange(before, zero).steps.empty());
    StandardWanted gateway_only;
    gateway_only.gateway = Ip("10.9.0.1");
    EXPECT_EQ(PlanStandardChange(before, gateway_only).steps,
              std::vector<StandardStep>{StandardStep::kSetGateway});

    // DHCP on: no address goes with it.
    StandardWanted dhcp;
    dhcp.dhcp = true;
    dhcp.address = Ip("10.0.0.70");
    dhcp.prefix_length = 24;
    plan = PlanStandardChange(before, dhcp);
    EXPECT_EQ(plan.steps, std::vector<StandardStep>{StandardStep::kSetInterface});
    EXPECT_FALSE(plan.interface.address);
    EXPECT_EQ(plan.interface.dhcp, true);

    // What cannot be sent is refused, not guessed.
    StandardWanted bad = away;
    bad.prefix_length = 33;
    EXPECT_EQ(PlanStandardChange(before, bad).refusal, PlanRefusal::kBadAddress);
    StandardSnapshot no_protocols = before;
    no_protocols.protocols.reset();
    EXPECT_EQ(PlanStandardChange(no_protocols, all).refusal, PlanRefusal::kNoHttpEntry);
    StandardSnapshot no_token = before;
    no_token.interface_token.clear();
    EXPECT_EQ(PlanStandardChange(no_token, away).refusal, PlanRefusal::kNoInterfaceToken);
    EXPECT_TRUE(PlanStandardChange(no_token, away).steps.empty());
}

TEST(StandardReadBackCheck, ConfirmedOnlyWhenEverythingSentReadsBack) {
    StandardWanted all;
    all.address = Ip("10.0.0.60");
    all.prefix_length = 24;
    all.gateway = Ip("10.0.0.254");
    all.dns = std::vector<std::uint32_t>{Ip("10.0.0.3")};
    all.http_port = 8080;
    const StandardChangePlan plan = PlanStandardChange(Before(), all);

    StandardReadBack read;
    Codec::NetworkInterface eth0;
    eth0.token = "eth0";
    eth0.manual = {{Ip("10.0.0.60"), 24}};
    read.interfaces = {eth0};
    read.gateways = std::vector<std::uint32_t>{Ip("10.0.0.254")};
    read.dns = Codec::DnsSettings{};
    read.dns->dns_manual = {Ip("10.0.0.3")};
    read.protocols =
        std::vector<Codec::NetworkProtocol>{{Codec::ProtocolName::kHttp, true, {8080}}};
    EXPECT_EQ(CompareReadBack(plan, read), ReadBackMismatch::kNone);

    StandardReadBack r = read;
    r.interfaces.front().manual = {{Ip("10.0.0.60"), 16}};
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kAddress);
    r = read;
    r.interfaces.front().token = "eth1";
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kNoInterface);
    r = read;
    r.interfaces.front().dhcp = true;
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kDhcp);
    r = read;
    r.gateways.reset();  // silently ignored or unreadable: not confirmed
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kGateway);
    r = read;
    r.dns->dns_manual = {Ip("10.0.0.2")};
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kDns);
    r = read;
    r.protocols->front().ports = {80};
    EXPECT_EQ(CompareReadBack(plan, r), ReadBackMismatch::kHttpPort);
    // What was not sent is not compared.
    StandardWanted address_only;
    address_only.address = Ip("10.0.0.60");
    address_only.prefix_length = 24;
    r = read;
    r.gateways.reset();
    r.dns.reset();
    r.protocols.reset();
    EXPECT_EQ(CompareReadBack(PlanStandardChange(Before(), address_only), r),
              ReadBackMismatch::kNone);
}

}  // namespace
}  // namespace quorvex
