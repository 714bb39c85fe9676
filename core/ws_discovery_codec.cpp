#include "core/ws_discovery_codec.h"

#include <expat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

namespace quorvex {

namespace {

// Names other versions use for the same things; read, never sent.
constexpr std::string_view kSoap11Envelope = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressing2005 = "http://www.w3.org/2005/08/addressing";
constexpr std::string_view kDiscovery11 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";

// The separator expat puts between a namespace URI and a local name; a URI
// holds no blank, so the first blank splits them.
constexpr char kNameSeparator = ' ';

// Every probe carries every prefix declared on the Envelope: some devices
// resolve prefixes only there.
constexpr const char* kProbeFormat =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<soap:Envelope"
    " xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
    " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
    " xmlns:%s=\"%s\">"
    "<soap:Header>"
    "<wsa:Action soap:mustUnderstand=\"1\">"
    "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>"
    "<wsa:MessageID>%.*s</wsa:MessageID>"
    "<wsa:ReplyTo><wsa:Address>"
    "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
    "</wsa:Address></wsa:ReplyTo>"
    "<wsa:To soap:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
    "</soap:Header>"
    "<soap:Body><wsd:Probe><wsd:Types>%s:%s</wsd:Types></wsd:Probe></soap:Body>"
    "</soap:Envelope>";

enum class Space { kOther, kEnvelope, kAddressing, kDiscovery };

Space SpaceOf(std::string_view uri) {
    if (uri == WsDiscoveryCodec::kSoapEnvelope || uri == kSoap11Envelope) return Space::kEnvelope;
    if (uri == WsDiscoveryCodec::kAddressing || uri == kAddressing2005) return Space::kAddressing;
    if (uri == WsDiscoveryCodec::kDiscovery || uri == kDiscovery11) return Space::kDiscovery;
    return Space::kOther;
}

// What an element is, judged by its namespace, its local name and its parent.
enum class Element {
    kOther,
    kEnvelope,
    kHeader,
    kBody,
    kAction,
    kMessageId,
    kRelatesTo,
    kProbeMatches,
    kMatch,  // ProbeMatch, Hello or Bye
    kEndpointReference,
    kAddress,
    kTypes,
    kScopes,
    kXAddrs,
    kMetadataVersion,
    kFault,
    kCode,
    kSubcode,
    kCodeValue,
    kSubcodeValue,
    kReason,
    kReasonText,
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::vector<std::string> SplitList(std::string_view text, std::size_t limit) {
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at < text.size() && items.size() < limit) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !IsBlank(text[end])) ++end;
        if (end > at) items.emplace_back(text.substr(at, end - at));
        at = end;
    }
    return items;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

class MessageReader {
public:
    MessageReader() : parser_(XML_ParserCreateNS(nullptr, kNameSeparator)) {}

    WsDiscoveryCodec::ParseResult Read(std::span<const std::uint8_t> bytes) {
        WsDiscoveryCodec::ParseResult result;
        if (!parser_) {
            result.refusal = WsDiscoveryCodec::Refusal::kMalformed;
            return result;
        }
        XML_Parser p = parser_.get();
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, &MessageReader::OnStart, &MessageReader::OnEnd);
        XML_SetCharacterDataHandler(p, &MessageReader::OnText);
        XML_SetNamespaceDeclHandler(p, &MessageReader::OnNamespaceStart,
                                    &MessageReader::OnNamespaceEnd);
        // A document type may declare entities whose expansion multiplies a
        // few bytes into gigabytes; no answer needs one, so any is refused
        // at its first token, before its internal subset is read.
        XML_SetStartDoctypeDeclHandler(p, &MessageReader::OnDoctype);
        XML_SetEntityDeclHandler(p, &MessageReader::OnEntity);
        XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);

        const XML_Status status = XML_Parse(p, reinterpret_cast<const char*>(bytes.data()),
                                            static_cast<int>(bytes.size()), XML_TRUE);
        if (refusal_ != WsDiscoveryCodec::Refusal::kNone) {
            result.refusal = refusal_;
        } else if (status != XML_STATUS_OK || !saw_envelope_) {
            result.refusal = saw_envelope_ || status != XML_STATUS_OK
                                 ? WsDiscoveryCodec::Refusal::kMalformed
                                 : WsDiscoveryCodec::Refusal::kNotSoapEnvelope;
        } else {
            result.message = std::move(message_);
        }
        return result;
    }

private:
    struct Frame {
        Element element;
        bool captures;
    };
    struct ParserFree {
        void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
    };

    static MessageReader& Self(void* data) { return *static_cast<MessageReader*>(data); }

    void Refuse(WsDiscoveryCodec::Refusal why) {
        if (refusal_ == WsDiscoveryCodec::Refusal::kNone) refusal_ = why;
        XML_StopParser(parser_.get(), XML_FALSE);
    }

    static void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        Self(data).Refuse(WsDiscoveryCodec::Refusal::kDocumentType);
    }
    static void OnEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                         const XML_Char*, const XML_Char*, const XML_Char*) {
        Self(data).Refuse(WsDiscoveryCodec::Refusal::kDocumentType);
    }

    static void OnNamespaceStart(void* data, const XML_Char* prefix, const XML_Char* uri) {
        MessageReader& self = Self(data);
        if (self.namespaces_.size() >= WsDiscoveryCodec::kMaxNamespaceDeclarations) {
            self.Refuse(WsDiscoveryCodec::Refusal::kTooComplex);
            return;
        }
        self.namespaces_.emplace_back(prefix != nullptr ? prefix : "", uri != nullptr ? uri : "");
    }
    static void OnNamespaceEnd(void* data, const XML_Char* prefix) {
        MessageReader& self = Self(data);
        const std::string_view name = prefix != nullptr ? prefix : "";
        // Declarations end in the reverse order they began.
        for (auto it = self.namespaces_.rbegin(); it != self.namespaces_.rend(); ++it) {
            if (it->first == name) {
                self.namespaces_.erase(std::next(it).base());
                break;
            }
        }
    }

    // The namespace a prefix stands for where the parser is now; the default
    // namespace for no prefix. Empty when undeclared.
    std::string_view Resolve(std::string_view prefix) const {
        for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) {
            if (it->first == prefix) return it->second;
        }
        return {};
    }

    Element Classify(std::string_view name) const {
        const std::size_t blank = name.find(kNameSeparator);
        const Space space =
            blank == std::string_view::npos ? Space::kOther : SpaceOf(name.substr(0, blank));
        const std::string_view local =
            blank == std::string_view::npos ? name : name.substr(blank + 1);
        const Element parent = stack_.empty() ? Element::kOther : stack_.back().element;
        const bool envelope = space == Space::kEnvelope;
        const bool addressing = space == Space::kAddressing;
        const bool discovery = space == Space::kDiscovery;
        switch (parent) {
            case Element::kEnvelope:
                if (envelope && local == "Header") return Element::kHeader;
                if (envelope && local == "Body") return Element::kBody;
                break;
            case Element::kHeader:
                if (addressing && local == "Action") return Element::kAction;
                if (addressing && local == "MessageID") return Element::kMessageId;
                if (addressing && local == "RelatesTo") return Element::kRelatesTo;
                break;
            case Element::kBody:
                if (body_seen_) break;  // the first child of the body decides
                if (discovery && local == "ProbeMatches") return Element::kProbeMatches;
                if (discovery && (local == "Hello" || local == "Bye")) return Element::kMatch;
                if (envelope && local == "Fault") return Element::kFault;
                break;
            case Element::kProbeMatches:
                if (discovery && local == "ProbeMatch") return Element::kMatch;
                break;
            case Element::kMatch:
                if (addressing && local == "EndpointReference") return Element::kEndpointReference;
                if (discovery && local == "Types") return Element::kTypes;
                if (discovery && local == "Scopes") return Element::kScopes;
                if (discovery && local == "XAddrs") return Element::kXAddrs;
                if (discovery && local == "MetadataVersion") return Element::kMetadataVersion;
                break;
            case Element::kEndpointReference:
                if (addressing && local == "Address") return Element::kAddress;
                break;
            case Element::kFault:
                // SOAP 1.2 names its parts in the envelope's namespace, SOAP
                // 1.1 leaves them unqualified.
                if (envelope && local == "Code") return Element::kCode;
                if (envelope && local == "Reason") return Element::kReason;
                if (blank == std::string_view::npos && local == "faultcode")
                    return Element::kCodeValue;
                if (blank == std::string_view::npos && local == "faultstring")
                    return Element::kReasonText;
                break;
            case Element::kCode:
                if (envelope && local == "Value") return Element::kCodeValue;
                if (envelope && local == "Subcode") return Element::kSubcode;
                break;
            case Element::kSubcode:
                if (envelope && local == "Value") return Element::kSubcodeValue;
                break;
            case Element::kReason:
                if (envelope && local == "Text") return Element::kReasonText;
                break;
            default:
                break;
        }
        return Element::kOther;
    }

    static bool Captures(Element element) {
        switch (element) {
            case Element::kAction:
            case Element::kMessageId:
            case Element::kRelatesTo:
            case Element::kAddress:
            case Element::kTypes:
            case Element::kScopes:
            case Element::kXAddrs:
            case Element::kMetadataVersion:
            case Element::kCodeValue:
            case Element::kSubcodeValue:
            case Element::kReasonText:
                return true;
            default:
                return false;
        }
    }

    static void OnStart(void* data, const XML_Char* name, const XML_Char**) {
        MessageReader& self = Self(data);
        if (++self.elements_ > WsDiscoveryCodec::kMaxElements ||
            self.stack_.size() >= WsDiscoveryCodec::kMaxDepth) {
            self.Refuse(WsDiscoveryCodec::Refusal::kTooComplex);
            return;
        }
        const std::string_view qualified = name;
        Element element = Element::kOther;
        if (self.stack_.empty()) {
            const std::size_t blank = qualified.find(kNameSeparator);
            if (blank == std::string_view::npos ||
                SpaceOf(qualified.substr(0, blank)) != Space::kEnvelope ||
                qualified.substr(blank + 1) != "Envelope") {
                self.Refuse(WsDiscoveryCodec::Refusal::kNotSoapEnvelope);
                return;
            }
            self.saw_envelope_ = true;
            element = Element::kEnvelope;
        } else {
            element = self.Classify(qualified);
        }
        self.Begin(element, qualified);
        self.stack_.push_back(Frame{element, Captures(element)});
        self.text_.clear();
    }

    void Begin(Element element, std::string_view qualified) {
        WsDiscoveryCodec::Message& m = message_;
        const std::string_view local = qualified.substr(qualified.find(kNameSeparator) + 1);
        switch (element) {
            case Element::kProbeMatches:
                body_seen_ = true;
                m.kind = WsDiscoveryCodec::Kind::kProbeMatches;
                break;
            case Element::kFault:
                body_seen_ = true;
                m.kind = WsDiscoveryCodec::Kind::kFault;
                break;
            case Element::kMatch:
                if (stack_.back().element == Element::kBody) {
                    body_seen_ = true;
                    m.kind = local == "Hello" ? WsDiscoveryCodec::Kind::kHello
                                              : WsDiscoveryCodec::Kind::kBye;
                }
                if (m.matches.size() < WsDiscoveryCodec::kMaxMatches) {
                    m.matches.emplace_back();
                    in_match_ = true;
                } else {
                    in_match_ = false;
                }
                break;
            case Element::kOther:
                if (!stack_.empty() && stack_.back().element == Element::kBody && !body_seen_) {
                    body_seen_ = true;
                    const std::size_t blank = qualified.find(kNameSeparator);
                    const bool discovery = blank != std::string_view::npos &&
                                           SpaceOf(qualified.substr(0, blank)) == Space::kDiscovery;
                    if (discovery && local == "Probe") m.kind = WsDiscoveryCodec::Kind::kProbe;
                }
                break;
            default:
                break;
        }
    }

    static void OnText(void* data, const XML_Char* text, int length) {
        MessageReader& self = Self(data);
        if (self.stack_.empty() || !self.stack_.back().captures || length <= 0) return;
        const std::size_t room = WsDiscoveryCodec::kMaxValueBytes - self.text_.size();
        self.text_.append(text, std::min(room, static_cast<std::size_t>(length)));
    }

    static void OnEnd(void* data, const XML_Char*) {
        MessageReader& self = Self(data);
        if (self.stack_.empty()) return;
        const Frame frame = self.stack_.back();
        if (frame.captures) self.Store(frame.element, Trim(self.text_));
        self.stack_.pop_back();
        self.text_.clear();
    }

    // A type is a qualified name whose prefix the element's namespace scope
    // resolves; it is kept as "uri local" so that it never depends on the
    // prefix the device chose.
    std::string ResolveType(std::string_view qname) const {
        const std::size_t colon = qname.find(':');
        const std::string_view prefix =
            colon == std::string_view::npos ? std::string_view{} : qname.substr(0, colon);
        const std::string_view local =
            colon == std::string_view::npos ? qname : qname.substr(colon + 1);
        std::string out(Resolve(prefix));
        out += kNameSeparator;
        out += local;
        return out;
    }

    void Store(Element element, std::string_view value) {
        WsDiscoveryCodec::Message& m = message_;
        WsDiscoveryCodec::Match* match =
            in_match_ && !m.matches.empty() ? &m.matches.back() : nullptr;
        switch (element) {
            case Element::kAction:
                m.action = value;
                break;
            case Element::kMessageId:
                m.message_id = value;
                break;
            case Element::kRelatesTo:
                m.relates_to = value;
                break;
            case Element::kAddress:
                if (match) match->endpoint = value;
                break;
            case Element::kTypes:
                if (match) {
                    for (const std::string& qname :
                         SplitList(value, WsDiscoveryCodec::kMaxListItems)) {
                        match->types.push_back(ResolveType(qname));
                    }
                }
                break;
            case Element::kScopes:
                if (match) match->scopes = SplitList(value, WsDiscoveryCodec::kMaxListItems);
                break;
            case Element::kXAddrs:
                if (match) match->xaddrs = SplitList(value, WsDiscoveryCodec::kMaxListItems);
                break;
            case Element::kMetadataVersion:
                if (match) {
                    std::uint64_t number = 0;
                    bool ok = !value.empty() && value.size() <= 10;
                    for (const char c : value) {
                        if (c < '0' || c > '9') ok = false;
                        number = number * 10 + static_cast<std::uint64_t>(c - '0');
                    }
                    match->metadata_version =
                        ok && number <= 0xFFFFFFFFull ? static_cast<std::uint32_t>(number) : 0;
                }
                break;
            case Element::kCodeValue:
                if (m.fault_code.empty()) m.fault_code = value;
                break;
            case Element::kSubcodeValue:
                if (!value.empty()) {
                    m.fault_code += ' ';
                    m.fault_code += value;
                }
                break;
            case Element::kReasonText:
                if (m.fault_reason.empty()) m.fault_reason = value;
                break;
            default:
                break;
        }
    }

    std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
    std::vector<std::pair<std::string, std::string>> namespaces_;
    std::vector<Frame> stack_;
    std::string text_;
    std::size_t elements_ = 0;
    bool saw_envelope_ = false;
    bool body_seen_ = false;
    bool in_match_ = false;
    WsDiscoveryCodec::Refusal refusal_ = WsDiscoveryCodec::Refusal::kNone;
    WsDiscoveryCodec::Message message_;
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decoded scope value as a record field may hold it: control characters
// (a zero among them would end the field early) become blanks.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return text;
}

// Twelve hexadecimal digits, optionally separated by ':', '-' or '.'.
bool ParseMac(std::string_view text, std::uint8_t (&mac)[6]) {
    std::uint8_t bytes[6] = {};
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ':' || c == '-' || c == '.') continue;
        const int value = HexValue(c);
        if (value < 0 || digits >= 12) return false;
        bytes[digits / 2] = static_cast<std::uint8_t>((bytes[digits / 2] << 4) | value);
        ++digits;
    }
    if (digits != 12) return false;
    if (std::all_of(std::begin(bytes), std::end(bytes), [](std::uint8_t b) { return b == 0; }))
        return false;
    std::copy(std::begin(bytes), std::end(bytes), mac);
    return true;
}

// Appends `item` to a blank-separated list field when it fits whole.
template <std::size_t N>
void AppendItem(char (&field)[N], std::string_view item) {
    const std::string_view current = GetText(field);
    const std::size_t needed = current.size() + (current.empty() ? 0 : 1) + item.size();
    if (item.empty() || needed > N - 1) return;
    std::string joined(current);
    if (!joined.empty()) joined += ' ';
    joined += item;
    SetText(field, joined);
}

}  // namespace

std::string WsDiscoveryCodec::MakeMessageId(const std::array<std::uint8_t, 16>& random) {
    std::array<std::uint8_t, 16> bytes = random;
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // variant 1
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string id = "urn:uuid:";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += kDigits[bytes[i] >> 4];
        id += kDigits[bytes[i] & 0x0F];
    }
    return id;
}

std::size_t WsDiscoveryCodec::BuildProbe(std::span<std::uint8_t> buffer, ProbeType type,
                                         std::string_view message_id) {
    if (buffer.empty() || message_id.find_first_of("<>&\"'") != std::string_view::npos) return 0;
    const bool video = type == ProbeType::kNetworkVideoTransmitter;
    const int written = std::snprintf(
        reinterpret_cast<char*>(buffer.data()), buffer.size(), kProbeFormat, video ? "dn" : "tds",
        video ? kNetworkWsdl.data() : kDeviceWsdl.data(), static_cast<int>(message_id.size()),
        message_id.data(), video ? "dn" : "tds", video ? "NetworkVideoTransmitter" : "Device");
    if (written <= 0 || static_cast<std::size_t>(written) >= buffer.size()) return 0;
    return static_cast<std::size_t>(written);
}

WsDiscoveryCodec::ParseResult WsDiscoveryCodec::Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxMessageBytes) return ParseResult{std::nullopt, Refusal::kOversized};
    if (bytes.empty()) return ParseResult{std::nullopt, Refusal::kMalformed};
    return MessageReader().Read(bytes);
}

bool WsDiscoveryCodec::IsVideoDevice(const Match& match) {
    const std::string video =
        std::string(kNetworkWsdl) + kNameSeparator + "NetworkVideoTransmitter";
    const std::string device = std::string(kDeviceWsdl) + kNameSeparator + "Device";
    return std::any_of(match.types.begin(), match.types.end(),
                       [&](const std::string& type) { return type == video || type == device; });
}

std::string WsDiscoveryCodec::PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::optional<WsDiscoveryCodec::ServiceAddress> WsDiscoveryCodec::ParseServiceAddress(
    std::string_view xaddr) {
    ServiceAddress out;
    std::string_view rest;
    // A URL holds no blank and no control character (RFC 3986).
    if (std::any_of(xaddr.begin(), xaddr.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte <= 0x20 || byte == 0x7F;
        }))
        return std::nullopt;
    if (StartsWithNoCase(xaddr, "http://")) {
        rest = xaddr.substr(7);
    } else if (StartsWithNoCase(xaddr, "https://")) {
        out.https = true;
        rest = xaddr.substr(8);
    } else {
        return std::nullopt;
    }
    const std::size_t path_at = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, path_at);
    out.path = path_at == std::string_view::npos ? "/" : std::string(rest.substr(path_at));
    if (!out.path.starts_with('/')) out.path.insert(0, "/");
    const std::size_t user_end = authority.rfind('@');
    if (user_end != std::string_view::npos) authority.remove_prefix(user_end + 1);

    std::string_view port_text;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1) return std::nullopt;
        out.host = authority.substr(1, close - 1);
        out.ipv6 = true;
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port_text = after.substr(1);
        }
        out.link_local = StartsWithNoCase(out.host, "fe8") || StartsWithNoCase(out.host, "fe9") ||
                         StartsWithNoCase(out.host, "fea") || StartsWithNoCase(out.host, "feb");
    } else {
        const std::size_t colon = authority.find(':');
        out.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port_text = authority.substr(colon + 1);
        if (out.host.empty()) return std::nullopt;
        if (ParseAddress(out.host, out.ipv4)) {
            const auto* b = reinterpret_cast<const std::uint8_t*>(&out.ipv4);
            out.link_local = b[0] == 169 && b[1] == 254;
        } else {
            out.host_name = true;
        }
    }
    if (port_text.empty()) {
        out.port = out.https ? 443 : 80;
    } else {
        std::uint32_t port = 0;
        if (port_text.size() > 5) return std::nullopt;
        for (const char c : port_text) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        out.port = static_cast<std::uint16_t>(port);
    }
    return out;
}

std::string WsDiscoveryCodec::ServiceAddressText(const ServiceAddress& address) {
    std::string text = address.https ? "https://" : "http://";
    text += address.ipv6 ? "[" + address.host + "]" : address.host;
    text += ':';
    text += std::to_string(address.port);
    text += address.path;
    return text;
}

bool WsDiscoveryCodec::OffersWebService(const Match& match) {
    return match.xaddrs.empty() ||
           std::any_of(match.xaddrs.begin(), match.xaddrs.end(), [](const std::string& xaddr) {
               return ParseServiceAddress(xaddr).has_value();
           });
}

WsdDevice WsDiscoveryCodec::MakeDevice(const Match& match, std::uint32_t interface_address,
                                       std::uint32_t interface_mask, std::uint32_t source_address) {
    WsdDevice device{};
    DeviceEntry& entry = device.entry;
    entry.family = kFamilyWsDiscovery;
    entry.protocol = kProtocolWsDiscovery;
    entry.interface_address = interface_address;
    entry.sender_address = source_address;
    entry.protocols = static_cast<std::uint16_t>(1u << kProtocolWsDiscovery);
    WsdInfo& wsd = device.wsd;
    wsd.source_address = source_address;
    wsd.metadata_version = match.metadata_version;
    SetText(wsd.endpoint, Printable(match.endpoint));
    SetText(entry.info.uid, Printable(match.endpoint));

    std::optional<ServiceAddress> shown;
    std::optional<ServiceAddress> from_source;
    std::optional<ServiceAddress> first;
    for (const std::string& xaddr : match.xaddrs) {
        const std::optional<ServiceAddress> address = ParseServiceAddress(xaddr);
        // Anything else could be a script a front-end would open as the
        // camera's page.
        if (!address) continue;
        AppendItem(wsd.xaddrs, Printable(ServiceAddressText(*address)));
        if (address->link_local) wsd.flags |= kWsdLinkLocal;
        if (address->host_name) wsd.flags |= kWsdHostName;
        if (address->ipv6) wsd.flags |= kWsdIpv6;
        if (!first) first = address;
        const bool ipv4 = !address->ipv6 && !address->host_name;
        if (!shown && ipv4 && interface_mask != 0 && !address->link_local &&
            (address->ipv4 & interface_mask) == (interface_address & interface_mask)) {
            shown = address;
        }
        if (!from_source && ipv4 && address->ipv4 == source_address) from_source = address;
    }
    if (shown) {
        SetText(entry.info.ip, shown->host);
        entry.info.http_port = shown->port;
        if (shown->https) wsd.flags |= kWsdHttps;
    } else {
        wsd.flags |= kWsdFromSource;
        if (source_address != 0) SetText(entry.info.ip, AddressText(source_address));
        const std::optional<ServiceAddress>& port_from = from_source ? from_source : first;
        entry.info.http_port = port_from ? port_from->port : 80;
        if (port_from && port_from->https) wsd.flags |= kWsdHttps;
    }

    for (const std::string& type : match.types) {
        const std::size_t blank = type.find(kNameSeparator);
        AppendItem(wsd.types,
                   Printable(blank == std::string::npos ? type : type.substr(blank + 1)));
    }

    // Scopes of the form onvif://www.onvif.org/<name>/<value>; the scheme,
    // host and scope name are compared without regard to case.
    constexpr std::string_view kScopeRoot = "onvif://www.onvif.org/";
    std::string location;
    for (const std::string& scope : match.scopes) {
        AppendItem(wsd.scopes, Printable(scope));
        if (!StartsWithNoCase(scope, kScopeRoot)) continue;
        const std::string_view rest = std::string_view(scope).substr(kScopeRoot.size());
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) continue;
        const std::string_view name = rest.substr(0, slash);
        const std::string value = Printable(PercentDecode(rest.substr(slash + 1)));
        if (EqualsNoCase(name, "name")) {
            if (GetText(entry.info.name).empty()) SetText(entry.info.name, value);
        } else if (EqualsNoCase(name, "hardware")) {
            if (GetText(wsd.hardware).empty()) SetText(wsd.hardware, value);
        } else if (EqualsNoCase(name, "location")) {
            if (!location.empty()) location += ' ';
            location += value;
        } else if (EqualsNoCase(name, "mac")) {
            ParseMac(value, entry.info.mac);
        }
    }
    SetText(wsd.location, location);
    return device;
}

}  // namespace quorvex
