// The bus scan on virtual time against a bus with detectors that answer well, slowly, too
// much, wrongly or not at all.

#include "monitor/BusScan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/Bench.h"

namespace halvern::test {
namespace {

constexpr Micros kQueryWireUs = WireTimeUs(9);
constexpr Micros kFullWindowUs = 600'000;

sim::Bus ScanBus() {
    return BusOf({{1, 24, 4711},
                  {7, 36, 1207},
                  {12, 48, 880, "silent"},
                  {20, 24, 2000, "late"},
                  {30, 25, 3000, "flood"},
                  {40, 24, 4000, "exception"},
                  {247, 49, 890, "split"}});
}

std::vector<std::string> Lines(const BusScan& scan) {
    std::vector<std::string> lines;
    for (const auto& hit : scan.Hits())
        lines.push_back(BusScan::Describe(hit));
    return lines;
}

TEST(BusScan, ListsEveryDetectorThatAnswersAndTheBrokenRepliesAsSuch) {
    Bench b(ScanBus());
    b.bus().Find(7)->SetStatus("NNN", 5);  // a code without a description, after one with
    b.par.Main.DetNum = "5";
    BusScan scan(b.link);
    EXPECT_EQ(scan.TimeLeftUs(), 247 * (kQueryWireUs + 80'000));
    while (scan.Step()) {
    }
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
    EXPECT_LT(b.plat.NowUs(), 247 * (kQueryWireUs + 80'000) + 3 * 10 * 750'000);
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

// Detectors that begin their answer 5, 120, 400 and 700 ms after the query among silent
// addresses: the program's reply window is 0.6 s from the query's hand-over, so the first three
// are listed and the fourth is silent, and no address is listed for another's answer.
struct Layout {
    const char* name;
    std::array<std::uint8_t, 4> addresses;  // of the 5, 120, 400 and 700 ms detectors
};

class SlowDetectors : public ::testing::TestWithParam<Layout> {};

TEST_P(SlowDetectors, ThoseWithinTheReplyWindowAreListedAndNothingElse) {
    const auto& a = GetParam().addresses;
    Bench b(BusOf({{a[0], 24, 5}, {a[1], 36, 120}, {a[2], 48, 400}, {a[3], 32, 700}}));
    constexpr std::array<Micros, 4> kLatencyUs = {5'000, 120'000, 400'000, 700'000};
    for (std::size_t i = 0; i < 4; ++i)
        ASSERT_TRUE(b.bus().SetDetectorLatencyUs(a[i], kLatencyUs[i]));
    BusScan scan(b.link);
    while (scan.Step()) {
    }
    std::vector<std::pair<int, std::string>> listed;
    for (const auto& hit : scan.Hits())
        listed.emplace_back(hit.address, BusScan::Describe(hit));
    std::sort(listed.begin(), listed.end());
    std::vector<std::pair<int, std::string>> expected = {
        {a[0], std::to_string(a[0]) + "  Veridan Xenon 621-1  5  NNN0 Normal"},
        {a[1], std::to_string(a[1]) + "  Veridan LAMP 411  120  NNN0 Normal"},
        {a[2], std::to_string(a[2]) + "  Talvek 880  400  NNN0 Normal"}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
    // The slow ones cost their full-window asks, not a full window at every address.
    EXPECT_LT(b.plat.NowUs(), 247 * (kQueryWireUs + 80'000) + 20 * kFullWindowUs);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SlowDetectors,
                         ::testing::Values(Layout{"Apart", {30, 90, 150, 210}},
                                           Layout{"Adjacent", {10, 11, 12, 13}},
                                           Layout{"SlowestFirst", {23, 22, 21, 20}},
                                           Layout{"AtTheEnd", {1, 245, 246, 247}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BusScan, AFastBusTakesTheShortWaitsAndASlowBusLittleMore) {
    // The default bus: detectors at 1, 7 and 12, answering after 5 ms, then after 120 ms.
    for (const Micros latencyUs : {5'000, 120'000}) {
        Bench b;
        b.bus().SetLatencyUs(latencyUs);
        BusScan scan(b.link);
        while (scan.Step()) {
        }
        EXPECT_EQ(Lines(scan),
                  (std::vector<std::string>{"1  Veridan Xenon 621-2  4711  NNN0 Normal",
                                            "7  Veridan LAMP 411  1207  NNN0 Normal",
                                            "12  Talvek 880  880  NNN0 Normal"}))
            << latencyUs;
        // The floor: 244 silent addresses with their query and short wait, and three answers.
        const Micros floor = 244 * (kQueryWireUs + 80'000) + 3 * (kQueryWireUs + latencyUs);
        EXPECT_LT(b.plat.NowUs(), latencyUs < 100'000 ? 30'000'000 : floor + 6'000'000)
            << latencyUs;
    }
}

}  // namespace
}  // namespace halvern::test
