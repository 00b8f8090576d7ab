#include "state/Formats.h"
#include "state/SaveNames.h"

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

// The names the report and the viewer's exports are offered under, in the documents folder.
TEST(SaveNames, NameTheDetectorAndTheDayInTheDocumentsFolder) {
    using Row = std::tuple<std::string, std::string>;
    const Row rows[] = {
        {SuggestedPath("/home/tech/Documents", ReportFileName("4711", 2026, 12, 7)),
         "/home/tech/Documents/4711-report-2026-12-07.pdf"},
        {SuggestedPath("C:/Users/tech/Documents/", ReportFileName("65535", 2027, 1, 31)),
         "C:/Users/tech/Documents/65535-report-2027-01-31.pdf"},
        {SuggestedPath("/home/tech/Documents", LogExportName(" 4711 ", ".csv")),
         "/home/tech/Documents/4711.csv"},
        {SuggestedPath("", LogExportName("12", ".png")), "12.png"},  // no folder known
    };
    for (const auto& [got, expected] : rows)
        EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace halvern
