#pragma once

// WS-Discovery as a third protocol beside the two own ones: two typed probes
// (NetworkVideoTransmitter and Device) to the group 239.255.255.250 port 3702
// on every interface, each sent `kCopies` times with one MessageID, spaced
// by the SOAP-over-UDP back-off; ProbeMatches matched to our probes by
// RelatesTo; Hello of a camera adds it, Bye marks it gone. The object never
// answers anything, so it cannot be used as a reflector.
//
// Sockets per interface: one on a free port that sends the probes and hears
// the answers devices send back to the probe's source port (it needs port
// 3702 for nothing), and one on port 3702, shared with other programs by
// address reuse, that hears Hello, Bye and ProbeMatches sent to the group.
// When 3702 cannot be had the search still works; `CollectStatus` says so.

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/base_search.h"
#include "core/ws_discovery_codec.h"

namespace quorvex {

class WsDiscoverySearch : public BaseSearch {
public:
    static constexpr std::uint16_t kPort = 3702;
    // 239.255.255.250 in network byte order.
    static constexpr std::uint32_t kGroupAddress = 0xFAFFFFEFu;
    static constexpr int kMulticastTtl = 1;
    // Each probe goes out this many times with the same MessageID; the copies
    // after the first follow after these delays (doubling, within 50-500 ms).
    static constexpr int kCopies = 3;
    static constexpr std::array<std::chrono::milliseconds, kCopies - 1> kRepeatDelays{
        std::chrono::milliseconds(100), std::chrono::milliseconds(300)};
    // Answers to the probes of this many earlier searches are still taken.
    static constexpr std::size_t kRememberedSearches = 4;

    // What happened to the datagrams read; read from any thread.
    struct Counters {
        std::uint64_t matches = 0;    // ProbeMatch entries delivered
        std::uint64_t hellos = 0;     // Hello of a camera delivered
        std::uint64_t byes = 0;       // Bye delivered
        std::uint64_t faults = 0;     // SOAP Faults answering our probes
        std::uint64_t refused = 0;    // malformed, oversized, DOCTYPE, too complex
        std::uint64_t unmatched = 0;  // ProbeMatches for probes not ours
        std::uint64_t ignored =
            0;  // probes of others, non-camera Hellos and matches, other messages
    };

    WsDiscoverySearch();

    void SetWsdCallback(WsdDeviceCallback callback, void* context, std::int32_t extra) override;

    void OpenSockets(const LocalInterface* interfaces, std::int32_t count) override;
    void CloseSockets() override;
    // Builds both probes with fresh MessageIDs and sends their first copy on
    // every interface; the other copies leave from `FlushCommands`.
    void SendSearch() override;
    // Sends the probe copies that are due (WS-Discovery devices take no
    // commands here: queued ones are dropped).
    void FlushCommands() override;

    Counters Statistics() const;
    AnswerRejections Rejections() const override;
    // Probe copies still to send.
    std::size_t PendingCopies() const { return pending_.size(); }

protected:
    bool BuildSearchRequest(std::span<std::uint8_t> buffer, std::int32_t& length,
                            Endpoint& destination) override;
    bool BuildCommand(std::span<std::uint8_t> buffer, std::int32_t& length, Endpoint& destination,
                      const DeviceInfo& device, const NetSettings& settings,
                      std::int32_t type) override;
    void ParseAnswer(std::span<const std::uint8_t> bytes, std::uint32_t interface_address) override;

private:
    struct PendingCopy {
        std::chrono::steady_clock::time_point due;
        std::size_t probe;  // index into probes_
    };

    bool IsOurProbe(const std::string& relates_to) const;
    void Deliver(const WsdDevice& device) const;
    std::uint32_t MaskOf(std::uint32_t interface_address) const;

    std::vector<std::pair<std::uint32_t, std::uint32_t>> masks_;  // interface, mask
    std::array<std::vector<std::uint8_t>, 2> probes_;
    std::vector<std::string> message_ids_;  // newest last
    std::vector<PendingCopy> pending_;
    WsdDeviceCallback wsd_callback_ = nullptr;
    void* wsd_context_ = nullptr;
    std::int32_t wsd_extra_ = 0;

    std::atomic<std::uint64_t> matches_{0}, hellos_{0}, byes_{0}, faults_{0}, refused_{0},
        unmatched_{0}, ignored_{0};
};

}  // namespace quorvex
