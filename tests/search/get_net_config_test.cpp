#include "search/get_net_config.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "tests/search/fake_adapters.h"

namespace quorvex {
namespace {

using testing::FakeAdapters;
using testing::StaticValues;

std::vector<std::string> ChosenIps(const GetNetConfig& config) {
    std::vector<LocalInterface> records(config.GetLocalInterfaces());
    config.GetLocalInterfaces(records);
    std::vector<std::string> ips;
    for (const auto& record : records) ips.emplace_back(GetText(record.ip));
    return ips;
}

TEST(GetNetConfigChoice, PciHyperVAndNonMicrosoftWirelessAreChosenInChainOrder) {
    FakeAdapters adapters;
    adapters.Add({"lo", kAdapterTypeLoopback, "loopback"}, StaticValues("127.0.0.1"))
        .Add({"usb0", kAdapterTypeEthernet, "USB Ethernet adapter"}, StaticValues("10.0.1.2"))
        .Add({"wlan1", kAdapterTypeWireless, "USB wireless adapter"}, StaticValues("10.0.2.2"))
        .Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet (e1000e)"}, StaticValues("10.0.3.2"))
        // Wireless and "Microsoft", but "PCI" is tested first.
        .Add({"wlan0", kAdapterTypeWireless, "Microsoft PCI wireless"}, StaticValues("10.0.4.2"))
        .Add({"wlan2", kAdapterTypeWireless, "Microsoft Wi-Fi Direct Virtual Adapter"},
             StaticValues("10.0.5.2"))
        .Add({"eth1", kAdapterTypeEthernet, "Hyper-V adapter (hv_netvsc)"},
             StaticValues("10.0.6.2"))
        .Add({"veth0", kAdapterTypeEthernet, "virtual veth link"}, StaticValues("10.0.7.2"))
        // Case-sensitive: "pci" in a driver name does not count.
        .Add({"eth2", kAdapterTypeEthernet, "platform adapter (pcnet)"}, StaticValues("10.0.8.2"));
    const GetNetConfig config(adapters);
    EXPECT_EQ(ChosenIps(config),
              (std::vector<std::string>{"10.0.2.2", "10.0.3.2", "10.0.4.2", "10.0.6.2"}));
    const auto reports = config.ReportAdapters();
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[2].choice, AdapterChoice::kWireless);
    EXPECT_EQ(reports[4].choice, AdapterChoice::kPci);
    EXPECT_EQ(reports[6].choice, AdapterChoice::kHyperV);
    EXPECT_EQ(GetText(reports[0].settings.ip), "127.0.0.1");  // read although not chosen

    // Filling stops at the caller's capacity; the count is still all of them.
    LocalInterface records[3] = {};
    records[2].ip[0] = 'x';
    EXPECT_EQ(config.GetLocalInterfaces(std::span(records).first(2)), 4);
    EXPECT_EQ(GetText(records[1].ip), "10.0.3.2");
    EXPECT_EQ(GetText(records[2].ip), "x");
}

TEST(GetNetConfigChoice, ExplicitListRulesAndAnUnreadableChainGivesNothing) {
    FakeAdapters adapters;
    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"}, StaticValues("10.0.0.2"))
        .Add({"veth1", kAdapterTypeEthernet, "virtual veth link"}, StaticValues("10.0.1.2"))
        .Add({"lo", kAdapterTypeLoopback, "loopback"}, StaticValues("127.0.0.1"));
    // Existing names in list order whatever their type; PCI not listed is not taken.
    const GetNetConfig config(adapters, {"lo", "missing0", "veth1", "lo"});
    EXPECT_EQ(ChosenIps(config), (std::vector<std::string>{"127.0.0.1", "10.0.1.2"}));
    EXPECT_EQ(config.ReportAdapters()[0].choice, AdapterChoice::kNotListed);
    EXPECT_EQ(config.ReportAdapters()[1].list_position, 2);

    adapters.fail = true;
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(), 0);
    EXPECT_TRUE(GetNetConfig(adapters).ReportAdapters().empty());
}

// One record per address in the system's order, each with its own mask and
// lease, all with the adapter's gateway, name servers and name; an adapter
// without an address still counts, with its name.
TEST(GetNetConfigRead, EveryAddressOfAnAdapterIsOneRecordWithItsOwnMask) {
    const auto address = [](const char* text, unsigned length, bool dhcp) {
        AdapterAddress typed;
        ParseAddress(text, typed.address);
        typed.prefix_length = length;
        typed.dhcp = dhcp;
        return typed;
    };
    AdapterValues two = StaticValues("", "", "10.96.0.254", "10.96.0.53 10.96.0.54 10.96.0.55");
    two.addresses = {address("10.96.0.1", 24, false), address("10.95.0.1", 29, true),
                     address("172.16.5.9", 12, false)};
    FakeAdapters adapters;
    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI"}, two)
        .Add({"eth1", kAdapterTypeEthernet, "PCI"},
             StaticValues("", "", "10.1.0.1"))       // no address yet
        .Add({"eth2", kAdapterTypeEthernet, "PCI"})  // no values at all
        .Add({"eth3", kAdapterTypeEthernet, "PCI"},
             StaticValues("192.168.1.20", "255.255.255.0", "", "192.168.1.1", true))
        .Add({"eth4", kAdapterTypeEthernet, "USB"}, two);  // not chosen: adds nothing
    const GetNetConfig config(adapters);
    std::vector<LocalInterface> r(6);
    ASSERT_EQ(config.GetLocalInterfaces(r), 6);
    const std::vector<std::vector<std::string>> expected = {
        {"10.96.0.1", "10.96.0.", "255.255.255.0", "10.96.0.254", "10.96.0.53", "10.96.0.54",
         "eth0"},
        {"10.95.0.1", "10.95.0.", "255.255.255.248", "10.96.0.254", "10.96.0.53", "10.96.0.54",
         "eth0"},
        {"172.16.5.9", "172.16.5.", "255.240.0.0", "10.96.0.254", "10.96.0.53", "10.96.0.54",
         "eth0"},
        {"", "", "", "10.1.0.1", "", "", "eth1"},
        {"", "", "", "", "", "", "eth2"},
        {"192.168.1.20", "192.168.1.", "255.255.255.0", "", "192.168.1.1", "0.0.0.0", "eth3"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::vector<std::string> got;
        for (auto field : {&LocalInterface::ip, &LocalInterface::prefix, &LocalInterface::mask,
                           &LocalInterface::gateway, &LocalInterface::dns1, &LocalInterface::dns2,
                           &LocalInterface::name})
            got.emplace_back(GetText(r[i].*field));
        EXPECT_EQ(got, expected[i]) << i;
    }
    LocalInterface one{};
    EXPECT_TRUE(config.ReadInterfaceSettings("eth3", one));  // the address is leased
    EXPECT_FALSE(config.ReadInterfaceSettings("eth0", one));
    EXPECT_EQ(GetText(one.ip), "10.96.0.1");  // the first address only

    // The report lists every address with its own lease; its first-address
    // fields stay those of ReadInterfaceSettings.
    const auto reports = config.ReportAdapters();
    ASSERT_EQ(reports.size(), 5u);
    ASSERT_EQ(reports[0].records.size(), 3u);
    EXPECT_FALSE(reports[0].records[0].dhcp);
    EXPECT_TRUE(reports[0].records[1].dhcp);
    EXPECT_EQ(GetText(reports[0].settings.ip), "10.96.0.1");
    EXPECT_FALSE(reports[2].has_values);
    EXPECT_TRUE(reports[3].dhcp);
}

}  // namespace
}  // namespace quorvex
