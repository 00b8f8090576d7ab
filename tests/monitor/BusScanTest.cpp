// The bus scan on virtual time against a bus with detectors that answer well, late, too much,
// wrongly or not at all.

#include "monitor/BusScan.h"

#include <gtest/gtest.h>

#include "support/Bench.h"

namespace halvern::test {
namespace {

sim::Bus ScanBus() {
    return BusOf({{1, 24, 4711},
                  {7, 36, 1207},
                  {12, 48, 880, "silent"},
                  {20, 24, 2000, "late"},
                  {30, 25, 3000, "flood"},
                  {40, 24, 4000, "exception"},
                  {247, 49, 890, "split"}});
}

TEST(BusScan, ListsEveryDetectorThatAnswersAndTheBrokenRepliesAsSuch) {
    Bench b(ScanBus());
    b.bus().Find(7)->SetStatus("NNN", 5);  // a code without a description, after one with
    b.par.Main.DetNum = "5";
    BusScan scan(b.link);
    EXPECT_EQ(scan.TimeLeftUs(), 247 * (WireTimeUs(9) + 80'000));
    while (scan.Step()) {
    }
    std::vector<std::string> lines;
    for (const auto& hit : scan.Hits())
        lines.push_back(BusScan::Describe(hit));
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "1  Veridan Xenon 621-1  4711  NNN0 Normal", "7  Veridan LAMP 411  1207  NNN5",
                  "20  answered, reply not valid", "30  answered, reply not valid",
                  "40  answered, reply not valid", "247  Talvek 890  890  NNN0 Normal"}));
    EXPECT_EQ(scan.Reached(), 247);
    EXPECT_EQ(scan.TimeLeftUs(), 0);
    EXPECT_EQ(b.par.Main.DetNum, "5");  // the main window still serves its detector
    // Silent addresses cost their query's wire time and the wait; the whole scan stays short.
    EXPECT_LT(b.plat.NowUs(), 247 * (WireTimeUs(9) + 80'000) + 7 * 400'000);
}

TEST(BusScan, ARangeAndAStopResumeWhereTheyLeftOff) {
    Bench b(ScanBus());
    BusScan scan(b.link, 5, 8, 50);
    bool stop = false;
    b.At(20'000, [&] { stop = true; });
    EXPECT_FALSE(scan.Step([&] { return stop; }));
    EXPECT_EQ(scan.NextAddress(), 5);  // taken again
    while (scan.Step()) {
    }
    ASSERT_EQ(scan.Hits().size(), 1u);
    EXPECT_EQ(scan.Hits()[0].serial, 1207);
    EXPECT_TRUE(BusScan(b.link, 9, 8).Done());
}

TEST(BusScan, TheTimeOutRunsFromTheEndOfTheQuery) {
    // The first byte comes 75 ms after the query's end, 84 ms after it was handed over.
    Bench b(OneDetector(3));
    b.bus().SetLatencyUs(75'000);
    BusScan scan(b.link, 3, 3, 80);
    scan.Step();
    EXPECT_EQ(scan.Hits().size(), 1u);
    BusScan tight(b.link, 3, 3, 70);
    tight.Step();
    EXPECT_TRUE(tight.Hits().empty());
}

TEST(BusScan, AReplyTooLateForItsAddressIsNotTheNextOnesDetector) {
    Bench b(OneDetector(5));
    b.bus().SetLatencyUs(100'000);  // lands in the window of address 6
    BusScan scan(b.link, 5, 6);
    while (scan.Step()) {
    }
    ASSERT_EQ(scan.Hits().size(), 1u);
    EXPECT_EQ(BusScan::Describe(scan.Hits()[0]), "6  answered, reply not valid");
}

}  // namespace
}  // namespace halvern::test
