// WsDiscoveryCodec::Parse: the walk over the elements of one received
// message, read by the shared hardened reader.
#include <memory>
#include <utility>

#include "core/soap_reader.h"
#include "core/ws_discovery_codec.h"

namespace quorvex {

namespace {

// Names other versions use for the same things; read, never sent.
constexpr std::string_view kSoap11Envelope = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressing2005 = "http://www.w3.org/2005/08/addressing";
constexpr std::string_view kDiscovery11 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";

// The types of a match keep the form "uri local".
constexpr char kNameSeparator = WsDiscoveryCodec::kTypeSeparator;

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

class MessageReader : public SoapReader::Handler {
public:
    WsDiscoveryCodec::ParseResult Read(std::span<const std::uint8_t> bytes) {
        SoapReader::Limits limits;
        limits.max_bytes = WsDiscoveryCodec::kMaxMessageBytes;
        limits.max_elements = WsDiscoveryCodec::kMaxElements;
        limits.max_depth = WsDiscoveryCodec::kMaxDepth;
        limits.max_namespace_declarations = WsDiscoveryCodec::kMaxNamespaceDeclarations;
        limits.max_text_bytes = WsDiscoveryCodec::kMaxValueBytes;
        SoapReader reader(limits);
        const SoapReader::Refusal refusal = reader.Read(bytes, *this);

        WsDiscoveryCodec::ParseResult result;
        switch (refusal) {
            case SoapReader::Refusal::kNone:
                if (saw_envelope_) {
                    result.message = std::move(message_);
                } else {
                    result.refusal = WsDiscoveryCodec::Refusal::kNotSoapEnvelope;
                }
                break;
            case SoapReader::Refusal::kStopped:
                result.refusal = refusal_;
                break;
            case SoapReader::Refusal::kOversized:
                result.refusal = WsDiscoveryCodec::Refusal::kOversized;
                break;
            case SoapReader::Refusal::kDocumentType:
                result.refusal = WsDiscoveryCodec::Refusal::kDocumentType;
                break;
            case SoapReader::Refusal::kTooComplex:
                result.refusal = WsDiscoveryCodec::Refusal::kTooComplex;
                break;
            case SoapReader::Refusal::kMalformed:
            case SoapReader::Refusal::kInvalidUtf8:
                result.refusal = WsDiscoveryCodec::Refusal::kMalformed;
                break;
        }
        return result;
    }

private:
    struct Frame {
        Element element;
        bool captures;
    };

    Element Classify(SoapReader::Name name) const {
        const Space space = name.uri.empty() ? Space::kOther : SpaceOf(name.uri);
        const std::string_view local = name.local;
        const bool unqualified = name.uri.empty();
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
                if (unqualified && local == "faultcode") return Element::kCodeValue;
                if (unqualified && local == "faultstring") return Element::kReasonText;
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

    bool OnStart(const SoapReader&, SoapReader::Name name,
                 std::span<const SoapReader::Attribute>) override {
        Element element = Element::kOther;
        if (stack_.empty()) {
            if (name.uri.empty() || SpaceOf(name.uri) != Space::kEnvelope ||
                name.local != "Envelope") {
                refusal_ = WsDiscoveryCodec::Refusal::kNotSoapEnvelope;
                return false;
            }
            saw_envelope_ = true;
            element = Element::kEnvelope;
        } else {
            element = Classify(name);
        }
        Begin(element, name);
        stack_.push_back(Frame{element, Captures(element)});
        return true;
    }

    void Begin(Element element, SoapReader::Name name) {
        WsDiscoveryCodec::Message& m = message_;
        const std::string_view local = name.local;
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
                    const bool discovery =
                        !name.uri.empty() && SpaceOf(name.uri) == Space::kDiscovery;
                    if (discovery && local == "Probe") m.kind = WsDiscoveryCodec::Kind::kProbe;
                }
                break;
            default:
                break;
        }
    }

    void OnEnd(const SoapReader& reader, SoapReader::Name, std::string_view text) override {
        if (stack_.empty()) return;
        const Frame frame = stack_.back();
        if (frame.captures) Store(reader, frame.element, Trim(text));
        stack_.pop_back();
    }

    // A type is a qualified name whose prefix the element's namespace scope
    // resolves; it is kept as "uri local" so that it never depends on the
    // prefix the device chose.
    static std::string ResolveType(const SoapReader& reader, std::string_view qname) {
        const std::size_t colon = qname.find(':');
        const std::string_view prefix =
            colon == std::string_view::npos ? std::string_view{} : qname.substr(0, colon);
        const std::string_view local =
            colon == std::string_view::npos ? qname : qname.substr(colon + 1);
        std::string out(reader.Resolve(prefix));
        out += kNameSeparator;
        out += local;
        return out;
    }

    void Store(const SoapReader& reader, Element element, std::string_view value) {
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
                        match->types.push_back(ResolveType(reader, qname));
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

    std::vector<Frame> stack_;
    bool saw_envelope_ = false;
    bool body_seen_ = false;
    bool in_match_ = false;
    WsDiscoveryCodec::Refusal refusal_ = WsDiscoveryCodec::Refusal::kNone;
    WsDiscoveryCodec::Message message_;
};

}  // namespace

WsDiscoveryCodec::ParseResult WsDiscoveryCodec::Parse(std::span<const std::uint8_t> bytes) {
    return MessageReader().Read(bytes);
}

}  // namespace quorvex
