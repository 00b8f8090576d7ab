// Polling a list of detectors on virtual time: the round's cost against its bytes on the wire,
// detectors that fall silent, answer oddly or come back, and the records written for each.

#include "monitor/BusPoller.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Bench.h"

namespace halvern::test {
namespace {

// What one answered poll costs at the least: the 9-byte query, the detector's 5 ms, its
// 34-byte reply; the 4 ms turnaround is the program's own before the line is handed over.
constexpr Micros kAnsweredPollUs = WireTimeUs(9) + 5'000 + WireTimeUs(34);
constexpr Micros kTurnaroundUs = 4'000;

struct LengthCase {
    std::vector<std::uint8_t> head;
    std::size_t length;
};

TEST(ReplyLength, IsToldByTheFirstBytes) {
    const LengthCase cases[] = {
        {{7}, 0},               // the function is not in yet
        {{7, 3}, 0},            // nor the count
        {{7, 3, 8}, 13},        // register read: 3 + 8 data + CRC
        {{7, 200, 29, 0}, 34},  // a whole status reply
        {{7, 200, 4}, 9},       // the shortest status reply
        {{7, 0x83, 2}, 5},      // exception
        {{7, 0x90}, 5},         // exception to a multiple write
        {{7, 6}, 8},            // echo of a single write
        {{7, 16, 0, 1}, 8},     // echo of a multiple write
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpectedReplyLength(c.head), c.length) << int(c.head.size());
}

TEST(BusPoller, ARoundCostsLittleMoreThanItsBytesOnTheWire) {
    Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880}}));
    BusPoller poller(b.link, {1, 7, 12});
    poller.Round();  // the first round starts at the first query
    poller.Round();
    const Micros round = poller.Bus().lastRoundUs;
    EXPECT_GE(round, 3 * (kAnsweredPollUs - 100));  // less the bytes' rounding to whole us
    EXPECT_LE(round, 3 * (kAnsweredPollUs + kTurnaroundUs) * 11 / 10);
    EXPECT_EQ(poller.Bus().rounds, 2u);
}

struct OddCase {
    const char* fault;
    bool lostAfterFive;
};

TEST(BusPoller, DetectorsThatDoNotAnswerWellAreRetriedEachRoundAndLostAfterFive) {
    const OddCase cases[] = {
        {"silent", true}, {"bad CRC", true},    {"wrong address", true}, {"truncated", true},
        {"late", true},   {"exception", false}, {"split", false},  // a pause inside the reply:
                                                                   // still a whole reply
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Bench b(BusOf({{1, 24, 4711}, {9, 25, 900, c.fault}}));
        BusPoller poller(b.link, {1, 9});
        for (int round = 1; round <= 4; ++round)
            poller.Round();
        const auto& odd = poller.Detectors()[1];
        EXPECT_FALSE(odd.lost);
        EXPECT_EQ(odd.polls, 4u);
        poller.Round();
        EXPECT_EQ(odd.lost, c.lostAfterFive);
        EXPECT_EQ(odd.polls, 5u);
        EXPECT_EQ(odd.failures, std::string(c.fault) == "split" ? 0u : 5u);
        // Its neighbour never suffers from it.
        EXPECT_EQ(poller.Detectors()[0].failures, 0u);
        EXPECT_EQ(poller.Detectors()[0].polls, 5u);
    }
}

TEST(BusPoller, ALostDetectorThatAnswersAgainIsBackWithItsReading) {
    Bench b(BusOf({{1, 24, 4711}, {12, 48, 880, "silent"}}));
    BusPoller poller(b.link, {1, 12});
    for (int round = 0; round < 6; ++round)
        poller.Round();
    EXPECT_TRUE(poller.Detectors()[1].lost);
    EXPECT_EQ(poller.Detectors()[1].Shown().Com, "Bad");
    // The silent poll costs the whole first-byte window of 0.6 s.
    EXPECT_GT(poller.Bus().lastRoundUs, 600'000 + WireTimeUs(34));
    b.bus().ClearFaults(12);
    poller.Round();
    const auto& back = poller.Detectors()[1];
    EXPECT_FALSE(back.lost);
    EXPECT_EQ(back.failedInRow, 0);
    EXPECT_EQ(back.panel.Flash, "Talvek 880");
    EXPECT_EQ(back.Shown().Com, "Good");
}

TEST(BusPoller, WritesEachDetectorsCycleAndDisconnectionRecords) {
    Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880, "silent"}}));
    BusPoller poller(b.link, {1, 7, 12}, [&] { return b.clockTime; });
    poller.StartLogging(b.par.ProgramFolder, 2);
    // The first reply changes the status byte, and its second character is a letter: a
    // record at once, as on the main window.
    poller.Round();
    EXPECT_EQ(b.Lines("4711.txt"), 1);
    poller.LogTick();  // one tick of a two-second period: nothing due yet
    poller.Round();
    EXPECT_EQ(b.Lines("4711.txt"), 1);
    poller.LogTick();
    poller.Round();
    EXPECT_EQ(b.Lines("4711.txt"), 2);
    EXPECT_EQ(b.Lines("1207.txt"), 2);
    EXPECT_EQ(b.Lines("12.txt"), 0);  // three failed polls: not lost yet
    poller.Round();
    poller.Round();
    EXPECT_GE(b.Lines("12.txt"), 1);  // lost at the fifth
    EXPECT_FALSE(std::filesystem::exists(b.par.ProgramFolder + "/880.txt"));
}

}  // namespace
}  // namespace halvern::test
