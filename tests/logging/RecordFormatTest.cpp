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

struct Field {
    int column;
    const char* text;
};

class CycleRecordColumns : public ::testing::TestWithParam<Field> {};

TEST_P(CycleRecordColumns, FieldStartsAtItsColumn) {
    const std::string line = CycleRecordLine(Detector4711(), At(14, 3, 27));
    const Field f = GetParam();
    EXPECT_EQ(line.substr(f.column - 1, std::string(f.text).size()), f.text);
}

INSTANTIATE_TEST_SUITE_P(Example, CycleRecordColumns,
                         ::testing::Values(Field{1, "NNN0"}, Field{9, "05/12/26"},
                                           Field{19, "14:03:27"}, Field{27, " 23 "}, Field{33, "3"},
                                           Field{38, "4.12"}, Field{44, "3.98"}, Field{50, "4.05"},
                                           Field{58, "1.03"}, Field{64, "0.98"}, Field{72, "0.47"},
                                           Field{78, "2.55"}, Field{84, " 0 \r\n"}));

TEST(CycleRecordLine, StatusNumberOfSeveralDigitsAndMidnight) {
    Par par = Detector4711();
    par.StatusParts = {"S", "S", "U", "90"};
    par.ChannelValues[0] = 0.47f;
    const std::string line = CycleRecordLine(par, {2031, 1, 9, 0, 0, 5});
    EXPECT_EQ(line.substr(0, 33), "SSU90   09/01/31  00:00:05 23   3");
    EXPECT_EQ(line.substr(37, 4), "0.47");
}

struct NumberCase {
    double value;
    const char* written;  // from the start column
    const char* viewerT;  // what the viewer's T column (28, 2) or LEL column (85, 3) shows
};

class TemperatureColumn : public ::testing::TestWithParam<NumberCase> {};

TEST_P(TemperatureColumn, SignPositionThenDigitsThenSpace) {
    Par par = Detector4711();
    par.ChannelValues[4] = static_cast<float>(GetParam().value);
    const std::string line = CycleRecordLine(par, At(14, 3, 27));
    EXPECT_EQ(line.substr(26, std::string(GetParam().written).size()), GetParam().written);
    EXPECT_EQ(CutLogLine(line)[3], GetParam().viewerT);
    EXPECT_EQ(line.substr(32, 1), "3") << "gain keeps its column";
}

INSTANTIATE_TEST_SUITE_P(Values, TemperatureColumn,
                         ::testing::Values(NumberCase{23, " 23 ", "23"},
                                           NumberCase{-5, "-5 ", "5 "}, NumberCase{0, " 0 ", "0 "},
                                           NumberCase{100, " 100 ", "10"},
                                           NumberCase{-128, "-128 ", "12"}));

class GasColumn : public ::testing::TestWithParam<NumberCase> {};

TEST_P(GasColumn, SignPositionThenDigitsThenSpace) {
    Par par = Detector4711();
    par.ChannelValues[12] = static_cast<float>(GetParam().value);
    const std::string line = CycleRecordLine(par, At(14, 3, 27));
    EXPECT_EQ(line.substr(83), std::string(GetParam().written) + "\r\n");
    EXPECT_EQ(CutLogLine(line)[12], GetParam().viewerT);
}

INSTANTIATE_TEST_SUITE_P(Values, GasColumn,
                         ::testing::Values(NumberCase{0, " 0 ", "0 \r"},
                                           NumberCase{1234, " 1234 ", "123"},
                                           NumberCase{10000, " 10000 ", "100"},
                                           NumberCase{65535, " 65535 ", "655"}));

TEST(DisconnectionRecordLine, MarkDateAndShortTime) {
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(9, 5, 3)), "DDD     05/12/26  9:5:3\r\n");
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(23, 59, 10)), "DDD     05/12/26  23:59:10\r\n");
}

TEST(LogFileNames, PlainDecimalNumbers) {
    EXPECT_EQ(LogFileName(4711), "4711.txt");
    EXPECT_EQ(LogFileName(0), "0.txt");
    EXPECT_EQ(LogFileName(65535), "65535.txt");
    EXPECT_EQ(DisconnectionFileName(12), "12.txt");
    EXPECT_EQ(DisconnectionFileName(247), "247.txt");
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
