#include "config/xml.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/property_tree/xml_parser.hpp>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <optional>
#include <sstream>

#include "config/text_convert.h"

namespace quorvex {
namespace {

namespace pt = boost::property_tree;

constexpr std::size_t kIntTextCapacity = 128;
constexpr std::size_t kSavePathSize = 512;

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports the result: a failed close can be the first
    // sign of a failed write.
    bool Close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Reads a whole regular file of at most `limit` bytes.
std::optional<std::string> ReadSmallFile(const std::string& path, std::uintmax_t limit) {
    // Non-blocking so that a FIFO put in the file's place cannot hang the
    // window; only regular files are read.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    if (static_cast<std::uintmax_t>(status.st_size) > limit) return std::nullopt;

    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (got == 0) break;
        // The file may grow while it is read.
        if (content.size() + static_cast<std::size_t>(got) > limit) return std::nullopt;
        content.append(chunk, static_cast<std::size_t>(got));
    }
    return content;
}

// The parser recurses once per element level, so a hostile file could exhaust
// the stack. This scan counts element nesting the way the parser will see it
// and refuses anything deeper than `max_depth` or with an unterminated markup
// construct, which the parser would refuse anyway. It skips exactly what the
// parser skips: comments, CDATA, processing instructions, a document type
// declaration (to its '>' outside brackets; quotes mean nothing there), any
// other "<!" construct (to its first '>'), and attribute values, which are
// quoted only right after an '='. Skipping more than the parser would let
// elements hidden in the skipped text go uncounted.
bool NestingWithin(std::string_view text, int max_depth) {
    int depth = 0;
    std::size_t i = 0;
    const auto skip_past = [&](std::string_view end, std::size_t from) {
        const std::size_t found = text.find(end, from);
        if (found == std::string_view::npos) return false;
        i = found + end.size();
        return true;
    };
    const auto is_blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < text.size()) {
        i = text.find('<', i);
        if (i == std::string_view::npos) break;
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            if (!skip_past("-->", i + 4)) return false;
        } else if (rest.starts_with("<![CDATA[")) {
            if (!skip_past("]]>", i + 9)) return false;
        } else if (rest.starts_with("<?")) {
            if (!skip_past("?>", i + 2)) return false;
        } else if (rest.starts_with("<!DOCTYPE") && rest.size() > 9 && is_blank(rest[9])) {
            int brackets = 0;
            std::size_t j = i + 10;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    if (brackets > 0) --brackets;
                } else if (c == '>' && brackets == 0) {
                    break;
                }
            }
            if (j >= text.size()) return false;
            i = j + 1;
        } else if (rest.starts_with("<!")) {
            if (!skip_past(">", i + 2)) return false;
        } else {
            const bool closing = rest.starts_with("</");
            char quote = 0;
            bool after_equals = false;
            std::size_t j = i + 1;
            for (; j < text.size(); ++j) {
                const char c = text[j];
                if (quote != 0) {
                    if (c == quote) quote = 0;
                    after_equals = false;
                    continue;
                }
                if ((c == '"' || c == '\'') && after_equals) {
                    quote = c;
                } else if (c == '>') {
                    break;
                } else if (!is_blank(c)) {
                    after_equals = c == '=';
                }
            }
            if (j >= text.size()) return false;
            if (closing) {
                depth = std::max(0, depth - 1);
            } else if (text[j - 1] != '/') {
                if (++depth > max_depth) return false;
            }
            i = j + 1;
        }
    }
    return true;
}

std::optional<std::string> PathToFileName(std::u16string_view path, std::size_t size) {
    std::string narrow(size, '\0');
    if (!WideToAnsi(path, narrow)) return std::nullopt;
    narrow.resize(narrow.find('\0'));
    if (narrow.empty()) return std::nullopt;
    return narrow;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Replaces `target` with `content` so that a reader sees either the old file
// or the new one, never a part: the text goes to a fresh file beside it, is
// flushed to disk and renamed over the target.
bool ReplaceFile(const std::filesystem::path& requested, std::string_view content) {
    std::error_code error;
    std::filesystem::path target = requested;
    // Writing through a link replaces the file it names, not the link.
    if (std::filesystem::is_symlink(requested, error)) {
        target = std::filesystem::weakly_canonical(requested, error);
        if (error) return false;
    }
    struct stat old_status {};
    const bool existed = ::stat(target.c_str(), &old_status) == 0;
    if (existed && !S_ISREG(old_status.st_mode)) return false;

    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary = target;
    temporary += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);

    // 0666 less the umask, like any new file; an existing file's mode and
    // owner are copied below.
    FileDescriptor file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (file.get() < 0) return false;
    bool written = WriteAll(file.get(), content);
    if (written && existed) {
        // Only root can give the file away; for anyone else the owner is
        // already right or cannot be kept, and the mode still is.
        [[maybe_unused]] const int owner_kept =
            ::fchown(file.get(), old_status.st_uid, old_status.st_gid);
        written = ::fchmod(file.get(), old_status.st_mode & 07777) == 0;
    }
    written = written && ::fsync(file.get()) == 0;
    written = file.Close() && written;
    if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Makes the rename itself durable; the file is already complete either way.
    FileDescriptor directory(
        ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
    return true;
}

// A character reference to U+0000 ("&#0;") names no XML character, yet the
// parser decodes it into the text, where it would cut every copy short and
// make the next Save write a file that can no longer be read.
bool HoldsZero(const Xml::Node& node) {
    if (node.data().find('\0') != std::string::npos) return true;
    for (const auto& [key, child] : node) {
        if (key.find('\0') != std::string::npos || HoldsZero(child)) return true;
    }
    return false;
}

// Parses a whole file as the store reads every file: a UTF-8 byte order mark
// skipped, invalid UTF-8 replaced, nesting bounded. Nothing when the text is
// refused; the parser's own errors are thrown.
std::optional<Xml::Node> ParseDocument(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    // No XML text holds a zero byte; a file zero-filled by a crash would
    // otherwise read as an empty document and replace a good one.
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    const std::string clean = ToValidUtf8(text);
    if (!NestingWithin(clean, Xml::kMaxDepth)) return std::nullopt;
    std::istringstream stream(clean);
    Xml::Node parsed;
    pt::read_xml(stream, parsed, pt::xml_parser::no_comments | pt::xml_parser::trim_whitespace);
    if (HoldsZero(parsed)) return std::nullopt;
    // A document has a root element; an empty file is no document.
    const bool has_element = std::any_of(parsed.begin(), parsed.end(), [](const auto& child) {
        return !child.first.empty() && child.first.front() != '<';
    });
    if (!has_element) return std::nullopt;
    return parsed;
}

const Xml::Node* Find(const Xml::Node& node, std::string_view path) {
    try {
        const auto found = node.get_child_optional(Xml::Node::path_type(std::string(path), '.'));
        return found ? &*found : nullptr;
    } catch (...) {
        return nullptr;
    }
}

bool CopyOut(std::u16string_view text, std::span<char16_t> buffer, std::size_t capacity) {
    if (text.size() >= capacity || text.size() >= buffer.size()) return false;
    std::copy(text.begin(), text.end(), buffer.begin());
    buffer[text.size()] = u'\0';
    return true;
}

}  // namespace

bool Xml::Load(std::u16string_view full_path) {
    source_path_.clear();
    try {
        const auto file_name = PathToFileName(full_path, full_path.size() * 3 + 1);
        if (!file_name) return false;
        auto content = ReadSmallFile(*file_name, kMaxFileSize);
        if (!content) return false;

        auto parsed = ParseDocument(*content);
        if (!parsed) return false;

        document_.swap(*parsed);
        cursor_ = {};
        source_path_.assign(full_path);
        loaded_ = true;
        return true;
    } catch (...) {
        source_path_.clear();
        return false;
    }
}

bool Xml::Save() {
    if (!loaded_) return false;
    try {
        // A path that does not convert exactly would name another file.
        const auto file_name = PathToFileName(source_path_, kSavePathSize);
        if (!file_name) return false;

        std::ostringstream stream;
        pt::write_xml(stream, document_,
                      pt::xml_writer_make_settings<std::string>('\t', 1, "utf-8"));
        if (!stream) return false;
        const std::string content = stream.str();
        // The parser takes in a few things that the writer cannot express
        // (text outside the root element, for one); such a document is not
        // written over a file that the next start could read.
        if (content.size() > kMaxFileSize || !ParseDocument(content)) return false;
        return ReplaceFile(*file_name, content);
    } catch (...) {
        return false;
    }
}

bool Xml::GetText(const Node& node, std::string_view path, std::span<char16_t> buffer) const {
    if (!loaded_) return false;
    const Node* found = Find(node, path);
    if (found == nullptr) return true;
    return CopyOut(Utf8ToUtf16(found->data()), buffer, buffer.size());
}

int Xml::GetInt(std::string_view path, const Node& node, int default_value) const {
    if (!loaded_) return default_value;
    char16_t text[kIntTextCapacity] = {};
    if (!GetText(node, path, text) || text[0] == u'\0') return default_value;
    return TextToInt(text);
}

int Xml::CountChildren(const Node& node, std::string_view path) const {
    if (!loaded_ || path.empty()) return 0;
    const Node* found = Find(node, path);
    return found == nullptr ? 0
                            : static_cast<int>(std::min<std::size_t>(
                                  found->size(), std::numeric_limits<int>::max()));
}

bool Xml::GetChild(std::string_view name, const Node& node, std::string_view path, int n,
                   const Node*& out) const {
    out = nullptr;
    if (!loaded_ || name.empty() || path.empty()) return false;
    const Node* list = Find(node, path);
    if (list == nullptr) return false;
    int count = 0;
    auto at = list->begin();
    if (cursor_.list == list && cursor_.count > 0 && cursor_.count < n && cursor_.name == name) {
        count = cursor_.count;
        at = cursor_.next;
    }
    for (; at != list->end(); ++at) {
        const std::string& key = at->first;
        if (key == "<xmlattr>" || key == "<xmlcomment>" || key != name) continue;
        if (++count == n) {
            out = &at->second;
            cursor_.list = list;
            cursor_.name = name;
            cursor_.count = count;
            cursor_.next = std::next(at);
            return true;
        }
    }
    return false;
}

bool Xml::GetNodeText(const Node& node, std::span<char16_t> buffer) const {
    if (!loaded_) return false;
    return CopyOut(Utf8ToUtf16(node.data()), buffer, kTextCapacity);
}

bool Xml::SetLanguage(Node& root, std::u16string_view text) {
    if (!loaded_ || text.empty()) return false;
    cursor_ = {};
    try {
        root.put(Node::path_type("config.language", '.'), Utf16ToUtf8(text));
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace quorvex
