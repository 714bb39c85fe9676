#include "core/morvain_search.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/core/answers.h"

namespace quorvex {
namespace {

using answers::kClient;
const std::string& kHead = answers::kTextHead;    // status line, CSeq, client id
constexpr std::uint32_t kInterface = 0x0101A8C0;  // 192.168.1.1
const std::string kMac = "MAC:1:2:3:4:5:6\r\n";   // without a whole MAC no device

std::optional<DeviceEntry> Parse(std::string_view text, std::string_view client = kClient) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return MorvainSearch::ParseAnswerBytes(bytes, client, kInterface);
}
DeviceInfo Info(std::string_view text) {
    return Parse(text).value().info;
}

// The command as built, "" when none was.
std::string Command(const DeviceInfo& device, const NetSettings& settings, std::int32_t type) {
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    const std::size_t n = MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, type);
    return std::string(buffer.begin(), buffer.begin() + n);
}

TEST(MorvainSearchBuild, SearchRequestAndClientIds) {
    std::array<std::uint8_t, BaseSearch::kSearchBufferSize> buffer{};
    const std::size_t n = MorvainSearch::BuildSearchRequestBytes(buffer, kClient);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n),
              "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:MorvainControl-Tesslar-1A2B\r\n"
              "Accept-Type:text/HDP\r\nContent-Length:0\r\n\r\n");
    EXPECT_EQ(MorvainSearch::BuildSearchRequestBytes(std::span(buffer).first(20), kClient), 0u);
    EXPECT_EQ(MorvainSearch(0x00ABCDEF).ClientId(), "MorvainControl-Tesslar-ABCDEF");
    EXPECT_NE(MorvainSearch().ClientId(), MorvainSearch().ClientId());
}

TEST(MorvainSearchBuild, NetworkSettingsAndHttpPortCommands) {
    DeviceInfo device = Info(answers::Text());
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "secret");
    SetText(settings.ip, "192.168.1.70");
    SetText(settings.mask, "255.255.255.0");
    SetText(settings.gateway, "192.168.1.1");
    SetText(settings.dns1, "8.8.8.8");
    SetText(settings.dns2, "8.8.4.4");
    settings.http_port = 8081;
    settings.dhcp = 1;
    const std::string head =
        "Client-ID:MorvainControl-Tesslar-1A2B\r\nAccept-Type:text/HDP\r\n"
        "Authorization:Basic admin:secret\r\nDevice-ID:DEV-0042\r\n";
    EXPECT_EQ(Command(device, settings, kCommandNetSettings),
              "CMD * HDS/1.0\r\nCSeq:2\r\n" + head +
                  "Content-Length:154\r\n\r\n"
                  "netconf set -ipaddr 192.168.1.70 -netmask 255.255.255.0 -gateway 192.168.1.1 "
                  "-dhcp on -fdnsip 8.8.8.8 -sdnsip 8.8.4.4 -dnsstat 0 -hwaddr 00:1A:2B:3C:4D:5E"
                  "\r\n\r\n");
    EXPECT_EQ(Command(device, settings, kCommandHttpPort),
              "CMD * HDS/1.0\r\nCSeq:3\r\n" + head +
                  "Content-Length:27\r\n\r\nhttpport set -httpport 8081\r\n\r\n");
    settings.dhcp = 0;
    settings.dns_status = -1;
    EXPECT_NE(Command(device, settings, kCommandNetSettings).find("-dhcp off -fdnsip"),
              std::string::npos);
    EXPECT_NE(Command(device, settings, kCommandNetSettings).find("-dnsstat -1 "),
              std::string::npos);
    for (const std::int32_t type : {0, 3, -1}) EXPECT_EQ(Command(device, settings, type), "");
    // A value left empty leaves its pair out: firmware splits on blanks, and
    // an empty value would shift every pair after it.
    SetText(settings.gateway, "");
    SetText(settings.dns2, "");
    EXPECT_NE(Command(device, settings, kCommandNetSettings)
                  .find("-netmask 255.255.255.0 -dhcp off -fdnsip 8.8.8.8 -dnsstat -1 -hwaddr"),
              std::string::npos);

    // Every field full: nothing is cut, and the counted body still matches.
    SetText(device.device_id, std::string(100, 'D'));
    for (char* field : {settings.user, settings.password, settings.ip, settings.mask,
                        settings.gateway, settings.dns1, settings.dns2}) {
        std::fill(field, field + 31, 'x');
    }
    const std::string full = Command(device, settings, kCommandNetSettings);
    const std::size_t body = full.find("\r\n\r\n") + 4;
    EXPECT_NE(full.find("Device-ID:" + std::string(63, 'D') + "\r\n"), std::string::npos);
    EXPECT_NE(full.find("Content-Length:" + std::to_string(full.size() - body - 4) + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(full.ends_with("-hwaddr 00:1A:2B:3C:4D:5E\r\n\r\n"));
}

TEST(MorvainSearchBuild, ValuesThatWouldBreakALineAreNotSent) {
    // A password "x\r\nDevice-ID:OTHER" must not send the command elsewhere.
    DeviceInfo device{};
    SetText(device.device_id, "DEV-0042");
    for (const char* value : {"x\r\nDevice-ID:OTHER", "x\ny", "x\r"}) {
        for (auto field : {&NetSettings::user, &NetSettings::password, &NetSettings::gateway}) {
            NetSettings settings{};
            SetText(settings.*field, value);
            EXPECT_EQ(Command(device, settings, kCommandNetSettings), "") << value;
        }
    }
    DeviceInfo odd = device;
    SetText(odd.device_id, "DEV\n42");
    EXPECT_EQ(Command(odd, NetSettings{}, kCommandHttpPort), "");
    NetSettings settings{};
    SetText(settings.password, "p a:ss");  // blanks and colons travel as they stand
    EXPECT_NE(Command(device, settings, kCommandHttpPort).find("Basic :p a:ss\r\n"),
              std::string::npos);
}

TEST(MorvainSearchParse, AnswerFillsEveryFieldAndOtherDatagramsYieldNothing) {
    const auto entry = Parse(answers::Text());
    ASSERT_TRUE(entry);
    EXPECT_EQ(answers::Texts(entry->info),
              (std::vector<std::string_view>{"DEV-0042", "Gate camera", "UID-7788", "192.168.1.64",
                                             "255.255.255.0", "192.168.1.1", "8.8.8.8", "8.8.4.4",
                                             "V5.4.1", "V4.0.1", "admin", ""}));
    EXPECT_EQ(DeviceKey(entry->info), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(entry->info.http_port, 8080);
    EXPECT_EQ(entry->info.dhcp, 1);
    EXPECT_EQ(entry->family, 3);
    EXPECT_EQ(entry->protocol, kProtocolText);
    EXPECT_EQ(entry->interface_address, kInterface);

    EXPECT_FALSE(Parse(answers::Text(), "MorvainControl-Tesslar-FFFF"));  // another client's
    EXPECT_FALSE(Parse(answers::Text(), ""));
    EXPECT_FALSE(Parse("MCTP/1.0 200 OK\r\n" + kClient));
    EXPECT_FALSE(Parse("HDS/1.0 200 OK  " + kClient));  // status line without CR LF
    EXPECT_FALSE(Parse("hds/1.0 200 ok\r\n" + kClient));
    std::string hidden = kHead;
    hidden[hidden.find(kClient) - 1] = '\0';  // the text ends before the client id
    EXPECT_FALSE(Parse(hidden));
}

TEST(MorvainSearchParse, HeadersAreReadInOrderAndOnlyUpToTheirLineEnd) {
    // "IP" moved before "UID": the search for it starts past "UID" and fails.
    std::string answer = answers::Text();
    answer.erase(answer.find("IP:192.168.1.64\r\n"), 17);
    answer.insert(answer.find("UID:"), "IP:192.168.1.64\r\n");
    DeviceInfo info = Info(answer);
    EXPECT_EQ(GetText(info.ip), "");
    EXPECT_EQ(GetText(info.uid), "UID-7788");
    EXPECT_EQ(GetText(info.mask), "255.255.255.0");
    // Headers before the client id are not read.
    info = Info("HDS/1.0 200 OK\r\nUID:early\r\n" + kClient + "\r\nIP:10.0.0.5\r\n" + kMac);
    EXPECT_EQ(GetText(info.uid), "");
    EXPECT_EQ(GetText(info.ip), "10.0.0.5");
    // A value without CR LF is empty; a value runs on over a bare LF.
    EXPECT_EQ(GetText(Info(kHead + kMac + "Fdns:1\r\nSdns:8.8.4.4").dns2), "");
    EXPECT_EQ(GetText(Info(kHead + kMac + "Sdns").dns2), "");
    info = Info(kHead + "Device-ID:abc\nDevice-Name:n\r\nUID:u\r\n" + kMac);
    EXPECT_EQ(GetText(info.device_id), "abc\nDevice-Name:n");
    EXPECT_EQ(GetText(info.name), "");
    EXPECT_EQ(GetText(info.uid), "u");
}

TEST(MorvainSearchParse, NumbersAndMacAddress) {
    const auto with = [](std::string header, std::string value) {
        return Info(kHead + kMac + header + ":" + value + "\r\n");
    };
    const auto mac_of = [&](std::string value) -> std::string {
        const auto entry = Parse(kHead + "MAC:" + value + "\r\n");
        return entry ? DeviceKey(entry->info) : "none";
    };
    EXPECT_EQ(mac_of("0:1a:2B:3:4:5"), "00-1A-2B-03-04-05");
    EXPECT_EQ(mac_of("100:1FF:2:3:4:5"), "00-FF-02-03-04-05");  // low byte of each
    EXPECT_EQ(mac_of("0x1a:0X2b:3:4:5:6"), "1A-2B-03-04-05-06");
    // A MAC that is not whole names no device: cut short, a bad number, the
    // wrong separator, or no MAC header at all.
    EXPECT_EQ(mac_of("AA:BB:CC"), "none");
    EXPECT_EQ(mac_of("11:zz:33:44:55:66"), "none");
    EXPECT_EQ(mac_of("00-1A-2B-3C-4D-5E"), "none");
    EXPECT_EQ(mac_of(""), "none");
    EXPECT_FALSE(Parse(kHead));
    const std::string whole = answers::Text();
    EXPECT_FALSE(Parse(whole.substr(0, whole.find("MAC:") + 12)));  // cut inside "MAC:"
    EXPECT_EQ(with("Http-Port", "70000").http_port, 4464);          // cut to 16 bits
    EXPECT_EQ(with("Http-Port", " 81abc").http_port, 81);
    EXPECT_EQ(with("Http-Port", "abc").http_port, 0);
    EXPECT_EQ(with("Dhcp", "257").dhcp, 1);  // cut to 8 bits
}

TEST(MorvainSearchParse, OversizedValuesAreCutAtTheirField) {
    const DeviceInfo info = Info(kHead + "Device-ID:" + std::string(200, 'i') + "\r\nDevice-Name:" +
                                 std::string(70, 'n') + "\r\nIP:" + std::string(40, '9') + "\r\n" +
                                 kMac + "Sdns:" + std::string(5000, 's') + "\r\n");
    EXPECT_EQ(GetText(info.device_id), std::string(63, 'i'));
    EXPECT_EQ(DeviceName(info), std::string(63, 'n'));  // a text name never runs on
    EXPECT_EQ(GetText(info.ip), std::string(31, '9'));
    EXPECT_EQ(GetText(info.dns2), std::string(31, 's'));
}

TEST(MorvainSearchParse, LargestDatagramIsReadWhole) {
    // 65,507 bytes, the largest UDP payload, the answer last, no zero anywhere.
    const std::string tail = answers::Text();
    const DeviceInfo info = Info(std::string(65507 - tail.size(), 'p') + tail);
    EXPECT_EQ(GetText(info.dns2), "8.8.4.4");
    EXPECT_EQ(DeviceKey(info), "00-1A-2B-3C-4D-5E");
}

}  // namespace
}  // namespace quorvex
