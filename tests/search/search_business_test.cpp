// The manager's own logic through its worker, with transports that open no
// sockets: nothing here sends a datagram.

#include "search/search_business.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/search/fake_adapters.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using testing::FakeAdapters;
using testing::StaticValues;
using testing::WaitUntil;

// Records what the manager asks of it; delivers entries the way a parser does.
class RecordingTransport : public IDeviceSearch {
public:
    void SetCallback(DeviceCallback callback, void* context, std::int32_t extra) override {
        callback_ = callback, context_ = context, extra_ = extra;
    }
    void OpenSockets(const LocalInterface*, std::int32_t count) override { opened += count; }
    void CloseSockets() override {}
    void SendSearch() override { ++searches; }
    std::int32_t ReceiveAnswers(int) override { return 0; }
    void QueueCommand(const DeviceInfo&, const NetSettings& settings, std::int32_t type,
                      std::uint32_t interface_address) override {
        ++queued, last = settings, last_type = type, last_interface = interface_address;
    }
    void FlushCommands() override {}
    void CollectSockets(std::vector<int>&) const override {}
    void Deliver(const DeviceEntry& entry) { callback_(&entry, context_, extra_); }

    std::atomic<int> opened{0}, searches{0}, queued{0};
    NetSettings last{};  // of the last queued command
    std::int32_t last_type = 0;
    std::uint32_t last_interface = 0;

private:
    DeviceCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::int32_t extra_ = 0;
};

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

DeviceEntry Device(std::uint8_t last_mac, const char* ip, const char* heard_on = "10.0.0.11") {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last_mac};
    std::memcpy(entry.info.mac, mac, sizeof mac);
    SetText(entry.info.ip, ip);
    SetText(entry.info.password, "secret");
    entry.info.http_port = 8080;
    entry.family = 1;
    entry.protocol = kProtocolBinary;
    entry.interface_address = Address(heard_on);
    return entry;
}

// A started manager over two recording transports and one PCI adapter
// 10.0.0.11/24 with gateway 10.0.0.13.
class SearchBusinessTest : public ::testing::Test {
protected:
    void StartManager(std::int32_t interval = 30,
                      FakeAdapters adapters = FakeAdapters().Add(
                          {"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"},
                          StaticValues("10.0.0.11", "255.255.255.0", "10.0.0.13", "10.0.0.53"))) {
        auto binary = std::make_unique<RecordingTransport>();
        auto text = std::make_unique<RecordingTransport>();
        binary_ = binary.get(), text_ = text.get();
        SearchBusiness::ProtocolMap protocols;
        protocols.emplace(kProtocolBinary, std::move(binary));
        protocols.emplace(kProtocolText, std::move(text));
        manager_ = std::make_unique<SearchBusiness>(std::move(protocols));
        manager_->SetSearchInterval(interval);
        manager_->SetMatchRange(10, 253);
        manager_->SetAdapterSource(std::make_shared<FakeAdapters>(std::move(adapters)));
        ASSERT_TRUE(manager_->Start());
        ASSERT_TRUE(WaitUntil([&] { return manager_->InterfacesLoaded(); }));
    }
    // Matches one device, with `taken` answering on the link; the address it
    // was sent, or "none" when nothing was queued.
    std::string Proposed(const DeviceEntry& entry,
                         const std::function<bool(std::string_view)>& taken = {}) {
        const int before = binary_->queued;
        const bool queued =
            manager_->MatchAddress(entry, [&](const std::vector<std::uint32_t>& addresses) {
                std::set<std::uint32_t> found;
                for (const std::uint32_t a : addresses)
                    if (taken && taken(AddressText(a))) found.insert(a);
                return found;
            });
        EXPECT_EQ(queued, binary_->queued == before + 1);
        return queued ? std::string(GetText(binary_->last.ip)) : "none";
    }

    RecordingTransport* binary_ = nullptr;
    RecordingTransport* text_ = nullptr;
    std::unique_ptr<SearchBusiness> manager_;
};

TEST_F(SearchBusinessTest, MatchAddressWalksTheRangeSkippingUsedOwnAndGatewayNumbers) {
    StartManager();
    manager_->OnDeviceFound(Device(1, "10.0.0.12"));
    manager_->OnDeviceFound(Device(2, "10.0.0.140"));
    manager_->OnDeviceFound(Device(3, "110.0.0.15"));  // only looks like 10.0.0.15
    const DeviceEntry outsider = Device(9, "192.168.0.100");

    // 11 is the PC, 12 a device, 13 the gateway; another host answers for 16.
    EXPECT_EQ(Proposed(outsider), "10.0.0.10");
    EXPECT_EQ(Proposed(outsider), "10.0.0.14");
    EXPECT_EQ(Proposed(outsider), "10.0.0.15");
    EXPECT_EQ(Proposed(outsider, [](std::string_view a) { return a == "10.0.0.16"; }), "10.0.0.17");
    // The command carries the interface's settings and the device's login, on
    // the protocol and interface that found the device.
    EXPECT_EQ(binary_->queued, 4);
    EXPECT_EQ(GetText(binary_->last.mask), "255.255.255.0");
    EXPECT_EQ(GetText(binary_->last.gateway), "10.0.0.13");
    EXPECT_EQ(GetText(binary_->last.dns1), "10.0.0.53");
    EXPECT_EQ(GetText(binary_->last.password), "secret");
    EXPECT_EQ(binary_->last.http_port, 8080);
    EXPECT_EQ(binary_->last_type, kCommandNetSettings);
    EXPECT_EQ(binary_->last_interface, Address("10.0.0.11"));

    // At the top the walk wraps to matchMin; numbers below nextOctet are found.
    manager_->SetMatchRange(139, 141);
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");
    EXPECT_EQ(Proposed(outsider), "10.0.0.141");
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");
    manager_->OnDeviceFound(Device(4, "10.0.0.141"));
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");

    // All taken, an empty range, no host numbers, an unknown protocol id: nothing queued.
    manager_->OnDeviceFound(Device(5, "10.0.0.139"));
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    manager_->SetMatchRange(20, 19);
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    manager_->SetMatchRange(255, 300);
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    DeviceEntry unknown = Device(6, "10.0.0.60");
    unknown.protocol = 7;
    manager_->SendCommand(unknown, NetSettings{}, kCommandNetSettings);
    EXPECT_EQ(binary_->queued, 8);
    EXPECT_EQ(text_->queued, 0);

    // Subnet tests ask whether the address starts with the prefix "10.0.0.".
    const DeviceEntry lookalike = Device(2, "110.0.0.5");
    EXPECT_FALSE(manager_->IsOutsideSubnet(Device(1, "10.0.0.77")));
    EXPECT_FALSE(manager_->IsOutsideSubnet(Device(3, "192.168.5.5", "10.0.9.9")));  // unknown if
    EXPECT_FALSE(manager_->MatchAddress(Device(1, "10.0.0.77")));
    EXPECT_TRUE(manager_->IsOutsideSubnet(lookalike));
    manager_->SetMatchRange(5, 5);
    EXPECT_EQ(Proposed(lookalike), "10.0.0.5");
}

TEST_F(SearchBusinessTest, RefreshAndClearSearchAgainAtOnceAndNoInterfaceMeansNoSearch) {
    StartManager(/*interval=*/3600);
    ASSERT_TRUE(WaitUntil([&] { return manager_->SearchCount() == 1; }));
    manager_->OnDeviceFound(Device(1, "192.168.0.100"));
    manager_->RequestRefresh();
    ASSERT_TRUE(WaitUntil([&] { return manager_->SearchCount() == 2; }));
    EXPECT_EQ(manager_->DeviceCount(), 1u);  // a refresh keeps the table
    manager_->ClearDevices();
    EXPECT_EQ(manager_->DeviceCount(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return manager_->SearchCount() == 3; }));
    EXPECT_EQ(text_->searches, 3);

    // Only a loopback adapter: the worker opens nothing and searches nothing,
    // but keeps waiting for an adapter to come.
    manager_.reset();
    StartManager(30, FakeAdapters().Add({"lo", kAdapterTypeLoopback, "loopback"},
                                        StaticValues("127.0.0.1")));
    manager_->RequestRefresh();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(manager_->IsRunning());
    EXPECT_EQ(manager_->SearchCount(), 0u);
    EXPECT_EQ(binary_->opened, 0);
}

}  // namespace
}  // namespace quorvex
