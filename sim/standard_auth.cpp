#include "sim/standard_auth.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace quorvex::sim {

namespace {

// Enough for every caller of a simulated site; older ones count as unknown,
// which a caller meets as stale=true, as after a real camera's restart.
constexpr std::size_t kRememberedNonces = 256;
constexpr std::size_t kRememberedTokens = 4096;

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

std::string RawDigest(const EVP_MD* md, std::string_view text) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), out, &size, md, nullptr) != 1) return {};
    return std::string(reinterpret_cast<const char*>(out), size);
}

const EVP_MD* Md(std::string_view algorithm) {
    if (algorithm == "MD5") return EVP_md5();
    if (algorithm == "SHA-256") return EVP_sha256();
    if (algorithm == "SHA-1") return EVP_sha1();
    return nullptr;
}

// The parameters of "Digest a=b, c="d"": names lower-cased, quotes removed.
bool ReadParameters(std::string_view header, std::map<std::string, std::string>& out) {
    if (header.size() < 7 || !std::equal(header.begin(), header.begin() + 7, "Digest ",
                                         [](char a, char b) { return (a | 0x20) == (b | 0x20); }))
        return false;
    std::size_t at = 7;
    while (at < header.size()) {
        while (at < header.size() && (header[at] == ' ' || header[at] == ',')) ++at;
        const std::size_t equals = header.find('=', at);
        if (equals == std::string_view::npos) break;
        std::string name(header.substr(at, equals - at));
        while (!name.empty() && name.back() == ' ') name.pop_back();
        for (char& c : name) c = static_cast<char>(c | 0x20);
        at = equals + 1;
        std::string value;
        if (at < header.size() && header[at] == '"') {
            const std::size_t close = header.find('"', at + 1);
            if (close == std::string_view::npos) return false;
            value = header.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const std::size_t comma = std::min(header.find(',', at), header.size());
            value = header.substr(at, comma - at);
            while (!value.empty() && value.back() == ' ') value.pop_back();
            at = comma;
        }
        out[name] = value;
    }
    return true;
}

}  // namespace

std::string_view AuthVerdictName(AuthVerdict verdict) {
    switch (verdict) {
        case AuthVerdict::kOk:
            return "ok";
        case AuthVerdict::kMissing:
            return "missing";
        case AuthVerdict::kWrongUser:
            return "wrong-user-or-password";
        case AuthVerdict::kStale:
            return "stale-nonce";
        case AuthVerdict::kWrongUri:
            return "wrong-uri";
        case AuthVerdict::kMalformed:
            return "malformed";
        case AuthVerdict::kClock:
            return "created-outside-window";
        case AuthVerdict::kNonceReused:
            return "nonce-reused";
    }
    return "?";
}

std::string HexDigest(std::string_view algorithm, std::string_view text) {
    const EVP_MD* md = Md(algorithm);
    if (!md) return {};
    const std::string raw = RawDigest(md, text);
    return Hex(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
}

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(std::max(n, 0)));
    return out;
}

bool FromBase64(std::string_view text, std::string& bytes) {
    if (text.empty() || text.size() % 4 != 0 || text.size() > 4096) return false;
    std::string out(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) return false;
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t size = static_cast<std::size_t>(n);
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) --size;
    out.resize(size);
    bytes = std::move(out);
    return true;
}

std::vector<std::string> DigestGuard::Challenge(std::chrono::steady_clock::time_point now,
                                                bool stale) {
    std::vector<std::string> out;
    for (const char* algorithm : {"SHA-256", "MD5"}) {
        unsigned char random[16];
        if (RAND_bytes(random, sizeof random) != 1) continue;
        const std::string nonce = Hex(random, sizeof random);
        issued_.push_back(Issued{nonce, now + nonce_life_});
        if (issued_.size() > kRememberedNonces) issued_.pop_front();
        out.push_back("Digest realm=\"" + realm_ + "\", qop=\"auth\", algorithm=" + algorithm +
                      ", nonce=\"" + nonce + "\"" + (stale ? ", stale=true" : ""));
    }
    return out;
}

AuthVerdict DigestGuard::Check(std::string_view authorization, std::string_view method,
                               std::string_view target, std::string_view user,
                               std::string_view password, std::chrono::steady_clock::time_point now,
                               std::string& algorithm) {
    if (authorization.empty()) return AuthVerdict::kMissing;
    std::map<std::string, std::string> p;
    if (!ReadParameters(authorization, p)) return AuthVerdict::kMissing;
    algorithm = p.count("algorithm") ? p["algorithm"] : "MD5";
    if (!Md(algorithm) || algorithm == "SHA-1" || p["qop"] != "auth" || p["nonce"].empty() ||
        p["nc"].empty() || p["cnonce"].empty() || p["response"].empty())
        return AuthVerdict::kMalformed;
    if (p["uri"] != target) return AuthVerdict::kWrongUri;
    const std::string ha1 =
        HexDigest(algorithm, p["username"] + ":" + realm_ + ":" + std::string(password));
    const std::string ha2 = HexDigest(algorithm, std::string(method) + ":" + p["uri"]);
    const std::string expected = HexDigest(
        algorithm, ha1 + ":" + p["nonce"] + ":" + p["nc"] + ":" + p["cnonce"] + ":auth:" + ha2);
    if (p["username"] != user || p["realm"] != realm_ || p["response"] != expected)
        return AuthVerdict::kWrongUser;
    const auto issued = std::find_if(issued_.begin(), issued_.end(),
                                     [&](const Issued& i) { return i.nonce == p["nonce"]; });
    if (issued == issued_.end() || issued->expires <= now) return AuthVerdict::kStale;
    return AuthVerdict::kOk;
}

AuthVerdict TokenGuard::Check(const SoapRequest& request, std::string_view user,
                              std::string_view password,
                              std::chrono::system_clock::time_point camera_now, bool check_clock) {
    constexpr std::string_view kToken = "env:Header/wsse:Security/wsse:UsernameToken/";
    const SoapElement* digest = request.Find(std::string(kToken) + "wsse:Password");
    if (!request.has_security || !digest) return AuthVerdict::kMissing;
    const std::string nonce_text = request.Text(std::string(kToken) + "wsse:Nonce");
    const std::string created = request.Text(std::string(kToken) + "wsu:Created");
    std::string nonce;
    std::chrono::system_clock::time_point when;
    if (!digest->type.ends_with("#PasswordDigest") || !FromBase64(nonce_text, nonce) ||
        !ParseUtc(created, when))
        return AuthVerdict::kMalformed;
    const std::string expected =
        Base64(RawDigest(EVP_sha1(), nonce + created + std::string(password)));
    if (request.Text(std::string(kToken) + "wsse:Username") != user || digest->text != expected)
        return AuthVerdict::kWrongUser;
    if (check_clock && (when < camera_now - window_ || when > camera_now + window_))
        return AuthVerdict::kClock;
    if (std::find(seen_nonces_.begin(), seen_nonces_.end(), nonce_text) != seen_nonces_.end())
        return AuthVerdict::kNonceReused;
    seen_nonces_.push_back(nonce_text);
    if (seen_nonces_.size() > kRememberedTokens) seen_nonces_.pop_front();
    return AuthVerdict::kOk;
}

bool ParseUtc(std::string_view text, std::chrono::system_clock::time_point& out) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, used = 0;
    const std::string copy(text.substr(0, 40));
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &used) != 6)
        return false;
    std::string_view rest = std::string_view(copy).substr(static_cast<std::size_t>(used));
    if (rest.starts_with('.')) {
        rest.remove_prefix(1);
        while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') rest.remove_prefix(1);
    }
    if (rest != "Z" || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                              std::chrono::day(unsigned(day))};
    if (!date.ok()) return false;
    out = sys_days(date) + hours(hour) + minutes(minute) + seconds(second);
    return true;
}

}  // namespace quorvex::sim
