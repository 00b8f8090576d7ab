// The period answer, the start/stop command, the one-second tick and the polling-cycle triggers.

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "logging/LoggingControl.h"

namespace halvern {
namespace {

using testing::At;

TEST(ParseLogPeriod, LeadingNumberRoundedHalfToEven) {
    const std::pair<const char*, int> table[] = {
        {"10", 10}, {"255", 255},  {"2.5", 2},         {"3.5", 4},  {"2.6", 3},    {"0.5", 0},
        {".7", 1},  {"12abc", 12}, {"  7 seconds", 7}, {"+3", 3},   {"1e2", 100},  {"5e", 5},
        {"abc", 0}, {"", 0},       {"- 3", 0},         {"-0.4", 0}, {"255.4", 255}};
    for (const auto& [answer, period] : table)
        EXPECT_EQ(ParseLogPeriod(answer), period) << "answer '" << answer << "'";
}

TEST(ParseLogPeriod, WholeNumbersThePeriodCannotHoldAreRefusedNotWrapped) {
    for (const char* answer : {"255.5", "256", "400", "-5", "-0.6", "1e999"})
        EXPECT_EQ(ParseLogPeriod(answer), std::nullopt) << "answer '" << answer << "'";
}

class Logging : public testing::LogTest {
  protected:
    LogCommandResult Menu(const std::string& answer) {
        return LogMenuCommand(par, [&] {
            ++questions;
            return answer;
        });
    }
    // A decoded status reply from address 12 with the two status bytes given.
    void Reply(std::uint8_t byte9, std::uint8_t byte10, int second) {
        par.Link.RxBuffer[9] = byte9;
        par.Link.RxBuffer[10] = byte10;
        AfterValidReply(par, At(14, 3, second));
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            LogTick(par, At(14, 3, i % 60));
    }
    int Records() const { return Lines("4711.txt"); }

    int questions = 0;
};

TEST_F(Logging, StartWithTenSecondsThenStopWithoutAsking) {
    const LogCommandResult on = Menu("10");
    EXPECT_EQ(on.outcome, LogCommandOutcome::Started);
    ASSERT_TRUE(on.display);
    EXPECT_EQ(on.display->MenuCaption, "stop loggin&G");
    EXPECT_EQ(on.display->LogOnCaption, "Record is activate every 10 seconds...");
    EXPECT_TRUE(on.display->LogOnVisible && on.display->Timer2Enabled);
    EXPECT_TRUE(par.LoggingOn);

    const LogCommandResult off = Menu("99");
    EXPECT_EQ(off.outcome, LogCommandOutcome::Stopped);
    EXPECT_EQ(questions, 1) << "no question when switching off";
    ASSERT_TRUE(off.display);
    EXPECT_EQ(off.display->MenuCaption, "start loggin&G");
    EXPECT_FALSE(off.display->LogOnVisible || off.display->Timer2Enabled);
    EXPECT_FALSE(par.LoggingOn);
}

// No period (a cancelled box) leaves logging off silently; one the byte cannot hold says so.
TEST_F(Logging, AnswerWithoutValidPeriodLeavesLoggingOff) {
    for (const std::string answer : {"", "400"}) {
        const LogCommandResult r = Menu(answer);
        const bool refused = answer == "400";
        EXPECT_EQ(r.outcome,
                  refused ? LogCommandOutcome::PeriodRejected : LogCommandOutcome::StayedOff);
        EXPECT_EQ(r.message, refused ? kLogPeriodRejected : "") << answer;
        EXPECT_FALSE(r.display || par.LoggingOn) << answer;
        EXPECT_EQ(par.LogPeriod, 0);
    }
}

TEST_F(Logging, TickRecordsTheLastAnsweringDetectorOncePerPeriodCountingAcrossOffAndOn) {
    Menu("10");
    Ticks(9);
    EXPECT_EQ(Records(), 0);
    Ticks(1);
    EXPECT_EQ(Records(), 1);
    Ticks(10);
    EXPECT_EQ(Records(), 2);
    Ticks(3);
    Menu("");  // off
    Menu("2");
    Ticks(1);  // count 4 >= 2
    EXPECT_EQ(Records(), 3);
}

// LastStatusByte starts at 0, so the first reply is a change; a change seen while logging is
// off stays due until it is on.
TEST_F(Logging, FirstReplyAndEachChangeOfTheFirstStatusByteMakeARecordDue) {
    Reply('N', 'N', 27);
    EXPECT_EQ(Records(), 0);
    EXPECT_TRUE(par.RecordDue[12]);
    Menu("255");
    Reply('N', 'N', 28);
    EXPECT_EQ(Records(), 1);
    Reply('N', 'N', 29);
    EXPECT_EQ(Records(), 1);
    Reply('S', 'S', 30);
    EXPECT_EQ(Records(), 2);
}

TEST_F(Logging, DigitAsSecondStatusByteLeavesTheRecordDueForTheNextLetter) {
    Menu("255");
    Reply('N', '0', 27);
    EXPECT_EQ(Records(), 0);
    Reply('N', 'a', 28);  // lower-case letters count too
    EXPECT_EQ(Records(), 1);
}

TEST_F(Logging, ReplyFromAnAddressWithoutSlotIsNotRecorded) {
    Menu("1");
    par.Link.ReplyAddress = 251;
    Reply('N', 'N', 27);
    Ticks(1);
    EXPECT_EQ(Records(), 0);
}

}  // namespace
}  // namespace halvern
