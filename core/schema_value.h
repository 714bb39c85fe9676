#pragma once

// Plain values written as XML Schema texts in SOAP answers (xs:boolean,
// xs:int, a MAC address, a civil date), read strictly: a text that is not
// exactly such a value yields none, never a guess.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex {

// "true", "false", "1" or "0".
std::optional<bool> ReadSchemaBool(std::string_view text);

// Decimal digits only (no sign, no blank), within low..high.
std::optional<std::int64_t> ReadSchemaNumber(std::string_view text, std::int64_t low,
                                             std::int64_t high);

// Six pairs of hexadecimal digits, with the same ':' or '-' between every
// pair or with nothing between any.
std::optional<std::array<std::uint8_t, 6>> ReadMacText(std::string_view text);

// `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t limit);

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
void CivilFromDays(std::int64_t days, std::int64_t& year, int& month, int& day);
int DaysInMonth(std::int64_t year, int month);  // month 1..12

}  // namespace quorvex
