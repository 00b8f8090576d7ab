// The record lines column by column, and the viewer cutting them back: both sides of one format.

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "logging/LogRecords.h"
#include "logging/LogViewer.h"

namespace halvern {
namespace {

using testing::At;
using testing::SetDecodedValues;

Par Detector4711() {
    Par par;
    SetDecodedValues(par);
    return par;
}

TEST(CycleRecordLine, ExampleRecordIsExactlyTheFixedColumns) {
    EXPECT_EQ(CycleRecordLine(Detector4711(), At(14, 3, 27)),
              "NNN0    05/12/26  14:03:27 23   3    4.12  3.98  4.05    1.03  0.98    0.47  "
              "2.55   0 \r\n");
}

TEST(CycleRecordLine, StatusNumberOfSeveralDigitsAndMidnight) {
    Par par = Detector4711();
    par.StatusParts = {"S", "S", "U", "90"};
    par.ChannelValues[0] = 0.47f;
    const std::string line = CycleRecordLine(par, {2031, 1, 9, 0, 0, 5});
    EXPECT_EQ(line.substr(0, 33), "SSU90   09/01/31  00:00:05 23   3");
    EXPECT_EQ(line.substr(37, 4), "0.47");
}

// Temperature (slot 4, column 27) and gas (slot 12, column 84): the sign position, the whole
// number, one space; the viewer's column starts after the sign position.
struct NumberCase {
    int slot;
    float value;
    const char* written;
    const char* viewer;
};

class NumberStyleColumn : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberStyleColumn, WrittenAtItsColumnAndCutWithoutSign) {
    const NumberCase c = GetParam();
    Par par = Detector4711();
    par.ChannelValues[c.slot] = c.value;
    std::string line = CycleRecordLine(par, At(14, 3, 27));
    line.resize(line.size() - 2);
    const bool gas = c.slot == 12;
    EXPECT_EQ(line.substr(gas ? 83 : 26, std::string(c.written).size()), c.written);
    EXPECT_EQ(CutLogLine(line)[gas ? 12 : 3], c.viewer);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberStyleColumn,
    ::testing::Values(NumberCase{4, 23, " 23 ", "23"}, NumberCase{4, -5, "-5 ", "5 "},
                      NumberCase{4, 100, " 100 ", "10"}, NumberCase{4, -128, "-128 ", "12"},
                      NumberCase{12, 0, " 0 ", "0 "}, NumberCase{12, 1234, " 1234 ", "123"},
                      NumberCase{12, 10000, " 10000 ", "100"}));

TEST(DisconnectionRecordLine, MarkDateAndShortTime) {
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(9, 5, 3)), "DDD     05/12/26  9:5:3\r\n");
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(23, 59, 10)), "DDD     05/12/26  23:59:10\r\n");
}

TEST(LogFileNames, PlainDecimalNumbers) {
    EXPECT_EQ(LogFileName(4711), "4711.txt");
    EXPECT_EQ(LogFileName(0), "0.txt");
    EXPECT_EQ(DisconnectionFileName(12), "12.txt");
}

// The viewer's columns over the lines as the writer makes them (line break already removed).
TEST(CutLogLine, CycleRecordAsTheViewerShowsIt) {
    std::string line = CycleRecordLine(Detector4711(), At(14, 3, 27));
    line.resize(line.size() - 2);
    const LogFields f = CutLogLine(line);
    const LogFields expected = {"NNN0 ", " 14:03:27 ", " 05/12/26", "23",  "3",   "4.12", "3.98",
                                "4.05",  "1.03",       "0.98",      "0.4", "2.5", "0 "};
    EXPECT_EQ(f, expected);
}

TEST(CutLogLine, DisconnectionRecordHasEmptyValueColumns) {
    const LogFields f = CutLogLine("DDD     05/12/26  9:5:3");
    const LogFields expected = {"DDD  ", " 9:5:3", " 05/12/26", "", "", "", "",
                                "",      "",       "",          "", "", ""};
    EXPECT_EQ(f, expected);
    EXPECT_EQ(CutLogLine(""), LogFields{});
    EXPECT_EQ(CutLogLine("AB")[0], "AB");
}

}  // namespace
}  // namespace halvern
