#include "sim/soap_request.h"

#include <expat.h>

#include <memory>

namespace quorvex::sim {

namespace {

constexpr std::size_t kMaxElements = 4000;
constexpr std::size_t kMaxDepth = 32;

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

struct State {
    XML_Parser parser = nullptr;
    SoapRequest request;
    std::vector<std::string> path;  // open elements, canonical names
    std::vector<std::string> texts;
    std::vector<std::string> types;
    bool refused = false;
    bool saw_envelope = false;
    bool saw_body = false;

    void Refuse() {
        refused = true;
        XML_StopParser(parser, XML_FALSE);
    }
};

// "uri|local" from the namespace-aware parser into "prefix:local".
std::string Canonical(const XML_Char* name) {
    const std::string_view full(name);
    const std::size_t bar = full.rfind('|');
    if (bar == std::string_view::npos) return std::string(full);
    return std::string(CanonicalPrefix(full.substr(0, bar))) + ":" +
           std::string(full.substr(bar + 1));
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string Joined(const std::vector<std::string>& path) {
    std::string out;
    for (const std::string& p : path) {
        if (!out.empty()) out += '/';
        out += p;
    }
    return out;
}

void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& s = *static_cast<State*>(data);
    if (s.refused) return;
    if (s.path.size() >= kMaxDepth || s.request.elements.size() >= kMaxElements) return s.Refuse();
    const std::string element = Canonical(name);
    if (s.path.empty()) {
        if (element != "env:Envelope") return s.Refuse();
        s.saw_envelope = true;
    }
    if (s.path.size() == 1 && element == "env:Body") s.saw_body = true;
    if (s.path.size() == 2 && s.path[1] == "env:Header" && element == "wsse:Security")
        s.request.has_security = true;
    if (s.path.size() == 2 && s.path[1] == "env:Body" && s.request.operation.empty()) {
        const std::size_t colon = element.find(':');
        s.request.operation_prefix = element.substr(0, colon);
        s.request.operation = element.substr(colon + 1);
    }
    std::string type;
    for (const XML_Char** a = attributes; a[0] && a[1]; a += 2) {
        // The Type attribute is unqualified; so is its name here.
        if (std::string_view(a[0]) == "Type") type = a[1];
    }
    s.path.push_back(element);
    s.texts.emplace_back();
    s.types.push_back(std::move(type));
}

void OnEnd(void* data, const XML_Char* /*name*/) {
    auto& s = *static_cast<State*>(data);
    if (s.refused || s.path.empty()) return;
    s.request.elements.push_back(
        SoapElement{Joined(s.path), Trimmed(s.texts.back()), std::move(s.types.back())});
    s.path.pop_back();
    s.texts.pop_back();
    s.types.pop_back();
}

void OnText(void* data, const XML_Char* text, int length) {
    auto& s = *static_cast<State*>(data);
    if (s.refused || s.texts.empty()) return;
    // Bounded by the request's size, which the HTTP side already capped.
    s.texts.back().append(text, static_cast<std::size_t>(length));
}

void OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    // No request needs one, and entities are how a small body grows huge.
    static_cast<State*>(data)->Refuse();
}

}  // namespace

std::string_view CanonicalPrefix(std::string_view uri) {
    if (uri.empty()) return "";
    if (uri == "http://www.w3.org/2003/05/soap-envelope") return "env";
    if (uri == "http://www.onvif.org/ver10/device/wsdl") return "tds";
    if (uri == "http://www.onvif.org/ver10/schema") return "tt";
    if (uri == "http://www.onvif.org/ver10/error") return "ter";
    if (uri == "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd")
        return "wsse";
    if (uri == "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd")
        return "wsu";
    return "?";
}

const SoapElement* SoapRequest::Find(std::string_view suffix) const {
    for (const SoapElement& e : elements) {
        const std::string_view path(e.path);
        if (path.ends_with(suffix) &&
            (path.size() == suffix.size() || path[path.size() - suffix.size() - 1] == '/'))
            return &e;
    }
    return nullptr;
}

std::vector<std::string> SoapRequest::All(std::string_view suffix) const {
    std::vector<std::string> out;
    for (const SoapElement& e : elements) {
        const std::string_view path(e.path);
        if (path.ends_with(suffix) &&
            (path.size() == suffix.size() || path[path.size() - suffix.size() - 1] == '/'))
            out.push_back(e.text);
    }
    return out;
}

std::string SoapRequest::Text(std::string_view suffix) const {
    const SoapElement* e = Find(suffix);
    return e ? e->text : std::string();
}

std::optional<SoapRequest> ParseSoapRequest(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) return std::nullopt;
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreateNS(nullptr, '|'));
    if (!parser) return std::nullopt;
    State state;
    state.parser = parser.get();
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnText);
    XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
    const XML_Status status = XML_Parse(parser.get(), reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<int>(bytes.size()), XML_TRUE);
    if (status != XML_STATUS_OK || state.refused || !state.saw_envelope || !state.saw_body)
        return std::nullopt;
    return std::move(state.request);
}

}  // namespace quorvex::sim
