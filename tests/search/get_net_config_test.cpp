#include "search/get_net_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/search/fake_adapters.h"

namespace quorvex {
namespace {

using testing::FakeAdapters;
using testing::StaticValues;

std::vector<std::string> ChosenIps(const GetNetConfig& config) {
    std::vector<LocalInterface> records(config.GetLocalInterfaces(nullptr));
    config.GetLocalInterfaces(records.data(), static_cast<int>(records.size()));
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
    EXPECT_EQ(config.GetLocalInterfaces(records, 2), 4);
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
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(nullptr), 0);
    EXPECT_TRUE(GetNetConfig(adapters).ReportAdapters().empty());
}

TEST(GetNetConfigRead, StaticAndDhcpValuesFillTheirFieldsWithinTheirWidths) {
    AdapterValues dhcp;
    dhcp.numbers["EnableDHCP"] = 1;
    dhcp.texts = {{"DhcpIPAddress", "192.168.1.20"},
                  {"DhcpSubnetMask", "255.255.255.0"},
                  {"DhcpDefaultGateway", "192.168.1.1"},
                  {"DhcpNameServer", "192.168.1.1 8.8.8.8"},
                  {"IPAddress", "10.9.9.9"}};  // static value of a DHCP adapter: not read
    AdapterValues partial;                     // no EnableDHCP: static
    partial.texts = {{"SubnetMask", "255.255.0.0"}, {"NameServer", "10.1.1.1 10.1.1.2 10.1.1.3"}};
    FakeAdapters adapters;
    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI"}, dhcp)
        .Add({"eth1", kAdapterTypeEthernet, "PCI"},
             // A multi-string with its closing zeros.
             StaticValues(std::string("10.0.0.5\0"
                                      "10.0.0.6\0\0",
                                      19),
                          "255.0.0.0", "10.0.0.1 10.0.0.2", "10.0.0.53"))
        .Add({"eth2", kAdapterTypeEthernet, "PCI"})  // no values at all
        .Add({"eth3", kAdapterTypeEthernet, "PCI"}, partial)
        .Add({"eth4", kAdapterTypeEthernet, "PCI"},
             StaticValues("123.123.123.123.123.123.123.123"));  // 31 characters
    const GetNetConfig config(adapters);
    LocalInterface all[6];
    std::memset(all, 0x55, sizeof all);
    ASSERT_EQ(config.GetLocalInterfaces(all, 6), 6);  // eth1 has two addresses
    // The second address of eth1: its own mask (none given), the same
    // gateway, name servers and name.
    EXPECT_EQ(GetText(all[2].ip), "10.0.0.6");
    EXPECT_EQ(GetText(all[2].prefix), "10.0.0.");
    EXPECT_EQ(GetText(all[2].mask), "");
    EXPECT_EQ(GetText(all[2].gateway), "10.0.0.1");
    EXPECT_EQ(GetText(all[2].dns1), "10.0.0.53");
    EXPECT_EQ(GetText(all[2].name), "eth1");
    const LocalInterface r[5] = {all[0], all[1], all[3], all[4], all[5]};
    LocalInterface one{};
    EXPECT_TRUE(config.ReadInterfaceSettings("eth0", one));  // true for DHCP
    EXPECT_FALSE(config.ReadInterfaceSettings("eth1", one));
    EXPECT_EQ(GetText(one.ip), "10.0.0.5");  // one adapter, its first address

    EXPECT_EQ(GetText(r[0].ip), "192.168.1.20");
    EXPECT_EQ(GetText(r[0].prefix), "192.168.1.");
    EXPECT_EQ(GetText(r[0].mask), "255.255.255.0");
    EXPECT_EQ(GetText(r[0].gateway), "192.168.1.1");
    EXPECT_EQ(GetText(r[0].dns1), "192.168.1.1");
    EXPECT_EQ(GetText(r[0].dns2), "8.8.8.8");

    EXPECT_EQ(GetText(r[1].ip), "10.0.0.5");  // first of two strings
    EXPECT_EQ(GetText(r[1].mask), "255.0.0.0");
    EXPECT_EQ(GetText(r[1].gateway), "10.0.0.1");  // cut at the blank
    EXPECT_EQ(GetText(r[1].dns1), "10.0.0.53");
    EXPECT_EQ(GetText(r[1].dns2), "0.0.0.0");  // a single server

    LocalInterface empty{};
    SetText(empty.name, "eth2");
    EXPECT_EQ(std::memcmp(&r[2], &empty, sizeof empty), 0);  // counts, empty but for its name

    EXPECT_EQ(GetText(r[3].ip), "");
    EXPECT_EQ(GetText(r[3].prefix), "");
    EXPECT_EQ(GetText(r[3].mask), "255.255.0.0");
    EXPECT_EQ(GetText(r[3].dns2), "10.1.1.2");  // one server, not the rest of the list

    EXPECT_EQ(GetText(r[4].ip), "123.123.123.123.123.123");  // cut at 23 characters
    EXPECT_EQ(GetText(r[4].prefix), "123.123.123.123.123.");
    EXPECT_EQ(GetText(r[4].dns1), "");
}

// Typed addresses, as the Linux layer reads them, rule over the named values:
// one record per address in the given order, each with its own mask and
// lease, all with the adapter's gateway, servers and name.
TEST(GetNetConfigRead, EveryTypedAddressOfAnAdapterIsOneRecordWithItsOwnMask) {
    const auto address = [](const char* text, unsigned length, bool dhcp) {
        AdapterAddress typed;
        ParseAddress(text, typed.address);
        typed.prefix_length = length;
        typed.dhcp = dhcp;
        return typed;
    };
    AdapterValues two = StaticValues("10.96.0.1", "255.255.255.0", "10.96.0.254", "10.96.0.53");
    two.addresses = {address("10.96.0.1", 24, false), address("10.95.0.1", 29, true),
                     address("172.16.5.9", 12, false)};
    AdapterValues none = StaticValues("", "", "10.1.0.1");  // up, no address yet
    FakeAdapters adapters;
    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI"}, two)
        .Add({"eth1", kAdapterTypeEthernet, "PCI"}, none)
        .Add({"eth2", kAdapterTypeEthernet, "USB"}, two);  // not chosen: adds nothing
    const GetNetConfig config(adapters);
    ASSERT_EQ(config.GetLocalInterfaces(nullptr), 4);
    std::vector<LocalInterface> r(4);
    // A caller that sized for fewer gets no more than it has room for.
    EXPECT_EQ(config.GetLocalInterfaces(r.data(), 2), 4);
    EXPECT_EQ(GetText(r[1].ip), "10.95.0.1");
    EXPECT_EQ(GetText(r[2].ip), "");
    ASSERT_EQ(config.GetLocalInterfaces(r.data(), 4), 4);
    const std::vector<std::vector<std::string>> expected = {
        {"10.96.0.1", "10.96.0.", "255.255.255.0", "eth0"},
        {"10.95.0.1", "10.95.0.", "255.255.255.248", "eth0"},
        {"172.16.5.9", "172.16.5.", "255.240.0.0", "eth0"},
        {"", "", "", "eth1"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ((std::vector<std::string>{
                      std::string(GetText(r[i].ip)), std::string(GetText(r[i].prefix)),
                      std::string(GetText(r[i].mask)), std::string(GetText(r[i].name))}),
                  expected[i]);
    }
    EXPECT_EQ(GetText(r[2].gateway), "10.96.0.254");
    EXPECT_EQ(GetText(r[2].dns1), "10.96.0.53");
    EXPECT_EQ(GetText(r[3].gateway), "10.1.0.1");

    // The report lists every address with its own lease; its first-address
    // fields stay those of ReadInterfaceSettings.
    const auto reports = config.ReportAdapters();
    ASSERT_EQ(reports.size(), 3u);
    ASSERT_EQ(reports[0].records.size(), 3u);
    EXPECT_FALSE(reports[0].records[0].dhcp);
    EXPECT_TRUE(reports[0].records[1].dhcp);
    EXPECT_EQ(GetText(reports[0].records[2].record.mask), "255.240.0.0");
    EXPECT_EQ(GetText(reports[0].settings.ip), "10.96.0.1");
    ASSERT_EQ(reports[1].records.size(), 1u);
    EXPECT_EQ(GetText(reports[1].records[0].record.name), "eth1");
}

}  // namespace
}  // namespace quorvex
