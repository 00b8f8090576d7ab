// The record lines column by column and the viewer cutting them back (both sides of one
// format). When and where the writers put them is followed by the scenarios.

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "LogTestSupport.h"
#include "logging/LogRecords.h"
#include "logging/LogViewer.h"

namespace halvern {
namespace {

using testing::At;
using testing::Detector4711;

// The line without its CR LF, as the viewer gets it.
std::string Bare(std::string line) {
    line.resize(line.size() - 2);
    return line;
}

// How the viewer cuts such a line and a disconnection record back is checked on its table.
TEST(CycleRecordLine, ExampleRecordIsExactlyTheFixedColumns) {
    EXPECT_EQ(CycleRecordLine(Detector4711().Reading, At(14, 3, 27)),
              "NNN0    05/12/26  14:03:27 23   3    4.12  3.98  4.05    1.03  0.98    0.47  "
              "2.55   0 \r\n");
}

TEST(CycleRecordLine, StaysOneLineWhateverBytesTheStatusCarries) {
    StatusReading r = Detector4711().Reading;
    r.StatusCode = std::string("\r\0\n\xC4\x7F\x85x", 7);
    const std::string line = CycleRecordLine(r, At(14, 3, 27));
    EXPECT_EQ(line.substr(0, 8), "???\xC4??x ");  // printable ones, Latin-1 included, kept
    EXPECT_EQ(line.find_first_of(std::string("\r\n\0", 3)), line.size() - 2);
    EXPECT_EQ(CutLogLine(Bare(line))[0], "???\xC4??x");
}

// Temperature (slot 4, column 27) and gas (slot 12, column 84): the sign position, the whole
// number, one space. How the readers take them back is checked on their table.
TEST(CycleRecordLine, NumberStyleColumnsWrittenWithSign) {
    const std::tuple<int, float, std::string> cases[] = {
        {4, -5, "-5 "}, {12, 1234, " 1234 "}, {12, 10000, " 10000 "}};
    for (const auto& [slot, value, written] : cases) {
        StatusReading r = Detector4711().Reading;
        r.ChannelValues[slot] = value;
        const std::string line = Bare(CycleRecordLine(r, At(14, 3, 27)));
        EXPECT_EQ(line.substr(slot == 12 ? 83 : 26, written.size()), written) << value;
    }
}

// A short status reply carries only its first fields: those it did not reach stay blank, in
// the same columns, and the line still runs to the end of the gas reading's.
TEST(CycleRecordLine, ValuesTheReplyDidNotCarryAreBlankColumns) {
    const float none = std::numeric_limits<float>::quiet_NaN();
    StatusReading r = Detector4711().Reading;
    r.StatusCode = "VVV81";
    for (int slot : {6, 7, 8, 12})  // a 22-byte reply: through Ratio 1
        r.ChannelValues[slot] = none;
    EXPECT_EQ(Bare(CycleRecordLine(r, At(14, 3, 27))),
              "VVV81   05/12/26  14:03:27 23   3    4.12  3.98  4.05    1.03" +
                  std::string(86 - 61, ' '));
    r.GainText.clear();  // a 15-byte reply: the status code alone
    for (int slot : {0, 1, 2, 4, 5})
        r.ChannelValues[slot] = none;
    const std::string line = Bare(CycleRecordLine(r, At(14, 3, 27)));
    EXPECT_EQ(line, "VVV81   05/12/26  14:03:27" + std::string(86 - 26, ' '));
}

TEST(DisconnectionRecordLine, MarkDateAndUnpaddedTime) {
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(9, 5, 3)), "DDD     05/12/26  9:5:3\r\n");
}

}  // namespace
}  // namespace halvern
