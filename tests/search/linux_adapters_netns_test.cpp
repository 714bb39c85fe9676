// The Linux adapter layer read from the real kernel inside a lab namespace:
// veths with static addresses, a default route, an address with a finite
// lifetime (as a DHCP client sets it). Hardware buses do not exist in a
// namespace, so the links get device trees in a sysfs copy.

#include <gtest/gtest.h>
#include <net/if.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/device_records.h"
#include "search/linux_adapters.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    ParseAddress(text, address);
    return address;
}

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

void Symlink(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target, at);
}

TEST(LinuxAdaptersNetns, ReadsValuesFieldByFieldAndNamesTheBusBehindEachLink) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string fixed = lab->AddSite("cam", "10.77.1.1/24", "10.77.1.2/24", "10.77.1.254");
    const std::string leased = lab->AddSite("dyn", "10.77.2.1/24", "10.77.2.2/24");
    const std::string two = lab->AddSite("hv", "10.77.3.1/16", "10.77.3.2/16");
    const std::string plain = lab->AddSite("pl", "10.77.5.1/24", "10.77.5.2/24");
    ASSERT_FALSE(fixed.empty() || leased.empty() || two.empty() || plain.empty())
        << lab->last_error();
    ASSERT_TRUE(lab->AddAddress(lab->pc_namespace(), two, "10.77.4.1/24")) << lab->last_error();
    ASSERT_EQ(lab->Run(lab->pc_namespace(), {"ip", "addr", "replace", "10.77.2.1/24", "dev", leased,
                                             "valid_lft", "300", "preferred_lft", "300"}),
              0);

    // A virtio device on PCI, a USB wireless stick behind a PCI host
    // controller, a VMBus device; "lo" shows another namespace's ifindex.
    const fs::path scratch = lab->scratch_dir();
    const fs::path devices = scratch / "sys" / "devices";
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
    paths.sysfs_net = (scratch / "sys" / "class" / "net").string();
    paths.resolv_conf = (scratch / "resolv.conf").string();
    paths.resolved_links = (scratch / "resolve").string();
    paths.networkd_links = (scratch / "networkd").string();
    WriteFile(paths.resolv_conf, "# generated\nnameserver 10.77.9.9\nnameserver ::1\n");

    std::optional<std::vector<Adapter>> chain;
    std::optional<AdapterValues> fixed_values, leased_values, two_values, missing;
    ASSERT_TRUE(lab->RunIn(lab->pc_namespace(), [&] {
        const auto entry = [&](const std::string& name, const fs::path& device, unsigned skew = 0) {
            const fs::path link = fs::path(paths.sysfs_net) / name;
            WriteFile(link / "ifindex", std::to_string(if_nametoindex(name.c_str()) + skew));
            Symlink(link / "device", device);
        };
        entry(fixed, pci / "virtio0");
        entry(leased, usb);
        WriteFile(fs::path(paths.sysfs_net) / leased / "uevent", "DEVTYPE=wlan\nINTERFACE=x\n");
        entry(two, vmbus);
        entry("lo", pci, 100);
        // resolved's per-link servers, with an IPv6 one, a port and a name to pass over.
        WriteFile(fs::path(paths.resolved_links) / std::to_string(if_nametoindex(fixed.c_str())),
                  "LLMNR=yes\nSERVERS=10.77.1.53 fe80::1%2 10.77.1.54:53#dns.example\n");
        const LinuxAdapters adapters(paths);
        chain = adapters.ListAdapters();
        fixed_values = adapters.ReadValues(fixed);
        leased_values = adapters.ReadValues(leased);
        two_values = adapters.ReadValues(two);
        missing = adapters.ReadValues("qvxnone0");
    }));

    // The chain in index order: lo, then the links in creation order.
    ASSERT_TRUE(chain);
    ASSERT_EQ(chain->size(), 5u);
    EXPECT_EQ((*chain)[0].type, kAdapterTypeLoopback);
    EXPECT_EQ((*chain)[0].description, "loopback");
    EXPECT_EQ((*chain)[1].name, fixed);
    EXPECT_EQ((*chain)[1].description, "PCI Ethernet adapter (virtio_net)");
    EXPECT_EQ((*chain)[1].type, kAdapterTypeEthernet);
    EXPECT_EQ((*chain)[2].description, "USB wireless adapter (mt7601u)");
    EXPECT_EQ((*chain)[2].type, kAdapterTypeWireless);
    EXPECT_EQ((*chain)[3].description, "Hyper-V Ethernet adapter (hv_netvsc)");
    EXPECT_EQ((*chain)[4].description, "virtual veth link");

    // Typed as the kernel gives them: the gateway of the link's own default
    // route, the link's name servers, every address with its lease.
    const auto text = [](std::uint32_t address) { return AddressText(address); };
    ASSERT_TRUE(fixed_values);
    ASSERT_EQ(fixed_values->addresses.size(), 1u);
    EXPECT_EQ(text(fixed_values->addresses[0].address), "10.77.1.1");
    EXPECT_EQ(fixed_values->addresses[0].prefix_length, 24u);
    EXPECT_FALSE(fixed_values->addresses[0].dhcp);
    EXPECT_EQ(text(fixed_values->gateway.value_or(0)), "10.77.1.254");
    EXPECT_EQ(fixed_values->name_servers,
              (std::vector<std::uint32_t>{Address("10.77.1.53"), Address("10.77.1.54")}));
    ASSERT_TRUE(leased_values);
    EXPECT_FALSE(leased_values->gateway);  // no route of its own
    EXPECT_EQ(leased_values->name_servers, (std::vector<std::uint32_t>{Address("10.77.9.9")}));
    ASSERT_TRUE(two_values);  // both addresses, in the kernel's order
    EXPECT_EQ(text(two_values->addresses.at(0).address), "10.77.3.1");
    EXPECT_EQ(two_values->addresses[0].prefix_length, 16u);
    ASSERT_EQ(two_values->addresses.size(), 2u);
    EXPECT_EQ(two_values->addresses[1].prefix_length, 24u);
    EXPECT_FALSE(two_values->addresses[1].dhcp);
    EXPECT_TRUE(leased_values->addresses.at(0).dhcp);
    EXPECT_FALSE(missing);
}

}  // namespace
}  // namespace quorvex
