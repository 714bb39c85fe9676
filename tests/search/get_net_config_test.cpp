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
    const int count = config.GetLocalInterfaces(nullptr);
    std::vector<LocalInterface> records(count);
    EXPECT_EQ(config.GetLocalInterfaces(records.data(), count), count);
    std::vector<std::string> ips;
    for (const auto& record : records) ips.emplace_back(GetText(record.ip));
    return ips;
}

TEST(GetNetConfigChoice, PciHyperVAndNonMicrosoftWirelessAreChosenInChainOrder) {
    FakeAdapters adapters;
    adapters.Add({"lo", kAdapterTypeLoopback, "loopback"}, StaticValues("127.0.0.1", "", "", ""))
        .Add({"usb0", kAdapterTypeEthernet, "USB Ethernet adapter"},
             StaticValues("10.0.1.2", "", "", ""))
        .Add({"wlan1", kAdapterTypeWireless, "USB wireless adapter"},
             StaticValues("10.0.2.2", "", "", ""))
        .Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter (e1000e)"},
             StaticValues("10.0.3.2", "", "", ""))
        // Wireless and "Microsoft", but "PCI" is tested first.
        .Add({"wlan0", kAdapterTypeWireless, "Microsoft PCI wireless adapter"},
             StaticValues("10.0.4.2", "", "", ""))
        .Add({"wlan2", kAdapterTypeWireless, "Microsoft Wi-Fi Direct Virtual Adapter"},
             StaticValues("10.0.5.2", "", "", ""))
        .Add({"eth1", kAdapterTypeEthernet, "Hyper-V network adapter (hv_netvsc)"},
             StaticValues("10.0.6.2", "", "", ""))
        .Add({"veth0", kAdapterTypeEthernet, "virtual veth link"},
             StaticValues("10.0.7.2", "", "", ""))
        // Case-sensitive: "pci" in a driver name does not count.
        .Add({"eth2", kAdapterTypeEthernet, "platform Ethernet adapter (pcnet)"},
             StaticValues("10.0.8.2", "", "", ""));

    const GetNetConfig config(adapters);
    EXPECT_EQ(ChosenIps(config),
              (std::vector<std::string>{"10.0.2.2", "10.0.3.2", "10.0.4.2", "10.0.6.2"}));

    const auto reports = config.ReportAdapters();
    ASSERT_EQ(reports.size(), 9u);
    EXPECT_EQ(reports[0].choice, AdapterChoice::kSkipped);
    EXPECT_EQ(reports[2].choice, AdapterChoice::kWireless);
    EXPECT_EQ(reports[4].choice, AdapterChoice::kPci);
    EXPECT_EQ(reports[6].choice, AdapterChoice::kHyperV);
    EXPECT_FALSE(reports[5].chosen);
    EXPECT_EQ(GetText(reports[0].settings.ip), "127.0.0.1");  // read although not chosen
}

TEST(GetNetConfigChoice, NothingChosenOrUnreadableChainGivesNoInterface) {
    FakeAdapters adapters;
    adapters.Add({"lo", kAdapterTypeLoopback, "loopback"})
        .Add({"docker0", kAdapterTypeEthernet, "virtual bridge link"})
        .Add({"tun0", kAdapterTypeTunnel, "virtual tun link"});
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(nullptr), 0);

    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"});
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(nullptr), 1);
    adapters.Fail();
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(nullptr), 0);
    EXPECT_TRUE(GetNetConfig(adapters).ReportAdapters().empty());
}

TEST(GetNetConfigChoice, ExplicitListChoosesExistingNamesInListOrderWhateverTheirType) {
    FakeAdapters adapters;
    adapters
        .Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"},
             StaticValues("10.0.0.2", "", "", ""))
        .Add({"veth1", kAdapterTypeEthernet, "virtual veth link"},
             StaticValues("10.0.1.2", "", "", ""))
        .Add({"lo", kAdapterTypeLoopback, "loopback"}, StaticValues("127.0.0.1", "", "", ""));

    const GetNetConfig config(adapters, {"lo", "missing0", "veth1", "lo"});
    EXPECT_EQ(ChosenIps(config), (std::vector<std::string>{"127.0.0.1", "10.0.1.2"}));

    const auto reports = config.ReportAdapters();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].choice, AdapterChoice::kNotListed);  // PCI, but the list rules
    EXPECT_FALSE(reports[0].chosen);
    EXPECT_EQ(reports[1].choice, AdapterChoice::kListed);
    EXPECT_EQ(reports[1].list_position, 2);
    EXPECT_TRUE(reports[2].chosen);
}

TEST(GetNetConfigChoice, FillingStopsAtTheCallersCapacity) {
    FakeAdapters adapters;
    for (int i = 0; i < 3; ++i) {
        adapters.Add({"eth" + std::to_string(i), kAdapterTypeEthernet, "PCI"},
                     StaticValues("10.0." + std::to_string(i) + ".2", "", "", ""));
    }
    LocalInterface records[3] = {};
    records[2].ip[0] = 'x';
    EXPECT_EQ(GetNetConfig(adapters).GetLocalInterfaces(records, 2), 3);
    EXPECT_EQ(GetText(records[1].ip), "10.0.1.2");
    EXPECT_EQ(GetText(records[2].ip), "x");  // untouched past the capacity
}

TEST(GetNetConfigRead, StaticAndDhcpValuesFillTheirFields) {
    AdapterValues dhcp;
    dhcp.numbers["EnableDHCP"] = 1;
    dhcp.texts["DhcpIPAddress"] = "192.168.1.20";
    dhcp.texts["DhcpSubnetMask"] = "255.255.255.0";
    dhcp.texts["DhcpDefaultGateway"] = "192.168.1.1";
    dhcp.texts["DhcpNameServer"] = "192.168.1.1 8.8.8.8";
    // The static values of a DHCP adapter are not read.
    dhcp.texts["IPAddress"] = "10.9.9.9";
    dhcp.texts["NameServer"] = "10.9.9.1";

    FakeAdapters adapters;
    adapters.Add({"eth0", kAdapterTypeEthernet, "PCI"}, dhcp)
        .Add({"eth1", kAdapterTypeEthernet, "PCI"},
             StaticValues(std::string("10.0.0.5\0"
                                      "10.0.0.6",
                                      17),
                          "255.0.0.0", "10.0.0.1 10.0.0.2", "10.0.0.53"));
    const GetNetConfig config(adapters);

    LocalInterface record{};
    EXPECT_TRUE(config.ReadInterfaceSettings("eth0", record));
    EXPECT_EQ(GetText(record.ip), "192.168.1.20");
    EXPECT_EQ(GetText(record.prefix), "192.168.1.");
    EXPECT_EQ(GetText(record.mask), "255.255.255.0");
    EXPECT_EQ(GetText(record.gateway), "192.168.1.1");
    EXPECT_EQ(GetText(record.dns1), "192.168.1.1");
    EXPECT_EQ(GetText(record.dns2), "8.8.8.8");

    EXPECT_FALSE(config.ReadInterfaceSettings("eth1", record));
    EXPECT_EQ(GetText(record.ip), "10.0.0.5");  // first of two strings
    EXPECT_EQ(GetText(record.prefix), "10.0.0.");
    EXPECT_EQ(GetText(record.gateway), "10.0.0.1");  // cut at the blank
    EXPECT_EQ(GetText(record.dns1), "10.0.0.53");
    EXPECT_EQ(GetText(record.dns2), "0.0.0.0");  // a single server
}

TEST(GetNetConfigRead, MissingAndOverlongValuesStayWithinTheirFields) {
    AdapterValues partial;  // no EnableDHCP: static
    partial.texts["SubnetMask"] = "255.255.0.0";
    partial.texts["NameServer"] = "10.1.1.1 10.1.1.2 10.1.1.3";
    AdapterValues overlong;
    overlong.texts["IPAddress"] = "123.123.123.123.123.123.123.123";  // 31 characters
    overlong.texts["NameServer"] = "";

    FakeAdapters adapters;
    adapters
        .Add({"eth0", kAdapterTypeEthernet, "PCI"})  // no values at all
        .Add({"eth1", kAdapterTypeEthernet, "PCI"}, partial)
        .Add({"eth2", kAdapterTypeEthernet, "PCI"}, overlong);
    const GetNetConfig config(adapters);

    LocalInterface records[3];
    std::memset(records, 0x55, sizeof records);
    ASSERT_EQ(config.GetLocalInterfaces(records, 3), 3);
    const LocalInterface empty{};
    EXPECT_EQ(std::memcmp(&records[0], &empty, sizeof empty), 0);  // still counts, all empty

    EXPECT_EQ(GetText(records[1].ip), "");
    EXPECT_EQ(GetText(records[1].prefix), "");
    EXPECT_EQ(GetText(records[1].gateway), "");
    EXPECT_EQ(GetText(records[1].mask), "255.255.0.0");
    EXPECT_EQ(GetText(records[1].dns1), "10.1.1.1");
    EXPECT_EQ(GetText(records[1].dns2), "10.1.1.2");  // one server, not the rest of the list

    EXPECT_EQ(GetText(records[2].ip), "123.123.123.123.123.123");  // cut at 23 characters
    EXPECT_EQ(records[2].ip[23], '\0');
    EXPECT_EQ(GetText(records[2].prefix), "123.123.123.123.123.");
    EXPECT_EQ(GetText(records[2].dns1), "");
    EXPECT_EQ(GetText(records[2].dns2), "0.0.0.0");
}

}  // namespace
}  // namespace quorvex
