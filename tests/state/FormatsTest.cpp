#include "state/Formats.h"

#include <gtest/gtest.h>

#include <tuple>

namespace halvern {
namespace {

TEST(FormatFixed, GivesTheFixedPatternRoundedOnTheDecimalDigits) {
    using Case = std::tuple<double, int, const char*>;
    const Case cases[] = {
        // At least one integer digit, exactly the decimals asked for.
        Case{0.0, 2, "0.00"}, Case{2.5, 2, "2.50"}, Case{7.0, 0, "7"}, Case{10000.0, 1, "10000.0"},
        // Single-precision values read as their shortest decimal text.
        Case{4.85f, 2, "4.85"}, Case{0.399019f, 2, "0.40"}, Case{29.999985f, 1, "30.0"},
        // Halves round away from zero on the decimal value, also where binary is just below.
        Case{0.125f, 2, "0.13"}, Case{1.005f, 2, "1.01"}, Case{2.675, 2, "2.68"},
        Case{1.004999f, 2, "1.00"},
        // Carries through every digit.
        Case{9.995f, 2, "10.00"}, Case{999.95, 1, "1000.0"},
        // Negative values keep their sign unless they round to zero.
        Case{-2.675, 2, "-2.68"}, Case{-0.005, 2, "-0.01"}, Case{-0.004, 2, "0.00"},
        Case{-0.0, 2, "0.00"},
        // Doubles beyond float precision keep all their digits.
        Case{123456789.0, 2, "123456789.00"}, Case{0.1 + 0.2, 2, "0.30"}};
    for (const auto& [value, decimals, text] : cases)
        EXPECT_EQ(FormatFixed(value, decimals), text) << value << " to " << decimals;
    EXPECT_EQ(Format2(4.85f), "4.85");
    EXPECT_EQ(Format1(4.85f), "4.9");
}

}  // namespace
}  // namespace halvern
