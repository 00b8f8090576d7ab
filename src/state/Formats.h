#pragma once
// The fixed number patterns of the screens and the log files.

#include <string>

namespace halvern {

// "##0.00", "###0.0" / "##0.0": at least one integer digit, exactly `decimals` decimals,
// rounded half away from zero on the decimal value; no sign for a value that rounds to zero.
// A value that was not given (NaN: a reply too short to carry it) is an empty text.
std::string FormatFixed(double value, int decimals);
inline std::string Format2(double v) {
    return FormatFixed(v, 2);
}  // "##0.00"
inline std::string Format1(double v) {
    return FormatFixed(v, 1);
}  // "###0.0", "##0.0"

}  // namespace halvern
