// The table of devices on its own: merging, the cap, MAC conflicts, and the
// MAC a read of a WS-Discovery camera tells.

#include "search/device_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/ws_discovery_codec.h"
#include "search/repeat_policy.h"
#include "tests/search/fake_adapters.h"

namespace quorvex {
namespace {

using testing::FakeAdapters;
using testing::StaticValues;

std::uint32_t Address(const char* text) {
    std::uint32_t address = 0;
    EXPECT_TRUE(ParseAddress(text, address)) << text;
    return address;
}

DeviceEntry Device(std::uint8_t last_mac, const char* ip, const char* sender = "10.0.0.50") {
    DeviceEntry entry{};
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last_mac};
    std::memcpy(entry.info.mac, mac, sizeof mac);
    SetText(entry.info.ip, ip);
    entry.family = 1;
    entry.protocol = kProtocolBinary;
    entry.interface_address = Address("10.0.0.11");
    entry.sender_address = Address(sender);
    return entry;
}

// A WS-Discovery answer naming no MAC, from `from`, its service at `from`.
WsdDevice Heard(const char* endpoint, const char* from) {
    WsDiscoveryCodec::Match match;
    match.endpoint = endpoint;
    std::string xaddr = "http://";
    xaddr += from;
    match.xaddrs.push_back(xaddr + "/onvif/device_service");
    return WsDiscoveryCodec::MakeDevice(match, Address("10.0.0.11"), Address("255.255.255.0"),
                                        Address(from));
}

class DeviceTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        const FakeAdapters adapters =
            FakeAdapters().Add({"eth0", kAdapterTypeEthernet, "PCI Ethernet adapter"},
                               StaticValues("10.0.0.11", "255.255.255.0", "10.0.0.13"));
        ASSERT_TRUE(interfaces_.Load(adapters, {}));
    }
    std::size_t Changed() { return table_.TakeChanged().size(); }
    DeviceUpdate Stored(const DeviceEntry& entry) { return *table_.Get(DeviceKey(entry.info)); }

    InterfaceSet interfaces_;
    DeviceTable table_{interfaces_};
};

TEST_F(DeviceTableTest, ChangedAnswersCountOnceIdenticalOnesNeverAndTheCapHolds) {
    DeviceEntry changed = Device(1, "192.168.0.100");
    table_.Record(changed, nullptr, 1, 0);
    EXPECT_EQ(Changed(), 1u);
    // Identical on another interface: no change, the first interface stays.
    changed.interface_address = Address("10.0.1.11");
    table_.Record(changed, nullptr, 1, 0);
    EXPECT_EQ(Changed(), 0u);
    // One byte different deep in `reserved`, delivered twice: one change.
    changed.info.reserved[40] = 'x';
    table_.Record(changed, nullptr, 1, 0);
    table_.Record(changed, nullptr, 1, 0);
    EXPECT_EQ(Changed(), 1u);
    EXPECT_EQ(Stored(changed).entry.info.reserved[40], 'x');
    EXPECT_EQ(Stored(changed).entry.interface_address, Address("10.0.0.11"));
    EXPECT_TRUE(Stored(changed).outside_subnet);
    EXPECT_FALSE(table_.Get("00-1a-2b-3c-4d-01"));  // only the table's own spelling

    DeviceEntry entry = Device(0, "192.168.0.1");
    for (std::uint32_t i = 0; i <= DeviceTable::kMaxDevices; ++i) {
        for (int b = 0; b < 3; ++b) entry.info.mac[5 - b] = static_cast<std::uint8_t>(i >> 8 * b);
        table_.Record(entry, nullptr, 1, 0);
    }
    EXPECT_EQ(table_.Count(), DeviceTable::kMaxDevices);
    EXPECT_FALSE(table_.Get(DeviceKey(entry.info)));                // one past the cap
    entry.info.mac[3] = entry.info.mac[4] = entry.info.mac[5] = 0;  // stored, new contents
    SetText(entry.info.ip, "192.168.0.2");
    table_.Record(entry, nullptr, 2, 0);  // in search 1 another address would be a conflict
    EXPECT_EQ(GetText(Stored(entry).entry.info.ip), "192.168.0.2");
}

TEST_F(DeviceTableTest, AMacAnsweringTwoWaysInOneSearchIsInConflictUntilASearchAgrees) {
    const DeviceEntry real = Device(1, "10.0.0.64", "10.0.0.64");
    const DeviceEntry spoof = Device(1, "192.0.2.66", "10.0.0.64");  // same sender, other address
    const DeviceEntry other_sender = Device(1, "10.0.0.64", "10.0.0.99");
    table_.Record(real, nullptr, 1, 0);
    table_.Record(real, nullptr, 1, 0);  // the same answer twice is no conflict
    EXPECT_FALSE(Stored(real).mac_conflict);
    table_.Record(spoof, nullptr, 1, 0);
    EXPECT_TRUE(Stored(real).mac_conflict);
    EXPECT_EQ(GetText(Stored(real).entry.info.ip), "10.0.0.64");  // the first of the search

    // The next search: the spoof answers first, still not replacing the row;
    // a search with both answers keeps the mark.
    table_.SearchStarts(1);
    table_.Record(spoof, nullptr, 2, 0);
    table_.Record(real, nullptr, 2, 0);
    table_.SearchStarts(2);
    EXPECT_TRUE(Stored(real).mac_conflict);
    EXPECT_EQ(GetText(Stored(real).entry.info.ip), "10.0.0.64");
    // A search it answered consistently clears the mark once the next starts.
    table_.Record(real, nullptr, 3, 0);
    EXPECT_TRUE(Stored(real).mac_conflict);
    table_.SearchStarts(3);
    EXPECT_FALSE(Stored(real).mac_conflict);
    // The same address from two senders within one search is a conflict too;
    // a sender nobody knows (0) is not.
    table_.Record(real, nullptr, 4, 0);
    DeviceEntry unknown_sender = real;
    unknown_sender.sender_address = 0;
    table_.Record(unknown_sender, nullptr, 4, 0);
    EXPECT_FALSE(Stored(real).mac_conflict);
    table_.Record(other_sender, nullptr, 4, 0);
    EXPECT_TRUE(Stored(real).mac_conflict);
    // A device that did not answer a search keeps its mark.
    table_.SearchStarts(4);
    table_.SearchStarts(5);
    EXPECT_TRUE(Stored(real).mac_conflict);
    EXPECT_EQ(Stored(real).missed_searches, 1);
}

TEST_F(DeviceTableTest, ALearnedMacMakesTheEndpointOneRowWithTheOwnProtocolsWhereverItAnswers) {
    const WsdDevice before = Heard("urn:uuid:cam-1", "10.0.0.70");
    table_.Record(before.entry, &before.wsd, 1, 0);
    const std::uint64_t wsd_key = TableKey(before);
    // The own protocols hear the camera's MAC at another address: two rows.
    const DeviceEntry own = Device(7, "10.0.0.71", "10.0.0.71");
    table_.Record(own, nullptr, 1, 0);
    ASSERT_EQ(table_.Count(), 2u);
    table_.TakeChanged();

    // A read tells the endpoint's MAC: one row under it, the own protocols'
    // record with both protocols, the old key handed out once to be dropped.
    table_.LearnMac("urn:uuid:cam-1", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 7});
    EXPECT_EQ(table_.Count(), 1u);
    EXPECT_FALSE(table_.Get(TableKeyText(wsd_key)));
    std::vector<DeviceUpdate> changed = table_.TakeChanged();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].replaces, std::vector<std::uint64_t>{wsd_key});
    EXPECT_EQ(changed[0].entry.protocol, kProtocolBinary);
    EXPECT_EQ(changed[0].entry.protocols, (1u << kProtocolBinary) | (1u << kProtocolWsDiscovery));
    ASSERT_TRUE(changed[0].wsd);
    EXPECT_EQ(GetText(changed[0].wsd->endpoint), "urn:uuid:cam-1");

    // Moved within the search, with a Bye before: its answers from the new
    // address land on the same row, in no conflict with those before the
    // Bye, even after the table was emptied; another endpoint keeps a row of
    // its own.
    WsdDevice bye = before;
    bye.wsd.flags |= kWsdGone;
    table_.Record(bye.entry, &bye.wsd, 1, 0);
    const WsdDevice moved = Heard("urn:uuid:cam-1", "10.0.0.90");
    table_.Record(moved.entry, &moved.wsd, 1, 0);
    EXPECT_EQ(table_.Count(), 1u);
    EXPECT_FALSE(Stored(own).mac_conflict);
    EXPECT_EQ(Stored(own).wsd->source_address, Address("10.0.0.90"));
    EXPECT_TRUE(table_.TakeChanged()[0].replaces.empty());
    table_.Clear();
    table_.Record(moved.entry, &moved.wsd, 3, 0);
    const WsdDevice stranger = Heard("urn:uuid:cam-2", "10.0.0.90");
    table_.Record(stranger.entry, &stranger.wsd, 3, 0);
    EXPECT_EQ(table_.Count(), 2u);
    EXPECT_EQ(GetText(Stored(own).entry.info.ip), "10.0.0.90");
    EXPECT_TRUE(table_.Get(TableKeyText(TableKey(stranger))));
}

TEST(RepeatPolicy, RepeatsAfterQuietWhileRepeatsBringDevicesAndReportsWhatStaysLost) {
    using namespace std::chrono_literals;
    RepeatPolicy policy;
    const RepeatPolicy::Clock::time_point t0{};
    policy.Searched(1, {0, 0}, t0);
    policy.Searched(2, {0, 0}, t0);
    // No drops: nothing to repeat.
    EXPECT_FALSE(policy.Next({{1, {0, 5}}, {2, {0, 5}}}, t0 + 1s));
    EXPECT_FALSE(policy.Pending());
    // Drops on protocol 2, but protocol 1 heard answers 100 ms ago: not quiet yet.
    policy.Heard(1, t0 + 900ms);
    EXPECT_FALSE(policy.Next({{1, {0, 5}}, {2, {3, 5}}}, t0 + 1s));
    EXPECT_TRUE(policy.Pending());
    auto now = t0 + 900ms + RepeatPolicy::kQuiet;
    EXPECT_EQ(policy.Next({{1, {0, 5}}, {2, {3, 5}}}, now), 2);
    policy.Repeated(2, 3, now);
    // Each repeat brings devices back and drops go on: repeats go on, up to the bound.
    std::uint64_t found = 5, drops = 3;
    int repeats = 1;
    for (; repeats < 20; ++repeats) {
        now += RepeatPolicy::kQuiet;
        const auto next = policy.Next({{1, {0, 5}}, {2, {++drops, ++found}}}, now);
        if (!next) break;
        policy.Repeated(2, drops, now);
    }
    EXPECT_EQ(repeats, RepeatPolicy::kMaxRepeats);
    EXPECT_TRUE(policy.Lost());
    // A new search starts afresh; two barren repeats in a row end it early.
    policy.Searched(2, {drops, found}, now);
    int barren = 0;
    for (; barren < 20; ++barren) {
        now += RepeatPolicy::kQuiet;
        const auto next = policy.Next({{1, {0, 5}}, {2, {++drops, found}}}, now);
        if (!next) break;
        policy.Repeated(2, drops, now);
    }
    EXPECT_EQ(barren, 2);  // the first repeat, then one barren one; the second ends it
    EXPECT_FALSE(policy.Next({{1, {0, 5}}, {2, {drops, found}}}, now + 1s));
    EXPECT_TRUE(policy.Lost());
}

}  // namespace
}  // namespace quorvex
