// The period answer, the start/stop command, the one-second tick and the polling-cycle triggers.

#include <gtest/gtest.h>

#include <filesystem>

#include "LogTestSupport.h"
#include "logging/LoggingControl.h"

namespace halvern {
namespace {

using testing::At;

// The leading number rounded half to even; a whole number the 8-bit period cannot hold is
// refused, not wrapped.
TEST(ParseLogPeriod, LeadingNumberRoundedHalfToEvenAndOutOfRangeRefused) {
    const std::pair<const char*, std::optional<int>> table[] = {
        {"10", 10},         {"2.5", 2},    {"3.5", 4},  {"0.5", 0},  {".7", 1},  {"12abc", 12},
        {"  7 seconds", 7}, {"1e2", 100},  {"5e", 5},   {"abc", 0},  {"", 0},    {"-0.4", 0},
        {"255.4", 255},     {"255.5", {}}, {"256", {}}, {"400", {}}, {"-5", {}}, {"1e999", {}}};
    for (const auto& [answer, period] : table)
        EXPECT_EQ(ParseLogPeriod(answer), period) << "answer '" << answer << "'";
}

class Logging : public testing::LogTest {
  protected:
    LogCommandResult Menu(const std::string& answer) {
        return LogMenuCommand(par, [&] {
            ++questions;
            return answer;
        });
    }
    // A decoded status reply with the two status bytes given.
    void Reply(std::uint8_t byte9, std::uint8_t byte10, int second) {
        par.Reading.FirstStatusByte = byte9;
        par.Reading.SecondStatusByte = byte10;
        AfterValidReply(par, At(14, 3, second));
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            LogTick(par, At(14, 3, i % 60));
    }
    int Records() const { return Lines("4711.txt"); }

    int questions = 0;
};

// No period (a cancelled box) leaves logging off silently; one the byte cannot hold says so.
TEST_F(Logging, StartsWithAValidPeriodAndStopsWithoutAsking) {
    for (const std::string answer : {"", "400"}) {
        const LogCommandResult r = Menu(answer);
        EXPECT_EQ(r.message, answer == "400" ? kLogPeriodRejected : "") << answer;
        EXPECT_FALSE(r.display || par.LoggingOn) << answer;
    }
    const LogCommandResult on = Menu("10");
    EXPECT_TRUE(on.display && on.display->Timer2Enabled && par.LoggingOn);
    const LogCommandResult off = Menu("99");
    EXPECT_EQ(questions, 3) << "no question when switching off";
    EXPECT_TRUE(off.display && !off.display->Timer2Enabled && !par.LoggingOn);
}

TEST_F(Logging, TickRecordsTheLastAnsweringDetectorOncePerPeriodCountingAcrossOffAndOn) {
    Menu("10");
    Ticks(9);
    EXPECT_EQ(Records(), 0);
    Ticks(11);
    EXPECT_EQ(Records(), 2);
    Ticks(3);
    Menu("");  // off
    Menu("2");
    Ticks(1);  // count 4 >= 2
    EXPECT_EQ(Records(), 3);
}

// A detector given up: its last reading is no measurement of now, so the tick records nothing
// of it (its disconnection records go on) until it answers again.
TEST_F(Logging, TheTickRecordsNothingOfADetectorGivenUp) {
    Menu("1");
    Ticks(1);
    EXPECT_EQ(Records(), 1);
    par.GivenUp[12] = true;
    Ticks(8);
    EXPECT_EQ(Records(), 1);
    par.DisconnectMark[12] = "DDD";  // with an NQ ratio of 0 the mark waits for the tick
    Ticks(1);
    EXPECT_EQ(Lines("12.txt"), 1);
    EXPECT_EQ(Records(), 1);
    par.GivenUp[12] = false;
    Ticks(1);
    EXPECT_EQ(Records(), 2);
}

// The warning stands for records that are due and cannot be written: another file written
// meanwhile does not hide it, and it goes once the record is written or no longer due.
TEST_F(Logging, TheWarningShowsWhileADueRecordFailsAndOnlyThen) {
    std::filesystem::create_directory(PathOf("4711.txt"));  // where the cycle records go
    Menu("1");
    Ticks(1);
    EXPECT_NE(LogWarning(par).find("4711.txt"), std::string::npos);
    par.DisconnectMark[12] = "DDD";
    StatusReading nqZero = par.Reading;  // either NQ ratio 0 holds the line back
    nqZero.ChannelValues[kSlotNqRatio2] = 0;
    WriteDisconnectionRecord(par, nqZero, At(14, 3, 0));
    EXPECT_EQ(Lines("12.txt"), 0);
    WriteDisconnectionRecord(par, par.Reading, At(14, 3, 0));  // 12.txt can be written
    EXPECT_EQ(Lines("12.txt"), 1);
    EXPECT_NE(LogWarning(par).find("4711.txt"), std::string::npos);
    Menu("");  // off: no cycle record is due any more
    EXPECT_EQ(LogWarning(par), "");
    Menu("1");
    Ticks(1);
    EXPECT_NE(LogWarning(par), "");
    std::filesystem::remove(PathOf("4711.txt"));
    Ticks(1);
    EXPECT_EQ(LogWarning(par), "");
    EXPECT_EQ(Records(), 1);
}

// LastStatusByte starts at 0, so the first reply is a change; a change seen while logging is
// off stays due until it is on. A digit as second byte leaves it due for the next letter.
TEST_F(Logging, FirstReplyAndEachChangeOfTheFirstStatusByteMakeARecordDue) {
    Reply('N', 'N', 27);
    EXPECT_TRUE(par.RecordDue[12]);
    Menu("255");
    Reply('N', '0', 28);
    EXPECT_EQ(Records(), 0);
    Reply('N', 'a', 29);  // lower-case letters count too
    EXPECT_EQ(Records(), 1);
    Reply('N', 'N', 30);
    EXPECT_EQ(Records(), 1);
    Reply('S', 'S', 31);
    EXPECT_EQ(Records(), 2);
    par.Link.ReplyAddress = 251;  // beyond the Modbus range: recorded all the same
    Reply('N', 'N', 32);
    EXPECT_EQ(Records(), 3);
    Ticks(255);
    EXPECT_EQ(Records(), 4);
}

}  // namespace
}  // namespace halvern
