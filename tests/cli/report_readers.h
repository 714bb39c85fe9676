#pragma once

// Readers for what quorvex-cli prints, used to check its output field by
// field: a strict RFC 4180 reader and a JSON reader over the property tree.

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quorvex::testing {

// Records of RFC 4180 text whose lines end in CRLF; nullopt when it is not
// well-formed (a bare LF outside quotes, a quote inside a bare field, an
// unterminated quoted field, a missing final CRLF).
inline std::optional<std::vector<std::vector<std::string>>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r') {
                if (text[i] == '"' || text[i] == '\n') return std::nullopt;
                field += text[i++];
            }
        }
        if (i >= text.size()) return std::nullopt;
        if (text[i] == ',') {
            record.push_back(field);
            field.clear();
            ++i;
            continue;
        }
        if (text[i] != '\r' || i + 1 >= text.size() || text[i + 1] != '\n') return std::nullopt;
        record.push_back(field);
        field.clear();
        records.push_back(record);
        record.clear();
        i += 2;
    }
    return records;
}

// The JSON text as a property tree (arrays are children keyed ""); nullopt
// when it does not parse.
inline std::optional<boost::property_tree::ptree> ReadJson(const std::string& text) {
    try {
        std::istringstream in(text);
        boost::property_tree::ptree tree;
        boost::property_tree::read_json(in, tree);
        return tree;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The keys of a JSON object, in the order written.
inline std::vector<std::string> Keys(const boost::property_tree::ptree& object) {
    std::vector<std::string> keys;
    for (const auto& child : object) keys.push_back(child.first);
    return keys;
}

inline const std::vector<std::string>& DeviceFields() {
    static const std::vector<std::string> fields = {
        "mac",       "family",    "protocol",         "name",        "uid",
        "ip",        "mask",      "gateway",          "dns1",        "dns2",
        "http_port", "dhcp",      "software_version", "web_version", "user",
        "device_id", "interface", "outside_subnet"};
    return fields;
}

}  // namespace quorvex::testing
