#pragma once

// The one XML reader every answer from a device goes through: expat set up so
// that untrusted bytes cannot cost more than the caps allow. A document type
// or an entity declaration refuses the document at its first token (no entity
// is ever expanded, parameter entities are never read), and size, depth,
// element count and namespace declarations are capped. Names reach the
// handler as (namespace URI, local name), never as a prefix, so a device may
// choose any prefix it likes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvex {

class SoapReader {
public:
    struct Limits {
        std::size_t max_bytes = 65536;
        std::size_t max_elements = 4096;
        std::size_t max_depth = 32;
        std::size_t max_namespace_declarations = 256;
        std::size_t max_attributes = 32;    // per element; beyond them the rest are not passed on
        std::size_t max_text_bytes = 8192;  // per element; the rest of its text is dropped
    };

    // Why a document was not read to its end.
    enum class Refusal {
        kNone,
        kOversized,     // longer than Limits::max_bytes
        kDocumentType,  // declares a DOCTYPE or an entity
        kMalformed,     // not well-formed XML (empty input included)
        kInvalidUtf8,   // not well-formed, and its bytes are no valid UTF-8
        kTooComplex,    // beyond the element, depth or declaration caps
        kStopped,       // the handler stopped the reading
    };

    struct Name {
        std::string_view uri;  // empty for an unqualified name
        std::string_view local;
        bool Is(std::string_view u, std::string_view l) const { return uri == u && local == l; }
    };
    struct Attribute {
        Name name;
        std::string_view value;
    };

    // Receives the elements in document order. The views live until the
    // call returns.
    class Handler {
    public:
        // One element opens, after the caps passed; `reader.Depth()` counts
        // the elements open around it. Returning false stops the reading.
        virtual bool OnStart(const SoapReader& reader, Name name,
                             std::span<const Attribute> attributes) = 0;
        // It closes; `text` is its character data since its last child closed
        // (all of it for an element without children), untrimmed and cut at
        // Limits::max_text_bytes. Its namespace declarations are still in
        // scope for Resolve.
        virtual void OnEnd(const SoapReader& reader, Name name, std::string_view text) = 0;

    protected:
        ~Handler() = default;
    };

    SoapReader();
    explicit SoapReader(const Limits& limits);
    ~SoapReader();
    SoapReader(const SoapReader&) = delete;
    SoapReader& operator=(const SoapReader&) = delete;

    // Reads `bytes` once (a reader is used for one document).
    Refusal Read(std::span<const std::uint8_t> bytes, Handler& handler);

    std::size_t Depth() const { return depth_; }

    // The namespace `prefix` stands for where the reader is now (the default
    // namespace for an empty prefix); empty when undeclared.
    std::string_view Resolve(std::string_view prefix) const;

    // A qualified name written as text ("ter:InvalidArgVal") resolved where
    // the reader is now; a text without a colon takes the default namespace.
    Name ResolveQName(std::string_view text) const;

    // Splits the form expat passes names in ("uri" kSeparator "local").
    static Name SplitName(std::string_view expat_name);
    static constexpr char kSeparator = ' ';

private:
    struct Parser;
    friend struct Parser;

    Limits limits_;
    std::unique_ptr<Parser> parser_;
    Handler* handler_ = nullptr;
    std::vector<std::pair<std::string, std::string>> namespaces_;
    std::vector<Attribute> attributes_;
    std::string text_;
    std::size_t depth_ = 0;
    std::size_t elements_ = 0;
    Refusal refusal_ = Refusal::kNone;
};

}  // namespace quorvex
