// The polling cycle against simulated detectors on virtual time.

#include <gtest/gtest.h>

#include <map>

#include "link/LinkFiles.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

using sim::Bus;
using sim::DetectorConfig;

constexpr Micros kQueryWire = WireTimeUs(9);
constexpr Micros kLatency = sim::kDefaultLatencyUs;
// One answered poll: the query on the wire, the detector's latency, the first reply byte,
// then the 150 ms collection window.
constexpr Micros kAnsweredPoll = kQueryWire + kLatency + ByteTimeUs() + 150'000;

TEST(Polling, FirstQueryGoesToAddressOneAndPollsFollowWithoutPause) {
    Bench b(OneDetector(1));
    b.Run(2'000'000);
    const auto q = b.StatusQueries();
    ASSERT_GE(q.size(), 8u);
    EXPECT_EQ(q[0], std::make_pair(Micros{0}, 1));  // the activation's extra query
    EXPECT_EQ(q[1].first, 0);                       // and the cycle's first, at once
    // The two replies arrive together and fail the check: one lost poll, then the rhythm.
    for (std::size_t i = 3; i < q.size(); ++i) {
        EXPECT_EQ(q[i].second, 1);
        EXPECT_EQ(q[i].first - q[i - 1].first, kAnsweredPoll) << "poll " << i;
    }
    EXPECT_EQ(b.par.Main.Com + " " + b.par.Main.Status + " " + b.par.Main.SeNum, "Good NNN0 4711");
    EXPECT_EQ(b.par.Main.Shape1, Lamp::Green);
}

TEST(Polling, ReplyFromAnotherAddressTakesOver) {
    Bench b(OneDetector(5));
    ASSERT_TRUE(b.bus().InjectFault(5, "wrong address"));  // answers as 6
    b.par.Main.DetNum = "5";
    b.par.CurrentAddress = 5;
    b.Run(1'000'000);
    EXPECT_EQ(b.par.Main.DetNum, "6");
    EXPECT_EQ(b.StatusQueries().back().second, 6);
}

// Wherever in a poll the choice falls, the old detector's reply must not bring its address back.
TEST(Polling, AnAddressChosenFromTheListIsPolledNextWhileTheServedDetectorAnswers) {
    constexpr Micros kSpan = 2 * kAnsweredPoll;
    for (Micros t = kAnsweredPoll; t < kAnsweredPoll + kSpan; t += kSpan / 100) {
        Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}}));
        std::size_t before = 0;
        b.At(t, [&] {
            before = b.StatusQueries().size();
            b.comm->SelectAddress("7");
        });
        b.Run(t + 2'000'000);
        const auto q = b.StatusQueries();
        ASSERT_GT(q.size(), before) << "chosen at " << t;
        EXPECT_EQ(q[before].second, 7) << "chosen at " << t;
        EXPECT_EQ(q.back().second, 7) << "chosen at " << t;
        EXPECT_EQ(b.par.Main.DetNum, "7") << "chosen at " << t;
        EXPECT_EQ(b.par.Main.SeNum, "1207") << "chosen at " << t;
    }
}

// The search finds the only detector; a choice meanwhile only changes the label, which the
// next reply puts back; master off polls the detector found.
TEST(Polling, SearchFindsTheOnlyDetectorAndMasterOffPollsIt) {
    Bench b(OneDetector(7, 36, 1207));
    b.At(100'000, [&] { b.comm->cmdMaster(); });
    b.At(1'000'000, [&] { b.comm->SelectAddress("12"); });
    b.Run(1'500'000);
    EXPECT_EQ(b.par.Main.MasterCaption, "masteR is ON");
    EXPECT_EQ(b.par.Main.DetNum, "7");
    EXPECT_EQ(b.StatusQueries().back().second, 0);
    b.At(1'600'000, [&] { b.comm->cmdMaster(); });
    b.Continue(3'000'000);
    EXPECT_EQ(b.par.Main.MasterCaption, "masteR is OFF");
    EXPECT_FALSE(b.par.SearchMode);
    EXPECT_EQ(b.StatusQueries().back().second, 7);
    EXPECT_EQ(b.par.Main.Com, "Good");
}

TEST(Polling, FifthSilentPollShowsTheDisconnectionAndEachFurtherOneRepeatsIt) {
    Bench b(OneDetector(1));
    std::map<int, std::pair<Panel, int>> seen;  // by fail count: the panel and 1.txt's lines
    b.onChanged = [&] { seen[int(b.par.FailCount[1])] = {b.par.Main, b.Lines("1.txt")}; };
    b.At(1'000'000, [&] {
        EXPECT_EQ(b.par.FailCount[1], 0);  // the start-up collision's failed poll is forgiven
        b.bus().InjectFault(1, "silent");
    });
    b.Run(6'000'000);
    ASSERT_TRUE(seen.count(6));
    const auto& [four, recordsAtFour] = seen.at(4);  // four silent polls change nothing
    EXPECT_EQ(four.Com + four.Status + std::to_string(recordsAtFour), "GoodNNN00");
    const auto& [five, recordsAtFive] = seen.at(5);
    EXPECT_EQ(five.Shape1, Lamp::Red);
    EXPECT_EQ(five.Com + "|" + five.Status + "|" + five.SIL2Des + "|" + five.Flash + "|" +
                  five.SeNum + "|" + five.Gain + "|" + five.DetNum,
              "Bad|DDD|Disconnection||||1");
    EXPECT_EQ(five.ChVal, (std::array<std::string, 5>{"0", "0", "0", "0", "0"}));
    EXPECT_EQ(recordsAtFive, 1);
    EXPECT_EQ(seen.at(6).second, 2);  // one record per further silent poll
}

TEST(Polling, FailCountWrapsAfter4095AndTheDisplayWaitsFourPollsAgain) {
    Bench b(Bus{});
    b.par.FailCount[1] = 4095;
    b.Run(3 * (kFirstByteWindowUs + 1) + 100'000);
    EXPECT_EQ(b.par.FailCount[1], 2);  // 4096 wraps to 0, then 1 and 2
    EXPECT_EQ(b.par.Main.Shape1, Lamp::Unknown);
    EXPECT_EQ(b.par.Main.Com, "");
}

TEST(Polling, FamilyOutsideTheTableShowsGoodWithoutDecoding) {
    Bench b(OneDetector(1, 26));
    b.Run(1'000'000);
    EXPECT_EQ(b.par.Main.Com, "Good");
    EXPECT_EQ(b.par.Main.Shape1, Lamp::Green);
    EXPECT_EQ(b.par.Main.SeNum, "");  // not decoded
    EXPECT_EQ(b.par.Reading.ModelCode, 0);
    EXPECT_GT(b.par.FailCount[1], 0);  // and not counted as an answer
}

// F12 steps the turnaround delay until the detector answers and saves it; with nobody
// answering it gives up after 23 silent polls and saves nothing.
TEST(Polling, F12TuningFindsTheDelayAtWhichTheDetectorAnswersOrGivesUp) {
    for (const bool answering : {true, false}) {
        SCOPED_TRACE(answering);
        Bench b(answering ? OneDetector(1) : Bus{});
        if (answering)
            b.bus().SetMinTurnaroundUs(1, 7'500);
        const Micros start = answering ? 1'000'000 : 0;
        b.At(start, [&] { b.comm->StartTuningKey(); });
        b.At(start + 23 * (kFirstByteWindowUs + 1) - 1000,
             [&] { EXPECT_EQ(b.par.Tune.TuneActive, !answering); });
        b.Run(start + 24 * (kFirstByteWindowUs + 1));
        EXPECT_FALSE(b.par.Tune.TuneActive);
        EXPECT_EQ(b.link.TurnaroundDelay, answering ? 8000 : 5000);
        const std::string file = JoinPath(b.par.ProgramFolder, kTuneFile);
        EXPECT_EQ(FileExists(file), answering);
        if (answering) {
            EXPECT_EQ(ReadFirstValue(file), 8000);
        }
    }
}

}  // namespace
}  // namespace halvern::test
