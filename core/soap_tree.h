#pragma once

// A received SOAP 1.2 message as a small tree of elements, read through the
// hardened SoapReader, for codecs that look at an answer as a whole. Nodes
// keep namespace URIs (never prefixes), attributes, trimmed text and, for a
// text that is a qualified name, the namespace its prefix stood for there.
// Children are walked in document order with a cursor, so a reader that
// takes the elements of a sequence one after another finds an element out
// of order as missing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/soap_reader.h"

namespace quorvex {

class SoapTree {
public:
    static constexpr std::string_view kEnvelope = "http://www.w3.org/2003/05/soap-envelope";

    struct Node {
        std::string uri;
        std::string local;
        std::vector<std::pair<std::string, std::string>> attributes;  // unqualified ones only
        std::string text;                                             // trimmed
        std::string text_uri;  // the namespace of the text read as a qualified name
        std::vector<std::size_t> children;
    };

    enum class Refusal {
        kNone,
        kOversized,
        kDocumentType,
        kMalformed,
        kInvalidUtf8,
        kTooComplex,
        kNotSoap,  // well-formed, but its root is no SOAP 1.2 envelope with a body
    };

    // Reads `bytes`; on success Body() is the envelope's body.
    Refusal Read(std::span<const std::uint8_t> bytes, const SoapReader::Limits& limits);

    const Node& At(std::size_t index) const { return nodes_[index]; }
    std::size_t Body() const { return body_; }
    // The body's first child element, if any.
    std::optional<std::size_t> BodyContent() const;

    // Walks the children of one node in order.
    class Cursor {
    public:
        Cursor(const SoapTree& tree, std::size_t parent) : tree_(tree), parent_(parent) {}
        // The next child named (`uri`, `local`) at or after the cursor, which
        // moves past it; none (and the cursor stays) when there is none.
        std::optional<std::size_t> Next(std::string_view uri, std::string_view local);

    private:
        const SoapTree& tree_;
        std::size_t parent_;
        std::size_t at_ = 0;
    };

    // The value of the unqualified attribute `name` of `node`; none when absent.
    std::optional<std::string_view> Attribute(std::size_t node, std::string_view name) const;

private:
    class Builder;
    std::vector<Node> nodes_;
    std::size_t body_ = 0;
};

}  // namespace quorvex
