// Datagrams that are cut short, as large as UDP allows, unterminated, spoofed
// or echoes of the program's own requests, through both parsers and through
// the parse hook that the receive loop calls with its reused receive slot. No
// socket is opened: the bytes are handed over as the loop hands them over.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"

namespace quorvex {
namespace {

constexpr std::uint32_t kInstance = 0x1A2B;
constexpr std::string_view kClient = "MorvainControl-Tesslar-1A2B";
constexpr std::uint32_t kInterface = 0x0A4D000A;  // 10.0.77.10

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string TextAnswer() {
    return "HDS/1.0 200 OK\r\n"
           "CSeq:1\r\n"
           "Client-ID:" +
           std::string(kClient) +
           "\r\n"
           "Device-ID:DEV-9\r\n"
           "Device-Name:Dock\r\n"
           "UID:UID-9\r\n"
           "IP:10.0.77.50\r\n"
           "MASK:255.255.255.0\r\n"
           "MAC:00:1a:2b:3c:4d:5e\r\n"
           "Gateway:10.0.77.1\r\n"
           "Software-Version:V5.4.1\r\n"
           "Web-Version:V4.0.1\r\n"
           "Http-Port:8080\r\n"
           "Dhcp:1\r\n"
           "Fdns:10.0.77.2\r\n"
           "Sdns:10.0.77.3\r\n"
           "\r\n";
}

// A 302-byte binary answer.
std::vector<std::uint8_t> BinaryAnswer() {
    std::vector<std::uint8_t> bytes(302, 0);
    const auto put = [&](std::size_t offset, std::string_view text) {
        std::memcpy(bytes.data() + offset, text.data(), text.size());
    };
    put(0, "\x44\x48\x01\x08");           // 0: answer header
    put(4, "10.0.77.60");                 // 4: IP address
    put(20, "255.255.255.0");             // 20: subnet mask
    put(36, "10.0.77.1");                 // 36: gateway
    put(52, "10.0.77.2");                 // 52: first DNS server
    put(68, "10.0.77.3");                 // 68: second DNS server
    put(84, "\x00\x1a\x2b\x3c\x4d\x60");  // 84: MAC
    put(90, "\x50\x00");                  // 90: HTTP port 80, little-endian
    put(92, "UID-60");                    // 92: UID
    put(124, "Lobby");                    // 124: device name
    put(204, "67.1.61.5");                // 204: software version
    put(220, "2.0.3");                    // 220: web version
    put(236, "admin");                    // 236: user name
    put(268, "secret");                   // 268: password
    bytes[300] = 7;                       // 300: flag byte
    bytes[301] = 1;                       // 301: DHCP on
    return bytes;
}

// Every text field of the record, by name.
std::vector<std::pair<const char*, std::string_view>> Texts(const DeviceInfo& info) {
    return {{"device_id", GetText(info.device_id)},
            {"name", DeviceName(info)},
            {"uid", GetText(info.uid)},
            {"ip", GetText(info.ip)},
            {"mask", GetText(info.mask)},
            {"gateway", GetText(info.gateway)},
            {"software_version", GetText(info.software_version)},
            {"web_version", GetText(info.web_version)},
            {"dns1", GetText(info.dns1)},
            {"dns2", GetText(info.dns2)},
            {"user", GetText(info.user)},
            {"password", GetText(info.password)}};
}

TEST(HostileDatagram, EveryCutOfATextAnswerKeepsOnlyValuesThatArrivedWhole) {
    const std::string full = TextAnswer();
    const auto whole = MorvainSearch::ParseAnswerBytes(Bytes(full), kClient, kInterface);
    ASSERT_TRUE(whole);
    const auto expected = Texts(whole->info);
    const std::size_t client_end = full.find(kClient) + kClient.size();
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        // A buffer of exactly the received length: a read past it is a fault
        // that the sanitizer builds report.
        const std::vector<std::uint8_t> received(full.begin(), full.begin() + cut);
        const auto entry = MorvainSearch::ParseAnswerBytes(received, kClient, kInterface);
        ASSERT_EQ(entry.has_value(), cut >= client_end);
        if (!entry) continue;
        const auto texts = Texts(entry->info);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            // A value without its line end is empty, never a piece.
            if (!texts[i].second.empty() && std::string_view(texts[i].first) != "user") {
                EXPECT_EQ(texts[i].second, expected[i].second) << texts[i].first;
            }
        }
    }
}

TEST(HostileDatagram, EchoesAndSpoofsAreNoDevices) {
    // The program's own requests heard back: they carry the client id and,
    // for commands, the credentials, but no answer's status line or header.
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    DeviceInfo device{};
    SetText(device.device_id, "DEV-9");
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "secret");
    std::size_t length = MorvainSearch::BuildSearchRequestBytes(buffer, kClient);
    EXPECT_FALSE(
        MorvainSearch::ParseAnswerBytes(std::span(buffer).first(length), kClient, kInterface));
    length =
        MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandNetSettings);
    EXPECT_FALSE(
        MorvainSearch::ParseAnswerBytes(std::span(buffer).first(length), kClient, kInterface));
    length = BrannocSearch::BuildSearchRequestBytes(buffer);
    EXPECT_FALSE(BrannocSearch::ParseAnswerBytes(std::span(buffer).first(length), kInterface));
    length = BrannocSearch::BuildCommandBytes(buffer, device, settings);
    EXPECT_FALSE(BrannocSearch::ParseAnswerBytes(std::span(buffer).first(length), kInterface));

    // An answer for another instance, one whose client id hides behind a
    // zero, and one whose status line is cut off by a zero.
    std::string other = TextAnswer();
    other.replace(other.find(kClient), kClient.size(), "MorvainControl-Tesslar-9999");
    EXPECT_FALSE(MorvainSearch::ParseAnswerBytes(Bytes(other), kClient, kInterface));
    std::string hidden = TextAnswer();
    hidden[hidden.find(kClient) - 1] = '\0';
    EXPECT_FALSE(MorvainSearch::ParseAnswerBytes(Bytes(hidden), kClient, kInterface));
    std::string cut_status = TextAnswer();
    cut_status[8] = '\0';
    EXPECT_FALSE(MorvainSearch::ParseAnswerBytes(Bytes(cut_status), kClient, kInterface));
}

TEST(HostileDatagram, LargestDatagramsWithoutTerminatorsStayInsideTheirFields) {
    // 65,507 bytes: the answer header, then 0xFF everywhere, so that no field
    // has a terminator.
    std::vector<std::uint8_t> binary(65507, 0xFF);
    std::memcpy(binary.data(), "\x44\x48\x01\x08", 4);
    auto entry = BrannocSearch::ParseAnswerBytes(binary, kInterface);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip).size(), 16u);
    EXPECT_EQ(GetText(entry->info.uid).size(), 32u);
    EXPECT_EQ(DeviceName(entry->info).size(), 80u);
    EXPECT_EQ(GetText(entry->info.user).size(), 31u);
    EXPECT_EQ(GetText(entry->info.password).size(), 31u);
    EXPECT_EQ(GetText(entry->info.device_id), "");

    // The text answer's names with no line end anywhere after them, repeated
    // to the largest size: every value is empty.
    std::string text = "HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\n";
    while (text.size() + 5 <= 65507) text += "IP:\xFF\r";
    text.resize(65507, 'x');
    entry = MorvainSearch::ParseAnswerBytes(Bytes(text), kClient, kInterface);
    ASSERT_TRUE(entry);
    for (const auto& [name, value] : Texts(entry->info)) {
        if (std::string_view(name) != "user") {
            EXPECT_EQ(value, "") << name;
        }
    }
}

// The parse hook of each protocol, reachable as the receive loop reaches it.
class TextPort : public MorvainSearch {
public:
    TextPort() : MorvainSearch(kInstance) {}
    using MorvainSearch::ParseAnswer;
};
class BinaryPort : public BrannocSearch {
public:
    using BrannocSearch::ParseAnswer;
};

void Keep(const DeviceEntry* entry, void* context, std::int32_t) {
    static_cast<std::vector<DeviceEntry>*>(context)->push_back(*entry);
}

TEST(HostileDatagram, AReusedReceiveSlotShowsNothingOfTheDatagramBefore) {
    // One slot, as large as the receive batch's, written over by each
    // datagram and handed over at the datagram's own length.
    std::vector<std::uint8_t> slot(65536, 0);
    const auto receive = [&slot](std::span<const std::uint8_t> datagram) {
        std::copy(datagram.begin(), datagram.end(), slot.begin());
        return std::span<const std::uint8_t>(slot.data(), datagram.size());
    };
    std::vector<DeviceEntry> delivered;

    TextPort text;
    text.SetCallback(&Keep, &delivered, 0);
    text.ParseAnswer(receive(Bytes(TextAnswer())), kInterface);
    // The second answer is shorter; the first one's headers still lie in the
    // slot behind it.
    const std::string short_answer = "HDS/1.0 200 OK\r\n" + std::string(kClient) +
                                     "\r\n"
                                     "Device-ID:DEV-10\r\n"
                                     "Device-Name:Gate\r\n";
    text.ParseAnswer(receive(Bytes(short_answer)), kInterface);
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(GetText(delivered[1].info.name), "Gate");
    EXPECT_EQ(GetText(delivered[1].info.ip), "");
    EXPECT_EQ(GetText(delivered[1].info.dns2), "");
    EXPECT_EQ(delivered[1].info.http_port, 0);
    EXPECT_EQ(DeviceKey(delivered[1].info), "00-00-00-00-00-00");

    // An answer cut right after its MAC, over a full one: only what arrived
    // is read, every later field is empty. A header alone names no device.
    delivered.clear();
    BinaryPort binary;
    binary.SetCallback(&Keep, &delivered, 0);
    binary.ParseAnswer(receive(BinaryAnswer()), kInterface);
    std::vector<std::uint8_t> cut = BinaryAnswer();
    cut.resize(90);  // 0..89: header, five addresses, MAC
    binary.ParseAnswer(receive(cut), kInterface);
    binary.ParseAnswer(receive(Bytes("\x44\x48\x01\x08")), kInterface);
    // And one datagram that is not an answer at all, over the full one.
    binary.ParseAnswer(receive(BinaryAnswer()), kInterface);
    binary.ParseAnswer(receive(Bytes("\x44\x48\x02")), kInterface);
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(DeviceKey(delivered[1].info), DeviceKey(delivered[0].info));
    EXPECT_EQ(GetText(delivered[1].info.ip), GetText(delivered[0].info.ip));
    EXPECT_EQ(delivered[1].info.http_port, 0);
    EXPECT_EQ(GetText(delivered[1].info.uid), "");
    EXPECT_EQ(GetText(delivered[1].info.software_version), "");
    EXPECT_TRUE(SameContents(delivered[0], delivered[2]));
}

}  // namespace
}  // namespace quorvex
