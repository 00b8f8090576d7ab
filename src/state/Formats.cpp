#include "state/Formats.h"

#include <cmath>
#include <cstdio>

namespace halvern {

std::string FormatFixed(double value, int decimals) {
    // Round on the shortest decimal text of the value, so a single-precision 4.85f (stored
    // as 4.8499999) still shows "4.85" as a technician reads it.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7g", value);
    double v = std::strtod(buf, nullptr);
    const double scale = std::pow(10.0, decimals);
    double r = std::round(v * scale) / scale;
    if (r == 0) r = 0;  // no "-0.00"
    std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
    return buf;
}

}  // namespace halvern
