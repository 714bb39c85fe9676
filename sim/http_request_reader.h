#pragma once

// Reads one HTTP/1.1 request from the bytes a connection has received so
// far: a request line, headers, and a body of exactly Content-Length bytes.
// The head and the body are each capped, so a peer cannot make the simulator
// hold more than a few tens of kilobytes per connection.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quorvex::sim {

inline constexpr std::size_t kMaxRequestHead = 8 * 1024;
inline constexpr std::size_t kMaxRequestBody = 64 * 1024;

struct HttpRequestHead {
    std::string method;
    std::string target;
    std::string authorization;
    std::size_t content_length = 0;
    bool close = false;             // HTTP/1.0 or "Connection: close"
    bool expects_continue = false;  // "Expect: 100-continue"
};

enum class HttpReadStatus {
    kIncomplete,  // wait for more bytes (`head` is filled once the head is whole)
    kComplete,    // `head` and `head_size` + `head.content_length` bytes make the request
    kBadRequest,  // unreadable request line or headers
    kNoLength,    // a body without Content-Length (chunked included)
    kTooLarge,    // head or body over the caps
};

// Looks at `bytes` from their start. `head_size` is the size of the request
// line and headers including the blank line once they are whole.
HttpReadStatus ReadHttpRequest(std::span<const std::uint8_t> bytes, HttpRequestHead& head,
                               std::size_t& head_size);

}  // namespace quorvex::sim
