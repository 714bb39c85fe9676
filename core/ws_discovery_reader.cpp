// WsDiscoveryCodec::Parse: the hardened expat setup and the walk over the
// elements of one received message.
#include <expat.h>

#include <memory>
#include <utility>

#include "core/ws_discovery_codec.h"

namespace quorvex {

namespace {

// Names other versions use for the same things; read, never sent.
constexpr std::string_view kSoap11Envelope = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressing2005 = "http://www.w3.org/2005/08/addressing";
constexpr std::string_view kDiscovery11 = "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";

// Expat joins a namespace URI and a local name with this; the types of a
// match keep that form.
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

}  // namespace

WsDiscoveryCodec::ParseResult WsDiscoveryCodec::Parse(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > kMaxMessageBytes) return ParseResult{std::nullopt, Refusal::kOversized};
    if (bytes.empty()) return ParseResult{std::nullopt, Refusal::kMalformed};
    return MessageReader().Read(bytes);
}

}  // namespace quorvex
