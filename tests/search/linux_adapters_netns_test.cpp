// The Linux adapter layer read from the real kernel, inside a network
// namespace that the test builds: veths with static addresses, a default
// route and an address leased for a finite time.

#include <gtest/gtest.h>
#include <net/if.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "search/get_net_config.h"
#include "search/linux_adapters.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

namespace fs = std::filesystem;
using ::quorvex::testing::NetnsLab;

std::string Text(const AdapterValues& values, const std::string& name) {
    const auto found = values.texts.find(name);
    return found == values.texts.end() ? "<missing>" : found->second;
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// The PC namespace's links, all veths to sites of their own.
struct Links {
    std::string fixed;   // 10.77.1.1/24, default route through 10.77.1.254
    std::string leased;  // 10.77.2.1/24 with a finite lifetime, as a DHCP client sets it
    std::string two;     // 10.77.3.1/16, then 10.77.4.1/24
};

Links BuildLinks(NetnsLab& lab) {
    Links links;
    links.fixed = lab.AddSite("cam", "10.77.1.1/24", "10.77.1.2/24", "10.77.1.254");
    links.leased = lab.AddSite("dyn", "10.77.2.1/24", "10.77.2.2/24");
    links.two = lab.AddSite("hv", "10.77.3.1/16", "10.77.3.2/16");
    EXPECT_FALSE(links.fixed.empty() || links.leased.empty() || links.two.empty())
        << lab.last_error();
    EXPECT_TRUE(lab.AddAddress(lab.pc_namespace(), links.two, "10.77.4.1/24")) << lab.last_error();
    std::string err;
    EXPECT_EQ(lab.Run(lab.pc_namespace(),
                      {"ip", "addr", "replace", "10.77.2.1/24", "dev", links.leased, "valid_lft",
                       "300", "preferred_lft", "300"},
                      nullptr, &err),
              0)
        << err;
    return links;
}

TEST(LinuxAdaptersNetns, ReadsLinksAddressesRoutesAndNameServersFieldByField) {
    QUORVEX_LAB_OR_SKIP(lab);
    const Links links = BuildLinks(*lab);
    const std::string& veth = links.fixed;
    ASSERT_FALSE(veth.empty());

    // Name servers: per link for the veth (resolved's file, with an IPv6
    // server, a port and a server name to pass over), else the resolver file.
    const fs::path scratch = lab->scratch_dir();
    LinuxAdapters::Paths paths;
    paths.resolv_conf = (scratch / "resolv.conf").string();
    paths.resolved_links = (scratch / "resolve").string();
    paths.networkd_links = (scratch / "networkd").string();
    WriteFile(paths.resolv_conf, "# generated\nnameserver 10.77.9.9\nnameserver ::1\n");

    std::optional<std::vector<Adapter>> chain;
    std::optional<AdapterValues> veth_values, dynamic_values, static_values, missing;
    std::vector<LocalInterface> listed;
    int automatic = -1;
    ASSERT_TRUE(lab->RunIn(lab->pc_namespace(), [&] {
        WriteFile(fs::path(paths.resolved_links) / std::to_string(if_nametoindex(veth.c_str())),
                  "LLMNR=yes\nSERVERS=10.77.1.53 fe80::1%2 10.77.1.54:53#dns.example\n");
        const LinuxAdapters adapters(paths);
        chain = adapters.ListAdapters();
        veth_values = adapters.ReadValues(veth);
        dynamic_values = adapters.ReadValues(links.leased);
        static_values = adapters.ReadValues(links.two);
        missing = adapters.ReadValues("qvxnone0");

        automatic = GetNetConfig(adapters).GetLocalInterfaces(nullptr);
        const GetNetConfig explicit_list(adapters, {links.leased, "qvxnone0", veth});
        listed.resize(explicit_list.GetLocalInterfaces(nullptr));
        explicit_list.GetLocalInterfaces(listed.data(), static_cast<int>(listed.size()));
    }));

    // The chain in index order: lo first, then the links in creation order.
    ASSERT_TRUE(chain);
    ASSERT_EQ(chain->size(), 4u);
    EXPECT_EQ((*chain)[0].name, "lo");
    EXPECT_EQ((*chain)[0].type, kAdapterTypeLoopback);
    EXPECT_EQ((*chain)[1].name, veth);
    EXPECT_EQ((*chain)[1].type, kAdapterTypeEthernet);
    EXPECT_EQ((*chain)[1].description, "virtual veth link");
    EXPECT_EQ((*chain)[2].name, links.leased);
    EXPECT_EQ((*chain)[2].description, "virtual veth link");

    ASSERT_TRUE(veth_values);
    EXPECT_EQ(veth_values->numbers.at("EnableDHCP"), 0u);
    EXPECT_EQ(Text(*veth_values, "IPAddress"), "10.77.1.1");
    EXPECT_EQ(Text(*veth_values, "SubnetMask"), "255.255.255.0");
    EXPECT_EQ(Text(*veth_values, "DefaultGateway"), "10.77.1.254");
    EXPECT_EQ(Text(*veth_values, "NameServer"), "10.77.1.53 10.77.1.54");
    EXPECT_EQ(Text(*veth_values, "DhcpIPAddress"), "<missing>");

    ASSERT_TRUE(dynamic_values);
    EXPECT_EQ(dynamic_values->numbers.at("EnableDHCP"), 1u);
    EXPECT_EQ(Text(*dynamic_values, "DhcpIPAddress"), "10.77.2.1");
    EXPECT_EQ(Text(*dynamic_values, "DhcpSubnetMask"), "255.255.255.0");
    EXPECT_EQ(Text(*dynamic_values, "DhcpDefaultGateway"), "<missing>");  // no route of its own
    EXPECT_EQ(Text(*dynamic_values, "DhcpNameServer"), "10.77.9.9");
    EXPECT_EQ(Text(*dynamic_values, "IPAddress"), "<missing>");

    ASSERT_TRUE(static_values);  // the first of two addresses
    EXPECT_EQ(Text(*static_values, "IPAddress"), "10.77.3.1");
    EXPECT_EQ(Text(*static_values, "SubnetMask"), "255.255.0.0");
    EXPECT_FALSE(missing);

    // No veth is chosen automatically; the explicit list
    // takes the existing names in its order.
    EXPECT_EQ(automatic, 0);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(GetText(listed[0].ip), "10.77.2.1");
    EXPECT_EQ(GetText(listed[0].prefix), "10.77.2.");
    EXPECT_EQ(GetText(listed[0].mask), "255.255.255.0");
    EXPECT_EQ(GetText(listed[0].gateway), "");
    EXPECT_EQ(GetText(listed[0].dns1), "10.77.9.9");
    EXPECT_EQ(GetText(listed[0].dns2), "0.0.0.0");
    EXPECT_EQ(GetText(listed[1].ip), "10.77.1.1");
    EXPECT_EQ(GetText(listed[1].gateway), "10.77.1.254");
    EXPECT_EQ(GetText(listed[1].dns1), "10.77.1.53");
    EXPECT_EQ(GetText(listed[1].dns2), "10.77.1.54");
}

// Links a sysfs-like entry `at` to `target` (relative), as the kernel does.
void Symlink(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
}

// Hardware buses do not exist in a namespace, so the links get device trees
// of a sysfs copy: a virtio device on PCI, a USB wireless stick behind a PCI
// host controller, a VMBus device. Entries whose ifindex does not match the
// kernel's link are not believed.
TEST(LinuxAdaptersNetns, DescriptionsNameTheBusOfTheDeviceBehindEachLink) {
    QUORVEX_LAB_OR_SKIP(lab);
    const Links links = BuildLinks(*lab);
    const std::string& veth = links.fixed;
    ASSERT_FALSE(veth.empty());
    const fs::path sys = fs::path(lab->scratch_dir()) / "sys";
    const fs::path devices = sys / "devices";
    const fs::path pci = devices / "pci0000:00" / "0000:00:03.0";
    const fs::path usb = devices / "pci0000:00" / "0000:00:14.0" / "usb1" / "1-2" / "1-2:1.0";
    const fs::path vmbus = devices / "LNXSYSTM:00" / "VMBUS:00" / "f8615163-0000";
    for (const auto& [device, subsystem, driver] :
         std::vector<std::tuple<fs::path, std::string, std::string>>{
             {pci, "pci", "virtio-pci"},
             {pci / "virtio0", "virtio", "virtio_net"},
             {usb.parent_path().parent_path().parent_path(), "pci", "xhci_hcd"},
             {usb.parent_path(), "usb", "usb"},
             {usb, "usb", "mt7601u"},
             {vmbus, "vmbus", "hv_netvsc"}}) {
        fs::create_directories(device);
        Symlink(device / "subsystem", fs::path("/nonexistent/bus") / subsystem);
        Symlink(device / "driver", fs::path("/nonexistent/drivers") / driver);
    }

    LinuxAdapters::Paths paths;
    paths.sysfs_net = (sys / "class" / "net").string();
    std::optional<std::vector<Adapter>> chain;
    std::vector<AdapterReport> reports;
    ASSERT_TRUE(lab->RunIn(lab->pc_namespace(), [&] {
        const auto entry = [&](const std::string& name, const fs::path& device,
                               unsigned index_offset = 0) {
            const fs::path link = fs::path(paths.sysfs_net) / name;
            WriteFile(link / "ifindex",
                      std::to_string(if_nametoindex(name.c_str()) + index_offset));
            Symlink(link / "device", device);
        };
        entry(veth, pci / "virtio0");
        entry(links.leased, usb);
        WriteFile(fs::path(paths.sysfs_net) / links.leased / "uevent",
                  "DEVTYPE=wlan\nINTERFACE=x\n");
        entry(links.two, vmbus);
        entry("lo", pci, /*index_offset=*/100);  // another namespace's "lo"
        const LinuxAdapters adapters(paths);
        chain = adapters.ListAdapters();
        reports = GetNetConfig(adapters).ReportAdapters();
    }));

    ASSERT_TRUE(chain);
    ASSERT_EQ(chain->size(), 4u);
    EXPECT_EQ((*chain)[0].description, "loopback");
    EXPECT_EQ((*chain)[1].description, "PCI Ethernet adapter (virtio_net)");
    EXPECT_EQ((*chain)[1].type, kAdapterTypeEthernet);
    EXPECT_EQ((*chain)[2].description, "USB wireless adapter (mt7601u)");
    EXPECT_EQ((*chain)[2].type, kAdapterTypeWireless);
    EXPECT_EQ((*chain)[3].description, "Hyper-V Ethernet adapter (hv_netvsc)");

    ASSERT_EQ(reports.size(), 4u);
    EXPECT_FALSE(reports[0].chosen);
    EXPECT_EQ(reports[1].choice, AdapterChoice::kPci);
    EXPECT_EQ(reports[2].choice, AdapterChoice::kWireless);
    EXPECT_EQ(reports[3].choice, AdapterChoice::kHyperV);
    EXPECT_TRUE(reports[2].dhcp);
    EXPECT_EQ(GetText(reports[3].settings.prefix), "10.77.3.");
}

}  // namespace
}  // namespace quorvex
