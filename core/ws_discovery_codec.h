#pragma once

// The WS-Discovery codec, free of sockets: the typed probes a camera answers
// (SOAP 1.2, WS-Addressing 2004/08, WS-Discovery 2005/04) and the messages
// that come back (ProbeMatches, Hello, Bye, a SOAP Fault), read with a
// namespace-aware XML parser that refuses document type declarations, and the
// mapping of one match into a `WsdDevice`.
//
// Everything here reads untrusted bytes from anyone on the LAN: sizes are
// capped, names are matched by namespace URI (never by prefix) and a datagram
// that declares a document type or an entity is refused whole, so no entity is
// ever expanded.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_records.h"

namespace quorvex {

class WsDiscoveryCodec {
public:
    // The largest datagram read; anything longer is refused unparsed.
    static constexpr std::size_t kMaxMessageBytes = 65536;
    // Bounds on what one message may hold; beyond them the message is refused
    // (elements, depth, namespace declarations) or the rest is not kept
    // (matches, list items, text of one value).
    static constexpr std::size_t kMaxElements = 4096;
    static constexpr std::size_t kMaxDepth = 32;
    static constexpr std::size_t kMaxNamespaceDeclarations = 256;
    static constexpr std::size_t kMaxMatches = 64;
    static constexpr std::size_t kMaxListItems = 32;
    static constexpr std::size_t kMaxValueBytes = 8192;

    // The two device types cameras answer to; each has a probe of its own,
    // since some cameras answer only one of them.
    enum class ProbeType { kNetworkVideoTransmitter, kDevice };

    enum class Kind { kProbeMatches, kHello, kBye, kFault, kProbe, kOther };

    // Why a datagram yielded no message.
    enum class Refusal {
        kNone,
        kOversized,        // longer than kMaxMessageBytes
        kDocumentType,     // declares a DOCTYPE or an entity
        kMalformed,        // not well-formed XML
        kTooComplex,       // beyond kMaxElements, kMaxDepth or the declaration cap
        kNotSoapEnvelope,  // the root is no SOAP envelope
    };

    // Splits each of Match::types into namespace URI and local name: a URI
    // holds no blank, so the first blank splits them.
    static constexpr char kTypeSeparator = ' ';

    struct Match {
        std::string endpoint;                // wsa:EndpointReference/wsa:Address
        std::vector<std::string> types;      // URI, kTypeSeparator, local name each
        std::vector<std::string> scopes;     // as received, split on whitespace
        std::vector<std::string> xaddrs;     // as received, split on whitespace
        std::uint32_t metadata_version = 0;  // 0 when absent or unreadable
    };

    struct Message {
        Kind kind = Kind::kOther;
        std::string action;
        std::string message_id;
        std::string relates_to;
        // ProbeMatches: every ProbeMatch; Hello and Bye: the one they carry.
        std::vector<Match> matches;
        std::string fault_code;  // Fault: Code/Value, then Subcode/Value after a blank
        std::string fault_reason;
    };

    struct ParseResult {
        std::optional<Message> message;
        Refusal refusal = Refusal::kNone;
    };

    // Namespace URIs.
    static constexpr std::string_view kSoapEnvelope = "http://www.w3.org/2003/05/soap-envelope";
    static constexpr std::string_view kAddressing =
        "http://schemas.xmlsoap.org/ws/2004/08/addressing";
    static constexpr std::string_view kDiscovery =
        "http://schemas.xmlsoap.org/ws/2005/04/discovery";
    static constexpr std::string_view kNetworkWsdl = "http://www.onvif.org/ver10/network/wsdl";
    static constexpr std::string_view kDeviceWsdl = "http://www.onvif.org/ver10/device/wsdl";
    static constexpr std::string_view kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";

    // "urn:uuid:" and a random (version 4) UUID made from `random` in
    // lower-case hexadecimal.
    static std::string MakeMessageId(const std::array<std::uint8_t, 16>& random);

    // Writes the probe for `type` with `message_id` into `buffer`; returns its
    // length, 0 when it does not fit (or the id holds markup characters).
    static std::size_t BuildProbe(std::span<std::uint8_t> buffer, ProbeType type,
                                  std::string_view message_id);

    // Reads one datagram. SOAP 1.1 envelopes, WS-Addressing 2005/08 and
    // WS-Discovery 1.1 names are read too, as some devices answer in them.
    static ParseResult Parse(std::span<const std::uint8_t> bytes);

    // True when one of the types is a camera's: NetworkVideoTransmitter of the
    // network namespace or Device of the device namespace (a printer's Device
    // type lives in another namespace and is not one).
    static bool IsVideoDevice(const Match& match);

    // False when the match names service addresses and none of them is an
    // http or https URL (a `javascript:` or `file:` one, say): whatever sent
    // it serves no camera's pages, so it is no camera. A match that names
    // none may still be one, found at its sender's address.
    static bool OffersWebService(const Match& match);

    // The device for one match heard on the interface `interface_address` with
    // `interface_mask` (both network byte order) from `source_address`:
    // `info.ip` and `info.http_port` from the first IPv4 XAddr inside the
    // interface's subnet, else the sender's address (and the port of an XAddr
    // naming it, else of the first XAddr, else 80); name and MAC from the
    // scopes into `info`, hardware and location into `wsd`; `uid` is the
    // endpoint reference as far as it fits. Every http and https XAddr is
    // kept with its default port made explicit; no other is kept.
    static WsdDevice MakeDevice(const Match& match, std::uint32_t interface_address,
                                std::uint32_t interface_mask, std::uint32_t source_address);

    // A service address taken apart; `port` is the default of the scheme when
    // none is written. Nothing for what is not an http or https URL (one
    // with a blank or a control character is none).
    struct ServiceAddress {
        bool https = false;
        std::string host;  // without brackets for IPv6
        std::uint16_t port = 0;
        std::string path;  // from the first '/' on, "/" when empty
        bool ipv6 = false;
        bool host_name = false;   // neither IPv4 nor IPv6
        std::uint32_t ipv4 = 0;   // network byte order when the host is IPv4
        bool link_local = false;  // 169.254/16 or fe80::/10
    };
    static std::optional<ServiceAddress> ParseServiceAddress(std::string_view xaddr);
    // The URL written back with its port always present.
    static std::string ServiceAddressText(const ServiceAddress& address);

    // Percent-decodes `text`; a '%' not followed by two hexadecimal digits
    // stays as it is.
    static std::string PercentDecode(std::string_view text);
};

}  // namespace quorvex
