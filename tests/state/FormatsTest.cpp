#include "state/Formats.h"

#include <gtest/gtest.h>

namespace halvern {
namespace {

struct FormatCase {
    double value;
    int decimals;
    const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.value << " with " << c.decimals << " decimals";
}

class FormatFixedTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatFixedTest, GivesFixedPatternText) {
    EXPECT_EQ(FormatFixed(GetParam().value, GetParam().decimals), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FormatFixedTest,
    ::testing::Values(
        // At least one integer digit, exactly the decimals asked for.
        FormatCase{0.0, 2, "0.00"}, FormatCase{0.47, 2, "0.47"}, FormatCase{2.5, 2, "2.50"},
        FormatCase{65535.0, 2, "65535.00"}, FormatCase{10000.0, 1, "10000.0"},
        FormatCase{10000.0, 2, "10000.00"}, FormatCase{7.0, 0, "7"},
        // Single-precision values read as their shortest decimal text.
        FormatCase{4.85f, 2, "4.85"}, FormatCase{0.399019f, 2, "0.40"},
        FormatCase{29.999985f, 1, "30.0"},
        // Halves round away from zero on the decimal value, also where binary is just below.
        FormatCase{0.125f, 2, "0.13"}, FormatCase{1.005f, 2, "1.01"}, FormatCase{0.135f, 2, "0.14"},
        FormatCase{2.675, 2, "2.68"}, FormatCase{1.004999f, 2, "1.00"}, FormatCase{0.05, 1, "0.1"},
        // Carries through every digit.
        FormatCase{9.995f, 2, "10.00"}, FormatCase{99.995, 2, "100.00"},
        FormatCase{999.95, 1, "1000.0"},
        // Negative values keep their sign unless they round to zero.
        FormatCase{-1.5, 2, "-1.50"}, FormatCase{-2.675, 2, "-2.68"},
        FormatCase{-0.005, 2, "-0.01"}, FormatCase{-0.004, 2, "0.00"}, FormatCase{-0.0, 2, "0.00"},
        // Doubles beyond float precision keep all their digits.
        FormatCase{123456789.0, 2, "123456789.00"}, FormatCase{0.1 + 0.2, 2, "0.30"}));

TEST(FormatShortcuts, Format2AndFormat1UseTwoAndOneDecimals) {
    EXPECT_EQ(Format2(4.85f), "4.85");
    EXPECT_EQ(Format1(4.85f), "4.9");
}

}  // namespace
}  // namespace halvern
