#include "sim/device_file.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "core/device_records.h"
#include "core/utf8_text.h"

namespace quorvex::sim {

namespace {

using Json = nlohmann::ordered_json;

// Deeper files are no device list; the limit keeps a hostile file from
// building a tree of millions of nested arrays.
constexpr int kMaxDepth = 16;

// Device texts are bytes, and a test may want a name that is not UTF-8, which
// the JSON library refuses. Each byte that is not part of valid UTF-8 travels
// through the parser as a private-use character U+10FE00 + byte and becomes
// that byte again in ReadText.
constexpr char32_t kRawByteBase = 0x10FE00;

std::string EscapeInvalidBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    auto at = text.begin();
    for (;;) {
        const auto bad = utf8::find_invalid(at, text.end());
        out.append(at, bad);
        if (bad == text.end()) break;
        AppendUtf8(out, kRawByteBase + static_cast<std::uint8_t>(*bad));
        at = bad + 1;
    }
    return out;
}

std::string UnescapeInvalidBytes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (auto at = text.begin(); at != text.end();) {
        const char32_t c = utf8::unchecked::next(at);
        if (c >= kRawByteBase && c <= kRawByteBase + 0xFF)
            out += static_cast<char>(c - kRawByteBase);
        else
            AppendUtf8(out, c);
    }
    return out;
}

// Parses `text`, refusing repeated keys (a misspelt copy must not silently
// replace the first) and deep nesting, which the library itself accepts.
bool ParseJson(std::string_view text, Json& root, std::string& error) {
    std::vector<std::set<std::string>> keys;
    std::string refused;
    const Json::parser_callback_t check = [&](int depth, Json::parse_event_t event, Json& parsed) {
        if (!refused.empty()) return false;
        if (depth > kMaxDepth) {
            refused = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
            return false;
        }
        switch (event) {
            case Json::parse_event_t::object_start:
                keys.emplace_back();
                break;
            case Json::parse_event_t::object_end:
                if (!keys.empty()) keys.pop_back();
                break;
            case Json::parse_event_t::key:
                if (!keys.empty() && !keys.back().insert(parsed.get<std::string>()).second)
                    refused = "key \"" + parsed.get<std::string>() + "\" given twice";
                break;
            default:
                break;
        }
        return refused.empty();
    };
    try {
        const std::string escaped = EscapeInvalidBytes(text);
        Json parsed = Json::parse(escaped.begin(), escaped.end(), check);
        if (!refused.empty()) {
            error = refused;
            return false;
        }
        root = std::move(parsed);
        return true;
    } catch (const Json::exception& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 5: ..."
        std::string what = e.what();
        if (const auto end = what.find("] "); what.starts_with("[json.") && end != what.npos)
            what.erase(0, end + 2);
        error = refused.empty() ? what : refused;
        return false;
    }
}

bool ReadText(const Json& value, const std::string& key, std::string& out, std::string& error) {
    if (!value.is_string()) {
        error = "\"" + key + "\" must be a string";
        return false;
    }
    out = UnescapeInvalidBytes(value.get<std::string>());
    return true;
}

bool ReadInteger(const Json& value, const std::string& key, long long low, long long high,
                 long long& out, std::string& error) {
    if (value.is_boolean()) {
        out = value.get<bool>() ? 1 : 0;
    } else if (value.is_number_integer()) {
        out = value.get<long long>();
    } else if (value.is_number_float() && std::isfinite(value.get<double>()) &&
               std::floor(value.get<double>()) == value.get<double>() &&
               std::fabs(value.get<double>()) < 9.0e18) {
        out = static_cast<long long>(value.get<double>());
    } else {
        error = "\"" + key + "\" must be a whole number";
        return false;
    }
    if (out < low || out > high) {
        error = "\"" + key + "\" must lie in " + std::to_string(low) + ".." + std::to_string(high);
        return false;
    }
    return true;
}

bool ReadDevice(const Json& object, ReplyMode default_reply, SimDevice& d, std::string& error) {
    if (!object.is_object()) {
        error = "each device must be an object";
        return false;
    }
    d.reply = default_reply;
    bool have_mac = false, have_protocol = false, have_id = false;
    std::string family;
    for (const auto& [key, value] : object.items()) {
        std::string text;
        long long number = 0;
        if (key == "mac") {
            if (!ReadText(value, key, text, error)) return false;
            if (!ParseDeviceKey(text, d.mac)) {
                error = "\"mac\" must look like 00-1A-2B-3C-4D-5E, not \"" + text + "\"";
                return false;
            }
            have_mac = true;
        } else if (key == "protocol") {
            if (!ReadText(value, key, text, error)) return false;
            if (text == "binary")
                d.protocol = DeviceProtocol::kBinary;
            else if (text == "text")
                d.protocol = DeviceProtocol::kText;
            else if (text == "standard")
                d.protocol = DeviceProtocol::kWsd, d.standard.on = true;
            else {
                error = "\"protocol\" must be \"binary\", \"text\" or \"standard\", not \"" + text +
                        "\"";
                return false;
            }
            have_protocol = true;
        } else if (key == "family") {
            if (!ReadText(value, key, family, error)) return false;
            if (family != "H" && family != "J" && family != "E") {
                error = "\"family\" must be \"H\", \"J\" or \"E\", not \"" + family + "\"";
                return false;
            }
        } else if (key == "reply") {
            if (!ReadText(value, key, text, error)) return false;
            if (!ParseReplyMode(text, d.reply)) {
                error = "\"reply\" must be unicast, broadcast or multicast, not \"" + text + "\"";
                return false;
            }
        } else if (key == "http_port") {
            if (!ReadInteger(value, key, 0, 65535, number, error)) return false;
            d.http_port = static_cast<std::uint16_t>(number);
        } else if (key == "dhcp") {
            if (!ReadInteger(value, key, 0, 255, number, error)) return false;
            d.dhcp = static_cast<std::uint8_t>(number);
        } else if (key == "reply_delay_ms") {
            if (!ReadInteger(value, key, 0, 600000, number, error)) return false;
            d.reply_delay_ms = static_cast<int>(number);
        } else if (key == "auth") {
            if (!ReadText(value, key, text, error)) return false;
            if (text != "digest" && text != "token") {
                error = "\"auth\" must be \"digest\" or \"token\", not \"" + text + "\"";
                return false;
            }
            d.standard.auth =
                text == "digest" ? StandardAuth::kDigest : StandardAuth::kUsernameToken;
        } else if (key == "behaviour") {
            if (!ReadText(value, key, text, error)) return false;
            if (!ParseStandardBehaviour(text, d.standard)) {
                error =
                    "\"behaviour\" must be normal, reboot-needed, reverts, faults, "
                    "strict-gateway, new-endpoint, silent-move, huge, endless, trickle, redirect, "
                    "html-error, doctype or bad-utf8, not \"" +
                    text + "\"";
                return false;
            }
        } else if (key == "clock_offset_s") {
            if (!ReadInteger(value, key, -3153600000LL, 3153600000LL, number, error)) return false;
            d.standard.clock_offset_s = number;
        } else if (key == "time_needs_auth") {
            if (!ReadInteger(value, key, 0, 1, number, error)) return false;
            d.standard.time_needs_auth = number != 0;
        } else if (key == "move_delay_ms" || key == "nonce_life_ms") {
            if (!ReadInteger(value, key, key == "move_delay_ms" ? 0 : 1, 3600000, number, error))
                return false;
            (key == "move_delay_ms" ? d.standard.move_delay_ms : d.standard.nonce_life_ms) =
                static_cast<int>(number);
        } else if (key == "path") {
            if (!ReadText(value, key, text, error)) return false;
            if (!text.starts_with('/') || text.size() > 200 ||
                text.find_first_of(" \t\r\n<>&\"") != std::string::npos) {
                error = "\"path\" must look like /onvif/device_service, not \"" + text + "\"";
                return false;
            }
            d.standard.path = text;
        } else if (key == "aux_flag") {
            if (!ReadInteger(value, key, 0, 255, number, error)) return false;
            d.aux_flag = static_cast<std::uint8_t>(number);
        } else {
            std::string* field = nullptr;
            if (key == "name")
                field = &d.name;
            else if (key == "uid")
                field = &d.uid;
            else if (key == "ip")
                field = &d.ip;
            else if (key == "mask")
                field = &d.mask;
            else if (key == "gateway")
                field = &d.gateway;
            else if (key == "dns1")
                field = &d.dns1;
            else if (key == "dns2")
                field = &d.dns2;
            else if (key == "software_version")
                field = &d.software_version;
            else if (key == "web_version")
                field = &d.web_version;
            else if (key == "user")
                field = &d.user;
            else if (key == "password")
                field = &d.password;
            else if (key == "device_id")
                field = &d.device_id, have_id = true;
            else if (key == "endpoint")
                field = &d.endpoint;
            else if (key == "hardware")
                field = &d.hardware;
            else if (key == "location")
                field = &d.location;
            if (field == nullptr) {
                error = "unknown key \"" + key + "\"";
                return false;
            }
            if (!ReadText(value, key, *field, error)) return false;
        }
    }
    if (!have_mac) {
        error = "\"mac\" is missing";
        return false;
    }
    if (!have_protocol) {
        if (family.empty()) {
            error = "\"protocol\" (or \"family\") is missing";
            return false;
        }
        d.protocol = family == "E" ? DeviceProtocol::kText : DeviceProtocol::kBinary;
    }
    if (d.protocol == DeviceProtocol::kText && !have_id) d.device_id = MacHex(d.mac);
    if (d.standard.on) {
        if (!family.empty()) {
            error = "a standard camera has no family";
            return false;
        }
        if (d.endpoint.empty()) {
            const std::string hex = MacHex(d.mac);
            d.endpoint =
                "urn:uuid:" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-4000-8000-000000000001";
        }
        if (d.ip.empty() || d.mask.empty()) {
            error = "a standard camera needs \"ip\" and \"mask\"";
            return false;
        }
        d.service_path = d.standard.path;
        d.wsd_style = WsdStyle::kPlain;
    } else if (d.standard.auth != StandardAuth::kDigest || d.standard.clock_offset_s != 0 ||
               d.standard.behaviour != StandardBehaviour::kNormal || d.standard.strict_gateway ||
               d.standard.new_endpoint || d.standard.silent_move || d.standard.time_needs_auth ||
               d.standard.path != StandardSettings{}.path ||
               d.standard.move_delay_ms != StandardSettings{}.move_delay_ms ||
               d.standard.nonce_life_ms != StandardSettings{}.nonce_life_ms ||
               !d.endpoint.empty()) {
        error = "only a standard camera takes the standard camera keys";
        return false;
    }
    if (!family.empty()) {
        if ((family == "E") != (d.protocol == DeviceProtocol::kText)) {
            error = "family \"" + family + "\" does not fit the protocol";
            return false;
        }
        // A binary device's family follows from its software version; without
        // a version one is made up that gives the family asked for.
        if (d.protocol == DeviceProtocol::kBinary) {
            if (d.software_version.empty())
                d.software_version = family == "H" ? "67.1.61.1" : "66.1.1.1";
            if (FamilyLetter(d) != family[0]) {
                error = "software version \"" + d.software_version + "\" makes family " +
                        FamilyLetter(d) + ", not " + family;
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool DevicesFromJson(std::string_view text, ReplyMode default_reply,
                     std::vector<SimDevice>& devices, std::string& error) {
    Json root;
    if (!ParseJson(text, root, error)) return false;
    if (!root.is_array()) {
        error = "the file must hold an array of devices";
        return false;
    }
    std::vector<SimDevice> read;
    read.reserve(root.size());
    for (std::size_t i = 0; i < root.size(); ++i) {
        SimDevice d;
        if (!ReadDevice(root[i], default_reply, d, error)) {
            error = "device " + std::to_string(i + 1) + ": " + error;
            return false;
        }
        read.push_back(std::move(d));
    }
    devices = std::move(read);
    return true;
}

bool LoadDeviceFile(const std::string& path, ReplyMode default_reply,
                    std::vector<SimDevice>& devices, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (!DevicesFromJson(text.str(), default_reply, devices, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace quorvex::sim
