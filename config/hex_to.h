#pragma once

// A value wrapper whose stream extraction reads hexadecimal, so that
// boost::lexical_cast<HexTo<int>>("1E") yields 30. Whitespace is not skipped:
// the whole text must be an optional sign, an optional "0x"/"0X" and hex
// digits, or the cast fails.

#include <istream>

namespace quorvex::BaseFunction {

template <typename T>
struct HexTo {
    T value{};

    operator T() const { return value; }

    friend std::istream& operator>>(std::istream& in, HexTo& out) {
        in >> std::noskipws >> std::hex >> out.value;
        return in;
    }
};

}  // namespace quorvex::BaseFunction
