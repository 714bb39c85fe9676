// The manager's own logic, driven through its worker with transports that
// open no sockets: nothing here sends a datagram, so it runs anywhere.

#include "search/search_business.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/search/fake_adapters.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::FakeAdapters;
using testing::StaticValues;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 10s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A transport without sockets: it records what the manager asks of it.
class RecordingTransport : public IDeviceSearch {
public:
    struct Queued {
        DeviceInfo device;
        NetSettings settings;
        std::int32_t type;
        std::uint32_t interface_address;
    };

    void SetCallback(DeviceCallback callback, void* context, std::int32_t extra) override {
        callback_ = callback;
        context_ = context;
        extra_ = extra;
    }
    void OpenSockets(const LocalInterface*, std::int32_t count) override { opened += count; }
    void CloseSockets() override { ++closed; }
    void SendSearch() override { ++searches; }
    std::int32_t ReceiveAnswers(int) override { return 0; }
    void QueueCommand(const DeviceInfo& device, const NetSettings& settings, std::int32_t type,
                      std::uint32_t interface_address) override {
        std::lock_guard lock(mutex_);
        queued_.push_back({device, settings, type, interface_address});
    }
    void FlushCommands() override { ++flushes; }
    void CollectSockets(std::vector<int>&) const override {}

    std::vector<Queued> queued() const {
        std::lock_guard lock(mutex_);
        return queued_;
    }
    // Delivers an entry the way a parser does.
    void Deliver(const DeviceEntry& entry) { callback_(&entry, context_, extra_); }

    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<int> searches{0};
    std::atomic<int> flushes{0};

private:
    DeviceCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::int32_t extra_ = 0;
    mutable std::mutex mutex_;
    std::vector<Queued> queued_;
};

// Counts notifications per key; the callback runs on the worker.
struct Notifications {
    static void Callback(const char* key, void* context, std::int32_t tag) {
        auto& self = *static_cast<Notifications*>(context);
        std::lock_guard lock(self.mutex);
        self.keys.emplace_back(key);
        self.tag = tag;
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return keys.size();
    }
    std::mutex mutex;
    std::vector<std::string> keys;
    std::int32_t tag = 0;
};

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

DeviceEntry Device(std::uint8_t last_mac, const char* ip, const char* heard_on,
                   std::int32_t protocol = kProtocolBinary) {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last_mac};
    std::memcpy(entry.info.mac, mac, sizeof mac);
    SetText(entry.info.ip, ip);
    SetText(entry.info.user, "admin");
    SetText(entry.info.password, "secret");
    entry.info.http_port = 8080;
    entry.family = protocol == kProtocolBinary ? 1 : 3;
    entry.protocol = protocol;
    entry.interface_address = Address(heard_on);
    return entry;
}

// A manager over two recording transports and one PC adapter 10.0.0.11/24
// with gateway 10.0.0.13, started and with its interfaces loaded.
class SearchBusinessTest : public ::testing::Test {
protected:
    void StartManager(std::int32_t interval = 30, FakeAdapters adapters = DefaultAdapters()) {
        SearchBusiness::ProtocolMap protocols;
        auto binary = std::make_unique<RecordingTransport>();
        auto text = std::make_unique<RecordingTransport>();
        binary_ = binary.get();
        text_ = text.get();
        protocols.emplace(kProtocolBinary, std::move(binary));
        protocols.emplace(kProtocolText, std::move(text));
        manager_ = std::make_unique<SearchBusiness>(std::move(protocols));
        manager_->SetNotification(&Notifications::Callback, &notifications_, 7);
        manager_->SetSearchInterval(interval);
        manager_->SetMatchRange(10, 253);
        manager_->SetAdapterSource(std::make_shared<FakeAdapters>(std::move(adapters)));
        ASSERT_TRUE(manager_->Start());
        ASSERT_TRUE(WaitFor([&] { return manager_->InterfacesLoaded(); }));
    }

    static FakeAdapters DefaultAdapters() {
        FakeAdapters adapters;
        adapters.Add(
            {"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"},
            StaticValues("10.0.0.11", "255.255.255.0", "10.0.0.13", "10.0.0.53 10.0.0.54"));
        return adapters;
    }

    std::string Proposed(const DeviceEntry& entry, const SearchBusiness::AddressTaken& taken = {}) {
        const auto settings = manager_->MatchAddress(entry, taken);
        return settings ? std::string(GetText(settings->ip)) : "none";
    }

    Notifications notifications_;
    RecordingTransport* binary_ = nullptr;
    RecordingTransport* text_ = nullptr;
    std::unique_ptr<SearchBusiness> manager_;
};

TEST_F(SearchBusinessTest, MatchAddressWalksTheRangeSkippingUsedOwnAndGatewayNumbers) {
    StartManager();
    // Table devices hold 10.0.0.12 and 10.0.0.140; 110.0.0.15 only looks alike.
    manager_->OnDeviceFound(Device(1, "10.0.0.12", "10.0.0.11"));
    manager_->OnDeviceFound(Device(2, "10.0.0.140", "10.0.0.11"));
    manager_->OnDeviceFound(Device(3, "110.0.0.15", "10.0.0.11"));
    const DeviceEntry outsider = Device(9, "192.168.0.100", "10.0.0.11");

    // 11 is the PC, 12 a device, 13 the gateway.
    EXPECT_EQ(Proposed(outsider), "10.0.0.10");
    EXPECT_EQ(Proposed(outsider), "10.0.0.14");
    EXPECT_EQ(Proposed(outsider), "10.0.0.15");
    // Another host answers for 16 on the link.
    EXPECT_EQ(Proposed(outsider, [](std::string_view a) { return a == "10.0.0.16"; }), "10.0.0.17");

    // The queued command carries the interface's settings, the device's login
    // and port, static addressing, on the protocol that found the device.
    const auto queued = binary_->queued();
    ASSERT_EQ(queued.size(), 4u);
    EXPECT_TRUE(text_->queued().empty());
    const NetSettings& last = queued.back().settings;
    EXPECT_EQ(GetText(last.ip), "10.0.0.17");
    EXPECT_EQ(GetText(last.mask), "255.255.255.0");
    EXPECT_EQ(GetText(last.gateway), "10.0.0.13");
    EXPECT_EQ(GetText(last.dns1), "10.0.0.53");
    EXPECT_EQ(GetText(last.dns2), "10.0.0.54");
    EXPECT_EQ(GetText(last.user), "admin");
    EXPECT_EQ(GetText(last.password), "secret");
    EXPECT_EQ(last.http_port, 8080);
    EXPECT_EQ(last.dhcp, 0);
    EXPECT_EQ(queued.back().type, kCommandNetSettings);
    EXPECT_EQ(queued.back().interface_address, Address("10.0.0.11"));

    // At the top of the range the walk returns to `matchMin`; 140 stays used.
    manager_->SetMatchRange(139, 141);
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");
    EXPECT_EQ(Proposed(outsider), "10.0.0.141");
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");
    // With the top taken, numbers below `nextOctet` are still found.
    manager_->OnDeviceFound(Device(4, "10.0.0.141", "10.0.0.11"));
    EXPECT_EQ(Proposed(outsider), "10.0.0.139");

    // Every number taken, an empty range, or only numbers that are no host:
    // nothing is queued.
    manager_->OnDeviceFound(Device(5, "10.0.0.139", "10.0.0.11"));
    const std::size_t before = binary_->queued().size();
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    manager_->SetMatchRange(20, 19);
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    manager_->SetMatchRange(255, 300);
    EXPECT_FALSE(manager_->MatchAddress(outsider));
    // A protocol id without a protocol object carries nothing.
    manager_->SendCommand(Device(6, "10.0.0.60", "10.0.0.11", 7), NetSettings{},
                          kCommandNetSettings);
    EXPECT_EQ(binary_->queued().size(), before);
    EXPECT_TRUE(text_->queued().empty());
}

TEST_F(SearchBusinessTest, SubnetTestsAskWhetherTheAddressStartsWithThePrefix) {
    StartManager();
    const DeviceEntry inside = Device(1, "10.0.0.77", "10.0.0.11");
    const DeviceEntry lookalike = Device(2, "110.0.0.5", "10.0.0.11");
    const DeviceEntry unknown_interface = Device(3, "192.168.5.5", "10.0.9.9");

    EXPECT_FALSE(manager_->IsOutsideSubnet(inside));
    EXPECT_TRUE(manager_->IsOutsideSubnet(lookalike));
    EXPECT_FALSE(manager_->IsOutsideSubnet(unknown_interface));

    EXPECT_FALSE(manager_->MatchAddress(inside));
    EXPECT_FALSE(manager_->MatchAddress(unknown_interface));
    manager_->SetMatchRange(5, 5);
    EXPECT_EQ(Proposed(lookalike), "10.0.0.5");
    EXPECT_EQ(binary_->queued().size(), 1u);
}

TEST_F(SearchBusinessTest, ChangedAnswersNotifyOnceAndIdenticalOnesNever) {
    StartManager();
    DeviceEntry first = Device(1, "192.168.0.100", "10.0.0.11");
    binary_->Deliver(first);
    ASSERT_EQ(notifications_.count(), 1u);
    EXPECT_EQ(notifications_.keys[0], "00-1A-2B-3C-4D-01");
    EXPECT_EQ(notifications_.tag, 7);

    DeviceEntry stored{};
    ASSERT_TRUE(manager_->GetDevice("00-1A-2B-3C-4D-01", stored));
    EXPECT_EQ(stored.row, -1);
    ASSERT_TRUE(manager_->SetDeviceRow("00-1A-2B-3C-4D-01", 4));

    // The same answer on another interface: no notification, first interface kept.
    DeviceEntry elsewhere = first;
    elsewhere.interface_address = Address("10.0.1.11");
    elsewhere.row = 99;
    binary_->Deliver(elsewhere);
    EXPECT_EQ(notifications_.count(), 1u);

    // One byte different (deep in `reserved`): exactly one notification; row
    // and interface stay.
    DeviceEntry changed = elsewhere;
    changed.info.reserved[40] = 'x';
    binary_->Deliver(changed);
    binary_->Deliver(changed);
    EXPECT_EQ(notifications_.count(), 2u);
    ASSERT_TRUE(manager_->GetDevice("00-1A-2B-3C-4D-01", stored));
    EXPECT_EQ(stored.info.reserved[40], 'x');
    EXPECT_EQ(stored.row, 4);
    EXPECT_EQ(stored.interface_address, Address("10.0.0.11"));

    // A changed family alone counts as a change.
    changed.family = 2;
    binary_->Deliver(changed);
    EXPECT_EQ(notifications_.count(), 3u);

    // Unknown keys: nothing copied, nothing written.
    DeviceEntry untouched{};
    untouched.row = 123;
    EXPECT_FALSE(manager_->GetDevice("00-00-00-00-00-00", untouched));
    EXPECT_EQ(untouched.row, 123);
    EXPECT_FALSE(manager_->SetDeviceRow("00-00-00-00-00-00", 1));
}

TEST_F(SearchBusinessTest, TableStopsTakingNewKeysAtItsCapButStillUpdates) {
    StartManager();
    DeviceEntry entry = Device(0, "192.168.0.1", "10.0.0.11");
    for (std::uint32_t i = 0; i < SearchBusiness::kMaxDevices; ++i) {
        entry.info.mac[3] = static_cast<std::uint8_t>(i >> 16);
        entry.info.mac[4] = static_cast<std::uint8_t>(i >> 8);
        entry.info.mac[5] = static_cast<std::uint8_t>(i);
        manager_->OnDeviceFound(entry);
    }
    ASSERT_EQ(manager_->DeviceCount(), SearchBusiness::kMaxDevices);
    const std::size_t notified = notifications_.count();
    EXPECT_EQ(notified, SearchBusiness::kMaxDevices);

    entry.info.mac[3] = 0x01;  // one past the last key stored
    entry.info.mac[4] = 0x00;
    entry.info.mac[5] = 0x00;
    manager_->OnDeviceFound(entry);
    EXPECT_EQ(manager_->DeviceCount(), SearchBusiness::kMaxDevices);
    EXPECT_EQ(notifications_.count(), notified);
    DeviceEntry stored{};
    EXPECT_FALSE(manager_->GetDevice(DeviceKey(entry.info), stored));

    entry.info.mac[3] = 0x00;  // a stored key with new contents
    SetText(entry.info.ip, "192.168.0.2");
    manager_->OnDeviceFound(entry);
    EXPECT_EQ(notifications_.count(), notified + 1);
    ASSERT_TRUE(manager_->GetDevice(DeviceKey(entry.info), stored));
    EXPECT_EQ(GetText(stored.info.ip), "192.168.0.2");
}

TEST_F(SearchBusinessTest, FirstPassSearchesAndRefreshOrClearSearchesAgainAtOnce) {
    StartManager(/*interval=*/3600);
    EXPECT_EQ(binary_->opened, 1);
    EXPECT_EQ(text_->opened, 1);
    EXPECT_EQ(manager_->CopyInterfaces().size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return manager_->SearchCount() == 1; }));
    // Passes without a search flush the queues.
    ASSERT_TRUE(WaitFor([&] { return binary_->flushes >= 2 && text_->flushes >= 2; }));
    EXPECT_EQ(manager_->SearchCount(), 1u);

    manager_->OnDeviceFound(Device(1, "192.168.0.100", "10.0.0.11"));
    manager_->RequestRefresh();
    ASSERT_TRUE(WaitFor([&] { return manager_->SearchCount() == 2; }));
    EXPECT_EQ(manager_->DeviceCount(), 1u);  // a refresh keeps the table

    manager_->ClearDevices();
    EXPECT_EQ(manager_->DeviceCount(), 0u);
    ASSERT_TRUE(WaitFor([&] { return manager_->SearchCount() == 3; }));
    EXPECT_EQ(binary_->searches, 3);
    EXPECT_EQ(text_->searches, 3);
}

TEST_F(SearchBusinessTest, StopEndsAtOnceClosesAndEmptiesAndStartWorksAgain) {
    StartManager(/*interval=*/3600);
    EXPECT_FALSE(manager_->Start());  // already running
    ASSERT_TRUE(WaitFor([&] { return manager_->SearchCount() == 1; }));
    manager_->OnDeviceFound(Device(1, "192.168.0.100", "10.0.0.11"));

    const auto before = std::chrono::steady_clock::now();
    manager_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_FALSE(manager_->IsRunning());
    EXPECT_EQ(binary_->closed, 1);
    EXPECT_EQ(text_->closed, 1);
    EXPECT_EQ(manager_->DeviceCount(), 0u);
    EXPECT_TRUE(manager_->CopyInterfaces().empty());
    EXPECT_FALSE(manager_->MatchAddress(Device(2, "192.168.0.100", "10.0.0.11")));

    ASSERT_TRUE(manager_->Start());
    ASSERT_TRUE(WaitFor([&] { return manager_->SearchCount() == 2; }));
    EXPECT_EQ(binary_->opened, 2);
}

TEST_F(SearchBusinessTest, WithoutAnInterfaceTheWorkerEndsWithoutSearching) {
    FakeAdapters none;
    none.Add({"lo", kAdapterTypeLoopback, "loopback"}, StaticValues("127.0.0.1", "", "", ""));
    StartManager(30, std::move(none));
    ASSERT_TRUE(WaitFor([&] { return !manager_->IsRunning(); }));
    EXPECT_EQ(manager_->SearchCount(), 0u);
    EXPECT_EQ(binary_->opened, 0);
    EXPECT_TRUE(manager_->CopyInterfaces().empty());
    // A finished worker can be started again (and ends again).
    EXPECT_TRUE(manager_->Start());
    ASSERT_TRUE(WaitFor([&] { return !manager_->IsRunning(); }));
}

// Window-side readers while the worker delivers: run under ThreadSanitizer.
TEST_F(SearchBusinessTest, ReadersAndTheDeliveringWorkerShareTheTableSafely) {
    StartManager();
    std::atomic<bool> done{false};
    std::thread worker_side([&] {
        for (int round = 0; round < 2000; ++round) {
            DeviceEntry entry =
                Device(static_cast<std::uint8_t>(round % 50), "192.168.0.1", "10.0.0.11");
            entry.info.http_port = static_cast<std::uint16_t>(round);
            binary_->Deliver(entry);
        }
        done = true;
    });
    while (!done) {
        for (const DeviceEntry& entry : manager_->CopyDevices()) {
            manager_->SetDeviceRow(DeviceKey(entry.info), 1);
            manager_->IsOutsideSubnet(entry);
        }
        manager_->MatchAddress(Device(99, "192.168.0.1", "10.0.0.11"));
    }
    worker_side.join();
    EXPECT_EQ(manager_->DeviceCount(), 50u);
}

}  // namespace
}  // namespace quorvex
