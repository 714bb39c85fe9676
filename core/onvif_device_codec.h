#pragma once

// The device management codec of standard (ONVIF) cameras, free of sockets,
// clocks and globals: the SOAP 1.2 requests that read and change a camera's
// network settings, the optional WS-Security UsernameToken header, and
// readers that turn each answer into plain values or a typed error.
//
// Answers come from anyone who answers on the camera's address: they are read
// through the hardened SoapReader (no document type, capped sizes), matched
// by namespace URI and never by prefix, the elements of a sequence taken in
// the schema's order, every text cut to a sane length and every number and
// address checked; a value that does not read is refused, never guessed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

class OnvifDeviceCodec {
public:
    static constexpr std::string_view kDeviceWsdl = "http://www.onvif.org/ver10/device/wsdl";
    static constexpr std::string_view kSchema = "http://www.onvif.org/ver10/schema";
    static constexpr std::string_view kErrors = "http://www.onvif.org/ver10/error";
    static constexpr std::string_view kEnvelope = "http://www.w3.org/2003/05/soap-envelope";

    // The longest answer read; a longer one is refused unread.
    static constexpr std::size_t kMaxAnswerBytes = 256 * 1024;
    static constexpr std::size_t kMaxTextBytes = 128;  // a kept text value, in bytes
    static constexpr std::size_t kMaxInterfaces = 16;
    static constexpr std::size_t kMaxAddresses = 8;  // per list of addresses
    static constexpr std::size_t kMaxProtocols = 8;
    static constexpr std::size_t kMaxPorts = 8;  // per protocol

    enum class Operation {
        kGetSystemDateAndTime,
        kGetServiceCapabilities,
        kGetDeviceInformation,
        kGetNetworkInterfaces,
        kSetNetworkInterfaces,
        kGetNetworkDefaultGateway,
        kSetNetworkDefaultGateway,
        kGetDns,
        kSetDns,
        kGetNetworkProtocols,
        kSetNetworkProtocols,
        kSystemReboot,
    };

    // The element name of the request ("GetDNS").
    static std::string_view OperationName(Operation operation);
    // The SOAP action: the device service's namespace, '/', the name.
    static std::string Action(Operation operation);

    // ---- Authentication in the message ----

    // WS-Security UsernameToken with PasswordDigest. `nonce` are fresh random
    // bytes the caller draws for this one request; `created` is the time on
    // the camera's clock as CreatedText gives it.
    struct UsernameToken {
        std::string user;
        std::string password;
        std::array<std::uint8_t, 16> nonce{};
        std::string created;
    };
    // "YYYY-MM-DDThh:mm:ssZ" for seconds since 1970-01-01 UTC; empty before
    // 1970 or after 9999.
    static std::string CreatedText(std::int64_t unix_seconds);
    // Base64(SHA-1(nonce, created, password)).
    static std::string PasswordDigest(std::span<const std::uint8_t> nonce, std::string_view created,
                                      std::string_view password);
    static std::string Base64(std::span<const std::uint8_t> bytes);

    // ---- Requests ----
    // Each builder returns the whole envelope, with the UsernameToken header
    // when `token` is given; none when the inputs may not be sent (the reason
    // sits beside each one). Texts are XML-escaped.

    // Every operation without arguments: the Get operations and SystemReboot;
    // none for an operation that takes arguments.
    static std::optional<std::string> BuildRequest(Operation operation,
                                                   const UsernameToken* token = nullptr);

    // What SetNetworkInterfaces changes; an unset optional is left out of the
    // request, which keeps that setting as it is. IPv4 only.
    struct InterfaceChange {
        std::string token;  // the interface's token as read; never empty
        std::optional<bool> enabled;
        std::optional<bool> ipv4_enabled;
        std::optional<std::uint32_t> address;  // network byte order, with prefix_length
        int prefix_length = 0;                 // 1..32 when an address is given
        std::optional<bool> dhcp;
    };
    // None when the token is empty, an address comes with DHCP on, or the
    // address is 0 or its prefix outside 1..32.
    static std::optional<std::string> BuildSetNetworkInterfaces(
        const InterfaceChange& change, const UsernameToken* token = nullptr);

    // None for an empty list (the standard leaves an empty Set undefined) or
    // a 0 address.
    static std::optional<std::string> BuildSetNetworkDefaultGateway(
        std::span<const std::uint32_t> gateways, const UsernameToken* token = nullptr);

    struct DnsSettings {
        bool from_dhcp = false;
        std::vector<std::string> search_domains;
        std::vector<std::uint32_t> dns_from_dhcp;  // read only
        std::vector<std::uint32_t> dns_manual;     // network byte order
    };
    // Sends `dns.from_dhcp`, the search domains as given (SetDNS replaces
    // them, so a caller passes back what it read) and the manual servers.
    // None for a 0 server or a search domain with a control character.
    static std::optional<std::string> BuildSetDns(const DnsSettings& dns,
                                                  const UsernameToken* token = nullptr);

    enum class ProtocolName { kHttp, kHttps, kRtsp };
    struct NetworkProtocol {
        ProtocolName name = ProtocolName::kHttp;
        bool enabled = false;
        std::vector<std::uint16_t> ports;
    };
    // Sends every protocol as read with the first port of HTTP set to
    // `http_port`. None when the list holds no HTTP entry or the port is 0.
    static std::optional<std::string> BuildSetNetworkProtocols(
        std::span<const NetworkProtocol> as_read, std::uint16_t http_port,
        const UsernameToken* token = nullptr);

    // ---- Answers ----
    // A reader takes the body whatever the HTTP status was: a fault comes
    // with 400 or 500, an HTML page with 401 as often as with 200.

    enum class Error {
        kNone,
        kOversized,         // longer than kMaxAnswerBytes
        kDocumentType,      // declares a DOCTYPE or an entity
        kMalformed,         // not XML (an HTML error page, usually)
        kInvalidUtf8,       // not XML, and not UTF-8 either
        kTooComplex,        // beyond the element, depth or declaration caps
        kNotSoap,           // XML, but no SOAP 1.2 envelope with a body
        kFault,             // a SOAP fault: see Fault
        kUnexpectedAnswer,  // the body answers another operation
        kMissingElement,    // a required element is absent or out of order
        kInvalidValue,      // a value that does not read (number, address, MAC)
    };

    // One qualified name of a fault, by namespace URI.
    struct QName {
        std::string uri;
        std::string local;
        bool Is(std::string_view u, std::string_view l) const { return uri == u && local == l; }
    };
    struct Fault {
        QName code;                   // env:Code/env:Value
        std::vector<QName> subcodes;  // the env:Subcode/env:Value chain, outermost first
        std::string reason;           // the first env:Reason/env:Text, cut
        // True when the code or any subcode is (`uri`, `local`).
        bool Names(std::string_view uri, std::string_view local) const;
    };

    template <typename T>
    struct Result {
        std::optional<T> value;
        Error error = Error::kNone;
        Fault fault;  // filled when error is kFault
    };

    struct ServiceCapabilities {
        bool username_token = false;
        bool http_digest = false;
        bool network_config_not_supported = false;
    };
    struct DeviceInformation {
        std::string manufacturer;
        std::string model;
        std::string firmware_version;
        std::string serial_number;
        std::string hardware_id;
    };
    struct PrefixedAddress {
        std::uint32_t address = 0;  // network byte order
        int prefix_length = 0;
    };
    struct NetworkInterface {
        std::string token;
        bool enabled = false;
        std::optional<std::array<std::uint8_t, 6>> mac;
        bool has_ipv4 = false;
        bool ipv4_enabled = false;
        std::vector<PrefixedAddress> manual;
        std::optional<PrefixedAddress> from_dhcp;
        bool dhcp = false;
    };

    // Seconds since 1970-01-01 UTC from the UTC time the camera reports.
    static Result<std::int64_t> ReadSystemDateAndTime(std::span<const std::uint8_t> answer);
    static Result<ServiceCapabilities> ReadServiceCapabilities(
        std::span<const std::uint8_t> answer);
    static Result<DeviceInformation> ReadDeviceInformation(std::span<const std::uint8_t> answer);
    static Result<std::vector<NetworkInterface>> ReadNetworkInterfaces(
        std::span<const std::uint8_t> answer);
    // RebootNeeded.
    static Result<bool> ReadSetNetworkInterfaces(std::span<const std::uint8_t> answer);
    // The IPv4 gateways (IPv6 ones are skipped).
    static Result<std::vector<std::uint32_t>> ReadNetworkDefaultGateway(
        std::span<const std::uint8_t> answer);
    // IPv6 servers are skipped.
    static Result<DnsSettings> ReadDns(std::span<const std::uint8_t> answer);
    static Result<std::vector<NetworkProtocol>> ReadNetworkProtocols(
        std::span<const std::uint8_t> answer);
    // The answer of an operation whose response carries nothing (the Set
    // operations but SetNetworkInterfaces) or only a message (SystemReboot):
    // true when the body holds that operation's response.
    static Result<bool> ReadAcknowledgement(Operation operation,
                                            std::span<const std::uint8_t> answer);

    // True when `answer` is a SOAP envelope holding a fault; for the HTTP
    // exchange, which retries a refused request only when it holds none.
    static bool IsFault(std::span<const std::uint8_t> answer);
};

}  // namespace quorvex
