// Strict readers of XML Schema value texts.
#include "core/schema_value.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/device_records.h"

namespace quorvex {

// Backs off over continuation bytes, so a cut never leaves half a character.
std::string CutUtf8(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::optional<bool> ReadSchemaBool(std::string_view text) {
    if (text == "true" || text == "1") return true;
    if (text == "false" || text == "0") return false;
    return std::nullopt;
}

std::optional<std::int64_t> ReadSchemaNumber(std::string_view text, std::int64_t low,
                                             std::int64_t high) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

// Six pairs of hexadecimal digits, with ':' or '-' between every pair or
// with nothing between any.
std::optional<std::array<std::uint8_t, 6>> ReadMacText(std::string_view text) {
    // Without separators the text takes the table key's form first, so that
    // one reader judges every MAC.
    std::string keyed(text);
    if (text.size() == 12) {
        keyed.clear();
        for (std::size_t at = 0; at < text.size(); at += 2)
            keyed.append(at == 0 ? "" : "-").append(text.substr(at, 2));
    }
    std::uint8_t bytes[6] = {};
    if (!ParseDeviceKey(keyed, bytes)) return std::nullopt;
    std::array<std::uint8_t, 6> mac{};
    std::copy(std::begin(bytes), std::end(bytes), mac.begin());
    return mac;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian), after Howard
// Hinnant's public-domain algorithm.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), after Howard
// Hinnant's public-domain algorithm.
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace quorvex
