#pragma once

// A SOAP 1.2 request as the simulated device service reads it: the
// namespace-aware parse of an Envelope into the elements it holds, each named
// by its path of canonical prefixes ("env:Envelope/env:Body/tds:SetDNS/..."),
// so that an element is matched by its namespace URI, never by the prefix
// the sender chose. A DOCTYPE, a root other than env:Envelope, more than a few
// thousand elements or deep nesting refuse the whole request.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::sim {

// Canonical prefixes: env (SOAP 1.2), tds (device service), tt (schema),
// ter (errors), wsse and wsu (WS-Security); "?" for any other namespace and
// "" for none.
std::string_view CanonicalPrefix(std::string_view namespace_uri);

struct SoapElement {
    std::string path;  // canonical "prefix:local" names from the root, joined by '/'
    std::string text;  // its character data with surrounding white space trimmed
    std::string type;  // its Type attribute (wsse:Password), if any
};

struct SoapRequest {
    // The body's first element: its canonical prefix ("tds" for the device
    // service) and its local name.
    std::string operation_prefix;
    std::string operation;
    bool has_security = false;          // a wsse:Security header is present
    std::vector<SoapElement> elements;  // in document order (of their end tags)

    // The first element whose path ends with `suffix` (matched at a '/'
    // boundary), or nullptr.
    const SoapElement* Find(std::string_view suffix) const;
    // The texts of every element whose path ends with `suffix`.
    std::vector<std::string> All(std::string_view suffix) const;
    // The text of `Find(suffix)`, or "" when there is none.
    std::string Text(std::string_view suffix) const;
};

// The request in `bytes`; nothing when it is not a well-formed SOAP 1.2
// Envelope with a Body within the limits above.
std::optional<SoapRequest> ParseSoapRequest(std::span<const std::uint8_t> bytes);

}  // namespace quorvex::sim
