// SoapTree: the tree a SoapReader's events build, checked to be a SOAP 1.2
// envelope with a body.
#include "core/soap_tree.h"

namespace quorvex {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Only a short text of the form prefix:local is taken for a qualified name;
// a URL or a sentence is not.
bool LooksQualified(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || text.size() > 256) return false;
    for (const char c : text) {
        if (IsBlank(c) || c == '/') return false;
    }
    return true;
}

}  // namespace

class SoapTree::Builder : public SoapReader::Handler {
public:
    explicit Builder(SoapTree& tree) : tree_(tree) {}

    bool OnStart(const SoapReader&, SoapReader::Name name,
                 std::span<const SoapReader::Attribute> attributes) override {
        if (open_.empty() && !name.Is(kEnvelope, "Envelope")) {
            not_soap_ = true;
            return false;
        }
        const std::size_t index = tree_.nodes_.size();
        Node& node = tree_.nodes_.emplace_back();
        node.uri = name.uri;
        node.local = name.local;
        for (const SoapReader::Attribute& a : attributes) {
            if (a.name.uri.empty()) node.attributes.emplace_back(a.name.local, a.value);
        }
        if (!open_.empty()) tree_.nodes_[open_.back()].children.push_back(index);
        open_.push_back(index);
        return true;
    }

    void OnEnd(const SoapReader& reader, SoapReader::Name, std::string_view text) override {
        if (open_.empty()) return;
        Node& node = tree_.nodes_[open_.back()];
        open_.pop_back();
        // Text between children (indentation) is not the element's value.
        if (!node.children.empty()) return;
        node.text = Trim(text);
        if (LooksQualified(node.text)) node.text_uri = reader.ResolveQName(node.text).uri;
    }

    bool not_soap() const { return not_soap_; }

private:
    SoapTree& tree_;
    std::vector<std::size_t> open_;
    bool not_soap_ = false;
};

SoapTree::Refusal SoapTree::Read(std::span<const std::uint8_t> bytes,
                                 const SoapReader::Limits& limits) {
    nodes_.clear();
    body_ = 0;
    Builder builder(*this);
    SoapReader reader(limits);
    switch (reader.Read(bytes, builder)) {
        case SoapReader::Refusal::kNone:
            break;
        case SoapReader::Refusal::kStopped:
            return Refusal::kNotSoap;
        case SoapReader::Refusal::kOversized:
            return Refusal::kOversized;
        case SoapReader::Refusal::kDocumentType:
            return Refusal::kDocumentType;
        case SoapReader::Refusal::kMalformed:
            // An HTML page is rarely well-formed; what is not even XML is not
            // SOAP either, but the difference helps whoever reads a log.
            return Refusal::kMalformed;
        case SoapReader::Refusal::kInvalidUtf8:
            return Refusal::kInvalidUtf8;
        case SoapReader::Refusal::kTooComplex:
            return Refusal::kTooComplex;
    }
    if (nodes_.empty()) return Refusal::kNotSoap;
    // The envelope holds an optional header, then the body.
    Cursor envelope(*this, 0);
    const std::optional<std::size_t> body = envelope.Next(kEnvelope, "Body");
    if (!body) return Refusal::kNotSoap;
    body_ = *body;
    return Refusal::kNone;
}

std::optional<std::size_t> SoapTree::BodyContent() const {
    if (nodes_.empty() || nodes_[body_].children.empty()) return std::nullopt;
    return nodes_[body_].children.front();
}

std::optional<std::size_t> SoapTree::Cursor::Next(std::string_view uri, std::string_view local) {
    const std::vector<std::size_t>& children = tree_.nodes_[parent_].children;
    for (std::size_t i = at_; i < children.size(); ++i) {
        const Node& child = tree_.nodes_[children[i]];
        if (child.uri == uri && child.local == local) {
            at_ = i + 1;
            return children[i];
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> SoapTree::Attribute(std::size_t node, std::string_view name) const {
    for (const auto& [key, value] : nodes_[node].attributes) {
        if (key == name) return std::string_view(value);
    }
    return std::nullopt;
}

}  // namespace quorvex
