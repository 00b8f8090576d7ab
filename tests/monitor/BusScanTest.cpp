// The bus scan on virtual time against a bus with detectors that answer well, slowly, too
// much, wrongly or not at all.

#include "monitor/BusScan.h"

#include <gtest/gtest.h>

#include <set>

#include "support/Bench.h"

namespace halvern::test {
namespace {

constexpr Micros kQueryWireUs = WireTimeUs(9);
constexpr Micros kAllShort = 247 * (kQueryWireUs + 80'000);  // every address with its short wait

// Runs the scan to its end; the lines it lists.
std::vector<std::string> Lines(BusScan& scan) {
    while (scan.Step()) {
    }
    std::vector<std::string> lines;
    for (const auto& hit : scan.Hits())
        lines.push_back(BusScan::Describe(hit));
    return lines;
}

TEST(BusScan, ListsEveryDetectorThatAnswersAndTheBrokenRepliesAsSuch) {
    // clang-format off
    Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880, "silent"}, {20, 24, 2000, "late"},
                   {30, 25, 3000, "flood"}, {40, 24, 4000, "exception"}, {247, 49, 890, "split"}}));
    // clang-format on
    b.bus().Find(7)->SetStatus("NNN", 5);  // a code without a description, after one with
    b.par.Main.DetNum = "5";
    BusScan scan(b.link);
    EXPECT_EQ(scan.TimeLeftUs(), kAllShort);
    EXPECT_EQ(Lines(scan),
              (std::vector<std::string>{
                  "1  Veridan Xenon 621-1  4711  NNN0 Normal", "7  Veridan LAMP 411  1207  NNN5",
                  "20  answered, reply not valid", "30  answered, reply not valid",
                  "40  answered, reply not valid", "247  Talvek 890  890  NNN0 Normal"}));
    EXPECT_EQ(scan.Reached(), 247);
    EXPECT_EQ(scan.TimeLeftUs(), 0);
    EXPECT_EQ(b.par.Main.DetNum, "5");  // the main window still serves its detector
    // Silent addresses cost their query's wire time and the short wait; each of the three
    // broken answers at most the addresses asked within a reply window before it, asked again
    // with the full window.
    EXPECT_LT(b.plat.NowUs(), kAllShort + 3 * 10 * 750'000);
}

TEST(BusScan, ARangeAndAStopResumeWhereTheyLeftOff) {
    Bench b(BusOf({{7, 36, 1207}}));
    BusScan scan(b.link, 5, 8, 50);
    EXPECT_FALSE(scan.Step([&] { return b.plat.NowUs() >= 20'000; }));
    EXPECT_EQ(scan.NextAddress(), 5);  // taken again
    EXPECT_EQ(Lines(scan), std::vector<std::string>{"7  Veridan LAMP 411  1207  NNN0 Normal"});
    EXPECT_TRUE(BusScan(b.link, 9, 8).Done());
}

// Detectors that begin their answer some milliseconds after the query, among silent
// addresses: the program's reply window is 0.6 s from the query's hand-over, so those within
// it are listed and the others are silent, no address is listed for another's answer, and the
// slow ones cost their full-window asks, not a full window at every address.
// Behind a network gateway that delays the bytes each way, the window still counts on the
// line: the program adds its network allowance (50 ms) to every wait.
struct Timing {
    const char* name;
    std::vector<std::pair<std::uint8_t, int>> latencyMs;  // address, latency (and serial)
    Micros limitUs;
    Micros gatewayEachWayUs = -1;  // none: a serial line
};

class ReplyWindow : public ::testing::TestWithParam<Timing> {};

TEST_P(ReplyWindow, ListsThoseThatBeginTheirAnswerWithinItAndNothingElse) {
    sim::Bus bus;
    std::multiset<std::string> expected;  // in any order, but each once
    for (const auto& [address, ms] : GetParam().latencyMs) {
        bus.Add({address, 24, 0, static_cast<std::uint16_t>(ms), {}, "", "", 0});
        ASSERT_TRUE(bus.SetDetectorLatencyUs(address, ms * 1000));
        if (ms < 600)
            expected.insert(std::to_string(address) + "  Veridan Xenon 621-1  " +
                            std::to_string(ms) + "  NNN0 Normal");
    }
    Bench b(std::move(bus));
    if (GetParam().gatewayEachWayUs >= 0)
        b.port.ActAsGateway(GetParam().gatewayEachWayUs);
    BusScan scan(b.link);
    const auto lines = Lines(scan);
    EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
    EXPECT_LT(b.plat.NowUs(), GetParam().limitUs);
}

// Every address asked with its short wait, and a full window for each slow one.
constexpr Micros kFourSlow = kAllShort + 20 * 600'000;
// The same behind a gateway: each wait 50 ms longer.
constexpr Micros kFourSlowBehindAGateway = 247 * (kQueryWireUs + 130'000) + 25 * 650'000;

INSTANTIATE_TEST_SUITE_P(
    Buses, ReplyWindow,
    ::testing::Values(
        Timing{"Adjacent", {{10, 5}, {11, 120}, {12, 400}, {13, 700}}, kFourSlow},
        Timing{"AtTheEnd", {{1, 5}, {245, 120}, {246, 400}, {247, 700}}, kFourSlow},
        // 560 ms reaches the PC 610 ms after the query through 20 ms each way; 590 ms (640) still
        // fits the allowance.
        Timing{"BehindAGateway",
               {{10, 5}, {11, 120}, {12, 560}, {13, 590}, {14, 700}},
               kFourSlowBehindAGateway,
               20'000},
        // A slow bus costs little more than its three answers (a fast one: ScanWindowTest).
        Timing{"AllAfter120Ms",
               {{1, 120}, {7, 120}, {12, 120}},
               244 * (kQueryWireUs + 80'000) + 3 * (kQueryWireUs + 120'000) + 6'000'000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace halvern::test
