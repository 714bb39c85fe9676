// The real search manager in the lab's PC namespace on a hostile network: the
// simulator floods it with random, near-miss, cut-short and oversized
// datagrams, impersonates cameras by their MACs and offers far more new
// devices than the table holds, while genuine cameras answer.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

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
using ::quorvex::testing::Simulator;
using ::quorvex::testing::WaitUntil;
using Clock = std::chrono::steady_clock;

// Binary in and outside the PC's subnet, text with and without DHCP.
constexpr const char* kCameraFile = R"([
{"mac": "00-1A-2B-3C-50-01", "protocol": "binary", "name": "gate", "uid": "UID-GATE",
 "ip": "10.77.9.21", "mask": "255.255.255.0", "gateway": "10.77.9.1", "dns1": "10.77.9.53",
 "dns2": "9.9.9.9", "software_version": "67.1.61.5", "web_version": "W2.1", "user": "admin",
 "password": "gatepw", "http_port": 8080, "dhcp": 0, "aux_flag": 165},
{"mac": "00-1A-2B-3C-50-02", "protocol": "binary", "name": "yard camera with a longer name",
 "uid": "UID-YARD", "ip": "192.168.0.64", "mask": "255.255.255.0", "gateway": "192.168.0.1",
 "dns1": "8.8.8.8", "dns2": "9.9.9.9", "software_version": "66.2.3.4", "web_version": "W1.0",
 "user": "admin", "password": "yardpw", "http_port": 80, "dhcp": 1, "aux_flag": 7},
{"mac": "00-1A-2B-3C-50-03", "protocol": "text", "name": "hall", "uid": "UID-HALL",
 "ip": "10.77.9.23", "mask": "255.255.255.0", "gateway": "10.77.9.1", "dns1": "10.77.9.53",
 "dns2": "9.9.9.9", "software_version": "V5.1.2", "web_version": "W3.3", "user": "admin",
 "http_port": 81, "dhcp": 0, "device_id": "HALL-1"},
{"mac": "00-1A-2B-3C-50-04", "protocol": "text", "name": "dock", "uid": "UID-DOCK",
 "ip": "10.77.9.24", "mask": "255.255.255.0", "gateway": "10.77.9.1", "dns1": "1.1.1.1",
 "dns2": "9.9.9.9", "software_version": "V5.2.0", "web_version": "W3.4", "user": "admin",
 "http_port": 8000, "dhcp": 1, "device_id": "DOCK-1"}])";

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

// The PC: a manager on the lab's veth searching only when asked, the
// cameras it must list, and the names each key had at its notifications.
class Pc {
public:
    explicit Pc(NetnsLab& lab) {
        std::string error;
        EXPECT_TRUE(sim::DevicesFromJson(kCameraFile, sim::ReplyMode::kUnicast, cameras, error));
        auto binary = std::make_unique<Counted<BrannocSearch>>();
        auto text = std::make_unique<Counted<MorvainSearch>>(0xC0FFEEu);
        binary_ = binary.get();
        text_ = text.get();
        client_id = std::string(text->ClientId());
        SearchBusiness::ProtocolMap protocols;
        protocols.emplace(kProtocolBinary, std::move(binary));
        protocols.emplace(kProtocolText, std::move(text));
        manager = std::make_unique<SearchBusiness>(std::move(protocols));
        manager->SetNotification(&Pc::Notified, this, 0);
        manager->SetSearchInterval(3600);
        manager->SetInterfaceNames({lab.pc_interface("cams")});
        lab.EnterPc();
    }
    ~Pc() { manager.reset(); }

    std::uint64_t parsed() const { return binary_->parsed + text_->parsed; }
    std::size_t notified(const std::string& key = "") {
        std::lock_guard lock(mutex_);
        if (!key.empty()) return names_[key].size();
        std::size_t total = 0;
        for (const auto& [k, names] : names_) total += names.size();
        return total;
    }
    std::vector<std::string> names(const std::string& key) {
        std::lock_guard lock(mutex_);
        return names_[key];
    }
    bool IsCamera(const std::string& key) const {
        return std::any_of(cameras.begin(), cameras.end(), [&](const sim::SimDevice& c) {
            return sim::MacText(c.mac, '-') == key;
        });
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
    // Each camera listed exactly as its own answer (or `answer`'s) parses.
    void ExpectCameras(std::size_t notifications,
                       sim::SimDevice (*answer)(const sim::SimDevice&) = nullptr) {
        for (const sim::SimDevice& c : cameras) {
            const std::string key = DeviceKey(c.mac);
            DeviceEntry stored{};
            ASSERT_TRUE(manager->GetDevice(key, stored)) << key << " is not listed";
            const auto expected =
                Parse(c.protocol, sim::AnswerBytes(answer ? answer(c) : c, client_id), client_id);
            ASSERT_TRUE(expected) << key;
            EXPECT_TRUE(SameContents(stored, *expected)) << key << " differs from its answer";
            EXPECT_EQ(stored.interface_address, PcAddress()) << key;
            EXPECT_EQ(notified(key), notifications) << key;
        }
    }
    // One more search after the traffic: every camera's answer is read and
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

    std::vector<sim::SimDevice> cameras;
    std::string client_id;
    std::unique_ptr<SearchBusiness> manager;

private:
    static void Notified(const char* key, void* context, std::int32_t) {
        auto& self = *static_cast<Pc*>(context);
        DeviceEntry entry{};  // the worker is the only writer and is right here
        self.manager->GetDevice(key, entry);
        std::lock_guard lock(self.mutex_);
        self.names_[key].emplace_back(DeviceName(entry.info));
    }
    Counted<BrannocSearch>* binary_ = nullptr;
    Counted<MorvainSearch>* text_ = nullptr;
    std::mutex mutex_;
    std::unordered_map<std::string, std::vector<std::string>> names_;
};

std::unique_ptr<Simulator> StartSite(NetnsLab& lab, std::vector<std::string> args) {
    std::string why;
    if (lab.AddSite("cams", "10.77.9.1/24", "10.77.9.2/24").empty()) {
        ADD_FAILURE() << lab.last_error();
        return nullptr;
    }
    const std::string path = lab.scratch_dir() + "/cameras.json";
    std::ofstream(path) << kCameraFile;
    args.insert(args.begin(), {"--devices", path, "--seed", "9"});
    auto sim = Simulator::Start(lab, lab.site_namespace("cams"), args, &why);
    EXPECT_TRUE(sim) << why;
    return sim;
}

bool FloodDone(const Simulator& sim) {
    std::stringstream text;
    text << std::ifstream(sim.stderr_path()).rdbuf();
    return text.str().find("flood done:") != std::string::npos;
}

// True when `entry` is exactly what one datagram the flood may send yields on
// its own: a decoy cut short (at any length) or a whole oversized answer. An
// entry made partly of an earlier, longer datagram's bytes matches none.
bool FromOneFloodDatagram(const DeviceEntry& entry, const std::string& client_id) {
    const auto protocol = entry.protocol == kProtocolBinary ? sim::DeviceProtocol::kBinary
                                                            : sim::DeviceProtocol::kText;
    const auto matches = [&](const std::vector<std::uint8_t>& whole, std::size_t first,
                             std::size_t last) {
        for (std::size_t length = first; length <= last; ++length) {
            const auto parsed = Parse(protocol, std::span(whole).first(length), client_id);
            if (parsed && SameContents(*parsed, entry)) return true;
        }
        return false;
    };
    for (int i = 0; i < sim::kDecoyCount; ++i) {
        const auto bytes = sim::AnswerBytes(sim::DecoyDevice(protocol, i), client_id);
        if (matches(bytes, 0, bytes.size() - 1)) return true;
    }
    const auto big = sim::OversizedAnswer(protocol, client_id);
    return matches(big, big.size(), big.size());
}

// Every entry that is no camera is the work of one flood datagram.
std::size_t ExpectOthersFromOneFloodDatagramEach(Pc& pc) {
    std::size_t others = 0;
    for (const DeviceEntry& e : pc.manager->CopyDevices()) {
        const std::string key = DeviceKey(e.info);
        if (pc.IsCamera(key)) continue;
        ++others;
        EXPECT_FALSE(
            std::equal(std::begin(sim::kNearMissOui), std::end(sim::kNearMissOui), e.info.mac))
            << "a near miss was taken: " << key;
        EXPECT_TRUE(FromOneFloodDatagram(e, pc.client_id)) << key << " is no flood datagram's";
    }
    return others;
}

TEST(HostileNetwork, MillionJunkDatagramsOnBothPortsNeitherCrashNorCorruptTheTable) {
    QUORVEX_LAB_OR_SKIP(lab);
    const auto sim = StartSite(*lab, {"--flood", "1000000", "--flood-kind", "mixed"});
    ASSERT_TRUE(sim);
    Pc pc(*lab);
    ASSERT_TRUE(pc.manager->Start());
    // The cameras answer the first search, then the flood starts; the PC keeps
    // searching through it.
    const auto deadline = Clock::now() + 120s;
    while (!FloodDone(*sim) && Clock::now() < deadline) {
        pc.manager->RequestRefresh();
        std::this_thread::sleep_for(250ms);
    }
    ASSERT_TRUE(FloodDone(*sim)) << "the flood did not finish";
    ASSERT_TRUE(pc.WaitQuiet());
    EXPECT_TRUE(pc.manager->IsRunning());
    EXPECT_GT(pc.parsed(), 100000u);  // far more than a few strays were read

    pc.ExpectCameras(1);
    EXPECT_GT(ExpectOthersFromOneFloodDatagramEach(pc), 0u);  // cut copies reached the parsers
    pc.ExpectCamerasStillAnswer();
}

TEST(HostileNetwork, OversizedDatagramsUpTo65507BytesAreReadWholeAndCutAtTheFields) {
    QUORVEX_LAB_OR_SKIP(lab);
    const auto sim =
        StartSite(*lab, {"--flood", "400", "--flood-kind", "oversized", "--flood-rate", "2000"});
    ASSERT_TRUE(sim);
    Pc pc(*lab);
    ASSERT_TRUE(pc.manager->Start());
    ASSERT_TRUE(WaitUntil(
        [&] { return pc.notified("0A-0B-51-01-00-01") && pc.notified("0A-0B-51-02-00-02"); }, 30s))
        << "no oversized answer was read";
    ASSERT_TRUE(WaitUntil([&] { return FloodDone(*sim); }, 30s));
    ASSERT_TRUE(pc.WaitQuiet());

    // Each is listed as its whole answer parses, stored once and never
    // changed: the random oversized datagrams around them yield nothing.
    EXPECT_EQ(pc.notified("0A-0B-51-01-00-01"), 1u);
    EXPECT_EQ(pc.notified("0A-0B-51-02-00-02"), 1u);
    EXPECT_EQ(ExpectOthersFromOneFloodDatagramEach(pc), 2u);
    pc.ExpectCameras(1);
    pc.ExpectCamerasStillAnswer();
}

TEST(HostileNetwork, ImpostorsOfACamerasMacShareItsEntryWhichAlternatesAndNotifiesEachChange) {
    QUORVEX_LAB_OR_SKIP(lab);
    const auto sim = StartSite(*lab, {"--spoof-macs"});
    ASSERT_TRUE(sim);
    Pc pc(*lab);
    ASSERT_TRUE(pc.manager->Start());
    // Each search: the camera's answer, then its impostor's, each a change.
    constexpr std::size_t kSearches = 4;
    for (std::size_t search = 1; search <= kSearches; ++search) {
        if (search > 1) pc.manager->RequestRefresh();
        ASSERT_TRUE(WaitUntil([&] {
            return std::all_of(pc.cameras.begin(), pc.cameras.end(), [&](const sim::SimDevice& c) {
                return pc.notified(DeviceKey(c.mac)) >= 2 * search;
            });
        })) << "search "
            << search;
        for (std::size_t i = 0; search == 1 && i < pc.cameras.size(); ++i) {
            ASSERT_TRUE(pc.manager->SetDeviceRow(DeviceKey(pc.cameras[i].mac), int(i) + 7));
        }
    }
    ASSERT_TRUE(pc.WaitQuiet());
    EXPECT_EQ(pc.manager->DeviceCount(), pc.cameras.size());
    // The impostor answered last; row and hearing interface survive every change.
    pc.ExpectCameras(2 * kSearches, &sim::Spoofed);
    for (std::size_t i = 0; i < pc.cameras.size(); ++i) {
        const std::string key = DeviceKey(pc.cameras[i].mac);
        std::vector<std::string> expected;
        for (std::size_t s = 0; s < kSearches; ++s) {
            expected.push_back(pc.cameras[i].name);
            expected.push_back("spoofed " + pc.cameras[i].name);
        }
        EXPECT_EQ(pc.names(key), expected);
        DeviceEntry e{};
        ASSERT_TRUE(pc.manager->GetDevice(key, e));
        EXPECT_EQ(e.row, int(i) + 7);
    }
}

std::size_t ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

TEST(HostileNetwork, FloodOfNewMacsStopsTheTableAtItsCapWithBoundedMemory) {
    QUORVEX_LAB_OR_SKIP(lab);
    constexpr std::uint64_t kOffered = 200000;
    const auto sim = StartSite(*lab, {"--random-macs", std::to_string(kOffered)});
    ASSERT_TRUE(sim);
    Pc pc(*lab);
    const std::size_t rss_before = ResidentKiB();
    ASSERT_TRUE(pc.manager->Start());
    ASSERT_TRUE(WaitUntil([&] { return FloodDone(*sim); }, 120s));
    ASSERT_TRUE(pc.WaitQuiet());
    const std::size_t rss_after = ResidentKiB();

    // Answers beyond the cap were read, and none of their keys was taken.
    EXPECT_GE(pc.parsed(), SearchBusiness::kMaxDevices + 1000);
    EXPECT_EQ(pc.manager->DeviceCount(), SearchBusiness::kMaxDevices);
    EXPECT_EQ(pc.notified(), SearchBusiness::kMaxDevices);
    // 65,536 entries need about 50 MiB; growth tracking the offers would exceed this.
    EXPECT_LT(rss_after - std::min(rss_after, rss_before), 200u * 1024u)
        << "resident memory grew from " << rss_before << " KiB to " << rss_after << " KiB";

    // The cameras answered first and keep their entries; every other entry is
    // exactly one of the offered answers.
    std::unordered_map<std::string, std::uint64_t> offered;
    for (std::uint64_t i = 0; i < kOffered; ++i)
        offered.emplace(DeviceKey(sim::RandomMacDevice(i).mac), i);
    std::size_t mismatched = 0;
    for (const DeviceEntry& e : pc.manager->CopyDevices()) {
        const auto found = offered.find(DeviceKey(e.info));
        if (found == offered.end()) {
            EXPECT_TRUE(pc.IsCamera(DeviceKey(e.info)))
                << DeviceKey(e.info) << " was never offered";
            continue;
        }
        const sim::SimDevice device = sim::RandomMacDevice(found->second);
        const auto expected =
            Parse(device.protocol, sim::AnswerBytes(device, pc.client_id), pc.client_id);
        mismatched += !expected || !SameContents(*expected, e);
    }
    EXPECT_EQ(mismatched, 0u);
    pc.ExpectCameras(1);
    pc.ExpectCamerasStillAnswer();  // a full table still takes stored keys' answers
}

}  // namespace
}  // namespace quorvex
