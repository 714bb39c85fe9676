// Micro-benchmarks of the work done per answer and per command: parsing each
// protocol's answer, building each protocol's datagrams, and merging an entry
// into the search manager's table (new device, unchanged device).

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/brannoc_search.h"
#include "core/morvain_search.h"
#include "core/ws_discovery_codec.h"
#include "search/search_business.h"

namespace quorvex {
namespace {

constexpr std::uint32_t kInterface = 0x01014D0Au;  // 10.77.1.1
constexpr std::uint32_t kClientValue = 0x5EED1234u;

std::string TextAnswer(std::string_view client_id) {
    std::string a;
    a += "HDS/1.0 200 OK\r\n";
    a += "CSeq:1\r\n";
    a += "Client-ID:" + std::string(client_id) + "\r\n";
    a += "Device-ID:DEV02A1B2C3D4E5\r\n";
    a += "Device-Name:Camera E05001\r\n";
    a += "UID:QVX02A1B2C3D4E5\r\n";
    a += "IP:10.78.19.146\r\n";
    a += "MASK:255.255.0.0\r\n";
    a += "MAC:02:A1:B2:C3:D4:E5\r\n";
    a += "Gateway:10.78.0.1\r\n";
    a += "Software-Version:V5.3.41\r\n";
    a += "Web-Version:3.7.12\r\n";
    a += "Http-Port:80\r\n";
    a += "Dhcp:0\r\n";
    a += "Fdns:10.78.0.1\r\n";
    a += "Sdns:0.0.0.0\r\n";
    a += "\r\n";
    return a;
}

void PutText(std::vector<std::uint8_t>& message, std::size_t offset, std::string_view text) {
    std::memcpy(message.data() + offset, text.data(), text.size());
}

std::vector<std::uint8_t> BinaryAnswer() {
    std::vector<std::uint8_t> m(BrannocSearch::kAnswerLength, 0);
    const std::uint8_t header[] = {0x44, 0x48, 0x01, 0x08};  // 0: answer header
    std::memcpy(m.data(), header, sizeof header);
    PutText(m, 4, "10.78.19.146");  // 4: ip, 16 bytes
    PutText(m, 20, "255.255.0.0");  // 20: mask, 16 bytes
    PutText(m, 36, "10.78.0.1");    // 36: gateway, 16 bytes
    PutText(m, 52, "10.78.0.1");    // 52: dns1, 16 bytes
    PutText(m, 68, "0.0.0.0");      // 68: dns2, 16 bytes
    const std::uint8_t mac[] = {0x02, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5};
    std::memcpy(m.data() + 84, mac, sizeof mac);  // 84: mac, 6 bytes
    m[90] = 80;                                   // 90: HTTP port 80, little-endian
    m[91] = 0;
    PutText(m, 92, "QVX02A1B2C3D4E5");  // 92: uid, 32 bytes
    PutText(m, 124, "Camera H00001");   // 124: name, 80 bytes
    PutText(m, 204, "67.3.77.12");      // 204: software version, 16 bytes
    PutText(m, 220, "3.7.12");          // 220: web version, 16 bytes
    PutText(m, 236, "admin");           // 236: user, 32 bytes
    PutText(m, 268, "admin");           // 268: password, 32 bytes
    m[300] = 0x5A;                      // 300: aux flag
    m[301] = 0;                         // 301: dhcp off
    return m;
}

DeviceInfo SampleDevice() {
    const auto entry = BrannocSearch::ParseAnswerBytes(BinaryAnswer(), kInterface);
    SetText(const_cast<DeviceEntry&>(*entry).info.device_id, "DEV02A1B2C3D4E5");
    return entry->info;
}

NetSettings SampleSettings() {
    NetSettings s{};
    SetText(s.user, "admin");
    SetText(s.password, "admin");
    SetText(s.ip, "10.77.1.23");
    SetText(s.mask, "255.255.255.0");
    SetText(s.gateway, "10.77.1.1");
    SetText(s.dns1, "10.77.1.1");
    SetText(s.dns2, "8.8.8.8");
    s.http_port = 8080;
    return s;
}

void BM_ParseTextAnswer(benchmark::State& state) {
    const std::string client_id = MorvainSearch::MakeClientId(kClientValue);
    const std::string answer = TextAnswer(client_id);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(answer.data()),
                                              answer.size());
    for (auto _ : state) {
        auto entry = MorvainSearch::ParseAnswerBytes(bytes, client_id, kInterface);
        benchmark::DoNotOptimize(entry);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_ParseTextAnswer);

void BM_ParseBinaryAnswer(benchmark::State& state) {
    const std::vector<std::uint8_t> answer = BinaryAnswer();
    for (auto _ : state) {
        auto entry = BrannocSearch::ParseAnswerBytes(answer, kInterface);
        benchmark::DoNotOptimize(entry);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_ParseBinaryAnswer);

// A camera's ProbeMatches as cameras commonly send it: every prefix on the
// Envelope, one ProbeMatch with name, hardware, location and MAC scopes and
// two XAddrs (about 1.4 KB).
std::string WsdProbeMatches() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
           " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><env:Header>"
           "<wsa:MessageID>urn:uuid:5157a1b2-c3d4-4e50-8000-000000001234</wsa:MessageID>"
           "<wsa:RelatesTo>urn:uuid:0a6dc791-2a1b-4d2c-9e3f-00c0ffee0001</wsa:RelatesTo>"
           "<wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>"
           "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>"
           "</env:Header><env:Body><wsd:ProbeMatches><wsd:ProbeMatch><wsa:EndpointReference>"
           "<wsa:Address>urn:uuid:5157a1b2-c3d4-4e50-8000-02a1b2c3d4e5</wsa:Address>"
           "</wsa:EndpointReference><wsd:Types>dn:NetworkVideoTransmitter</wsd:Types>"
           "<wsd:Scopes>onvif://www.onvif.org/type/video_encoder"
           " onvif://www.onvif.org/type/ptz onvif://www.onvif.org/name/Camera%20W05001"
           " onvif://www.onvif.org/hardware/QX-200%2FB onvif://www.onvif.org/location/site/Hall%201"
           " onvif://www.onvif.org/MAC/02:A1:B2:C3:D4:E5</wsd:Scopes>"
           "<wsd:XAddrs>http://10.78.19.146/onvif/device_service"
           " http://[fe80::a1:b2ff:fec3:d4e5]/onvif/device_service</wsd:XAddrs>"
           "<wsd:MetadataVersion>3</wsd:MetadataVersion></wsd:ProbeMatch></wsd:ProbeMatches>"
           "</env:Body></env:Envelope>";
}

// Parse and map into the record, as the protocol object does per answer:
// the figure to set beside the other two protocols' parse.
void BM_ParseWsdProbeMatches(benchmark::State& state) {
    const std::string answer = WsdProbeMatches();
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(answer.data()),
                                              answer.size());
    for (auto _ : state) {
        const auto result = WsDiscoveryCodec::Parse(bytes);
        WsdDevice device = WsDiscoveryCodec::MakeDevice(result.message->matches.front(), kInterface,
                                                        0x0000FFFFu, 0x9213540Au);
        benchmark::DoNotOptimize(device);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_ParseWsdProbeMatches);

void BM_BuildWsdProbe(benchmark::State& state) {
    const std::string id = "urn:uuid:0a6dc791-2a1b-4d2c-9e3f-00c0ffee0001";
    std::array<std::uint8_t, 2048> buffer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(WsDiscoveryCodec::BuildProbe(
            buffer, WsDiscoveryCodec::ProbeType::kNetworkVideoTransmitter, id));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildWsdProbe);

void BM_BuildTextSearch(benchmark::State& state) {
    const std::string client_id = MorvainSearch::MakeClientId(kClientValue);
    std::array<std::uint8_t, BaseSearch::kSearchBufferSize> buffer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(MorvainSearch::BuildSearchRequestBytes(buffer, client_id));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildTextSearch);

void BM_BuildTextCommand(benchmark::State& state) {
    const std::string client_id = MorvainSearch::MakeClientId(kClientValue);
    const DeviceInfo device = SampleDevice();
    const NetSettings settings = SampleSettings();
    const auto type = static_cast<std::int32_t>(state.range(0));
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            MorvainSearch::BuildCommandBytes(buffer, client_id, device, settings, type));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildTextCommand)->Arg(kCommandNetSettings)->Arg(kCommandHttpPort);

void BM_BuildBinarySearch(benchmark::State& state) {
    std::array<std::uint8_t, BaseSearch::kSearchBufferSize> buffer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrannocSearch::BuildSearchRequestBytes(buffer));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildBinarySearch);

void BM_BuildBinaryCommand(benchmark::State& state) {
    const DeviceInfo device = SampleDevice();
    const NetSettings settings = SampleSettings();
    std::array<std::uint8_t, BaseSearch::kCommandBufferSize> buffer{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrannocSearch::BuildCommandBytes(buffer, device, settings));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildBinaryCommand);

// The window's share of a notification is measured elsewhere; here it only
// counts, so the figure is the table's own cost.
std::vector<DeviceEntry> DistinctEntries(std::size_t count) {
    const auto parsed = BrannocSearch::ParseAnswerBytes(BinaryAnswer(), kInterface);
    std::vector<DeviceEntry> entries(count, *parsed);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].info.mac[3] = static_cast<std::uint8_t>(i >> 16);
        entries[i].info.mac[4] = static_cast<std::uint8_t>(i >> 8);
        entries[i].info.mac[5] = static_cast<std::uint8_t>(i);
    }
    return entries;
}

void BM_OnDeviceFoundNew(benchmark::State& state) {
    // A site's worth of devices, then the table is emptied (untimed) and
    // filled again.
    constexpr std::size_t kSite = 10000;
    const std::vector<DeviceEntry> entries = DistinctEntries(kSite);
    SearchBusiness manager{SearchBusiness::ProtocolMap{}};
    std::size_t next = 0;
    for (auto _ : state) {
        if (next == kSite) {
            state.PauseTiming();
            manager.ClearDevices();
            next = 0;
            state.ResumeTiming();
        }
        manager.OnDeviceFound(entries[next++]);
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(manager.DeviceCount());
}
BENCHMARK(BM_OnDeviceFoundNew);

void BM_OnDeviceFoundUnchanged(benchmark::State& state) {
    // One answer again from each of a site's devices, all already stored.
    constexpr std::size_t kSite = 10000;
    const std::vector<DeviceEntry> entries = DistinctEntries(kSite);
    SearchBusiness manager{SearchBusiness::ProtocolMap{}};
    for (const DeviceEntry& entry : entries) manager.OnDeviceFound(entry);
    std::size_t next = 0;
    for (auto _ : state) {
        manager.OnDeviceFound(entries[next]);
        next = next + 1 == kSite ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(manager.DeviceCount());
}
BENCHMARK(BM_OnDeviceFoundUnchanged);

}  // namespace
}  // namespace quorvex

BENCHMARK_MAIN();
