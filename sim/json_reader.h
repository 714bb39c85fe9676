#pragma once

// A small JSON reader for the simulator's device files. It accepts the whole
// of JSON (objects, arrays, strings with escapes, numbers, true, false, null)
// and rejects everything else with the line and column of the fault; it never
// reads past the text and limits nesting, so no input can crash it.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::sim {

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    double number = 0;
    std::string text;  // a string's value; for a number, its literal text
    std::vector<JsonValue> items;
    // Members in file order; a repeated key is an error.
    std::vector<std::pair<std::string, JsonValue>> members;
};

// Parses `text` into `value`. On failure returns false and sets `error` to
// "line L, column C: what".
bool ParseJson(std::string_view text, JsonValue& value, std::string& error);

}  // namespace quorvex::sim
