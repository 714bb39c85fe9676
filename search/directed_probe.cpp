#include "search/directed_probe.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>

#include "core/receive_batch.h"
#include "core/socket_poll.h"
#include "core/udp_socket.h"
#include "core/ws_discovery_codec.h"
#include "core/ws_discovery_search.h"

namespace quorvex {

namespace {

using Clock = std::chrono::steady_clock;
using Codec = WsDiscoveryCodec;

std::string FreshMessageId() {
    std::array<std::uint8_t, 16> random{};
    // Without randomness the id is still unique enough among our own probes;
    // it only ties answers to them.
    if (RAND_bytes(random.data(), int(random.size())) != 1) {
        const auto now = Clock::now().time_since_epoch().count();
        for (std::size_t i = 0; i < random.size(); ++i)
            random[i] = static_cast<std::uint8_t>(now >> (8 * (i % 8)));
    }
    return Codec::MakeMessageId(random);
}

}  // namespace

bool DirectedProbe::Sighting::Names(std::string_view endpoint) const {
    return std::find(endpoints.begin(), endpoints.end(), endpoint) != endpoints.end();
}

DirectedProbe::Sighting DirectedProbe::Ask(std::uint32_t address, std::string_view endpoint,
                                           Clock::time_point deadline) {
    Sighting sighting;
    UdpSocket socket = UdpSocket::OpenForUnicast();
    if (!socket.IsValid()) return sighting;
    SocketPoll poll;
    poll.Add(socket.Handle());
    ReceiveBatch batch(1);  // a camera answers each probe once or twice
    std::vector<std::string> ids;
    std::array<std::uint8_t, 2048> buffer{};
    const auto done = [&] {
        return endpoint.empty() ? sighting.answered : sighting.Names(endpoint);
    };
    do {
        for (const auto type :
             {Codec::ProbeType::kNetworkVideoTransmitter, Codec::ProbeType::kDevice}) {
            ids.push_back(FreshMessageId());
            const std::size_t length = Codec::BuildProbe(buffer, type, ids.back());
            if (length > 0)
                socket.SendTo(std::span(buffer.data(), length), address, WsDiscoverySearch::kPort);
        }
        const Clock::time_point round_end = Clock::now() + kRound;
        for (;;) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(round_end - Clock::now()).count();
            if (poll.Wait(static_cast<int>(std::max<long long>(left, 0))) == 0) break;
            const std::size_t read = batch.ReadFrom(socket);
            if (read == 0) break;  // woken by an error, not a datagram
            for (std::size_t i = 0; i < read; ++i) {
                if (batch.Source(i) != address) continue;
                const Codec::ParseResult parsed = Codec::Parse(batch.Bytes(i));
                if (!parsed.message || parsed.message->kind != Codec::Kind::kProbeMatches ||
                    std::find(ids.begin(), ids.end(), parsed.message->relates_to) == ids.end())
                    continue;
                sighting.answered = true;
                for (const Codec::Match& match : parsed.message->matches)
                    if (!match.endpoint.empty() && !sighting.Names(match.endpoint))
                        sighting.endpoints.push_back(match.endpoint);
            }
            if (done()) return sighting;
        }
    } while (!sighting.answered && Clock::now() < deadline);
    return sighting;
}

}  // namespace quorvex
