// SoapReader: the hardened expat setup shared by every SOAP codec.
//
// Expat rather than a DOM library: it streams, so the caps apply while the
// bytes are read, and it lets a document type be refused before its internal
// subset is looked at.
#include "core/soap_reader.h"

#include <expat.h>
#include <utf8cpp/utf8.h>

#include <algorithm>

namespace quorvex {

struct SoapReader::Parser {
    struct Free {
        void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
    };
    std::unique_ptr<XML_ParserStruct, Free> handle{XML_ParserCreateNS(nullptr, kSeparator)};

    static SoapReader& Self(void* data) { return *static_cast<SoapReader*>(data); }

    static void Refuse(SoapReader& self, Refusal why) {
        if (self.refusal_ == Refusal::kNone) self.refusal_ = why;
        XML_StopParser(self.parser_->handle.get(), XML_FALSE);
    }

    // A document type may declare entities whose expansion multiplies a few
    // bytes into gigabytes; no answer needs one, so any is refused at its
    // first token, before its internal subset is read.
    static void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        Refuse(Self(data), Refusal::kDocumentType);
    }
    static void OnEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                         const XML_Char*, const XML_Char*, const XML_Char*) {
        Refuse(Self(data), Refusal::kDocumentType);
    }

    static void OnNamespaceStart(void* data, const XML_Char* prefix, const XML_Char* uri) {
        SoapReader& self = Self(data);
        if (self.namespaces_.size() >= self.limits_.max_namespace_declarations) {
            Refuse(self, Refusal::kTooComplex);
            return;
        }
        self.namespaces_.emplace_back(prefix != nullptr ? prefix : "", uri != nullptr ? uri : "");
    }
    static void OnNamespaceEnd(void* data, const XML_Char* prefix) {
        SoapReader& self = Self(data);
        const std::string_view name = prefix != nullptr ? prefix : "";
        // Declarations end in the reverse order they began.
        for (auto it = self.namespaces_.rbegin(); it != self.namespaces_.rend(); ++it) {
            if (it->first == name) {
                self.namespaces_.erase(std::next(it).base());
                break;
            }
        }
    }

    static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
        SoapReader& self = Self(data);
        if (self.refusal_ != Refusal::kNone) return;
        if (++self.elements_ > self.limits_.max_elements || self.depth_ >= self.limits_.max_depth) {
            Refuse(self, Refusal::kTooComplex);
            return;
        }
        self.attributes_.clear();
        for (const XML_Char** a = attributes; a != nullptr && a[0] != nullptr && a[1] != nullptr;
             a += 2) {
            if (self.attributes_.size() >= self.limits_.max_attributes) break;
            self.attributes_.push_back(Attribute{SplitName(a[0]), a[1]});
        }
        self.text_.clear();
        if (!self.handler_->OnStart(self, SplitName(name), self.attributes_)) {
            Refuse(self, Refusal::kStopped);
            return;
        }
        ++self.depth_;
    }

    static void OnText(void* data, const XML_Char* text, int length) {
        SoapReader& self = Self(data);
        if (self.depth_ == 0 || length <= 0) return;
        const std::size_t room = self.limits_.max_text_bytes - self.text_.size();
        self.text_.append(text, std::min(room, static_cast<std::size_t>(length)));
    }

    static void OnEnd(void* data, const XML_Char* name) {
        SoapReader& self = Self(data);
        if (self.refusal_ != Refusal::kNone || self.depth_ == 0) return;
        --self.depth_;
        self.handler_->OnEnd(self, SplitName(name), self.text_);
        self.text_.clear();
    }
};

SoapReader::SoapReader(const Limits& limits)
    : limits_(limits), parser_(std::make_unique<Parser>()) {}

SoapReader::SoapReader() : SoapReader(Limits{}) {}

SoapReader::~SoapReader() = default;

SoapReader::Refusal SoapReader::Read(std::span<const std::uint8_t> bytes, Handler& handler) {
    if (bytes.size() > limits_.max_bytes) return Refusal::kOversized;
    if (bytes.empty() || !parser_->handle) return Refusal::kMalformed;
    handler_ = &handler;
    XML_Parser p = parser_->handle.get();
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &Parser::OnStart, &Parser::OnEnd);
    XML_SetCharacterDataHandler(p, &Parser::OnText);
    XML_SetNamespaceDeclHandler(p, &Parser::OnNamespaceStart, &Parser::OnNamespaceEnd);
    XML_SetStartDoctypeDeclHandler(p, &Parser::OnDoctype);
    XML_SetEntityDeclHandler(p, &Parser::OnEntity);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);

    const XML_Status status = XML_Parse(p, reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<int>(bytes.size()), XML_TRUE);
    handler_ = nullptr;
    if (refusal_ != Refusal::kNone) return refusal_;
    if (status == XML_STATUS_OK) return Refusal::kNone;
    // Expat names a bad byte sequence only as an invalid token; telling the
    // two apart afterwards keeps the common path free of a second pass.
    return utf8::is_valid(bytes.begin(), bytes.end()) ? Refusal::kMalformed : Refusal::kInvalidUtf8;
}

std::string_view SoapReader::Resolve(std::string_view prefix) const {
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it) {
        if (it->first == prefix) return it->second;
    }
    return {};
}

SoapReader::Name SoapReader::ResolveQName(std::string_view text) const {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return Name{Resolve({}), text};
    return Name{Resolve(text.substr(0, colon)), text.substr(colon + 1)};
}

SoapReader::Name SoapReader::SplitName(std::string_view expat_name) {
    // A local name holds no blank, so the last one splits them.
    const std::size_t blank = expat_name.rfind(kSeparator);
    if (blank == std::string_view::npos) return Name{{}, expat_name};
    return Name{expat_name.substr(0, blank), expat_name.substr(blank + 1)};
}

}  // namespace quorvex
