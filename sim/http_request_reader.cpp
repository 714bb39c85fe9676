#include "sim/http_request_reader.h"

#include <algorithm>
#include <string_view>

#include "core/byte_reader.h"

namespace quorvex::sim {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

HttpReadStatus ReadHttpRequest(std::span<const std::uint8_t> bytes, HttpRequestHead& head,
                               std::size_t& head_size) {
    // A zero byte has no place in a request head; the reader's text stops
    // there, so such a head never finds its end and runs into the cap.
    const std::string_view text =
        ByteReader(bytes).FieldText(0, std::min(bytes.size(), kMaxRequestHead));
    const std::size_t end = text.find("\r\n\r\n");
    if (end == std::string_view::npos)
        return bytes.size() >= kMaxRequestHead ? HttpReadStatus::kTooLarge
                                               : HttpReadStatus::kIncomplete;
    head = HttpRequestHead{};
    head_size = end + 4;
    std::string_view rest = text.substr(0, end + 2);
    const std::size_t line_end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, line_end);
    rest.remove_prefix(line_end + 2);
    const std::size_t space1 = line.find(' ');
    const std::size_t space2 = line.find(' ', space1 + 1);
    if (space1 == std::string_view::npos || space2 == std::string_view::npos || space1 == 0 ||
        space2 == space1 + 1)
        return HttpReadStatus::kBadRequest;
    head.method = line.substr(0, space1);
    head.target = line.substr(space1 + 1, space2 - space1 - 1);
    const std::string_view version = line.substr(space2 + 1);
    if (version == "HTTP/1.0")
        head.close = true;
    else if (version != "HTTP/1.1")
        return HttpReadStatus::kBadRequest;
    bool have_length = false, chunked = false;
    while (!rest.empty()) {
        const std::size_t eol = rest.find("\r\n");
        const std::string_view header = rest.substr(0, eol);
        rest.remove_prefix(eol + 2);
        const std::size_t colon = header.find(':');
        if (colon == std::string_view::npos || colon == 0) return HttpReadStatus::kBadRequest;
        const std::string_view name = header.substr(0, colon);
        const std::string_view value = Trim(header.substr(colon + 1));
        if (SameLetters(name, "Content-Length")) {
            if (value.empty() || value.size() > 9 ||
                value.find_first_not_of("0123456789") != std::string_view::npos ||
                (have_length && std::stoul(std::string(value)) != head.content_length))
                return HttpReadStatus::kBadRequest;
            head.content_length = std::stoul(std::string(value));
            have_length = true;
        } else if (SameLetters(name, "Transfer-Encoding")) {
            chunked = true;
        } else if (SameLetters(name, "Authorization")) {
            head.authorization = value;
        } else if (SameLetters(name, "Connection")) {
            head.close = head.close || SameLetters(value, "close");
            if (SameLetters(value, "keep-alive")) head.close = false;
        } else if (SameLetters(name, "Expect")) {
            head.expects_continue = SameLetters(value, "100-continue");
        }
    }
    if (chunked || (!have_length && head.method == "POST")) return HttpReadStatus::kNoLength;
    if (head.content_length > kMaxRequestBody) return HttpReadStatus::kTooLarge;
    if (bytes.size() < head_size + head.content_length) return HttpReadStatus::kIncomplete;
    return HttpReadStatus::kComplete;
}

}  // namespace quorvex::sim
