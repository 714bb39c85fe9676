// A mixed site through the search manager over real sockets: binary, text
// and WS-Discovery cameras in the three answer styles, one camera that answers
// both the text protocol and WS-Discovery, Hello and Bye while the search
// runs, and hostile WS-Discovery answers.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "core/ws_discovery_search.h"
#include "search/device_report.h"
#include "search/search_business.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::WaitUntil;

TEST(MixedSiteNetns, EveryCameraOnceWithItsProtocolsHelloByeAndHostileAnswersCounted) {
    QUORVEX_LAB_OR_SKIP(lab);
    const std::string pc_if = lab->AddSite("cams", "10.77.6.1/24", "10.77.6.2/24");
    ASSERT_FALSE(pc_if.empty()) << lab->last_error();
    // 2 binary, 3 text (the first also speaks WS-Discovery), 4 WS-Discovery
    // cameras in the three answer styles, some answering to the group.
    std::string why;
    const auto sim = ::quorvex::testing::Simulator::Start(
        *lab, lab->site_namespace("cams"),
        {"--binary-h", "2", "--text", "3", "--wsd-dual", "1", "--wsd", "4", "--reply", "mixed",
         "--subnet", "10.77.6.", "--wsd-hello", "--wsd-bye-after", "2500", "--wsd-malformed"},
        &why);
    ASSERT_TRUE(sim) << why;
    lab->EnterPc();

    SearchBusiness::ProtocolMap protocols;
    protocols.emplace(kProtocolBinary, std::make_unique<BrannocSearch>());
    protocols.emplace(kProtocolText, std::make_unique<MorvainSearch>());
    auto wsd_owned = std::make_unique<WsDiscoverySearch>();
    const WsDiscoverySearch* wsd = wsd_owned.get();
    protocols.emplace(kProtocolWsDiscovery, std::move(wsd_owned));
    SearchBusiness manager(std::move(protocols));  // after the lab: stopped first
    manager.SetSearchInterval(3600);
    manager.SetInterfaceNames({pc_if});
    ASSERT_TRUE(manager.Start());

    const std::uint16_t text_and_wsd = (1u << kProtocolText) | (1u << kProtocolWsDiscovery);
    // All nine keys, and the camera of two protocols heard by both.
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto devices = manager.CopyDevices();
            return devices.size() == 9 &&
                   std::count_if(devices.begin(), devices.end(), [&](const DeviceEntry& e) {
                       return e.protocols == text_and_wsd;
                   }) == 1;
        },
        20s));
    int merged = 0, wsd_only = 0;
    for (const DeviceUpdate& update : manager.CopyUpdates()) {
        const DeviceEntry& e = update.entry;
        EXPECT_EQ(AddressText(e.interface_address), "10.77.6.1");
        EXPECT_TRUE(GetText(e.info.ip).starts_with("10.77.6.")) << GetText(e.info.ip);
        // The details travel with the update, only for what WS-Discovery heard.
        EXPECT_EQ(update.wsd != nullptr, e.protocols != 0);
        const DeviceReportRow row = MakeReportRow(update);
        if (e.protocols == text_and_wsd) {
            ++merged;
            EXPECT_EQ(e.protocol, kProtocolText);  // commands still go by the text protocol
            EXPECT_TRUE(SearchBusiness::CanConfigure(e));
            EXPECT_EQ(row.protocols, "text,wsd");
            EXPECT_EQ(row.mac, DeviceKey(e.info));
            EXPECT_NE(row.xaddrs.find("http://" + row.ip + ":"), std::string::npos) << row.xaddrs;
        }
        if (e.protocol == kProtocolWsDiscovery) {
            ++wsd_only;
            EXPECT_FALSE(SearchBusiness::CanConfigure(e));
            EXPECT_FALSE(manager.MatchAddress(e));
            EXPECT_TRUE(manager.GetUpdate(TableKeyText(TableKey(update))));
            EXPECT_EQ(row.protocols, "wsd");
            EXPECT_EQ(row.family, "WS-Discovery");
            EXPECT_TRUE(row.hardware.starts_with("QX-")) << row.hardware;
        }
        if (e.protocols == 0) {
            EXPECT_TRUE(row.protocols == "text" || row.protocols == "binary");
        }
    }
    EXPECT_EQ(merged, 1);
    EXPECT_EQ(wsd_only, 4);

    // Bye of every WS-Discovery camera, the merged one included, marks it gone.
    EXPECT_TRUE(WaitUntil(
        [&] {
            int gone = 0;
            for (const DeviceUpdate& update : manager.CopyUpdates())
                gone += update.wsd && (update.wsd->flags & kWsdGone) != 0;
            return gone == 5;
        },
        20s));
    EXPECT_EQ(manager.DeviceCount(), 9u);
    const WsDiscoverySearch::Counters counters = wsd->Statistics();
    EXPECT_EQ(counters.hellos, 5u);
    EXPECT_EQ(counters.byes, 5u);
    EXPECT_EQ(counters.refused, 8u);  // four refusable answers to each of two probes
    EXPECT_EQ(counters.faults, 2u);
    EXPECT_EQ(counters.unmatched, 0u);
    // Each probe went out three times with one MessageID, and never more.
    EXPECT_EQ(sim->WaitForLog(
                  [](const ::quorvex::testing::LoggedDatagram& d) {
                      return d.destination_port == 3702 &&
                             std::string(d.bytes.begin(), d.bytes.end()).find(":Probe>") !=
                                 std::string::npos;
                  },
                  7, 300ms),
              6u);
    // The hostile answers reach the status, under WS-Discovery alone: the
    // fault is a problem (a device exists that the list cannot show), the
    // refused datagrams only a note.
    ASSERT_TRUE(WaitUntil([&] { return manager.Status().rejections.size() == 1; }, 5s));
    const SearchStatus status = manager.Status();
    EXPECT_TRUE(status.Listens(kProtocolWsDiscovery));
    EXPECT_TRUE(status.Problems().empty());
    EXPECT_EQ(status.rejections[0].protocol, kProtocolWsDiscovery);
    EXPECT_EQ(status.rejections[0].faults, 2u);
    EXPECT_EQ(status.rejections[0].refused, 8u);
    const std::vector<std::string> problems = DescribeProblems(status);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("WS-Discovery protocol: 2 answer(s)"), std::string::npos)
        << problems[0];
    const std::vector<std::string> notes = DescribeNotes(status);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("WS-Discovery protocol: 8 datagram(s) refused"), std::string::npos)
        << notes[0];
    // Nothing genuine went with them: every camera once, none added by them.
    EXPECT_EQ(manager.DeviceCount(), 9u);
    manager.Stop();
}

}  // namespace
}  // namespace quorvex
