#include "sim/json_reader.h"

#include <cstdlib>

namespace quorvex::sim {

namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool Document(JsonValue& value, std::string& error) {
        SkipBlanks();
        if (!Value(value, 0)) {
            error = Where() + ": " + error_;
            return false;
        }
        SkipBlanks();
        if (at_ != text_.size()) {
            error = Where() + ": unexpected text after the value";
            return false;
        }
        return true;
    }

private:
    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }

    std::string Where() const {
        int line = 1, column = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        if (depth > kMaxDepth) return Fail("nested too deeply");
        if (at_ >= text_.size()) return Fail("unexpected end of text");
        const char c = text_[at_];
        if (c == '{') return Object(value, depth);
        if (c == '[') return Array(value, depth);
        if (c == '"') {
            value.kind = JsonValue::Kind::kString;
            return String(value.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return Number(value);
        if (Literal("true")) {
            value.kind = JsonValue::Kind::kBool;
            value.boolean = true;
            return true;
        }
        if (Literal("false")) {
            value.kind = JsonValue::Kind::kBool;
            return true;
        }
        if (Literal("null")) {
            value.kind = JsonValue::Kind::kNull;
            return true;
        }
        return Fail(std::string("unexpected character '") + c + "'");
    }

    bool Object(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::kObject;
        ++at_;
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        while (true) {
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != '"') return Fail("expected a member name");
            std::string key;
            if (!String(key)) return false;
            for (const auto& m : value.members)
                if (m.first == key) return Fail("member \"" + key + "\" appears twice");
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != ':') return Fail("expected ':'");
            ++at_;
            SkipBlanks();
            JsonValue member;
            if (!Value(member, depth + 1)) return false;
            value.members.emplace_back(std::move(key), std::move(member));
            SkipBlanks();
            if (at_ >= text_.size()) return Fail("unexpected end of text in an object");
            if (text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (text_[at_] == '}') {
                ++at_;
                return true;
            }
            return Fail("expected ',' or '}'");
        }
    }

    bool Array(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::kArray;
        ++at_;
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        while (true) {
            SkipBlanks();
            JsonValue item;
            if (!Value(item, depth + 1)) return false;
            value.items.push_back(std::move(item));
            SkipBlanks();
            if (at_ >= text_.size()) return Fail("unexpected end of text in an array");
            if (text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (text_[at_] == ']') {
                ++at_;
                return true;
            }
            return Fail("expected ',' or ']'");
        }
    }

    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool Hex4(unsigned& code) {
        if (text_.size() - at_ < 4) return Fail("short \\u escape");
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = Hex(text_[at_++]);
            if (h < 0) return Fail("bad \\u escape");
            code = code * 16 + static_cast<unsigned>(h);
        }
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        while (true) {
            if (at_ >= text_.size()) return Fail("unterminated string");
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in a string");
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= text_.size()) return Fail("unterminated string");
            const char e = text_[at_++];
            switch (e) {
                case '"':
                    out.push_back('"');
                    break;
                case '\\':
                    out.push_back('\\');
                    break;
                case '/':
                    out.push_back('/');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    unsigned code = 0;
                    if (!Hex4(code)) return false;
                    if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
                        at_ += 2;
                        unsigned low = 0;
                        if (!Hex4(low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF) return Fail("bad surrogate pair");
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return Fail(std::string("bad escape '\\") + e + "'");
            }
        }
    }

    bool Number(JsonValue& value) {
        const std::size_t start = at_;
        if (text_[at_] == '-') ++at_;
        auto digits = [this] {
            std::size_t n = 0;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
                ++n;
            }
            return n;
        };
        if (digits() == 0) return Fail("bad number");
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) return Fail("bad number");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) return Fail("bad number");
        }
        value.kind = JsonValue::Kind::kNumber;
        value.text = std::string(text_.substr(start, at_ - start));
        value.number = std::strtod(value.text.c_str(), nullptr);
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string error_;
};

}  // namespace

bool ParseJson(std::string_view text, JsonValue& value, std::string& error) {
    value = JsonValue{};
    Parser parser(text);
    return parser.Document(value, error);
}

}  // namespace quorvex::sim
