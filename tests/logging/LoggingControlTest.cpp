// The period answer, the start/stop command, the one-second tick and the polling-cycle triggers.

#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "logging/LoggingControl.h"

namespace halvern {
namespace {

using testing::At;
using testing::CountLines;
using testing::TempFolder;

struct PeriodCase {
    const char* answer;
    std::optional<int> period;
};

class ParseLogPeriodTable : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(ParseLogPeriodTable, LeadingNumberRoundedHalfToEven) {
    EXPECT_EQ(ParseLogPeriod(GetParam().answer), GetParam().period)
        << "answer '" << GetParam().answer << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ParseLogPeriodTable,
    ::testing::Values(
        PeriodCase{"10", 10}, PeriodCase{"1", 1}, PeriodCase{"255", 255}, PeriodCase{"2.5", 2},
        PeriodCase{"3.5", 4}, PeriodCase{"2.6", 3}, PeriodCase{"0.5", 0}, PeriodCase{"1.5", 2},
        PeriodCase{".7", 1}, PeriodCase{"12abc", 12}, PeriodCase{"  7 seconds", 7},
        PeriodCase{"3 4", 3}, PeriodCase{"+3", 3}, PeriodCase{"1e2", 100}, PeriodCase{"5e", 5},
        PeriodCase{"abc", 0}, PeriodCase{"", 0}, PeriodCase{"0", 0}, PeriodCase{"- 3", 0},
        PeriodCase{".", 0}, PeriodCase{"-0.4", 0}, PeriodCase{"255.4", 255},
        // Values the period cannot hold are refused, not wrapped.
        PeriodCase{"255.5", std::nullopt}, PeriodCase{"256", std::nullopt},
        PeriodCase{"400", std::nullopt}, PeriodCase{"-5", std::nullopt},
        PeriodCase{"-0.6", std::nullopt}, PeriodCase{"1e3", std::nullopt},
        PeriodCase{"1e999", std::nullopt}, PeriodCase{"99999999999999999999999999", std::nullopt}));

class Logging : public ::testing::Test {
  protected:
    Logging() {
        par.ProgramFolder = folder.Path().string();
        testing::SetDecodedValues(par);
    }

    LogCommandResult Menu(const std::string& answer) {
        return LogMenuCommand(par, [&] {
            ++questions;
            return answer;
        });
    }

    // A decoded status reply from address 12 with the two status bytes given.
    void Reply(std::uint8_t byte9, std::uint8_t byte10, const LocalDateTime& now) {
        par.Link.RxBuffer[0] = 12;
        par.Link.RxBuffer[9] = byte9;
        par.Link.RxBuffer[10] = byte10;
        par.Link.ReplyAddress = 12;
        AfterValidReply(par, now);
    }

    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            LogTick(par, At(14, 3, i % 60));
    }

    int Records() const { return CountLines(folder.Read("4711.txt")); }

    TempFolder folder;
    Par par;
    int questions = 0;
};

TEST_F(Logging, StartWithTenSecondsThenStopWithoutAsking) {
    const LogCommandResult started = Menu("10");
    EXPECT_EQ(started.outcome, LogCommandOutcome::Started);
    ASSERT_TRUE(started.display);
    EXPECT_EQ(started.display->MenuCaption, "stop loggin&G");
    EXPECT_EQ(started.display->LogOnCaption, "Record is activate every 10 seconds...");
    EXPECT_TRUE(started.display->LogOnVisible);
    EXPECT_TRUE(started.display->Timer2Enabled);
    EXPECT_TRUE(par.LoggingOn);
    EXPECT_EQ(par.LogPeriod, 10);

    const LogCommandResult stopped = Menu("99");
    EXPECT_EQ(stopped.outcome, LogCommandOutcome::Stopped);
    EXPECT_EQ(questions, 1) << "no question when switching off";
    ASSERT_TRUE(stopped.display);
    EXPECT_EQ(stopped.display->MenuCaption, "start loggin&G");
    EXPECT_FALSE(stopped.display->LogOnVisible);
    EXPECT_FALSE(stopped.display->Timer2Enabled);
    EXPECT_FALSE(par.LoggingOn);
}

TEST_F(Logging, AnswerWithoutPeriodLeavesLoggingOffSilently) {
    for (const char* answer : {"abc", "", "0"}) {
        const LogCommandResult r = Menu(answer);
        EXPECT_EQ(r.outcome, LogCommandOutcome::StayedOff) << answer;
        EXPECT_FALSE(r.display);
        EXPECT_EQ(r.message, "");
        EXPECT_FALSE(par.LoggingOn);
        EXPECT_EQ(par.LogPeriod, 0);
    }
}

TEST_F(Logging, PeriodOutsideItsRangeIsRefusedWithAMessage) {
    const LogCommandResult r = Menu("400");
    EXPECT_EQ(r.outcome, LogCommandOutcome::PeriodRejected);
    EXPECT_FALSE(r.display);
    EXPECT_EQ(r.message, kLogPeriodRejected);
    EXPECT_FALSE(par.LoggingOn);
    EXPECT_EQ(par.LogPeriod, 0);
}

TEST_F(Logging, TickRecordsTheLastAnsweringDetectorOncePerPeriod) {
    Menu("10");
    Ticks(9);
    EXPECT_EQ(Records(), 0);
    Ticks(1);
    EXPECT_EQ(Records(), 1);
    Ticks(20);
    EXPECT_EQ(Records(), 3);
    EXPECT_FALSE(par.RecordDue[12]);
}

TEST_F(Logging, TickCountSurvivesSwitchingOffAndOn) {
    Menu("5");
    Ticks(3);
    Menu("");  // off
    EXPECT_EQ(par.LogTickCount, 3);
    Menu("2");
    Ticks(1);  // count 4 >= 2
    EXPECT_EQ(Records(), 1);
    EXPECT_EQ(par.LogTickCount, 0);
}

TEST_F(Logging, FirstReplyAndEachChangeOfTheFirstStatusByteRecordAtOnce) {
    Menu("255");
    Reply('N', 'N', At(14, 3, 27));
    EXPECT_EQ(Records(), 1) << "LastStatusByte starts at 0, so the first reply is a change";
    Reply('N', 'N', At(14, 3, 28));
    EXPECT_EQ(Records(), 1);
    Reply('S', 'S', At(14, 3, 29));
    EXPECT_EQ(Records(), 2);
    EXPECT_EQ(par.LastStatusByte[12], 'S');
}

TEST_F(Logging, DigitAsSecondStatusByteLeavesTheRecordDueForTheNextWriter) {
    Menu("3");
    Reply('N', '0', At(14, 3, 27));
    EXPECT_EQ(Records(), 0);
    EXPECT_TRUE(par.RecordDue[12]);
    Ticks(3);
    EXPECT_EQ(Records(), 1);

    Reply('O', '5', At(14, 3, 31));
    Reply('O', 'a', At(14, 3, 32));  // lower-case letters count too
    EXPECT_EQ(Records(), 2);
}

TEST_F(Logging, ChangesSeenWhileOffAreWrittenOnceLoggingIsOn) {
    Reply('N', 'N', At(14, 3, 27));
    EXPECT_EQ(Records(), 0);
    EXPECT_TRUE(par.RecordDue[12]);
    Menu("60");
    Reply('N', 'N', At(14, 3, 28));
    EXPECT_EQ(Records(), 1);
}

TEST_F(Logging, ReplyFromAnAddressWithoutSlotIsNotRecorded) {
    Menu("1");
    par.Link.RxBuffer[9] = 'N';
    par.Link.RxBuffer[10] = 'N';
    par.Link.ReplyAddress = 251;
    AfterValidReply(par, At(14, 3, 27));
    LogTick(par, At(14, 3, 28));
    EXPECT_EQ(Records(), 0);
}

}  // namespace
}  // namespace halvern
