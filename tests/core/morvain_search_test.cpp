#include "core/morvain_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {
namespace {

constexpr std::string_view kClient = "MorvainControl-Tesslar-1A2B";
constexpr std::uint32_t kInterface = 0x0101A8C0;  // 192.168.1.1

std::span<const std::uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<DeviceEntry> Parse(std::string_view text, std::string_view client = kClient) {
    return MorvainSearch::ParseAnswerBytes(Bytes(text), client, kInterface);
}

// A well-formed answer with every header in the order the parser reads them.
std::string FullAnswer() {
    return "HDS/1.0 200 OK\r\n"
           "CSeq:1\r\n"
           "Client-ID:" +
           std::string(kClient) +
           "\r\n"
           "Device-ID:DEV-0042\r\n"
           "Device-Name:Gate camera\r\n"
           "UID:UID-7788\r\n"
           "IP:192.168.1.64\r\n"
           "MASK:255.255.255.0\r\n"
           "MAC:00:1a:2b:3c:4d:5e\r\n"
           "Gateway:192.168.1.1\r\n"
           "Software-Version:V5.4.1\r\n"
           "Web-Version:V4.0.1\r\n"
           "Http-Port:8080\r\n"
           "Dhcp:1\r\n"
           "Fdns:8.8.8.8\r\n"
           "Sdns:8.8.4.4\r\n"
           "\r\n";
}

std::string Built(std::span<const std::uint8_t> buffer, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), length);
}

TEST(MorvainSearchBuild, SearchRequestIsTheFiveHeaderLinesAndAnEmptyLine) {
    std::array<std::uint8_t, BaseSearch::kSearchBufferSize> buffer{};
    const std::size_t length = MorvainSearch::BuildSearchRequestBytes(buffer, kClient);
    EXPECT_EQ(Built(buffer, length),
              "SEARCH * HDS/1.0\r\n"
              "CSeq:1\r\n"
              "Client-ID:MorvainControl-Tesslar-1A2B\r\n"
              "Accept-Type:text/HDP\r\n"
              "Content-Length:0\r\n"
              "\r\n");
    // The length counts no terminating zero.
    EXPECT_EQ(buffer[length - 1], '\n');

    std::array<std::uint8_t, 20> tiny{};
    EXPECT_EQ(MorvainSearch::BuildSearchRequestBytes(tiny, kClient), 0u);
}

TEST(MorvainSearchBuild, ClientIdsAreUpperCaseHexAndDifferPerInstance) {
    EXPECT_EQ(MorvainSearch::MakeClientId(0x00ABCDEF), "MorvainControl-Tesslar-ABCDEF");
    EXPECT_EQ(MorvainSearch(0x1F).ClientId(), "MorvainControl-Tesslar-1F");
    MorvainSearch first;
    MorvainSearch second;
    EXPECT_NE(first.ClientId(), second.ClientId());
    EXPECT_TRUE(first.ClientId().starts_with("MorvainControl-Tesslar-"));
}

TEST(MorvainSearchBuild, NetworkSettingsCommand) {
    DeviceInfo device{};
    SetText(device.device_id, "DEV-0042");
    const std::uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(std::begin(mac), std::end(mac), device.mac);
    NetSettings settings{};
    SetText(settings.user, "admin");
    SetText(settings.password, "secret");
    SetText(settings.ip, "192.168.1.70");
    SetText(settings.mask, "255.255.255.0");
    SetText(settings.gateway, "192.168.1.1");
    SetText(settings.dns1, "8.8.8.8");
    SetText(settings.dns2, "8.8.4.4");
    settings.dhcp = 1;
    settings.dns_status = 0;

    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    const std::size_t length =
        MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandNetSettings);
    const std::string body =
        "netconf set -ipaddr 192.168.1.70 -netmask 255.255.255.0 -gateway 192.168.1.1 -dhcp on "
        "-fdnsip 8.8.8.8 -sdnsip 8.8.4.4 -dnsstat 0 -hwaddr 00:1A:2B:3C:4D:5E";
    EXPECT_EQ(Built(buffer, length),
              "CMD * HDS/1.0\r\n"
              "CSeq:2\r\n"
              "Client-ID:MorvainControl-Tesslar-1A2B\r\n"
              "Accept-Type:text/HDP\r\n"
              "Authorization:Basic admin:secret\r\n"
              "Device-ID:DEV-0042\r\n"
              "Content-Length:" +
                  std::to_string(body.size()) +
                  "\r\n"
                  "\r\n" +
                  body +
                  "\r\n"
                  "\r\n");

    settings.dhcp = 0;
    settings.dns_status = -1;
    const std::string off = Built(
        buffer,
        MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandNetSettings));
    EXPECT_NE(off.find("-dhcp off -fdnsip"), std::string::npos);
    EXPECT_NE(off.find("-dnsstat -1 -hwaddr"), std::string::npos);
}

TEST(MorvainSearchBuild, HttpPortCommandAndUnknownTypes) {
    DeviceInfo device{};
    SetText(device.device_id, "DEV-0042");
    NetSettings settings{};
    SetText(settings.user, "admin");
    settings.http_port = 8080;

    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    const std::size_t length =
        MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandHttpPort);
    EXPECT_EQ(Built(buffer, length),
              "CMD * HDS/1.0\r\n"
              "CSeq:3\r\n"
              "Client-ID:MorvainControl-Tesslar-1A2B\r\n"
              "Accept-Type:text/HDP\r\n"
              "Authorization:Basic admin:\r\n"
              "Device-ID:DEV-0042\r\n"
              "Content-Length:27\r\n"
              "\r\n"
              "httpport set -httpport 8080\r\n"
              "\r\n");

    for (const std::int32_t type : {0, 3, -1, 1000}) {
        EXPECT_EQ(MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, type), 0u)
            << "type " << type;
    }
}

TEST(MorvainSearchBuild, FieldsFilledToTheBrimStillMakeAWholeCommand) {
    // Every text field holds as much as it can; nothing may be cut or run
    // past its field, and the counted body must still match.
    DeviceInfo device{};
    SetText(device.device_id, std::string(100, 'D'));
    NetSettings settings{};
    for (char* field : {settings.user, settings.password, settings.ip, settings.mask,
                        settings.gateway, settings.dns1, settings.dns2}) {
        std::fill(field, field + 31, 'x');
    }
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    const std::string message = Built(
        buffer,
        MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandNetSettings));
    ASSERT_FALSE(message.empty());
    EXPECT_NE(message.find("Device-ID:" + std::string(63, 'D') + "\r\n"), std::string::npos);
    const std::size_t body_start = message.find("\r\n\r\n") + 4;
    const std::size_t body_length = message.size() - body_start - 4;
    EXPECT_NE(message.find("Content-Length:" + std::to_string(body_length) + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(message.ends_with("-hwaddr 00:00:00:00:00:00\r\n\r\n"));
}

TEST(MorvainSearchBuild, ValuesThatWouldBreakALineAreNotSent) {
    // A password typed as "x\r\nDevice-ID:OTHER" must not smuggle a second
    // Device-ID into the message and send it to another camera.
    DeviceInfo device{};
    SetText(device.device_id, "DEV-0042");
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    for (const char* value : {"x\r\nDevice-ID:OTHER", "x\ny", "x\r"}) {
        NetSettings settings{};
        SetText(settings.user, "admin");
        SetText(settings.password, value);
        EXPECT_EQ(MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings,
                                                   kCommandNetSettings),
                  0u);
        settings = NetSettings{};
        SetText(settings.user, value);
        EXPECT_EQ(
            MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandHttpPort),
            0u);
        settings = NetSettings{};
        SetText(settings.gateway, value);
        EXPECT_EQ(MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings,
                                                   kCommandNetSettings),
                  0u);
    }
    DeviceInfo odd = device;
    SetText(odd.device_id, "DEV\n42");
    NetSettings settings{};
    EXPECT_EQ(MorvainSearch::BuildCommandBytes(buffer, kClient, odd, settings, kCommandHttpPort),
              0u);
    // Other bytes, blanks and colons included, travel as they stand.
    SetText(settings.password, "p a:ss");
    EXPECT_GT(MorvainSearch::BuildCommandBytes(buffer, kClient, device, settings, kCommandHttpPort),
              0u);
}

TEST(MorvainSearchParse, FullAnswerFillsEveryField) {
    const auto entry = Parse(FullAnswer());
    ASSERT_TRUE(entry);
    const DeviceInfo& info = entry->info;
    EXPECT_EQ(GetText(info.device_id), "DEV-0042");
    EXPECT_EQ(GetText(info.name), "Gate camera");
    EXPECT_EQ(GetText(info.uid), "UID-7788");
    EXPECT_EQ(GetText(info.ip), "192.168.1.64");
    EXPECT_EQ(GetText(info.mask), "255.255.255.0");
    EXPECT_EQ(DeviceKey(info), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(GetText(info.gateway), "192.168.1.1");
    EXPECT_EQ(GetText(info.software_version), "V5.4.1");
    EXPECT_EQ(GetText(info.web_version), "V4.0.1");
    EXPECT_EQ(info.http_port, 8080);
    EXPECT_EQ(info.dhcp, 1);
    EXPECT_EQ(GetText(info.dns1), "8.8.8.8");
    EXPECT_EQ(GetText(info.dns2), "8.8.4.4");
    EXPECT_EQ(GetText(info.user), "admin");
    EXPECT_EQ(GetText(info.password), "");
    EXPECT_EQ(GetText(info.reserved), "");
    EXPECT_EQ(info.aux_flag, 0);
    EXPECT_EQ(entry->family, 3);
    EXPECT_EQ(entry->protocol, kProtocolText);
    EXPECT_EQ(entry->row, 0);
    EXPECT_EQ(entry->interface_address, kInterface);

    // Two parses of one answer compare equal, byte for byte.
    EXPECT_TRUE(SameContents(*entry, *Parse(FullAnswer())));
}

TEST(MorvainSearchParse, HeadersAreReadInTheirFixedOrderOnly) {
    // "IP" before "UID": the search for "IP" starts past "UID" and finds
    // nothing later, so the address stays empty while the rest is read.
    std::string answer = FullAnswer();
    answer.erase(answer.find("IP:192.168.1.64\r\n"), 17);
    answer.insert(answer.find("UID:"), "IP:192.168.1.64\r\n");
    auto entry = Parse(answer);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip), "");
    EXPECT_EQ(GetText(entry->info.uid), "UID-7788");
    EXPECT_EQ(GetText(entry->info.mask), "255.255.255.0");

    // Headers before the client id are not read at all.
    entry = Parse("HDS/1.0 200 OK\r\nUID:early\r\nClient-ID:" + std::string(kClient) +
                  "\r\nIP:10.0.0.5\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.uid), "");
    EXPECT_EQ(GetText(entry->info.ip), "10.0.0.5");

    // A header name matches inside a longer word: "IP" inside "SKIP-ME".
    entry = Parse("HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\nSKIP-ME:x\r\nMASK:m\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip), "ME:x");  // the "-" was taken for the colon
    EXPECT_EQ(GetText(entry->info.mask), "m");
}

TEST(MorvainSearchParse, ValueWithoutLineEndIsEmpty) {
    std::string answer = FullAnswer();
    answer.resize(answer.find("Sdns:8.8.4.4") + 12);  // the answer ends in the value
    auto entry = Parse(answer);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.dns2), "");
    EXPECT_EQ(GetText(entry->info.dns1), "8.8.8.8");

    // A value runs on to the next CR LF, swallowing a header that lacks its
    // own; the swallowed header is then missed.
    entry = Parse("HDS/1.0 200 OK\r\n" + std::string(kClient) +
                  "\r\nDevice-ID:abc\nDevice-Name:n\r\nUID:u\r\n");
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.device_id), "abc\nDevice-Name:n");
    EXPECT_EQ(GetText(entry->info.name), "");
    EXPECT_EQ(GetText(entry->info.uid), "u");

    // A name at the very end of the text, with not even its colon.
    entry = Parse("HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\nSdns");
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.dns2), "");
    // The client id at the very end of the text.
    entry = Parse("HDS/1.0 200 OK\r\n" + std::string(kClient));
    ASSERT_TRUE(entry);
}

TEST(MorvainSearchParse, NumbersAndMacAddress) {
    const auto with = [](std::string_view header, std::string_view value) {
        std::string answer = "HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\n" +
                             std::string(header) + ":" + std::string(value) + "\r\n";
        return Parse(answer).value().info;
    };
    const auto mac_of = [&](std::string_view value) { return DeviceKey(with("MAC", value)); };
    EXPECT_EQ(mac_of("0:1a:2B:3:4:5"), "00-1A-2B-03-04-05");
    EXPECT_EQ(mac_of("AA:BB:CC"), "AA-BB-CC-00-00-00");           // read stops, rest 0
    EXPECT_EQ(mac_of("11:zz:33:44:55:66"), "11-00-00-00-00-00");  // stops at "zz"
    EXPECT_EQ(mac_of("100:1FF:2:3:4:5"), "00-FF-02-03-04-05");    // low byte of each
    EXPECT_EQ(mac_of("0x1a:0X2b:3:4:5:6"), "1A-2B-03-04-05-06");
    EXPECT_EQ(mac_of(""), "00-00-00-00-00-00");
    EXPECT_EQ(mac_of("00-1A-2B-3C-4D-5E"), "00-00-00-00-00-00");  // "-1A" ends the first

    EXPECT_EQ(with("Http-Port", "70000").http_port, 4464);  // cut to 16 bits
    EXPECT_EQ(with("Http-Port", " 81abc").http_port, 81);
    EXPECT_EQ(with("Http-Port", "abc").http_port, 0);
    EXPECT_EQ(with("Http-Port", "-1").http_port, 65535);
    EXPECT_EQ(with("Dhcp", "257").dhcp, 1);  // cut to 8 bits
    EXPECT_EQ(with("Dhcp", "").dhcp, 0);
}

TEST(MorvainSearchParse, NoHeadersStillDeliversAnEmptyEntry) {
    const auto entry = Parse("HDS/1.0 200 OK\r\nClient-ID:" + std::string(kClient) + "\r\n\r\n");
    ASSERT_TRUE(entry);
    DeviceInfo expected{};
    SetText(expected.user, "admin");
    EXPECT_EQ(std::memcmp(&entry->info, &expected, sizeof expected), 0);
    EXPECT_EQ(entry->family, 3);
}

TEST(MorvainSearchParse, OtherDatagramsYieldNothing) {
    std::string answer = FullAnswer();
    EXPECT_FALSE(Parse(answer, "MorvainControl-Tesslar-FFFF"));  // another client's answer
    EXPECT_FALSE(Parse(answer, ""));

    std::string mctp = answer;
    mctp.replace(0, 14, "MCTP/1.0 200 OK");
    EXPECT_FALSE(Parse(mctp));

    std::string no_line_end = answer;
    no_line_end.replace(0, 16, "HDS/1.0 200 OK  ");  // status without CR LF
    EXPECT_FALSE(Parse(no_line_end));

    EXPECT_FALSE(Parse("hds/1.0 200 ok\r\n" + std::string(kClient)));  // case matters
    EXPECT_FALSE(Parse(""));
    EXPECT_FALSE(Parse(std::string(1, '\0')));
}

TEST(MorvainSearchParse, TextEndsAtTheFirstZeroOrTheReceivedLength) {
    // A zero before the client id hides it.
    std::string answer = FullAnswer();
    answer[answer.find(kClient) - 1] = '\0';
    EXPECT_FALSE(Parse(answer));

    // A zero inside a value ends the text there: the value has no CR LF left.
    answer = FullAnswer();
    answer[answer.find("8.8.4.4") + 3] = '\0';
    auto entry = Parse(answer);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.dns2), "");

    // Only the received length counts: bytes beyond it, here a full second
    // answer, are never read even though they sit right behind in memory.
    const std::string stale = "HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\nIP:1.2.3.4\r\n";
    const std::string both = stale + FullAnswer();
    entry = MorvainSearch::ParseAnswerBytes(Bytes(std::string_view(both).substr(0, 30)), kClient,
                                            kInterface);
    EXPECT_FALSE(entry);
    const std::string head = "HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\nIP:9.9";
    const std::string buffer = head + ".9.9\r\n";
    entry = MorvainSearch::ParseAnswerBytes(Bytes(std::string_view(buffer).substr(0, head.size())),
                                            kClient, kInterface);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.ip), "");
}

TEST(MorvainSearchParse, OversizedValuesAreCutAtTheirField) {
    std::string answer =
        "HDS/1.0 200 OK\r\n" + std::string(kClient) + "\r\n" +
        "Device-ID:" + std::string(200, 'i') + "\r\n" + "Device-Name:" + std::string(70, 'n') +
        "\r\n" + "IP:" + std::string(40, '9') + "\r\n" + "Sdns:" + std::string(5000, 's') + "\r\n";
    const auto entry = Parse(answer);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.device_id), std::string(63, 'i'));
    EXPECT_EQ(GetText(entry->info.name), std::string(63, 'n'));
    EXPECT_EQ(GetText(entry->info.reserved), "");  // a text name never runs on
    EXPECT_EQ(GetText(entry->info.ip), std::string(31, '9'));
    EXPECT_EQ(GetText(entry->info.dns2), std::string(31, 's'));
}

TEST(MorvainSearchParse, LargestDatagramIsReadWhole) {
    // 65,507 bytes, the largest UDP payload: padding first, the answer last,
    // and no terminating zero anywhere.
    const std::string tail = FullAnswer();
    std::string datagram(65507 - tail.size(), 'p');
    datagram += tail;
    ASSERT_EQ(datagram.size(), 65507u);
    const auto entry = Parse(datagram);
    ASSERT_TRUE(entry);
    EXPECT_EQ(GetText(entry->info.dns2), "8.8.4.4");
    EXPECT_EQ(DeviceKey(entry->info), "00-1A-2B-3C-4D-5E");
}

}  // namespace
}  // namespace quorvex
