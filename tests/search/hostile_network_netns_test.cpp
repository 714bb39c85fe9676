// The real search manager in the lab's PC namespace on a hostile network: the
// simulator floods it with junk, near-miss, cut-short and oversized datagrams,
// impersonates cameras by their MACs and offers far more new devices than the
// table holds, while genuine cameras answer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "search/search_business.h"
#include "sim/device_file.h"
#include "sim/flood_datagrams.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::NetnsLab;
using ::quorvex::testing::WaitUntil;
using Clock = std::chrono::steady_clock;

// A binary camera outside the PC's subnet, a text camera inside it with DHCP.
constexpr const char* kCameraFile = R"([
{"mac": "00-1A-2B-3C-50-01", "protocol": "binary", "name": "yard camera with a longer name",
 "uid": "UID-YARD", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
 "dns1": "8.8.8.8", "software_version": "66.2.3.4", "user": "admin", "password": "yardpw",
 "http_port": 80, "dhcp": 1, "aux_flag": 7},
{"mac": "00-1A-2B-3C-50-02", "protocol": "text", "name": "dock", "uid": "UID-DOCK",
 "ip": "10.77.9.24", "mask": "255.255.255.0", "gateway": "10.77.9.1", "dns1": "1.1.1.1",
 "software_version": "V5.2.0", "user": "admin", "http_port": 8000, "dhcp": 1,
 "device_id": "DOCK-1"}])";

std::uint32_t PcAddress() {
    std::uint32_t address = 0;
    ParseAddress("10.77.9.1", address);
    return address;
}

std::optional<DeviceEntry> Parse(sim::DeviceProtocol protocol, std::span<const std::uint8_t> bytes,
                                 const std::string& client_id) {
    return protocol == sim::DeviceProtocol::kBinary
               ? BrannocSearch::ParseAnswerBytes(bytes, PcAddress())
               : MorvainSearch::ParseAnswerBytes(bytes, client_id, PcAddress());
}

// A protocol object that counts the datagrams it is handed.
template <typename Protocol>
class Counted : public Protocol {
public:
    using Protocol::Protocol;
    std::atomic<std::uint64_t> parsed{0};

protected:
    void ParseAnswer(std::span<const std::uint8_t> bytes, std::uint32_t interface) override {
        parsed.fetch_add(1, std::memory_order_relaxed);
        Protocol::ParseAnswer(bytes, interface);
    }
};

// The simulator at a site "cams" with the cameras plus `args`, and the PC: a
// manager on the lab's veth that searches only when asked.
class Site {
public:
    Site(NetnsLab& lab, std::vector<std::string> args) {
        const std::string path = lab.scratch_dir() + "/cameras.json";
        std::string error;
        EXPECT_FALSE(lab.AddSite("cams", "10.77.9.1/24", "10.77.9.2/24").empty())
            << lab.last_error();
        std::ofstream(path) << kCameraFile;
        EXPECT_TRUE(sim::DevicesFromJson(kCameraFile, sim::ReplyMode::kUnicast, cameras, error));
        args.insert(args.begin(), {"--devices", path, "--seed", "9"});
        sim = ::quorvex::testing::Simulator::Start(lab, lab.site_namespace("cams"), args, &error);
        EXPECT_TRUE(sim) << error;
        auto binary = std::make_unique<Counted<BrannocSearch>>();
        auto text = std::make_unique<Counted<MorvainSearch>>(0xC0FFEEu);
        binary_ = binary.get(), text_ = text.get();
        client_id = std::string(text->ClientId());
        SearchBusiness::ProtocolMap protocols;
        protocols.emplace(kProtocolBinary, std::move(binary));
        protocols.emplace(kProtocolText, std::move(text));
        manager = std::make_unique<SearchBusiness>(std::move(protocols));
        manager->SetDevicesCallback([this](std::vector<DeviceUpdate> updates) {
            std::lock_guard lock(mutex_);
            for (const DeviceUpdate& update : updates) ++notified_[TableKeyText(TableKey(update))];
        });
        manager->SetSearchInterval(3600);
        manager->SetInterfaceNames({lab.pc_interface("cams")});
        lab.EnterPc();
    }

    ~Site() { manager.reset(); }  // before the counts it notifies into
    std::uint64_t parsed() const { return binary_->parsed + text_->parsed; }
    std::size_t notified(const std::string& key = "") {
        std::lock_guard lock(mutex_);
        if (!key.empty()) return notified_[key];
        std::size_t total = 0;
        for (const auto& [k, count] : notified_) total += count;
        return total;
    }
    bool IsCamera(const std::string& key) const {
        return std::any_of(cameras.begin(), cameras.end(),
                           [&](const sim::SimDevice& c) { return DeviceKey(c.mac) == key; });
    }
    bool FloodDone() const {
        std::stringstream text;
        text << std::ifstream(sim->stderr_path()).rdbuf();
        return text.str().find("flood done:") != std::string::npos;
    }
    // Waits until the count of datagrams read has not moved for 400 ms.
    bool WaitQuiet() {
        std::uint64_t last = parsed();
        auto since = Clock::now();
        return WaitUntil(
            [&] {
                if (const std::uint64_t now = parsed(); now != last)
                    last = now, since = Clock::now();
                return Clock::now() - since > 400ms;
            },
            60s);
    }
    // Each camera (of `protocol`; 0: all) listed exactly as its own answer
    // parses, heard on the PC's address, handed out at most `notifications`
    // times, marked in conflict when `conflict`.
    void ExpectCameras(std::size_t notifications, bool conflict = false,
                       std::optional<sim::DeviceProtocol> protocol = {}) {
        for (const sim::SimDevice& c : cameras) {
            if (protocol && c.protocol != *protocol) continue;
            const std::string key = DeviceKey(c.mac);
            const std::optional<DeviceUpdate> stored = manager->GetUpdate(key);
            ASSERT_TRUE(stored) << key;
            const auto own = Parse(c.protocol, sim::AnswerBytes(c, client_id), client_id);
            ASSERT_TRUE(own) << key;
            EXPECT_TRUE(SameContents(stored->entry, *own)) << key;
            EXPECT_EQ(stored->entry.interface_address, PcAddress()) << key;
            EXPECT_EQ(stored->mac_conflict, conflict) << key;
            EXPECT_LE(notified(key), notifications) << key;
            EXPECT_GE(notified(key), 1u) << key;
        }
    }
    // After the traffic one more search: every camera's answer is read and
    // changes nothing.
    void ExpectCamerasStillAnswer() {
        ASSERT_TRUE(WaitQuiet());
        const std::uint64_t before = parsed();
        const std::size_t notifications = notified();
        manager->RequestRefresh();
        EXPECT_TRUE(WaitUntil([&] { return parsed() >= before + cameras.size(); }));
        ASSERT_TRUE(WaitQuiet());
        EXPECT_EQ(notified(), notifications);
    }
    // Counts the entries that are no camera; each must be exactly what one
    // flood datagram yields on its own (a decoy cut at some length or a whole
    // oversized answer): a near miss or an entry made partly of an earlier
    // datagram's bytes matches none.
    std::size_t OthersFromOneFloodDatagramEach() {
        std::size_t others = 0;
        for (const DeviceEntry& e : manager->CopyDevices()) {
            if (IsCamera(DeviceKey(e.info))) continue;
            ++others;
            const auto protocol = e.protocol == kProtocolBinary ? sim::DeviceProtocol::kBinary
                                                                : sim::DeviceProtocol::kText;
            const auto cut_of = [&](const std::vector<std::uint8_t>& whole, std::size_t first) {
                for (std::size_t length = first; length <= whole.size(); ++length) {
                    const auto p = Parse(protocol, std::span(whole).first(length), client_id);
                    if (p && SameContents(*p, e)) return true;
                }
                return false;
            };
            const auto big = sim::OversizedAnswer(protocol, client_id);
            bool found = cut_of(big, big.size());
            for (int i = 0; i < sim::kDecoyCount && !found; ++i) {
                auto bytes = sim::AnswerBytes(sim::DecoyDevice(protocol, i), client_id);
                bytes.pop_back();  // decoys are never sent whole
                found = cut_of(bytes, 0);
            }
            EXPECT_TRUE(found) << DeviceKey(e.info) << " is no flood datagram's";
        }
        return others;
    }

    std::vector<sim::SimDevice> cameras;
    std::string client_id;
    std::unique_ptr<::quorvex::testing::Simulator> sim;
    std::unique_ptr<SearchBusiness> manager;

private:
    Counted<BrannocSearch>* binary_ = nullptr;
    Counted<MorvainSearch>* text_ = nullptr;
    std::mutex mutex_;
    std::unordered_map<std::string, std::size_t> notified_;
};

TEST(HostileNetwork, MillionJunkDatagramsOnBothPortsNeitherCrashNorCorruptTheTable) {
    QUORVEX_LAB_OR_SKIP(lab);
    Site site(*lab, {"--flood", "1000000", "--flood-kind", "mixed"});
    ASSERT_TRUE(site.sim);
    ASSERT_TRUE(site.manager->Start());
    // The cameras answer the first search, then the flood starts; the PC keeps
    // searching through it.
    const auto deadline = Clock::now() + 120s;
    while (!site.FloodDone() && Clock::now() < deadline) {
        site.manager->RequestRefresh();
        std::this_thread::sleep_for(250ms);
    }
    ASSERT_TRUE(site.FloodDone());
    ASSERT_TRUE(site.WaitQuiet());
    EXPECT_TRUE(site.manager->IsRunning());
    EXPECT_GT(site.parsed(), 100000u);
    site.ExpectCameras(1);
    EXPECT_GT(site.OthersFromOneFloodDatagramEach(), 0u);  // cut copies reached the parsers
    site.ExpectCamerasStillAnswer();
}

// Oversized datagrams up to 65,507 bytes arrive while impostors answer every
// search with a camera's MAC and another address, just after the camera: each
// camera is marked in conflict and keeps its own address and contents.
TEST(HostileNetwork, OversizedDatagramsAndImpostorsOfCameraMacs) {
    QUORVEX_LAB_OR_SKIP(lab);
    Site site(*lab, {"--spoof-macs", "--flood", "400", "--flood-kind", "oversized", "--flood-rate",
                     "2000"});
    ASSERT_TRUE(site.sim);
    ASSERT_TRUE(site.manager->Start());
    constexpr std::uint64_t kSearches = 4;
    std::map<std::string, DeviceEntry> first;  // each camera's row after the first search
    for (std::uint64_t search = 1; search <= kSearches; ++search) {
        if (search > 1) site.manager->RequestRefresh();
        ASSERT_TRUE(WaitUntil([&] {
            return std::all_of(site.cameras.begin(), site.cameras.end(), [&](const auto& c) {
                const auto update = site.manager->GetUpdate(DeviceKey(c.mac));
                return update && update->mac_conflict && update->heard_search >= search;
            });
        })) << "search "
            << search;
        for (const sim::SimDevice& c : site.cameras) {
            const DeviceEntry now = site.manager->GetUpdate(DeviceKey(c.mac))->entry;
            const auto [at, added] = first.emplace(DeviceKey(c.mac), now);
            EXPECT_TRUE(added || SameContents(at->second, now)) << DeviceKey(c.mac);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return site.FloodDone(); }, 30s));
    ASSERT_TRUE(site.WaitQuiet());
    // Added, then marked: the row stays the first answer of the first search
    // whichever answer comes first later. The binary camera's own answer
    // leaves the simulator first, so it keeps its own address; the text
    // answers may come the other way round, and then it is the impostor's
    // row that stays, marked.
    site.ExpectCameras(2, /*conflict=*/true, sim::DeviceProtocol::kBinary);
    // The two whole oversized answers are listed once each, cut at the fields;
    // the random oversized datagrams around them yield nothing.
    EXPECT_EQ(site.notified("0A-0B-51-01-00-01"), 1u);
    EXPECT_EQ(site.notified("0A-0B-51-02-00-02"), 1u);
    EXPECT_EQ(site.OthersFromOneFloodDatagramEach(), 2u);
}

std::size_t ResidentKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    return 0;
}

TEST(HostileNetwork, FloodOfNewMacsStopsTheTableAtItsCapWithBoundedMemory) {
    QUORVEX_LAB_OR_SKIP(lab);
    constexpr std::uint64_t kOffered = 200000;
    Site site(*lab, {"--random-macs", std::to_string(kOffered)});
    ASSERT_TRUE(site.sim);
    const std::size_t rss_before = ResidentKiB();
    ASSERT_TRUE(site.manager->Start());
    ASSERT_TRUE(WaitUntil([&] { return site.FloodDone(); }, 120s));
    ASSERT_TRUE(site.WaitQuiet());
    const std::size_t rss_after = ResidentKiB();

    // Answers beyond the cap were read, and none of their keys was taken.
    EXPECT_GE(site.parsed(), SearchBusiness::kMaxDevices + 1000);
    EXPECT_EQ(site.manager->DeviceCount(), SearchBusiness::kMaxDevices);
    EXPECT_EQ(site.notified(), SearchBusiness::kMaxDevices);
    // 65,536 entries need about 50 MiB; growth tracking the offers would exceed this.
    EXPECT_LT(rss_after - std::min(rss_after, rss_before), 200u * 1024u);

    // The cameras answered first and keep their entries; every other entry is
    // exactly one of the offered answers.
    std::unordered_map<std::string, std::uint64_t> offered;
    for (std::uint64_t i = 0; i < kOffered; ++i)
        offered.emplace(DeviceKey(sim::RandomMacDevice(i).mac), i);
    std::size_t wrong = 0;
    for (const DeviceEntry& e : site.manager->CopyDevices()) {
        const auto found = offered.find(DeviceKey(e.info));
        if (found == offered.end()) {
            wrong += !site.IsCamera(DeviceKey(e.info));
            continue;
        }
        const sim::SimDevice d = sim::RandomMacDevice(found->second);
        const auto expected =
            Parse(d.protocol, sim::AnswerBytes(d, site.client_id), site.client_id);
        wrong += !expected || !SameContents(*expected, e);
    }
    EXPECT_EQ(wrong, 0u);
    site.ExpectCameras(1);
    site.ExpectCamerasStillAnswer();  // a full table still takes stored keys' answers
}

}  // namespace
}  // namespace quorvex
