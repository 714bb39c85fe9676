// Helper sockets: when a socket cannot get the room a large site's answers
// need, more sockets on its port share the answers sent to the interface.
// They must take nothing twice, send nothing, and leave broadcast and
// multicast answers to the interface's own socket.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::LoggedDatagram;
using testing::Simulator;
using testing::WaitUntil;

struct Deliveries {
    std::map<std::string, int> per_key;
    static void Count(const DeviceEntry* entry, void* context, std::int32_t) {
        ++static_cast<Deliveries*>(context)->per_key[DeviceKey(entry->info)];
    }
};

bool StartsWith(const LoggedDatagram& d, const std::string& text) {
    return d.bytes.size() >= text.size() && std::equal(text.begin(), text.end(), d.bytes.begin());
}
bool IsBinaryProbe(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 4;
}
bool IsBinaryCommand(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == BrannocSearch::kCommandLength;
}
bool IsTextSearch(const LoggedDatagram& d) {
    return StartsWith(d, "SEARCH * HDS/1.0\r\n");
}
bool IsTextCommand(const LoggedDatagram& d) {
    return StartsWith(d, "CMD * HDS/1.0\r\n");
}

TEST(AnswerRoomNetns, HelpersShareAMixedBurstOnceAndSendNothing) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("cams", "10.77.9.1/24", "10.77.9.2/24").empty()) << lab->last_error();
    // Half of the devices answer to the probe's address (shared by the
    // helpers), the other half to the broadcast address or the group (the
    // interface's own socket alone).
    constexpr int kDevices = 2000;
    std::string why;
    const auto sim = Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--binary-h", "500", "--binary-j", "500", "--text", "1000", "--reply", "mixed"}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    LocalInterface record{};
    SetText(record.ip, "10.77.9.1");
    SetText(record.prefix, "10.77.9.");
    BrannocSearch binary;
    MorvainSearch text;
    Deliveries deliveries;
    for (BaseSearch* protocol :
         {static_cast<BaseSearch*>(&binary), static_cast<BaseSearch*>(&text)}) {
        // More room than any socket gets: every interface gets all helpers.
        protocol->SetAnswerRoom(1 << 30);
        protocol->SetCallback(&Deliveries::Count, &deliveries, 0);
        protocol->OpenSockets(&record, 1);
        std::vector<int> handles;
        protocol->CollectSockets(handles);
        EXPECT_EQ(handles.size(), 1u + BaseSearch::kMaxHelperSockets);
    }

    binary.SendSearch();
    text.SendSearch();
    ASSERT_TRUE(WaitUntil([&] {
        binary.ReceiveAnswers(20);
        text.ReceiveAnswers(20);
        return deliveries.per_key.size() >= kDevices;
    }));
    // Late copies, if any, would show now.
    const auto settle = std::chrono::steady_clock::now() + 300ms;
    while (std::chrono::steady_clock::now() < settle) {
        binary.ReceiveAnswers(20);
        text.ReceiveAnswers(20);
    }
    EXPECT_EQ(deliveries.per_key.size(), static_cast<std::size_t>(kDevices));
    int copies = 0;
    for (const auto& [key, count] : deliveries.per_key) copies += count - 1;
    EXPECT_EQ(copies, 0);
    EXPECT_EQ(binary.DroppedDatagrams() + text.DroppedDatagrams(), 0u);

    // One probe and one command per protocol: the helpers never send.
    EXPECT_EQ(sim->WaitForLog(IsBinaryProbe, 1), 1u);
    EXPECT_EQ(sim->WaitForLog(IsTextSearch, 1), 1u);
    DeviceInfo device{};
    SetText(device.device_id, "DEV000000000001");
    NetSettings settings{};
    SetText(settings.ip, "10.77.9.50");
    std::uint32_t interface_address = 0;
    ASSERT_TRUE(ParseAddress("10.77.9.1", interface_address));
    binary.QueueCommand(device, settings, kCommandNetSettings, interface_address);
    text.QueueCommand(device, settings, kCommandNetSettings, interface_address);
    binary.FlushCommands();
    text.FlushCommands();
    EXPECT_EQ(sim->WaitForLog(IsBinaryCommand, 1), 1u);
    EXPECT_EQ(sim->WaitForLog(IsTextCommand, 1), 1u);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sim->WaitForLog(IsBinaryCommand, 2, 0ms), 1u);
    EXPECT_EQ(sim->WaitForLog(IsTextCommand, 2, 0ms), 1u);
    EXPECT_EQ(sim->WaitForLog(IsBinaryProbe, 2, 0ms), 1u);
    EXPECT_EQ(sim->WaitForLog(IsTextSearch, 2, 0ms), 1u);
}

}  // namespace
}  // namespace quorvex
