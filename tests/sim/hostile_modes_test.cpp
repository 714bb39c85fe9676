// The simulator's hostile modes without a network: what their datagrams are
// (the namespace tests rely on random bytes and near misses never passing for
// an answer), where they go, how the flood is paced and counted, and the
// options that ask for them. Answers are checked with the PC's own parsers.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "sim/binary_device_protocol.h"
#include "sim/flood_datagrams.h"
#include "sim/flood_pace.h"
#include "sim/flood_responder.h"
#include "sim/flood_target.h"
#include "sim/sim_options.h"
#include "sim/spoof_responder.h"
#include "sim/text_device_protocol.h"

namespace quorvex::sim {
namespace {

using namespace std::chrono_literals;

const std::string kClientId = MorvainSearch::MakeClientId(0xC0FFEE);

std::uint32_t Address(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

// What the PC makes of `bytes` with either parser, if anything.
bool ParsesAsAnswer(std::span<const std::uint8_t> bytes) {
    return BrannocSearch::ParseAnswerBytes(bytes, 1).has_value() ||
           MorvainSearch::ParseAnswerBytes(bytes, kClientId, 1).has_value();
}

const std::vector<std::uint8_t> kProbe = {0x44, 0x48, 0x01, 0x01};

std::vector<std::uint8_t> TextSearch(const std::string& client) {
    const std::string text = "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:" + client +
                             "\r\nAccept-Type:text/HDP\r\nContent-Length:0\r\n\r\n";
    return {text.begin(), text.end()};
}

ReceivedDatagram Heard(SocketKind socket, const char* from, std::uint16_t port,
                       const std::vector<std::uint8_t>& bytes, std::size_t interface = 0) {
    ReceivedDatagram d;
    d.interface_index = interface;
    d.socket = socket;
    d.source_address = Address(from);
    d.source_port = port;
    d.bytes = bytes;
    return d;
}

TEST(FloodDatagrams, RandomBytesAndNearMissesNeverPassForAnAnswer) {
    FloodRandom random(7);
    for (int i = 0; i < 20000; ++i) {
        const auto bytes = RandomBytes(random, static_cast<std::size_t>(i % (kFrameDatagram + 1)));
        ASSERT_EQ(std::count(bytes.begin(), bytes.end(), kNeverRandom), 0);
        ASSERT_FALSE(ParsesAsAnswer(bytes)) << "datagram " << i;
    }
    int text_variants = 0;
    for (int variant = 0; variant < kNearMissVariants; ++variant) {
        for (int index = 0; index < 4; ++index) {
            bool text = false;
            const auto bytes = NearMiss(variant, index, kClientId, text);
            text_variants += text ? 1 : 0;
            EXPECT_FALSE(ParsesAsAnswer(bytes)) << "variant " << variant;
        }
    }
    EXPECT_EQ(text_variants, 5 * 4);
    // The decoys they are made like are whole answers the PC takes.
    for (const auto protocol : {DeviceProtocol::kBinary, DeviceProtocol::kText}) {
        const SimDevice decoy = DecoyDevice(protocol, 5);
        EXPECT_TRUE(ParsesAsAnswer(AnswerBytes(decoy, kClientId)));
        EXPECT_EQ(decoy.mac[0], kDecoyOui[0]);
        EXPECT_EQ(decoy.mac[5], 5);
    }
}

TEST(FloodDatagrams, OversizedAnswersFillTheLargestDatagramAndStillParse) {
    const auto binary = OversizedAnswer(DeviceProtocol::kBinary, kClientId);
    const auto text = OversizedAnswer(DeviceProtocol::kText, kClientId);
    EXPECT_EQ(binary.size(), kLargestDatagram);
    EXPECT_EQ(text.size(), kLargestDatagram);
    const auto b = BrannocSearch::ParseAnswerBytes(binary, 1);
    const auto t = MorvainSearch::ParseAnswerBytes(text, kClientId, 1);
    ASSERT_TRUE(b && t);
    EXPECT_EQ(DeviceKey(b->info), "0A-0B-51-01-00-01");
    EXPECT_EQ(DeviceKey(t->info), "0A-0B-51-02-00-02");
}

TEST(FloodPace, HandsOutAtTheRateInChunksAndStopsAtTheTotal) {
    const Clock::time_point t0{};
    FloodPace paced(3000, 1000);
    EXPECT_EQ(paced.NextDue(t0), Clock::time_point::max());  // not started
    EXPECT_EQ(paced.Take(t0), 1u);                           // one at once
    EXPECT_EQ(paced.NextDue(t0), t0 + 1ms);
    EXPECT_EQ(paced.Take(t0 + 500us), 0u);
    EXPECT_EQ(paced.Take(t0 + 500ms), 500u);
    // Long overdue: no more than a chunk at a time, and the rest at once.
    EXPECT_EQ(paced.Take(t0 + 10s), FloodPace::kChunk);
    EXPECT_EQ(paced.NextDue(t0 + 10s), t0 + 10s);
    EXPECT_EQ(paced.Take(t0 + 10s), FloodPace::kChunk);
    EXPECT_EQ(paced.Take(t0 + 10s), 3000u - 1 - 500 - 2 * FloodPace::kChunk);
    EXPECT_TRUE(paced.Done());
    EXPECT_EQ(paced.Take(t0 + 20s), 0u);
    EXPECT_EQ(paced.NextDue(t0 + 20s), Clock::time_point::max());
    EXPECT_EQ(paced.sent(), 3000u);

    FloodPace fast(1500, 0);
    EXPECT_EQ(fast.Take(t0), FloodPace::kChunk);
    EXPECT_EQ(fast.NextDue(t0), t0);
    EXPECT_EQ(fast.Take(t0), 1500u - FloodPace::kChunk);
    EXPECT_TRUE(fast.Done());
}

TEST(FloodTarget, AimsAtTheFirstPcHeardOnBothPorts) {
    FloodTarget target;
    const std::vector<std::uint8_t> answer(324, 0x44);
    target.Learn(Heard(SocketKind::kBinary, "10.77.1.1", 40000, answer));  // not a probe
    target.Learn(Heard(SocketKind::kBinary, "10.77.1.1", 40001, kProbe));
    EXPECT_FALSE(target.Known());
    // Another PC's search does not complete the first one.
    target.Learn(Heard(SocketKind::kText, "10.77.1.9", 12109, TextSearch("other")));
    target.Learn(Heard(SocketKind::kText, "10.77.1.1", 12109, TextSearch("mine"), 1));
    EXPECT_FALSE(target.Known());
    target.Learn(Heard(SocketKind::kText, "10.77.1.1", 12109, TextSearch("mine")));
    ASSERT_TRUE(target.Known());
    EXPECT_EQ(target.client_id(), "mine");
    target.Learn(Heard(SocketKind::kBinary, "10.77.1.9", 40002, kProbe));
    EXPECT_EQ(target.binary_port(), 40001);

    const auto to = [&](SocketKind kind, bool group) {
        const OutgoingDatagram o = target.Aim(kind, group, {1, 2, 3}, Clock::time_point{});
        EXPECT_EQ(o.socket, kind);
        EXPECT_EQ(o.bytes.size(), 3u);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &o.address, text, sizeof text);
        return std::string(text) + ":" + std::to_string(o.port);
    };
    EXPECT_EQ(to(SocketKind::kBinary, false), "10.77.1.1:40001");
    EXPECT_EQ(to(SocketKind::kBinary, true), "255.255.255.255:40001");
    EXPECT_EQ(to(SocketKind::kText, false), "10.77.1.1:12109");
    EXPECT_EQ(to(SocketKind::kText, true), "239.255.255.250:12109");
}

// Runs a flood responder through its probes and ticks until it is done.
std::vector<OutgoingDatagram> RunFlood(FloodResponder& flood, int& ticks) {
    std::vector<OutgoingDatagram> out;
    const Clock::time_point t0{};
    flood.OnTick(t0, {}, out);
    EXPECT_TRUE(out.empty()) << "the flood started before the PC probed";
    flood.OnDatagram(Heard(SocketKind::kBinary, "10.77.1.1", 40001, kProbe), t0, out);
    flood.OnDatagram(Heard(SocketKind::kText, "10.77.1.1", 12109, TextSearch(kClientId)), t0, out);
    EXPECT_TRUE(out.empty());
    for (ticks = 0; !flood.done() && ticks < 100; ++ticks) flood.OnTick(t0, {}, out);
    return out;
}

TEST(FloodResponder, SendsExactlyItsCountOfEachKindAndReportsOnce) {
    for (const FloodKind kind : {FloodKind::kRandom, FloodKind::kNearMiss, FloodKind::kTruncated,
                                 FloodKind::kOversized, FloodKind::kMixed}) {
        SCOPED_TRACE(std::string(FloodKindName(kind)));
        std::ostringstream report;
        FloodResponder flood(kind, 2500, 0, FloodAim::kMixed, 3, &report);
        int ticks = 0;
        const auto out = RunFlood(flood, ticks);
        EXPECT_EQ(out.size(), 2500u);
        EXPECT_EQ(ticks, 3);  // two full chunks and the rest
        std::size_t to_group = 0;
        for (const OutgoingDatagram& o : out) {
            ASSERT_LE(o.bytes.size(), kLargestDatagram);
            to_group += o.address != Address("10.77.1.1") ? 1 : 0;
            if (kind == FloodKind::kRandom || kind == FloodKind::kNearMiss) {
                ASSERT_FALSE(ParsesAsAnswer(o.bytes));
            }
            if (kind == FloodKind::kOversized) {
                ASSERT_GT(o.bytes.size(), kFrameDatagram);
            }
        }
        EXPECT_EQ(to_group, 1250u);
        const std::string line = report.str();
        EXPECT_EQ(line.find("quorvex-sim: flood done: 2500 "), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
    }
}

TEST(FloodResponder, CutCopiesAreNeverWholeAndRandomMacsAreAllValidAndDistinct) {
    std::ostringstream report;
    FloodResponder cut(FloodKind::kTruncated, 5000, 0, FloodAim::kUnicast, 4, &report);
    int ticks = 0;
    std::vector<std::vector<std::uint8_t>> decoys;
    for (const auto protocol : {DeviceProtocol::kBinary, DeviceProtocol::kText}) {
        for (int i = 0; i < kDecoyCount; ++i)
            decoys.push_back(AnswerBytes(DecoyDevice(protocol, i), kClientId));
    }
    for (const OutgoingDatagram& o : RunFlood(cut, ticks)) {
        // A strict prefix of some decoy's whole answer.
        ASSERT_TRUE(std::any_of(decoys.begin(), decoys.end(), [&](const auto& whole) {
            return o.bytes.size() < whole.size() &&
                   std::equal(o.bytes.begin(), o.bytes.end(), whole.begin());
        }));
        ASSERT_EQ(o.address, Address("10.77.1.1"));
    }

    FloodResponder macs(FloodKind::kRandomMacs, 4000, 0, FloodAim::kGroup, 4, &report);
    std::vector<std::string> keys;
    for (const OutgoingDatagram& o : RunFlood(macs, ticks)) {
        const auto entry = o.socket == SocketKind::kBinary
                               ? BrannocSearch::ParseAnswerBytes(o.bytes, 1)
                               : MorvainSearch::ParseAnswerBytes(o.bytes, kClientId, 1);
        ASSERT_TRUE(entry);
        keys.push_back(DeviceKey(entry->info));
    }
    ASSERT_EQ(keys.size(), 4000u);
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::unique(keys.begin(), keys.end()), keys.end());
}

TEST(SpoofResponder, AnswersEachProbeOnceMoreJustAfterTheCameraWithItsMac) {
    SimDevice binary;
    binary.protocol = DeviceProtocol::kBinary;
    binary.mac[5] = 1;
    binary.name = "gate";
    SimDevice text;
    text.protocol = DeviceProtocol::kText;
    text.mac[5] = 2;
    text.name = "hall";
    text.device_id = "HALL";
    text.reply = ReplyMode::kMulticast;
    SpoofResponder spoof({binary, text});

    const Clock::time_point now{};
    std::vector<OutgoingDatagram> out;
    spoof.OnDatagram(Heard(SocketKind::kBinary, "10.77.1.1", 40001, kProbe), now, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_GT(out[0].due, now);
    const auto b = BrannocSearch::ParseAnswerBytes(out[0].bytes, 1);
    ASSERT_TRUE(b);
    EXPECT_EQ(DeviceKey(b->info), "00-00-00-00-00-01");
    EXPECT_EQ(DeviceName(b->info), "spoofed gate");
    EXPECT_EQ(GetText(b->info.ip), "192.0.2.66");
    EXPECT_EQ(b->info.http_port, 6666);
    EXPECT_EQ(out[0].address, Address("10.77.1.1"));
    EXPECT_EQ(out[0].port, 40001);

    out.clear();
    spoof.OnDatagram(Heard(SocketKind::kText, "10.77.1.1", 12109, TextSearch(kClientId)), now, out);
    ASSERT_EQ(out.size(), 1u);
    const auto t = MorvainSearch::ParseAnswerBytes(out[0].bytes, kClientId, 1);
    ASSERT_TRUE(t);
    EXPECT_EQ(DeviceName(t->info), "spoofed hall");
    EXPECT_EQ(out[0].address, Address(kTextGroup));  // in the camera's own reply mode

    out.clear();
    spoof.OnDatagram(Heard(SocketKind::kBinary, "10.77.1.1", 40001, {0x44, 0x48, 0x02, 0x01}), now,
                     out);
    EXPECT_TRUE(out.empty());
}

TEST(SimOptionsParse, HostileModesTakeTheirOptionsAndRefuseBadOnes) {
    const char* good[] = {
        "sim",  "--flood",    "1000000", "--flood-kind=truncated", "--flood-rate",
        "5000", "--flood-to", "group",   "--spoof-macs",           "--random-macs=200000"};
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions(static_cast<int>(std::size(good)), good, options, error)) << error;
    EXPECT_EQ(options.flood.count, 1000000u);
    EXPECT_EQ(options.flood.kind, FloodKind::kTruncated);
    EXPECT_EQ(options.flood.rate, 5000u);
    EXPECT_EQ(options.flood.aim, FloodAim::kGroup);
    EXPECT_TRUE(options.flood.spoof_macs);
    EXPECT_EQ(options.flood.random_macs, 200000u);

    for (const std::vector<const char*>& argv : {std::vector<const char*>{"sim", "--flood", "0"},
                                                 {"sim", "--flood"},
                                                 {"sim", "--flood", "1e6"},
                                                 {"sim", "--flood-kind", "random-macs"},
                                                 {"sim", "--flood-kind", "loud"},
                                                 {"sim", "--flood-to", "everyone"},
                                                 {"sim", "--flood-rate", "-5"},
                                                 {"sim", "--random-macs", "0"},
                                                 {"sim", "--random-macs", "99999999999"},
                                                 {"sim", "--spoof-macs=yes"}}) {
        SimOptions bad;
        std::string reason;
        EXPECT_FALSE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), bad, reason))
            << argv.back();
        EXPECT_FALSE(reason.empty());
    }
}

}  // namespace
}  // namespace quorvex::sim
