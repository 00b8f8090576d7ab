#include "state/Formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace halvern {

namespace {

// The shortest decimal text that reads back as the value, in fixed notation. A value that is
// exactly a single-precision number is written as that float, so a stored 4.85f (4.8499999...
// in binary) reads "4.85" as a technician expects, and its half cases are real decimal halves.
std::string ShortestDecimal(double value) {
    char buf[400];  // fixed notation of the largest double fits
    std::to_chars_result res;
    const auto asFloat = static_cast<float>(value);
    if (std::fabs(value) <= 3.4e38 && static_cast<double>(asFloat) == value) {
        res = std::to_chars(buf, buf + sizeof buf, asFloat, std::chars_format::fixed);
    } else {
        res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    }
    return std::string(buf, res.ptr);
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
    if (std::isnan(value))
        return {};
    if (!std::isfinite(value)) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%f", value);
        return buf;
    }
    if (decimals < 0)
        decimals = 0;

    // Round on the decimal digits themselves: rounding a scaled binary value would turn
    // 1.005 (1.00499999... in binary) into "1.00".
    std::string text = ShortestDecimal(value);
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.erase(0, 1);
    const auto point = text.find('.');
    std::string intPart = text.substr(0, point);
    std::string frac = point == std::string::npos ? std::string() : text.substr(point + 1);

    const auto keep = static_cast<std::size_t>(decimals);
    bool roundUp = frac.size() > keep && frac[keep] >= '5';  // half away from zero
    frac.resize(keep, '0');
    std::string digits = intPart + frac;
    for (auto i = digits.size(); roundUp && i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            roundUp = false;
        }
    }
    if (roundUp)
        digits.insert(0, 1, '1');

    const bool zero = digits.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !zero) ? "-" : "";
    out += digits.substr(0, digits.size() - keep);
    if (keep > 0) {
        // Appended in two steps: "." + substr() trips g++ 12's -Wrestrict at -O3.
        out += '.';
        out.append(digits, digits.size() - keep);
    }
    return out;
}

}  // namespace halvern
