// The search manager on a hostile network: the simulator floods the PC with
// random, near-miss, cut-short and oversized datagrams, impersonates cameras
// by their MACs and offers far more new devices than the table holds, while
// genuine cameras answer. The real SearchBusiness runs in the lab's PC
// namespace on the veth, with its real protocol objects and sockets.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "search/search_business.h"
#include "sim/flood_datagrams.h"
#include "tests/support/netns_lab.h"

namespace quorvex {
namespace {

using namespace std::chrono_literals;
using ::quorvex::testing::LoggedDatagram;
using ::quorvex::testing::NetnsLab;
using ::quorvex::testing::Simulator;
using ::quorvex::testing::WaitUntil;
using Clock = std::chrono::steady_clock;

constexpr const char* kPcAddress = "10.77.9.1";

// The genuine cameras. The simulator's device file is written from this
// table, and what the PC lists is checked against it field by field.
struct Camera {
    const char* mac;
    bool text;
    const char* name;
    const char* uid;
    const char* ip;
    const char* gateway;
    const char* dns1;
    const char* software_version;
    const char* web_version;
    const char* password;  // binary cameras report it; text answers carry none
    const char* device_id;
    std::uint16_t http_port;
    std::uint8_t dhcp;
    std::uint8_t aux_flag;  // binary only
    std::int32_t family;
};

const Camera kCameras[] = {
    {"00-1A-2B-3C-50-01", false, "gate", "UID-GATE", "10.77.9.21", "10.77.9.1", "10.77.9.53",
     "67.1.61.5", "W2.1", "gatepw", "", 8080, 0, 0xA5, 1},
    {"00-1A-2B-3C-50-02", false, "yard camera with a longer name", "UID-YARD", "192.168.0.64",
     "192.168.0.1", "8.8.8.8", "66.2.3.4", "W1.0", "yardpw", "", 80, 1, 7, 2},
    {"00-1A-2B-3C-50-03", true, "hall", "UID-HALL", "10.77.9.23", "10.77.9.1", "10.77.9.53",
     "V5.1.2", "W3.3", "", "HALL-1", 81, 0, 0, 3},
    {"00-1A-2B-3C-50-04", true, "dock", "UID-DOCK", "10.77.9.24", "10.77.9.1", "1.1.1.1", "V5.2.0",
     "W3.4", "", "DOCK-1", 8000, 1, 0, 3},
};

std::string WriteCameraFile(const NetnsLab& lab) {
    const std::string path = lab.scratch_dir() + "/cameras.json";
    std::ofstream out(path);
    out << "[\n";
    for (std::size_t i = 0; i < std::size(kCameras); ++i) {
        const Camera& c = kCameras[i];
        out << "  {\"mac\": \"" << c.mac << "\", \"protocol\": \"" << (c.text ? "text" : "binary")
            << "\", \"name\": \"" << c.name << "\", \"uid\": \"" << c.uid << "\", \"ip\": \""
            << c.ip << "\", \"mask\": \"255.255.255.0\", \"gateway\": \"" << c.gateway
            << "\", \"dns1\": \"" << c.dns1 << "\", \"dns2\": \"9.9.9.9\", \"software_version\": \""
            << c.software_version << "\", \"web_version\": \"" << c.web_version
            << "\", \"user\": \"admin\", \"password\": \"" << c.password
            << "\", \"http_port\": " << c.http_port << ", \"dhcp\": " << int{c.dhcp}
            << ", \"aux_flag\": " << int{c.aux_flag};
        if (c.text) out << ", \"device_id\": \"" << c.device_id << "\"";
        out << "}" << (i + 1 < std::size(kCameras) ? "," : "") << "\n";
    }
    out << "]\n";
    return path;
}

bool IsCamera(const std::string& key) {
    return std::any_of(std::begin(kCameras), std::end(kCameras),
                       [&](const Camera& c) { return key == c.mac; });
}

// Every field the camera's answer carries, as the PC must list it.
void ExpectCamera(const DeviceEntry& e, const Camera& c) {
    SCOPED_TRACE(c.mac);
    const DeviceInfo& i = e.info;
    EXPECT_EQ(DeviceKey(i), c.mac);
    EXPECT_EQ(e.protocol, c.text ? kProtocolText : kProtocolBinary);
    EXPECT_EQ(e.family, c.family);
    EXPECT_EQ(AddressText(e.interface_address), kPcAddress);
    EXPECT_EQ(DeviceName(i), c.name);
    EXPECT_EQ(GetText(i.uid), c.uid);
    EXPECT_EQ(GetText(i.ip), c.ip);
    EXPECT_EQ(GetText(i.mask), "255.255.255.0");
    EXPECT_EQ(GetText(i.gateway), c.gateway);
    EXPECT_EQ(GetText(i.dns1), c.dns1);
    EXPECT_EQ(GetText(i.dns2), "9.9.9.9");
    EXPECT_EQ(GetText(i.software_version), c.software_version);
    EXPECT_EQ(GetText(i.web_version), c.web_version);
    EXPECT_EQ(GetText(i.user), "admin");
    EXPECT_EQ(GetText(i.password), c.password);
    EXPECT_EQ(GetText(i.device_id), c.device_id);
    EXPECT_EQ(i.http_port, c.http_port);
    EXPECT_EQ(i.dhcp, c.dhcp);
    EXPECT_EQ(i.aux_flag, c.aux_flag);
}

// A protocol object that counts the datagrams it is handed, read or not.
template <typename Protocol>
class Counted : public Protocol {
public:
    using Protocol::Protocol;
    std::uint64_t parsed() const { return parsed_.load(); }

protected:
    void ParseAnswer(std::span<const std::uint8_t> bytes,
                     std::uint32_t interface_address) override {
        parsed_.fetch_add(1, std::memory_order_relaxed);
        Protocol::ParseAnswer(bytes, interface_address);
    }

private:
    std::atomic<std::uint64_t> parsed_{0};
};

// The PC: a search manager on the lab's veth whose protocol objects count
// what they read. The manager and its callbacks run on the worker; the test
// reads through the manager's own copies.
class Pc {
public:
    explicit Pc(const std::string& interface) {
        auto binary = std::make_unique<Counted<BrannocSearch>>();
        auto text = std::make_unique<Counted<MorvainSearch>>(0xC0FFEEu);
        binary_ = binary.get();
        text_ = text.get();
        SearchBusiness::ProtocolMap protocols;
        protocols.emplace(kProtocolBinary, std::move(binary));
        protocols.emplace(kProtocolText, std::move(text));
        manager = std::make_unique<SearchBusiness>(std::move(protocols));
        manager->SetNotification(&Pc::Notified, this, 0);
        manager->SetSearchInterval(3600);  // searches only when the test asks
        manager->SetInterfaceNames({interface});
    }
    ~Pc() { manager.reset(); }

    std::uint64_t parsed() const { return binary_->parsed() + text_->parsed(); }
    std::string client_id() const { return std::string(text_->ClientId()); }
    // Datagrams the kernel dropped for a full receive queue; only once the
    // worker has been stopped.
    std::uint64_t dropped() const {
        return binary_->DroppedDatagrams() + text_->DroppedDatagrams();
    }

    int notifications(const std::string& key) {
        std::lock_guard lock(mutex_);
        const auto found = per_key_.find(key);
        return found == per_key_.end() ? 0 : found->second;
    }
    std::size_t notified_keys() {
        std::lock_guard lock(mutex_);
        return per_key_.size();
    }
    std::uint64_t notifications_total() {
        std::lock_guard lock(mutex_);
        return total_;
    }
    // The names a key's entry had at each of its notifications, in order.
    std::vector<std::string> names(const std::string& key) {
        std::lock_guard lock(mutex_);
        return names_[key];
    }
    void RecordNames(bool on) { record_names_ = on; }

    // Waits until the count of datagrams read has not moved for a while: the
    // sockets are drained.
    bool WaitQuiet(std::chrono::milliseconds deadline = 30s) {
        std::uint64_t last = parsed();
        auto since = Clock::now();
        return WaitUntil(
            [&] {
                const std::uint64_t now = parsed();
                if (now != last) {
                    last = now;
                    since = Clock::now();
                }
                return Clock::now() - since > 400ms;
            },
            deadline);
    }

    std::unique_ptr<SearchBusiness> manager;

private:
    static void Notified(const char* key, void* context, std::int32_t) {
        auto& self = *static_cast<Pc*>(context);
        std::optional<std::string> name;
        if (self.record_names_) {
            // The worker is the only writer and is right here, so the copy is
            // the state that was notified.
            DeviceEntry entry{};
            if (self.manager->GetDevice(key, entry)) name = std::string(DeviceName(entry.info));
        }
        std::lock_guard lock(self.mutex_);
        ++self.per_key_[key];
        ++self.total_;
        if (name) self.names_[key].push_back(*name);
    }

    Counted<BrannocSearch>* binary_ = nullptr;
    Counted<MorvainSearch>* text_ = nullptr;
    std::mutex mutex_;
    std::unordered_map<std::string, int> per_key_;
    std::map<std::string, std::vector<std::string>> names_;
    std::uint64_t total_ = 0;
    std::atomic<bool> record_names_{false};
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The simulator's closing line of a flood, or nothing yet.
std::optional<std::string> FloodDone(const Simulator& sim) {
    const std::string text = ReadFile(sim.stderr_path());
    const std::size_t at = text.find("flood done:");
    if (at == std::string::npos) return std::nullopt;
    return text.substr(at, text.find('\n', at) - at);
}

// Seconds from the closing line "... in S s".
double FloodSeconds(const std::string& line) {
    const std::size_t at = line.rfind(" in ");
    return at == std::string::npos ? 0.0 : std::atof(line.c_str() + at + 4);
}

std::size_t ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

bool IsBinaryProbe(const LoggedDatagram& d) {
    return d.destination_port == 8600 && d.bytes.size() == 4;
}

std::uint32_t PcAddress() {
    std::uint32_t address = 0;
    ParseAddress(kPcAddress, address);
    return address;
}

// Whole datagrams the flood may send (cut short or whole), for telling
// whether a listed entry could have come from one datagram's own bytes.
struct Original {
    sim::DeviceProtocol protocol;
    std::vector<std::uint8_t> bytes;
    std::uint8_t mac[6];
    bool sent_cut;  // only copies shorter than `bytes` are sent
};

std::vector<Original> FloodOriginals(const std::string& client_id) {
    std::vector<Original> originals;
    for (const auto protocol : {sim::DeviceProtocol::kBinary, sim::DeviceProtocol::kText}) {
        for (int i = 0; i < sim::kDecoyCount; ++i) {
            const sim::SimDevice decoy = sim::DecoyDevice(protocol, i);
            Original o{protocol, sim::AnswerBytes(decoy, client_id), {}, true};
            std::copy(std::begin(decoy.mac), std::end(decoy.mac), o.mac);
            originals.push_back(std::move(o));
        }
        Original big{protocol, sim::OversizedAnswer(protocol, client_id), {}, false};
        const std::uint8_t mac[6] = {
            sim::kOversizedOui[0],
            sim::kOversizedOui[1],
            sim::kOversizedOui[2],
            static_cast<std::uint8_t>(protocol == sim::DeviceProtocol::kBinary ? 1 : 2),
            0,
            static_cast<std::uint8_t>(protocol == sim::DeviceProtocol::kBinary ? 1 : 2)};
        std::copy(std::begin(mac), std::end(mac), big.mac);
        originals.push_back(std::move(big));
    }
    return originals;
}

std::optional<DeviceEntry> Parse(sim::DeviceProtocol protocol, std::span<const std::uint8_t> bytes,
                                 const std::string& client_id) {
    return protocol == sim::DeviceProtocol::kBinary
               ? BrannocSearch::ParseAnswerBytes(bytes, PcAddress())
               : MorvainSearch::ParseAnswerBytes(bytes, client_id, PcAddress());
}

// True when `entry` is exactly what one datagram the flood may send yields
// when parsed on its own: a cut copy of a decoy (at any length short of the
// whole) or a whole oversized answer. An entry made partly from the bytes of
// an earlier, longer datagram matches none of them.
bool FromOneFloodDatagram(const DeviceEntry& entry, const std::vector<Original>& originals,
                          const std::string& client_id) {
    const auto protocol = entry.protocol == kProtocolBinary ? sim::DeviceProtocol::kBinary
                                                            : sim::DeviceProtocol::kText;
    const bool known_mac = std::any_of(originals.begin(), originals.end(), [&](const Original& o) {
        return std::equal(std::begin(o.mac), std::end(o.mac), entry.info.mac);
    });
    for (const Original& o : originals) {
        if (o.protocol != protocol) continue;
        if (known_mac && !std::equal(std::begin(o.mac), std::end(o.mac), entry.info.mac)) continue;
        const std::span<const std::uint8_t> whole(o.bytes);
        const std::size_t first = o.sent_cut ? 0 : whole.size();
        const std::size_t last = o.sent_cut ? whole.size() - 1 : whole.size();
        for (std::size_t length = first; length <= last; ++length) {
            const auto parsed = Parse(o.protocol, whole.first(length), client_id);
            if (parsed && SameContents(*parsed, entry)) return true;
        }
    }
    return false;
}

bool HasPrefix(const DeviceEntry& e, std::span<const std::uint8_t> prefix) {
    return std::equal(prefix.begin(), prefix.end(), e.info.mac);
}

// The cameras as the PC should list them, and how often each entry should
// have been notified: once when stored, once more for each change a command
// made.
struct Expected {
    std::vector<Camera> cameras{std::begin(kCameras), std::end(kCameras)};
    std::map<std::string, int> changes;

    int notifications(const Camera& c) const {
        const auto found = changes.find(c.mac);
        return 1 + (found == changes.end() ? 0 : found->second);
    }
};

// Checks the table after hostile traffic: every camera listed exactly and
// never touched by anything but its own answers, and every other entry the
// work of one flood datagram's own bytes. Returns the number of other
// entries.
std::size_t ExpectCamerasExactAndNothingElseButFlood(Pc& pc, const Expected& expected = {}) {
    const std::vector<Original> originals = FloodOriginals(pc.client_id());
    std::size_t others = 0;
    for (const Camera& c : expected.cameras) {
        DeviceEntry stored{};
        EXPECT_TRUE(pc.manager->GetDevice(c.mac, stored)) << c.mac << " is no longer listed";
        ExpectCamera(stored, c);
        EXPECT_EQ(pc.notifications(c.mac), expected.notifications(c))
            << c.mac << " was changed by hostile traffic";
    }
    for (const DeviceEntry& e : pc.manager->CopyDevices()) {
        const std::string key = DeviceKey(e.info);
        if (IsCamera(key)) continue;
        ++others;
        EXPECT_FALSE(HasPrefix(e, sim::kNearMissOui)) << "a near miss was taken: " << key;
        EXPECT_TRUE(FromOneFloodDatagram(e, originals, pc.client_id()))
            << key << " (protocol " << e.protocol << ", name \"" << DeviceName(e.info)
            << "\") is not what any one flood datagram yields";
    }
    return others;
}

std::unique_ptr<Simulator> StartCameras(NetnsLab& lab, std::vector<std::string> args,
                                        std::string* why) {
    args.insert(args.begin(), {"--devices", WriteCameraFile(lab), "--seed", "9"});
    return Simulator::Start(lab, lab.site_namespace("cams"), args, why);
}

bool AllCamerasListed(Pc& pc) {
    return std::all_of(std::begin(kCameras), std::end(kCameras), [&](const Camera& c) {
        DeviceEntry e{};
        return pc.manager->GetDevice(c.mac, e);
    });
}

// Asks for one more search after the traffic has died down and waits until
// every camera's answer to it has been read; they must change nothing.
void ExpectCamerasStillAnswer(Pc& pc, const Simulator& sim, const Expected& expected = {}) {
    ASSERT_TRUE(pc.WaitQuiet());
    const std::uint64_t before = pc.parsed();
    const std::size_t probes = sim.WaitForLog(IsBinaryProbe, 0, 0ms);
    pc.manager->RequestRefresh();
    ASSERT_EQ(sim.WaitForLog(IsBinaryProbe, probes + 1), probes + 1);
    EXPECT_TRUE(WaitUntil([&] { return pc.parsed() >= before + std::size(kCameras); }))
        << "the cameras' answers to a search after the flood never arrived";
    ASSERT_TRUE(pc.WaitQuiet());
    for (const Camera& c : expected.cameras) {
        EXPECT_EQ(pc.notifications(c.mac), expected.notifications(c)) << c.mac;
    }
}

#define QUORVEX_PC_SITE(lab, pc_if)                                                 \
    const std::string pc_if = lab->AddSite("cams", "10.77.9.1/24", "10.77.9.2/24"); \
    ASSERT_FALSE(pc_if.empty()) << lab->last_error()

TEST(HostileNetwork, MillionJunkDatagramsOnBothPortsNeitherCrashNorCorruptTheTable) {
    QUORVEX_LAB_OR_SKIP(lab);
    QUORVEX_PC_SITE(lab, pc_if);
    std::string why;
    const auto sim = StartCameras(*lab, {"--flood", "1000000", "--flood-kind", "mixed"}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    Pc pc(pc_if);
    ASSERT_TRUE(pc.manager->Start());
    // The cameras answer the first search just before the flood starts.
    ASSERT_TRUE(WaitUntil([&] { return AllCamerasListed(pc); }));

    // While the flood runs, the camera "gate" is told to move to HTTP port
    // 8081, and the PC keeps searching: the command, the probes and the
    // camera's changed answer must all cross the swamped link.
    Expected expected;
    expected.cameras[0].http_port = 8081;
    expected.changes[kCameras[0].mac] = 1;
    DeviceEntry gate{};
    ASSERT_TRUE(pc.manager->GetDevice(kCameras[0].mac, gate));
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, kCameras[0].password);
    SetText(settings.ip, kCameras[0].ip);
    SetText(settings.mask, "255.255.255.0");
    SetText(settings.gateway, kCameras[0].gateway);
    SetText(settings.dns1, kCameras[0].dns1);
    SetText(settings.dns2, "9.9.9.9");
    settings.http_port = 8081;
    settings.dhcp = kCameras[0].dhcp;
    pc.manager->SendCommand(gate, settings, kCommandNetSettings);

    bool moved_during_flood = false;
    std::optional<std::string> done;
    const auto deadline = Clock::now() + 120s;
    while (!(done = FloodDone(*sim)) && Clock::now() < deadline) {
        if (pc.manager->GetDevice(kCameras[0].mac, gate) && gate.info.http_port == 8081) {
            moved_during_flood = true;
        }
        pc.manager->RequestRefresh();
        std::this_thread::sleep_for(250ms);
    }
    ASSERT_TRUE(done) << "the flood did not finish: " << ReadFile(sim->stderr_path());
    EXPECT_TRUE(moved_during_flood) << "no command, probe or answer got through the flood";
    ASSERT_TRUE(pc.WaitQuiet());
    EXPECT_TRUE(pc.manager->IsRunning());

    const std::size_t others = ExpectCamerasExactAndNothingElseButFlood(pc, expected);
    // Cut copies did reach the parsers: some decoys are listed.
    EXPECT_GT(others, 0u);
    ExpectCamerasStillAnswer(pc, *sim, expected);

    const std::uint64_t parsed = pc.parsed();
    pc.manager->Stop();
    const double seconds = FloodSeconds(*done);
    std::printf(
        "[ measured ] %s; the PC read %llu datagrams (%.0f per second), the kernel "
        "dropped %llu; %zu flood entries listed\n",
        done->c_str(), static_cast<unsigned long long>(parsed),
        seconds > 0 ? static_cast<double>(parsed) / seconds : 0.0,
        static_cast<unsigned long long>(pc.dropped()), others);
    // Far more than a few stray datagrams were read, or this proved nothing.
    EXPECT_GT(parsed, 100000u);
}

TEST(HostileNetwork, OversizedDatagramsUpTo65507BytesAreReadWholeAndCutAtTheFields) {
    QUORVEX_LAB_OR_SKIP(lab);
    QUORVEX_PC_SITE(lab, pc_if);
    std::string why;
    const auto sim = StartCameras(
        *lab, {"--flood", "400", "--flood-kind", "oversized", "--flood-rate", "2000"}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    Pc pc(pc_if);
    ASSERT_TRUE(pc.manager->Start());
    constexpr const char* kBinaryKey = "0A-0B-51-01-00-01";
    constexpr const char* kTextKey = "0A-0B-51-02-00-02";
    DeviceEntry binary{};
    DeviceEntry text{};
    ASSERT_TRUE(WaitUntil(
        [&] {
            return pc.manager->GetDevice(kBinaryKey, binary) &&
                   pc.manager->GetDevice(kTextKey, text);
        },
        30s))
        << "no oversized answer was read; " << ReadFile(sim->stderr_path());
    ASSERT_TRUE(WaitUntil([&] { return FloodDone(*sim).has_value(); }, 30s));
    ASSERT_TRUE(pc.WaitQuiet());

    // Binary: every text field ran to the end of its message field without a
    // terminator; each is cut there (or at the record field, if narrower).
    {
        SCOPED_TRACE("binary");
        const DeviceInfo& i = binary.info;
        EXPECT_EQ(binary.protocol, kProtocolBinary);
        EXPECT_EQ(binary.family, 1);
        EXPECT_EQ(GetText(i.ip), std::string(16, '1'));
        EXPECT_EQ(GetText(i.mask), std::string(16, '2'));
        EXPECT_EQ(GetText(i.gateway), std::string(16, '3'));
        EXPECT_EQ(GetText(i.dns1), std::string(16, '4'));
        EXPECT_EQ(GetText(i.dns2), std::string(16, '5'));
        EXPECT_EQ(GetText(i.uid), std::string(32, 'U'));
        EXPECT_EQ(DeviceName(i), std::string(80, 'N'));
        EXPECT_EQ(GetText(i.software_version), "67.1.61.99999999");
        EXPECT_EQ(GetText(i.web_version), std::string(16, 'W'));
        EXPECT_EQ(GetText(i.user), std::string(31, 'u'));
        EXPECT_EQ(GetText(i.password), std::string(31, 'p'));
        EXPECT_EQ(i.http_port, 8080);
        EXPECT_EQ(i.aux_flag, 0xA5);
        EXPECT_EQ(i.dhcp, 1);
        EXPECT_EQ(GetText(i.device_id), "");
    }
    // Text: every value is longer than its field and is cut at the field.
    {
        SCOPED_TRACE("text");
        const DeviceInfo& i = text.info;
        EXPECT_EQ(text.protocol, kProtocolText);
        EXPECT_EQ(text.family, 3);
        EXPECT_EQ(GetText(i.device_id), std::string(63, 'D'));
        EXPECT_EQ(DeviceName(i), std::string(63, 'N'));
        EXPECT_EQ(GetText(i.uid), std::string(63, 'U'));
        EXPECT_EQ(GetText(i.ip), ("10.77.201.201" + std::string(18, '9')));
        EXPECT_EQ(GetText(i.mask), std::string(31, '2'));
        EXPECT_EQ(GetText(i.gateway), std::string(31, '3'));
        EXPECT_EQ(GetText(i.software_version), std::string(31, 'S'));
        EXPECT_EQ(GetText(i.web_version), std::string(31, 'W'));
        EXPECT_EQ(GetText(i.dns1), std::string(31, '4'));
        EXPECT_EQ(GetText(i.dns2), std::string(31, '5'));
        EXPECT_EQ(GetText(i.user), "admin");
        EXPECT_EQ(i.http_port, 8080);
        EXPECT_EQ(i.dhcp, 1);
    }
    // Each oversized answer was stored once and never changed: the random
    // oversized datagrams around them yield nothing.
    EXPECT_EQ(pc.notifications(kBinaryKey), 1);
    EXPECT_EQ(pc.notifications(kTextKey), 1);
    EXPECT_EQ(ExpectCamerasExactAndNothingElseButFlood(pc), 2u);
    ExpectCamerasStillAnswer(pc, *sim);
}

TEST(HostileNetwork, ImpostorsOfACamerasMacShareItsEntryWhichAlternatesAndNotifiesEachChange) {
    QUORVEX_LAB_OR_SKIP(lab);
    QUORVEX_PC_SITE(lab, pc_if);
    std::string why;
    const auto sim = StartCameras(*lab, {"--spoof-macs"}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    Pc pc(pc_if);
    pc.RecordNames(true);
    ASSERT_TRUE(pc.manager->Start());

    constexpr int kSearches = 4;
    for (int search = 1; search <= kSearches; ++search) {
        if (search > 1) pc.manager->RequestRefresh();
        // Each search: the camera's answer, then its impostor's, each a change.
        ASSERT_TRUE(WaitUntil([&] {
            return std::all_of(std::begin(kCameras), std::end(kCameras), [&](const Camera& c) {
                return pc.notifications(c.mac) >= 2 * search;
            });
        })) << "search "
            << search;
        if (search == 1) {
            for (std::size_t i = 0; i < std::size(kCameras); ++i) {
                ASSERT_TRUE(pc.manager->SetDeviceRow(kCameras[i].mac, static_cast<int>(i) + 7));
            }
        }
    }
    ASSERT_TRUE(pc.WaitQuiet());

    EXPECT_EQ(pc.manager->DeviceCount(), std::size(kCameras));
    for (std::size_t n = 0; n < std::size(kCameras); ++n) {
        const Camera& c = kCameras[n];
        SCOPED_TRACE(c.mac);
        EXPECT_EQ(pc.notifications(c.mac), 2 * kSearches);
        const std::string spoofed = std::string("spoofed ") + c.name;
        std::vector<std::string> expected;
        for (int s = 0; s < kSearches; ++s) {
            expected.push_back(c.name);
            expected.push_back(spoofed);
        }
        EXPECT_EQ(pc.names(c.mac), expected);

        // The impostor answered last; the row and the hearing interface are
        // the table's own and survive every change.
        DeviceEntry e{};
        ASSERT_TRUE(pc.manager->GetDevice(c.mac, e));
        EXPECT_EQ(DeviceName(e.info), spoofed);
        EXPECT_EQ(GetText(e.info.ip), "192.0.2.66");
        EXPECT_EQ(e.info.http_port, 6666);
        EXPECT_EQ(GetText(e.info.uid), c.uid);
        EXPECT_EQ(e.protocol, c.text ? kProtocolText : kProtocolBinary);
        EXPECT_EQ(e.row, static_cast<int>(n) + 7);
        EXPECT_EQ(AddressText(e.interface_address), kPcAddress);
    }
}

TEST(HostileNetwork, FloodOfNewMacsStopsTheTableAtItsCapWithBoundedMemory) {
    QUORVEX_LAB_OR_SKIP(lab);
    QUORVEX_PC_SITE(lab, pc_if);
    constexpr std::uint64_t kOffered = 200000;
    std::string why;
    const auto sim = StartCameras(*lab, {"--random-macs", std::to_string(kOffered)}, &why);
    ASSERT_TRUE(sim) << why;

    lab->EnterPc();
    Pc pc(pc_if);
    const std::size_t rss_before = ResidentKiB();
    ASSERT_TRUE(pc.manager->Start());
    ASSERT_TRUE(WaitUntil([&] { return FloodDone(*sim).has_value(); }, 120s))
        << ReadFile(sim->stderr_path());
    ASSERT_TRUE(pc.WaitQuiet());
    const std::size_t rss_after = ResidentKiB();
    const std::uint64_t parsed = pc.parsed();

    // Answers beyond the cap were read, and none of their keys was taken.
    EXPECT_GE(parsed, SearchBusiness::kMaxDevices + 1000);
    EXPECT_EQ(pc.manager->DeviceCount(), SearchBusiness::kMaxDevices);
    EXPECT_EQ(pc.notified_keys(), SearchBusiness::kMaxDevices);
    EXPECT_EQ(pc.notifications_total(), SearchBusiness::kMaxDevices);
    // A generous correctness bound: the table of 65,536 entries needs about
    // 50 MiB; growth that tracks the offered answers would exceed this.
    EXPECT_LT(rss_after - std::min(rss_after, rss_before), 200u * 1024u)
        << "resident memory grew from " << rss_before << " KiB to " << rss_after << " KiB";

    // The cameras answered first and keep their entries; every other entry is
    // exactly one of the offered answers.
    std::unordered_map<std::string, std::uint64_t> offered;
    for (std::uint64_t i = 0; i < kOffered; ++i) {
        offered.emplace(DeviceKey(sim::RandomMacDevice(i).mac), i);
    }
    ASSERT_EQ(offered.size(), kOffered) << "the offered MACs are not all different";
    std::size_t mismatched = 0;
    for (const DeviceEntry& e : pc.manager->CopyDevices()) {
        const std::string key = DeviceKey(e.info);
        if (IsCamera(key)) continue;
        const auto found = offered.find(key);
        if (found == offered.end()) {
            ADD_FAILURE() << key << " was never offered";
            continue;
        }
        const sim::SimDevice device = sim::RandomMacDevice(found->second);
        const auto expected =
            Parse(device.protocol, sim::AnswerBytes(device, pc.client_id()), pc.client_id());
        if (!expected || !SameContents(*expected, e)) ++mismatched;
    }
    EXPECT_EQ(mismatched, 0u);
    for (const Camera& c : kCameras) {
        DeviceEntry stored{};
        ASSERT_TRUE(pc.manager->GetDevice(c.mac, stored)) << c.mac;
        ExpectCamera(stored, c);
    }
    // With the table full, stored keys still take their answers.
    ExpectCamerasStillAnswer(pc, *sim);
    EXPECT_EQ(pc.manager->DeviceCount(), SearchBusiness::kMaxDevices);

    pc.manager->Stop();
    std::printf(
        "[ measured ] %s; the PC read %llu, the kernel dropped %llu; resident memory "
        "%zu KiB -> %zu KiB (+%zu KiB)\n",
        FloodDone(*sim).value_or("").c_str(), static_cast<unsigned long long>(parsed),
        static_cast<unsigned long long>(pc.dropped()), rss_before, rss_after,
        rss_after - std::min(rss_after, rss_before));
}

}  // namespace
}  // namespace quorvex
