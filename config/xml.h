#pragma once

// One small XML document read and written whole, with dot-separated path
// access ("config.match_address.min"). The tree is a Boost property tree with
// UTF-8 keys and values: an element is a child keyed by its tag name whose
// value is the element's text; its attributes are the children of one child
// keyed "<xmlattr>". Keys may repeat and keep the file's order; a path lookup
// takes the first match. Comments are not kept.
//
// Texts handed out are UTF-16, copied with their terminator into caller
// buffers whose capacity counts 16-bit units: a text must be shorter than the
// capacity (259 Chinese characters fit a 260 buffer, 260 do not).
//
// No operation lets an exception out; failures are false, 0, a default or an
// untouched buffer. A document is used by one thread at a time.

#include <boost/property_tree/ptree.hpp>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvex {

class Xml {
public:
    using Node = boost::property_tree::ptree;

    // Files larger than this are treated as unreadable.
    static constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;
    // Documents nested deeper than this many elements are rejected unparsed.
    static constexpr int kMaxDepth = 256;

    Xml() = default;
    virtual ~Xml() = default;

    // Reads and parses the file at `full_path`: text trimmed and inner
    // whitespace runs condensed to one space, comments dropped, a UTF-8 byte
    // order mark skipped, entities and character references decoded, invalid
    // UTF-8 replaced by U+FFFD. Always empties the source path first. On
    // success the new tree replaces the whole document, the source path
    // becomes `full_path` and the document is loaded. On any failure (missing,
    // unreadable, too large, too deeply nested, malformed) returns false and
    // the previous tree and loaded flag stay as they were.
    bool Load(std::u16string_view full_path);

    // Writes the whole document to its source path as UTF-8: declaration with
    // encoding "utf-8", one element per line, one tab per nesting level. The
    // file is replaced atomically (a temporary file in the same directory,
    // flushed to disk, renamed over it) and keeps its permissions; on any
    // failure the old file stays as it was and false is returned. False also
    // when the document is not loaded or has no source path, or when the path
    // does not fit 511 bytes of UTF-8 exactly.
    bool Save();

    // False when not loaded or when the value at `path` has buffer.size() or
    // more units (buffer untouched). True otherwise; an absent path leaves the
    // buffer as it was.
    bool GetText(const Node& node, std::string_view path, std::span<char16_t> buffer) const;

    // The value at `path` read by TextToInt; `default_value` when not loaded,
    // absent, empty or 128 units or longer.
    int GetInt(std::string_view path, const Node& node, int default_value) const;

    // Number of children of every kind of the node at `path`; 0 when not
    // loaded, when `path` is empty or not found. Only an upper bound for a
    // walk with GetChild.
    int CountChildren(const Node& node, std::string_view path) const;

    // Sets `out` to the n-th (from 1) child keyed exactly `name` of the node at
    // `path`, skipping "<xmlattr>" and "<xmlcomment>". False (and `out` null)
    // when not loaded, when `name` or `path` is empty, when the path is not
    // found or when there are fewer such children. The node belongs to the
    // document and stays valid until a later successful Load or destruction.
    // A walk n = 1, 2, 3, ... over one list takes time linear in the list's
    // length: the document remembers where the last call stopped.
    bool GetChild(std::string_view name, const Node& node, std::string_view path, int n,
                  const Node*& out) const;

    // The node's own value. False when not loaded, and false with the buffer
    // untouched when the value has min(buffer.size(), 260) units or more.
    bool GetNodeText(const Node& node, std::span<char16_t> buffer) const;

    // Puts `text` at "config.language" under `root`: the first match takes it,
    // or the missing elements are appended. False when not loaded or `text`
    // is empty.
    bool SetLanguage(Node& root, std::u16string_view text);

    // The document's root (an empty tree until a load succeeds).
    const Node& Root() const { return document_; }
    // Changes made through the root may add nodes (which keeps a walk valid)
    // but must not remove any.
    Node& Root() { return document_; }

    bool IsLoaded() const { return loaded_; }
    const std::u16string& SourcePath() const { return source_path_; }

private:
    // Where the last GetChild stopped, so that the next n continues there
    // instead of counting again from the first child. Reset whenever the
    // tree may change.
    struct WalkCursor {
        WalkCursor() = default;
        // A copied document has a tree of its own: the copy starts afresh.
        WalkCursor(const WalkCursor&) {}
        WalkCursor& operator=(const WalkCursor&) {
            list = nullptr;
            return *this;
        }
        const Node* list = nullptr;
        std::string name;
        int count = 0;
        Node::const_iterator next;
    };

    Node document_;
    mutable WalkCursor cursor_;
    std::u16string source_path_;
    bool loaded_ = false;
};

}  // namespace quorvex
