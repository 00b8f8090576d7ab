// Polling a list of detectors on virtual time: the round's cost against its bytes on the wire,
// detectors that fall silent, answer oddly or come back, what is exported of each, and the
// records written for each.

#include "site/BusPoller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "site/Exports.h"
#include "site/OverviewComm.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

// What one answered poll costs at the least: the 9-byte query, the detector's 5 ms, its
// 34-byte reply; the 4 ms turnaround is the program's own before the line is handed over.
constexpr Micros kAnsweredPollUs = WireTimeUs(9) + 5'000 + WireTimeUs(34);
constexpr Micros kTurnaroundUs = 4'000;

// Each detector's status has its own code's description, or none: never the description of
// the detector polled before it.
TEST(BusPoller, ARoundCostsLittleMoreThanItsBytesOnTheWireAndDescribesEachDetectorByItsOwn) {
    Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880}}));
    b.bus().Find(7)->SetStatusBytes({'Z', 'Z', 'Z', 5});
    BusPoller poller(b.link, {1, 7, 12});
    poller.Round();  // the first round starts at the first query
    poller.Round();
    const Micros round = poller.Bus().lastRoundUs;
    EXPECT_GE(round, 3 * (kAnsweredPollUs - 100));  // less the bytes' rounding to whole us
    EXPECT_LE(round, 3 * (kAnsweredPollUs + kTurnaroundUs) * 11 / 10);
    EXPECT_EQ(poller.Bus().rounds, 2u);
    EXPECT_EQ(OverviewRow(poller.Detectors()[1])[3], "ZZZ5");
    EXPECT_EQ(OverviewRow(poller.Detectors()[0])[3], "NNN0 Normal");
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The value of the first sample whose line starts with `start`; empty when there is none.
std::string Sample(const std::string& metrics, const std::string& start) {
    const auto at = metrics.find("\n" + start);
    if (at == std::string::npos)
        return {};
    const auto end = metrics.find('\n', at + 1);
    const std::string line = metrics.substr(at + 1, end - at - 1);
    return line.substr(line.rfind(' ') + 1);
}

// The addresses not polled are asked in turn, round again past the last; a round asks enough
// of them for a pass to take about two minutes of rounds, at least one, at most all.
TEST(BusSearch, AsksTheAddressesNotPolledInTurnAndRoundAgain) {
    const struct {
        std::vector<int> polled;
        std::vector<int> asked;  // the first six
        const char* text;        // after them
    } cases[] = {
        {{2, 6}, {1, 3, 4, 5, 1, 3}, "searching the bus again: address 4 of 6"},
        {{2}, {1, 3, 4, 5, 6, 1}, "searching the bus again: address 2 of 6"},
        {{}, {1, 2, 3, 4, 5}, "searching the bus: address 6 of 6"},
    };
    for (const auto& c : cases) {
        BusSearch search(1, 6);
        const auto polled = [&](std::uint8_t a) {
            return std::find(c.polled.begin(), c.polled.end(), a) != c.polled.end();
        };
        std::vector<int> asked;
        for (std::size_t i = 0; i < c.asked.size(); ++i) {
            asked.push_back(*search.Next(polled));
            search.Asked(static_cast<std::uint8_t>(asked.back()));
        }
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(search.Text(), c.text);
    }
    EXPECT_FALSE(BusSearch(3, 4).Next([](std::uint8_t) { return true; }));
    // (round, addresses not polled) -> asked after the round: 0.15 s x 244 / 120 s is 0.3,
    // 1.7 s x 215 / 120 s is 3.05.
    const struct {
        Micros roundUs;
        int unpolled, perRound;
    } rounds[] = {{0, 240, 1},         {150'000, 244, 1},     {1'700'000, 215, 4},
                  {60'000'000, 10, 5}, {600'000'000, 10, 10}, {1'000'000, 0, 0}};
    for (const auto& r : rounds)
        EXPECT_EQ(BusSearch::PerRound(r.roundUs, r.unpolled), r.perRound) << r.roundUs;
}

// A detector not in the list is found by the search between rounds and joins them; the rounds
// keep their pace, and the searches between two rounds cost their queries and short waits.
TEST(BusPoller, TheSearchFindsADetectorNotPolledAndKeepsTheRoundsPace) {
    Bench b(BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880}}));
    BusPoller poller(b.link, {1, 7});
    std::vector<int> found;
    poller.Search(BusSearch{}, [&](const PolledDetector& d) { found.push_back(d.address); });
    // A round of two costs about 0.1 s: one address between rounds, 2, 3, 4, 5, 6, 8, ... 12
    // after the tenth.
    for (int round = 1; round <= 10; ++round)
        poller.Round();
    EXPECT_TRUE(found.empty());
    poller.Round();
    EXPECT_EQ(found, std::vector<int>{12});
    poller.Round();  // after 13 was asked
    ASSERT_EQ(poller.Detectors().size(), 3u);
    EXPECT_EQ(poller.Detectors()[2].polls, 3u);  // its answer to the search, and two rounds
    EXPECT_LE(poller.Bus().lastRoundUs, 3 * (kAnsweredPollUs + kTurnaroundUs) * 11 / 10);
    // A silent address: its query, the scan's 80 ms, the turnaround.
    EXPECT_GE(poller.Bus().lastSearchUs, WireTimeUs(9) + 80'000);
    EXPECT_LE(poller.Bus().lastSearchUs, WireTimeUs(9) + 80'000 + kTurnaroundUs + 1'000);
    const std::string metrics = MetricsText(poller.Detectors(), poller.Bus());
    EXPECT_EQ(Sample(metrics, "halvern_bus_search_next_address"), "14") << metrics;
    EXPECT_EQ(Sample(metrics, "halvern_bus_search_queries_total"), "11");
}

struct OddCase {
    const char* fault;  // a fault name, or "marked 22": a 22-byte reply with the length marker
    bool lostAfterFive;
};

// Whichever way its polls fail, a detector is lost after five in a row and its readings go
// from the exports; a pause inside a reply still gives a whole one.
TEST(BusPoller, DetectorsThatDoNotAnswerWellAreRetriedEachRoundAndLostAfterFive) {
    const OddCase cases[] = {
        {"silent", true}, {"bad CRC", true},   {"wrong address", true}, {"truncated", true},
        {"late", true},   {"exception", true}, {"marked 22", true},     {"split", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Bench b(BusOf({{1, 24, 4711}, {9, 25, 900}}));
        BusPoller poller(b.link, {1, 9});
        poller.Round();  // 9 answers once: its reading is exported
        const std::string up = R"(halvern_detector_up{address="9",serial="900",model=)";
        EXPECT_EQ(Sample(MetricsText(poller.Detectors(), poller.Bus()), up), "1");
        if (std::string(c.fault) == "marked 22")
            b.bus().Find(9)->SetStatusReplyShape(22, true);
        else
            b.bus().InjectFault(9, c.fault);
        for (int round = 1; round <= 4; ++round)
            poller.Round();
        const auto& odd = poller.Detectors()[1];
        EXPECT_FALSE(odd.lost);
        EXPECT_EQ(odd.polls, 5u);
        poller.Round();
        EXPECT_EQ(odd.lost, c.lostAfterFive);
        EXPECT_EQ(odd.polls, 6u);
        EXPECT_EQ(odd.failures, c.lostAfterFive ? 5u : 0u);
        // Its neighbour never suffers from it.
        EXPECT_EQ(poller.Detectors()[0].failures, 0u);
        EXPECT_EQ(poller.Detectors()[0].polls, 6u);
        const std::string metrics = MetricsText(poller.Detectors(), poller.Bus());
        const std::string json = DetectorsJson(poller.Detectors());
        EXPECT_EQ(Sample(metrics, up), c.lostAfterFive ? "0" : "1") << metrics;
        EXPECT_EQ(Has(metrics, R"(gas_reading{address="9")"), !c.lostAfterFive);
        EXPECT_EQ(Has(json, R"("nqratio2":null,"gas":null,"link":"Bad","lost":true)"),
                  c.lostAfterFive)
            << json;
        if (std::string(c.fault) != "silent")
            continue;
        // Answering again, it is back with its reading at once.
        b.bus().ClearFaults(9);
        poller.Round();
        ASSERT_NE(odd.Current(), nullptr);
        EXPECT_EQ(odd.Current()->SerialNumber, 900);
        EXPECT_EQ(OverviewRow(odd)[5], "Good");
    }
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
    EXPECT_EQ(b.Lines("12.txt"), 1);  // lost at the fifth
    poller.Round();
    EXPECT_EQ(b.Lines("12.txt"), 1);  // not one a round after that
    poller.LogTick();
    poller.LogTick();
    poller.Round();
    EXPECT_EQ(b.Lines("12.txt"), 2);  // but one a logging period while it stays away
    EXPECT_FALSE(std::filesystem::exists(b.par.ProgramFolder + "/880.txt"));
}

}  // namespace
}  // namespace halvern::test
