// The record lines column by column (how the readers cut them back is checked on their table).
// When and where the writers put them is followed by the scenarios.

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "LogTestSupport.h"
#include "logging/LogRecords.h"

namespace halvern {
namespace {

using testing::At;

// Detector 4711's reading changed as each row says, and the line it makes: the status at
// column 1, temperature (sign first) at 27, gas (sign first) at 84; a value a short status
// reply did not carry is a blank column, the line still running to the end of the gas's.
TEST(CycleRecordLine, EachFieldInTheColumnsOfTheFormat) {
    const float none = std::numeric_limits<float>::quiet_NaN();
    const auto blank = [=](std::vector<int> gone) {
        return [=](StatusReading& r) {
            r.StatusCode = "VVV81";
            for (int slot : gone)
                r.ChannelValues[slot] = none;
            r.GainText = gone.size() > 4 ? "" : r.GainText;
        };
    };
    const std::string date = "05/12/26  14:03:27";
    const std::pair<std::function<void(StatusReading&)>, std::string> rows[] = {
        {[](StatusReading&) {},
         "NNN0    " + date + " 23   3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   0 "},
        {[](StatusReading& r) { r.ChannelValues[4] = -5, r.ChannelValues[12] = 1234; },
         "NNN0    " + date + "-5    3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   1234 "},
        {[](StatusReading& r) { r.ChannelValues[12] = 10000; },
         "NNN0    " + date + " 23   3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   10000 "},
        // Only printable bytes of the status, Latin-1 included, so the record stays one line.
        {[](StatusReading& r) { r.StatusCode = std::string("\r\0\n\xC4\x7F\x85x", 7); },
         "???\xC4??x " + date + " 23   3    4.12  3.98  4.05    1.03  0.98    0.47  2.55   0 "},
        // A 22-byte reply reaches through Ratio 1; a 15-byte one holds the status code alone.
        {blank({6, 7, 8, 12}),
         "VVV81   " + date + " 23   3    4.12  3.98  4.05    1.03" + std::string(25, ' ')},
        {blank({0, 1, 2, 4, 5, 6, 7, 8, 12}), "VVV81   " + date + std::string(60, ' ')},
    };
    for (const auto& [change, line] : rows) {
        StatusReading r = testing::Detector4711().Reading;
        change(r);
        EXPECT_EQ(CycleRecordLine(r, At(14, 3, 27)), line + "\r\n");
    }
    EXPECT_EQ(DisconnectionRecordLine("DDD", At(9, 5, 3)), "DDD     05/12/26  9:5:3\r\n");
}

}  // namespace
}  // namespace halvern
