#pragma once

// One simulated camera: the configuration it reports and the credentials it
// checks. Values are unbounded text here; each protocol cuts them to its own
// field widths when it writes an answer.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::sim {

enum class DeviceProtocol { kBinary, kText, kWsd };

// How a WS-Discovery device writes its answers (see wsd_device_protocol.h).
enum class WsdStyle { kPlain, kOdd, kIpv6First };

// How a device answers a probe. A binary device asked for `kMulticast`
// answers by broadcast, a text device asked for `kBroadcast` by multicast:
// each protocol has only its own group address.
enum class ReplyMode { kUnicast, kBroadcast, kMulticast };

// A standard camera's device service (HTTP, SOAP), see standard_camera.h.
enum class StandardAuth { kDigest, kUsernameToken };
enum class StandardBehaviour {
    kNormal,        // SetNetworkInterfaces: RebootNeeded false, moves by itself
    kRebootNeeded,  // RebootNeeded true, moves only after SystemReboot
    kReverts,       // answers success and stays where it was
    kFaults,        // SetNetworkInterfaces faults InvalidIPv4Address
    // Hostile on every call of its device service (standard_camera.h):
    kHuge,       // a 100 MB answer, streamed
    kEndless,    // an answer that never ends, a piece every tenth of a second
    kTrickle,    // a valid answer at a byte a second
    kRedirect,   // 302 to another path
    kHtmlError,  // 405 with a web page
    // Hostile in GetDeviceInformation alone:
    kDoctype,  // a DOCTYPE declaring entities
    kBadUtf8,  // bytes that are no UTF-8 in the manufacturer's name
};

struct StandardSettings {
    bool on = false;  // the device serves the device service (a kWsd device)
    StandardAuth auth = StandardAuth::kDigest;
    bool time_needs_auth = false;  // GetSystemDateAndTime refused without credentials
    long long clock_offset_s = 0;  // the camera's clock minus the true time
    StandardBehaviour behaviour = StandardBehaviour::kNormal;
    bool strict_gateway = false;  // refuses a gateway outside its current subnet
    // Once moved, it answers under another endpoint reference, as another
    // device would that took the address.
    bool new_endpoint = false;
    // Takes SetNetworkInterfaces and moves, but hangs up instead of answering.
    bool silent_move = false;
    // Names its MAC in its WS-Discovery scopes; many firmwares do not.
    bool mac_scope = true;
    std::string path = "/onvif/device_service";
    int move_delay_ms = 300;    // silence between the answer and the move
    int nonce_life_ms = 60000;  // a digest nonce is stale after this
};

struct SimDevice {
    DeviceProtocol protocol = DeviceProtocol::kBinary;
    std::uint8_t mac[6] = {};
    std::string name;
    std::string uid;
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string dns1;
    std::string dns2;
    std::string software_version;
    std::string web_version;
    std::string user = "admin";
    std::string password;
    std::string device_id;
    std::uint16_t http_port = 80;
    std::uint8_t dhcp = 0;
    std::uint8_t aux_flag = 0;
    ReplyMode reply = ReplyMode::kUnicast;
    // Every answer to a probe leaves this long after the probe came (before
    // any random spread): real firmware, and WS-Discovery by design, hold
    // answers back.
    int reply_delay_ms = 0;
    // WS-Discovery: a kWsd device speaks only it; a text or binary device
    // with `wsd_too` answers it as well, with its MAC in the scopes.
    bool wsd_too = false;
    WsdStyle wsd_style = WsdStyle::kPlain;
    std::string endpoint;  // "urn:uuid:..."
    std::string hardware;
    std::string location;
    // The device service path its XAddrs name.
    std::string service_path = "/onvif/device_service";
    StandardSettings standard = {};
};

// True when the device answers WS-Discovery probes.
inline bool SpeaksWsd(const SimDevice& device) {
    return device.protocol == DeviceProtocol::kWsd || device.wsd_too;
}

// The reply mode the device really uses, after its protocol's fall-back.
ReplyMode EffectiveReply(const SimDevice& device);

// "normal", "reboot-needed", "reverts", "faults", "strict-gateway",
// "new-endpoint", "silent-move", "huge", "endless", "trickle", "redirect",
// "html-error", "doctype" or "bad-utf8" into `settings`; false for anything else.
bool ParseStandardBehaviour(std::string_view text, StandardSettings& settings);

// "unicast", "broadcast", "multicast"; false for anything else.
bool ParseReplyMode(std::string_view text, ReplyMode& mode);

// The family letter a PC shows for the device: "E" for text devices; for
// binary ones "H" when the software version reads as four dotted numbers
// whose first is 67 and whose third is above 60, else "J".
char FamilyLetter(const SimDevice& device);

// What `GenerateDevices` makes.
struct GeneratorSettings {
    int binary_h = 0;
    int binary_j = 0;
    int text = 0;
    // WS-Discovery-only devices, after the text devices; the first
    // `wsd_dual` text devices answer WS-Discovery too.
    int wsd = 0;
    int wsd_dual = 0;
    // Standard cameras, after the WS-Discovery ones: plain-style WS-Discovery
    // cameras that also serve the device service, all with `standard`.
    int standard = 0;
    StandardSettings standard_settings;
    std::uint16_t standard_port = 80;
    // Standard camera i takes the (i % size)-th of each list when not empty;
    // a behaviour of "strict-gateway" is a normal camera that refuses a
    // gateway outside its subnet.
    std::vector<std::string> standard_behaviours;
    std::vector<StandardAuth> standard_auths;
    bool wsd_mixed_styles = true;  // else every device in `wsd_style`
    WsdStyle wsd_style = WsdStyle::kPlain;
    std::uint64_t seed = 1;
    std::string subnet = "192.168.1.";
    int outside = 0;
    std::string outside_subnet = "192.168.0.";
    int first_host = 10;
    std::string user = "admin";
    std::string password = "admin";
    // "mixed" spreads the modes over the devices; otherwise one mode for all.
    bool mixed = false;
    ReplyMode reply = ReplyMode::kUnicast;
    // Device i answers after reply_delays_ms[i % size]; empty: at once.
    std::vector<int> reply_delays_ms;
};

// Deterministic devices: the same settings give the same MACs, names and
// addresses. MACs are distinct across all generated devices (and across
// seeds with high probability). Binary "H" devices come first, then "J", then
// text devices, then WS-Discovery cameras; the last `outside` of the binary
// and text devices take addresses in `outside_subnet`.
std::vector<SimDevice> GenerateDevices(const GeneratorSettings& settings);

// Address number `index` (0-based) of a subnet prefix: "10.77.1." gives
// 10.77.1.<first_host + index>, cycling within first_host..254; a two-part
// prefix "10.77." spreads over its last two parts.
std::string HostAddress(const std::string& prefix, int first_host, int index);

// MAC as "001A2B3C4D5E".
std::string MacHex(const std::uint8_t (&mac)[6]);

// MAC as "00:1A:2B:3C:4D:5E".
std::string MacText(const std::uint8_t (&mac)[6], char separator = ':');

}  // namespace quorvex::sim
