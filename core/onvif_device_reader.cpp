// OnvifDeviceCodec: the readers of the answers, over a SoapTree.
#include "core/device_records.h"
#include "core/onvif_device_codec.h"
#include "core/schema_value.h"
#include "core/soap_tree.h"

namespace quorvex {

namespace {

using Codec = OnvifDeviceCodec;
using Error = Codec::Error;
constexpr std::string_view kTds = Codec::kDeviceWsdl;
constexpr std::string_view kTt = Codec::kSchema;

constexpr std::size_t kMaxReasonBytes = 512;
constexpr std::size_t kMaxSubcodes = 8;
// A token goes back to the camera as it came, so it is refused, not cut;
// tt:ReferenceToken allows 64 characters.
constexpr std::size_t kMaxTokenBytes = 64;
constexpr std::size_t kMaxDomainBytes = 255;

Error FromRefusal(SoapTree::Refusal refusal) {
    switch (refusal) {
        case SoapTree::Refusal::kNone:
            return Error::kNone;
        case SoapTree::Refusal::kOversized:
            return Error::kOversized;
        case SoapTree::Refusal::kDocumentType:
            return Error::kDocumentType;
        case SoapTree::Refusal::kMalformed:
            return Error::kMalformed;
        case SoapTree::Refusal::kInvalidUtf8:
            return Error::kInvalidUtf8;
        case SoapTree::Refusal::kTooComplex:
            return Error::kTooComplex;
        case SoapTree::Refusal::kNotSoap:
            return Error::kNotSoap;
    }
    return Error::kMalformed;
}

Codec::QName ValueName(const SoapTree::Node& value) {
    const std::size_t colon = value.text.find(':');
    const std::string_view local = colon == std::string::npos
                                       ? std::string_view(value.text)
                                       : std::string_view(value.text).substr(colon + 1);
    return Codec::QName{CutUtf8(value.text_uri, 256), CutUtf8(local, Codec::kMaxTextBytes)};
}

Codec::Fault ReadFault(const SoapTree& tree, std::size_t fault) {
    Codec::Fault out;
    SoapTree::Cursor parts(tree, fault);
    if (const auto code = parts.Next(Codec::kEnvelope, "Code")) {
        SoapTree::Cursor c(tree, *code);
        if (const auto value = c.Next(Codec::kEnvelope, "Value"))
            out.code = ValueName(tree.At(*value));
        std::optional<std::size_t> sub = c.Next(Codec::kEnvelope, "Subcode");
        while (sub && out.subcodes.size() < kMaxSubcodes) {
            SoapTree::Cursor s(tree, *sub);
            const auto value = s.Next(Codec::kEnvelope, "Value");
            if (!value) break;
            out.subcodes.push_back(ValueName(tree.At(*value)));
            sub = s.Next(Codec::kEnvelope, "Subcode");
        }
    }
    if (const auto reason = parts.Next(Codec::kEnvelope, "Reason")) {
        SoapTree::Cursor r(tree, *reason);
        if (const auto text = r.Next(Codec::kEnvelope, "Text"))
            out.reason = CutUtf8(tree.At(*text).text, kMaxReasonBytes);
    }
    return out;
}

// One answer opened: the tree and the operation's response element, or why not.
struct Opened {
    SoapTree tree;
    std::size_t response = 0;
    Error error = Error::kNone;
    Codec::Fault fault;
};

void Open(std::span<const std::uint8_t> answer, std::string_view response_name, Opened& out) {
    SoapReader::Limits limits;
    limits.max_bytes = Codec::kMaxAnswerBytes;
    out.error = FromRefusal(out.tree.Read(answer, limits));
    if (out.error != Error::kNone) return;
    const std::optional<std::size_t> content = out.tree.BodyContent();
    if (!content) {
        out.error = Error::kMissingElement;
        return;
    }
    const SoapTree::Node& node = out.tree.At(*content);
    if (node.uri == Codec::kEnvelope && node.local == "Fault") {
        out.error = Error::kFault;
        out.fault = ReadFault(out.tree, *content);
        return;
    }
    if (node.uri != kTds || node.local != response_name) {
        out.error = Error::kUnexpectedAnswer;
        return;
    }
    out.response = *content;
}

template <typename T>
Codec::Result<T> Failed(Opened& opened) {
    Codec::Result<T> result;
    result.error = opened.error;
    result.fault = std::move(opened.fault);
    return result;
}

template <typename T>
Codec::Result<T> Refused(Error error) {
    Codec::Result<T> result;
    result.error = error;
    return result;
}

template <typename T>
Codec::Result<T> Value(T value) {
    Codec::Result<T> result;
    result.value = std::move(value);
    return result;
}

std::string ResponseName(Codec::Operation operation) {
    return std::string(Codec::OperationName(operation)) + "Response";
}

// The reading of one part of an answer: the first error met stops it.
class Walk {
public:
    explicit Walk(const SoapTree& tree) : tree_(tree) {}
    Error error = Error::kNone;

    // The required child `local` of namespace `uri` next under `cursor`.
    std::optional<std::size_t> Need(SoapTree::Cursor& cursor, std::string_view uri,
                                    std::string_view local) {
        const auto node = cursor.Next(uri, local);
        if (!node) Fail(Error::kMissingElement);
        return node;
    }
    std::string_view Text(std::size_t node) const { return tree_.At(node).text; }

    std::optional<bool> Bool(std::optional<std::size_t> node) {
        if (!node) return std::nullopt;
        const auto value = ReadSchemaBool(Text(*node));
        if (!value) Fail(Error::kInvalidValue);
        return value;
    }
    std::optional<std::int64_t> Number(std::optional<std::size_t> node, std::int64_t low,
                                       std::int64_t high) {
        if (!node) return std::nullopt;
        const auto value = ReadSchemaNumber(Text(*node), low, high);
        if (!value) Fail(Error::kInvalidValue);
        return value;
    }
    std::optional<std::uint32_t> Address(std::optional<std::size_t> node) {
        if (!node) return std::nullopt;
        std::uint32_t address = 0;
        if (!ParseAddress(Text(*node), address)) {
            Fail(Error::kInvalidValue);
            return std::nullopt;
        }
        return address;
    }
    // tt:PrefixedIPv4Address: Address, PrefixLength.
    std::optional<Codec::PrefixedAddress> Prefixed(std::size_t node) {
        SoapTree::Cursor c(tree_, node);
        const auto address = Address(Need(c, kTt, "Address"));
        const auto prefix = Number(Need(c, kTt, "PrefixLength"), 0, 32);
        if (!address || !prefix) return std::nullopt;
        return Codec::PrefixedAddress{*address, static_cast<int>(*prefix)};
    }
    void Fail(Error why) {
        if (error == Error::kNone) error = why;
    }

private:
    const SoapTree& tree_;
};

template <typename T>
Codec::Result<T> Finish(const Walk& walk, T value) {
    if (walk.error != Error::kNone) return Refused<T>(walk.error);
    return Value(std::move(value));
}

Codec::NetworkInterface ReadInterface(const SoapTree& tree, std::size_t node, Walk& walk) {
    Codec::NetworkInterface out;
    const auto token = tree.Attribute(node, "token");
    if (!token || token->empty() || token->size() > kMaxTokenBytes) walk.Fail(Error::kInvalidValue);
    if (token) out.token = CutUtf8(*token, kMaxTokenBytes);
    // tt:NetworkInterface: Enabled, Info?, Link?, IPv4?, IPv6?, Extension?.
    SoapTree::Cursor c(tree, node);
    out.enabled = walk.Bool(walk.Need(c, kTt, "Enabled")).value_or(false);
    if (const auto info = c.Next(kTt, "Info")) {
        SoapTree::Cursor i(tree, *info);
        if (const auto mac = walk.Need(i, kTt, "HwAddress")) {
            out.mac = ReadMacText(walk.Text(*mac));
            if (!out.mac) walk.Fail(Error::kInvalidValue);
        }
    }
    const auto ipv4 = c.Next(kTt, "IPv4");
    if (!ipv4) return out;
    out.has_ipv4 = true;
    SoapTree::Cursor v4(tree, *ipv4);
    out.ipv4_enabled = walk.Bool(walk.Need(v4, kTt, "Enabled")).value_or(false);
    const auto config = walk.Need(v4, kTt, "Config");
    if (!config) return out;
    // tt:IPv4Configuration: Manual*, LinkLocal?, FromDHCP?, DHCP.
    SoapTree::Cursor cfg(tree, *config);
    while (const auto manual = cfg.Next(kTt, "Manual")) {
        if (const auto address = walk.Prefixed(*manual)) {
            if (out.manual.size() < Codec::kMaxAddresses) out.manual.push_back(*address);
        }
    }
    if (const auto from_dhcp = cfg.Next(kTt, "FromDHCP")) out.from_dhcp = walk.Prefixed(*from_dhcp);
    out.dhcp = walk.Bool(walk.Need(cfg, kTt, "DHCP")).value_or(false);
    return out;
}

}  // namespace

bool Codec::Fault::Names(std::string_view uri, std::string_view local) const {
    if (code.Is(uri, local)) return true;
    for (const QName& sub : subcodes) {
        if (sub.Is(uri, local)) return true;
    }
    return false;
}

bool Codec::IsFault(std::span<const std::uint8_t> answer) {
    Opened opened;
    Open(answer, {}, opened);
    return opened.error == Error::kFault;
}

Codec::Result<std::int64_t> Codec::ReadSystemDateAndTime(std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, "GetSystemDateAndTimeResponse", o);
    if (o.error != Error::kNone) return Failed<std::int64_t>(o);
    Walk walk(o.tree);
    SoapTree::Cursor response(o.tree, o.response);
    const auto settings = walk.Need(response, kTds, "SystemDateAndTime");
    if (!settings) return Refused<std::int64_t>(walk.error);
    SoapTree::Cursor s(o.tree, *settings);
    const auto utc = walk.Need(s, kTt, "UTCDateTime");
    if (!utc) return Refused<std::int64_t>(walk.error);
    // tt:DateTime is Time, then Date.
    SoapTree::Cursor dt(o.tree, *utc);
    const auto time = walk.Need(dt, kTt, "Time");
    const auto date = walk.Need(dt, kTt, "Date");
    if (!time || !date) return Refused<std::int64_t>(walk.error);
    SoapTree::Cursor t(o.tree, *time);
    SoapTree::Cursor d(o.tree, *date);
    const auto hour = walk.Number(walk.Need(t, kTt, "Hour"), 0, 23);
    const auto minute = walk.Number(walk.Need(t, kTt, "Minute"), 0, 59);
    // A leap second reads as the last second of its minute.
    const auto second = walk.Number(walk.Need(t, kTt, "Second"), 0, 60);
    const auto year = walk.Number(walk.Need(d, kTt, "Year"), 1970, 9999);
    const auto month = walk.Number(walk.Need(d, kTt, "Month"), 1, 12);
    const auto day = walk.Number(walk.Need(d, kTt, "Day"), 1, 31);
    if (walk.error != Error::kNone) return Refused<std::int64_t>(walk.error);
    if (*day > DaysInMonth(*year, static_cast<int>(*month)))
        return Refused<std::int64_t>(Error::kInvalidValue);
    const std::int64_t days =
        DaysFromCivil(*year, static_cast<int>(*month), static_cast<int>(*day));
    return Value(days * 86400 + *hour * 3600 + *minute * 60 + std::min<std::int64_t>(*second, 59));
}

Codec::Result<Codec::ServiceCapabilities> Codec::ReadServiceCapabilities(
    std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, "GetServiceCapabilitiesResponse", o);
    if (o.error != Error::kNone) return Failed<ServiceCapabilities>(o);
    Walk walk(o.tree);
    SoapTree::Cursor response(o.tree, o.response);
    const auto capabilities = walk.Need(response, kTds, "Capabilities");
    if (!capabilities) return Refused<ServiceCapabilities>(walk.error);
    ServiceCapabilities out;
    const auto flag = [&](std::size_t node, std::string_view name, bool& into) {
        const auto text = o.tree.Attribute(node, name);
        if (!text) return;
        const auto value = ReadSchemaBool(*text);
        if (!value) walk.Fail(Error::kInvalidValue);
        into = value.value_or(false);
    };
    // tds:DeviceServiceCapabilities: Network, Security, System, Misc?.
    SoapTree::Cursor c(o.tree, *capabilities);
    c.Next(kTds, "Network");
    if (const auto security = c.Next(kTds, "Security")) {
        flag(*security, "UsernameToken", out.username_token);
        flag(*security, "HttpDigest", out.http_digest);
    }
    if (const auto system = c.Next(kTds, "System"))
        flag(*system, "NetworkConfigNotSupported", out.network_config_not_supported);
    return Finish(walk, out);
}

Codec::Result<Codec::DeviceInformation> Codec::ReadDeviceInformation(
    std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, "GetDeviceInformationResponse", o);
    if (o.error != Error::kNone) return Failed<DeviceInformation>(o);
    Walk walk(o.tree);
    SoapTree::Cursor c(o.tree, o.response);
    const auto text = [&](std::string_view name) {
        const auto node = walk.Need(c, kTds, name);
        return node ? CutUtf8(walk.Text(*node), kMaxTextBytes) : std::string();
    };
    DeviceInformation out;
    out.manufacturer = text("Manufacturer");
    out.model = text("Model");
    out.firmware_version = text("FirmwareVersion");
    out.serial_number = text("SerialNumber");
    out.hardware_id = text("HardwareId");
    return Finish(walk, std::move(out));
}

Codec::Result<std::vector<Codec::NetworkInterface>> Codec::ReadNetworkInterfaces(
    std::span<const std::uint8_t> answer) {
    using List = std::vector<NetworkInterface>;
    Opened o;
    Open(answer, "GetNetworkInterfacesResponse", o);
    if (o.error != Error::kNone) return Failed<List>(o);
    Walk walk(o.tree);
    SoapTree::Cursor c(o.tree, o.response);
    List out;
    while (const auto node = c.Next(kTds, "NetworkInterfaces")) {
        if (out.size() == kMaxInterfaces) break;
        out.push_back(ReadInterface(o.tree, *node, walk));
    }
    if (out.empty()) walk.Fail(Error::kMissingElement);
    return Finish(walk, std::move(out));
}

Codec::Result<bool> Codec::ReadSetNetworkInterfaces(std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, "SetNetworkInterfacesResponse", o);
    if (o.error != Error::kNone) return Failed<bool>(o);
    Walk walk(o.tree);
    SoapTree::Cursor c(o.tree, o.response);
    const auto reboot = walk.Bool(walk.Need(c, kTds, "RebootNeeded"));
    return Finish(walk, reboot.value_or(false));
}

Codec::Result<std::vector<std::uint32_t>> Codec::ReadNetworkDefaultGateway(
    std::span<const std::uint8_t> answer) {
    using List = std::vector<std::uint32_t>;
    Opened o;
    Open(answer, "GetNetworkDefaultGatewayResponse", o);
    if (o.error != Error::kNone) return Failed<List>(o);
    Walk walk(o.tree);
    SoapTree::Cursor response(o.tree, o.response);
    const auto gateway = walk.Need(response, kTds, "NetworkGateway");
    if (!gateway) return Refused<List>(walk.error);
    List out;
    SoapTree::Cursor c(o.tree, *gateway);
    while (const auto node = c.Next(kTt, "IPv4Address")) {
        const auto address = walk.Address(node);
        if (address && out.size() < kMaxAddresses) out.push_back(*address);
    }
    return Finish(walk, std::move(out));
}

Codec::Result<Codec::DnsSettings> Codec::ReadDns(std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, "GetDNSResponse", o);
    if (o.error != Error::kNone) return Failed<DnsSettings>(o);
    Walk walk(o.tree);
    SoapTree::Cursor response(o.tree, o.response);
    const auto information = walk.Need(response, kTds, "DNSInformation");
    if (!information) return Refused<DnsSettings>(walk.error);
    // tt:DNSInformation: FromDHCP, SearchDomain*, DNSFromDHCP*, DNSManual*.
    SoapTree::Cursor c(o.tree, *information);
    DnsSettings out;
    out.from_dhcp = walk.Bool(walk.Need(c, kTt, "FromDHCP")).value_or(false);
    while (const auto domain = c.Next(kTt, "SearchDomain")) {
        const std::string_view text = walk.Text(*domain);
        if (text.empty() || text.size() > kMaxDomainBytes) walk.Fail(Error::kInvalidValue);
        if (out.search_domains.size() < kMaxAddresses) out.search_domains.emplace_back(text);
    }
    const auto servers = [&](std::string_view name, std::vector<std::uint32_t>& into) {
        while (const auto node = c.Next(kTt, name)) {
            // tt:IPAddress: Type, then the address of that type.
            SoapTree::Cursor a(o.tree, *node);
            const auto type = walk.Need(a, kTt, "Type");
            if (!type) continue;
            const std::string_view kind = walk.Text(*type);
            if (kind == "IPv6") continue;
            if (kind != "IPv4") {
                walk.Fail(Error::kInvalidValue);
                continue;
            }
            const auto address = walk.Address(walk.Need(a, kTt, "IPv4Address"));
            if (address && into.size() < kMaxAddresses) into.push_back(*address);
        }
    };
    servers("DNSFromDHCP", out.dns_from_dhcp);
    servers("DNSManual", out.dns_manual);
    return Finish(walk, std::move(out));
}

Codec::Result<std::vector<Codec::NetworkProtocol>> Codec::ReadNetworkProtocols(
    std::span<const std::uint8_t> answer) {
    using List = std::vector<NetworkProtocol>;
    Opened o;
    Open(answer, "GetNetworkProtocolsResponse", o);
    if (o.error != Error::kNone) return Failed<List>(o);
    Walk walk(o.tree);
    SoapTree::Cursor c(o.tree, o.response);
    List out;
    while (const auto node = c.Next(kTds, "NetworkProtocols")) {
        // tt:NetworkProtocol: Name, Enabled, Port+.
        SoapTree::Cursor p(o.tree, *node);
        NetworkProtocol protocol;
        if (const auto name = walk.Need(p, kTt, "Name")) {
            const std::string_view text = walk.Text(*name);
            if (text == "HTTP") {
                protocol.name = ProtocolName::kHttp;
            } else if (text == "HTTPS") {
                protocol.name = ProtocolName::kHttps;
            } else if (text == "RTSP") {
                protocol.name = ProtocolName::kRtsp;
            } else {
                walk.Fail(Error::kInvalidValue);
            }
        }
        protocol.enabled = walk.Bool(walk.Need(p, kTt, "Enabled")).value_or(false);
        while (const auto port = p.Next(kTt, "Port")) {
            const auto number = walk.Number(port, 1, 65535);
            if (number && protocol.ports.size() < kMaxPorts)
                protocol.ports.push_back(static_cast<std::uint16_t>(*number));
        }
        if (protocol.ports.empty()) walk.Fail(Error::kMissingElement);
        if (out.size() < kMaxProtocols) out.push_back(std::move(protocol));
    }
    return Finish(walk, std::move(out));
}

Codec::Result<bool> Codec::ReadAcknowledgement(Operation operation,
                                               std::span<const std::uint8_t> answer) {
    Opened o;
    Open(answer, ResponseName(operation), o);
    if (o.error != Error::kNone) return Failed<bool>(o);
    return Value(true);
}

}  // namespace quorvex
