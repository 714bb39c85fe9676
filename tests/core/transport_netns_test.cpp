// Both protocols end to end over real sockets, inside namespaces the lab
// makes: a PC namespace leading to sites where quorvex-sim plays the cameras.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using testing::LoggedDatagram;
using testing::Simulator;

// Matches logged datagrams that start with `head`.
std::function<bool(const LoggedDatagram&)> Starts(std::string_view head) {
    return [head](const LoggedDatagram& d) {
        return d.bytes.size() >= head.size() &&
               std::equal(head.begin(), head.end(), d.bytes.begin());
    };
}
const auto kBinaryProbe = Starts("\x44\x48\x01\x01");
const auto kBinaryCommand = Starts("\x44\x48\x02\x01");
const auto kTextSearch = Starts("SEARCH * HDS/1.0\r\n");
const auto kTextCommand = Starts("CMD * HDS/1.0\r\n");

// Both protocols on the PC's interfaces, and every entry they deliver.
struct Pc {
    BrannocSearch binary;
    MorvainSearch text;
    std::vector<DeviceEntry> found;

    Pc(std::vector<const char*> addresses, int answer_room = BaseSearch::kAnswerRoomBytes) {
        std::vector<LocalInterface> records(addresses.size());
        for (std::size_t i = 0; i < records.size(); ++i) SetText(records[i].ip, addresses[i]);
        for (BaseSearch* protocol :
             {static_cast<BaseSearch*>(&binary), static_cast<BaseSearch*>(&text)}) {
            protocol->SetAnswerRoom(answer_room);
            protocol->SetCallback(
                [](const DeviceEntry* e, void* found, std::int32_t) {
                    static_cast<std::vector<DeviceEntry>*>(found)->push_back(*e);
                },
                &found, 0);
            protocol->OpenSockets(records.data(), static_cast<std::int32_t>(records.size()));
        }
    }
    // Searches on both protocols until `distinct` devices were heard, then
    // listens 300 ms longer for late copies. Returns the count per key.
    std::map<std::string, int> Search(std::size_t distinct) {
        found.clear();
        std::map<std::string, int> counts;
        binary.SendSearch();
        text.SendSearch();
        const auto receive = [&] {
            binary.ReceiveAnswers(20);
            text.ReceiveAnswers(20);
            counts.clear();
            for (const auto& e : found) ++counts[DeviceKey(e.info)];
            return counts.size() >= distinct;
        };
        testing::WaitUntil(receive, 20s);
        testing::WaitUntil([&] { return !receive(); }, 300ms);
        return counts;
    }
};

// Sites "a" (10.77.1.0/24) and "b" (10.77.2.0/24), three binary and two text
// devices each, answering in `reply` mode; then the PC on both interfaces.
std::unique_ptr<Pc> TwoSites(testing::NetnsLab& lab, const std::string& reply,
                             std::unique_ptr<Simulator> (&sims)[2]) {
    for (int i = 0; i < 2; ++i) {
        const std::string site(1, "ab"[i]), subnet = "10.77." + std::to_string(i + 1) + ".";
        EXPECT_FALSE(lab.AddSite(site, subnet + "1/24", subnet + "2/24").empty())
            << lab.last_error();
        std::string why;
        sims[i] = Simulator::Start(
            lab, lab.site_namespace(site),
            {"--binary-h", "2", "--binary-j", "1", "--text", "2", "--reply", reply, "--seed",
             std::to_string(11 * (i + 1)), "--subnet", subnet, "--password", "secret"},
            &why);
        if (!sims[i]) ADD_FAILURE() << why;
    }
    lab.EnterPc();
    return std::make_unique<Pc>(std::vector{"10.77.1.1", "10.77.2.1"});
}

class TransportNetns : public ::testing::TestWithParam<const char*> {};

TEST_P(TransportNetns, EveryDeviceArrivesOnceWithTheInterfaceThatHeardIt) {
    QUORVEX_LAB_OR_SKIP(lab);
    std::unique_ptr<Simulator> sims[2];
    const auto pc = TwoSites(*lab, GetParam(), sims);
    const auto counts = pc->Search(10);
    EXPECT_EQ(counts.size(), 10u);
    for (const auto& [key, count] : counts) EXPECT_EQ(count, 1) << key;
    int binary = 0;
    for (const DeviceEntry& e : pc->found) {
        // Each site numbers its devices in its own subnet.
        const bool in_a = GetText(e.info.ip).starts_with("10.77.1.");
        EXPECT_EQ(AddressText(e.interface_address), in_a ? "10.77.1.1" : "10.77.2.1");
        binary += e.protocol == kProtocolBinary;
    }
    EXPECT_EQ(binary, 6);
}

INSTANTIATE_TEST_SUITE_P(ReplyModes, TransportNetns,
                         ::testing::Values("unicast", "broadcast", "multicast"),
                         [](const auto& info) { return std::string(info.param); });

TEST(TransportNetnsCommands, ACommandReachesOnlyTheSiteOfTheInterfaceThatHeardTheDevice) {
    QUORVEX_LAB_OR_SKIP(lab);
    std::unique_ptr<Simulator> sims[2];
    const auto pc = TwoSites(*lab, "unicast", sims);
    pc->Search(10);
    // A binary device in site a, a text device in site b.
    DeviceEntry binary{}, text{};
    for (const DeviceEntry& e : pc->found) {
        const bool in_a = AddressText(e.interface_address) == "10.77.1.1";
        if (in_a && e.protocol == kProtocolBinary) binary = e;
        if (!in_a && e.protocol == kProtocolText) text = e;
    }
    ASSERT_EQ(binary.protocol, kProtocolBinary);
    ASSERT_EQ(text.protocol, kProtocolText);
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "secret");
    SetText(settings.mask, "255.255.255.0");
    SetText(settings.ip, "10.77.1.200");
    settings.http_port = 8080;
    pc->binary.QueueCommand(binary.info, settings, kCommandNetSettings, binary.interface_address);
    SetText(settings.ip, "10.77.2.201");
    settings.http_port = 8081;
    pc->text.QueueCommand(text.info, settings, kCommandNetSettings, text.interface_address);
    pc->text.QueueCommand(text.info, settings, kCommandHttpPort, text.interface_address);
    pc->binary.FlushCommands();
    pc->text.FlushCommands();
    EXPECT_EQ(sims[0]->WaitForLog(kBinaryCommand, 1), 1u);
    EXPECT_EQ(sims[1]->WaitForLog(kTextCommand, 2), 2u);

    // A second search follows the commands on the same sockets: once each site
    // logged its probes, a stray command would have been logged too.
    pc->Search(10);
    EXPECT_EQ(sims[0]->WaitForLog(kTextSearch, 2), 2u);
    EXPECT_EQ(sims[1]->WaitForLog(kBinaryProbe, 2), 2u);
    EXPECT_EQ(sims[0]->WaitForLog(kTextCommand, 1, 0ms), 0u);
    EXPECT_EQ(sims[1]->WaitForLog(kBinaryCommand, 1, 0ms), 0u);
}

TEST(TransportNetnsBurst, TwoThousandDevicesAnsweringAtOnceAreAllParsed) {
    QUORVEX_LAB_OR_SKIP(lab);
    ASSERT_FALSE(lab->AddSite("a", "10.77.0.1/16", "10.77.0.2/16").empty()) << lab->last_error();
    std::string why;
    const auto sim = Simulator::Start(*lab, lab->site_namespace("a"),
                                      {"--binary-h", "500", "--binary-j", "500", "--text", "1000",
                                       "--reply", "mixed", "--spread", "0", "--subnet", "10.77."},
                                      &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();
    // With the room the system grants, then with more than any socket gets:
    // helper sockets then share the unicast answers, take none twice and
    // send nothing (one probe per protocol and pass).
    std::size_t pass = 0;
    // 8 MiB: what a privileged socket is granted on its own (no helpers).
    for (const int room : {8 * 1024 * 1024, 1 << 30}) {
        SCOPED_TRACE(room);
        Pc pc({"10.77.0.1"}, room);
        std::vector<int> handles;
        pc.binary.CollectSockets(handles);
        EXPECT_EQ(handles.size(), room == 1 << 30 ? 1u + BaseSearch::kMaxHelperSockets : 1u);
        EXPECT_EQ(pc.Search(2000).size(), 2000u);
        EXPECT_EQ(pc.found.size(), 2000u);
        EXPECT_EQ(pc.binary.DroppedDatagrams() + pc.text.DroppedDatagrams(), 0u);
        ++pass;
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(sim->WaitForLog(kBinaryProbe, pass + 1, 0ms), pass);
        EXPECT_EQ(sim->WaitForLog(kTextSearch, pass + 1, 0ms), pass);
    }
}

}  // namespace
}  // namespace quorvex
