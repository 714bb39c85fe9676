#pragma once

// The decisions behind reading and re-addressing one standard camera, free of
// sockets and clocks: which device service address to try first, which
// authentication the camera wants, the Created time on the camera's clock,
// the ordered writes of a change and whether a read-back confirms it. The
// session (standard_camera_session.h) carries them out over HTTP.
//
// Addresses are IPv4 in network byte order, as the codec reads them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/onvif_device_codec.h"

namespace quorvex {

enum class StandardAuthMethod {
    kNone,           // the camera asked for nothing
    kDigest,         // HTTP Digest
    kUsernameToken,  // WS-Security UsernameToken in the message
};

// The device service URLs of an XAddrs list in the order to try them: those
// naming `answered_from` first, then other IPv4 hosts and names, then
// link-local (169.254.x.x) and IPv6 ones; within each, http before https.
// Only http and https URLs are kept.
std::vector<std::string> OrderServiceUrls(std::string_view xaddrs, std::uint32_t answered_from);

// `url` with its host replaced by `address` and, when `port` is not 0, its
// port by `port`; empty when `url` is not http or https.
std::string ServiceUrlAt(std::string_view url, std::uint32_t address, std::uint16_t port);

// The authentication from a protected operation called without credentials:
// 401 offering Digest → digest; 400 or a ter:NotAuthorized fault → token;
// answered → what the capabilities offer (digest first), else none; anything
// else → none of them (nullopt), the camera's wish is unknown.
std::optional<StandardAuthMethod> ChooseAuthentication(
    long status, bool digest_offered, bool not_authorized_fault, bool answered,
    const std::optional<OnvifDeviceCodec::ServiceCapabilities>& capabilities);

// The camera's clock minus the PC's, in seconds.
inline std::int64_t ClockOffset(std::int64_t camera_utc, std::int64_t local_utc) {
    return camera_utc - local_utc;
}
// The UsernameToken's Created text: the PC's UTC moved onto the camera's clock.
std::string CreatedOnCameraClock(std::int64_t local_utc, std::int64_t offset);

// What a camera's device service said about it, read before a change.
struct StandardSnapshot {
    std::string endpoint_reference;  // as discovery gave it
    std::string service_url;         // the URL that answered
    std::optional<std::array<std::uint8_t, 6>> mac;
    std::string interface_token;
    std::uint32_t address = 0;  // 0 when the interface has none
    int prefix_length = 0;
    bool dhcp = false;
    std::optional<std::vector<std::uint32_t>> gateways;  // unset: the camera did not tell
    std::optional<OnvifDeviceCodec::DnsSettings> dns;
    std::optional<std::vector<OnvifDeviceCodec::NetworkProtocol>> protocols;
    std::uint16_t http_port = 0;  // 0 when unknown
    OnvifDeviceCodec::DeviceInformation information;
    StandardAuthMethod auth = StandardAuthMethod::kNone;
    std::int64_t clock_offset_s = 0;
};

// The values a person asked for; an unset one is left as it is.
struct StandardWanted {
    std::optional<std::uint32_t> address;  // with prefix_length
    int prefix_length = 0;
    std::optional<bool> dhcp;
    std::optional<std::uint32_t> gateway;  // 0 is never sent
    std::optional<std::vector<std::uint32_t>> dns;
    std::optional<std::uint16_t> http_port;
};

enum class StandardStep {
    kSetDns,
    kSetHttpPort,
    kSetGateway,           // at the old address, before the move
    kSetInterface,         // SetNetworkInterfaces: the move itself, always last there
    kSetGatewayAfterMove,  // at the new address, once the move is confirmed
};

enum class PlanRefusal {
    kNone,
    kNoInterfaceToken,  // nothing to send SetNetworkInterfaces for
    kBadAddress,        // 0, or a prefix outside 1..32
    kNoHttpEntry,       // a port change, but the camera listed no HTTP protocol
    kDnsUnknown,        // a DNS change, but the camera's DNS was not read
};

// The writes of one change, in order, with what each sends.
struct StandardChangePlan {
    std::vector<StandardStep> steps;  // empty: nothing changes
    PlanRefusal refusal = PlanRefusal::kNone;
    OnvifDeviceCodec::InterfaceChange interface;  // for kSetInterface
    OnvifDeviceCodec::DnsSettings dns;            // for kSetDns
    std::uint16_t http_port = 0;                  // for kSetHttpPort
    std::uint32_t gateway = 0;                    // for either gateway step
    bool Has(StandardStep step) const;
};

// DNS, then the HTTP port, then SetNetworkInterfaces last. A new gateway goes
// before the move when it lies inside the camera's current subnet (many
// cameras refuse one outside it) and after the confirmed move when it does
// not. A value equal to the snapshot's is not sent; neither is a 0 gateway.
StandardChangePlan PlanStandardChange(const StandardSnapshot& before, const StandardWanted& wanted);

// What an authenticated read at the new address said.
struct StandardReadBack {
    std::vector<OnvifDeviceCodec::NetworkInterface> interfaces;
    std::optional<std::vector<std::uint32_t>> gateways;
    std::optional<OnvifDeviceCodec::DnsSettings> dns;
    std::optional<std::vector<OnvifDeviceCodec::NetworkProtocol>> protocols;
};

enum class ReadBackMismatch {
    kNone,  // confirmed
    kNoInterface,
    kAddress,
    kDhcp,
    kGateway,
    kDns,
    kHttpPort,
};

// Whether the read-back holds what the plan sent: the interface's address,
// prefix and DHCP flag, and the gateway (sent before the move), DNS and port
// where they were sent. A value the read-back lacks counts as a mismatch.
ReadBackMismatch CompareReadBack(const StandardChangePlan& sent, const StandardReadBack& read);

// The first HTTP port of the HTTP protocol entry; 0 when none.
std::uint16_t HttpPortOf(const std::vector<OnvifDeviceCodec::NetworkProtocol>& protocols);

}  // namespace quorvex
