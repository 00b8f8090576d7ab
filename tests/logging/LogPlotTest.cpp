// The plot's reduction: bounded points, the lowest and highest value of every interval kept,
// gaps where no readings were taken.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "LogTestSupport.h"
#include "logging/LogPlot.h"

namespace halvern {
namespace {

constexpr std::int64_t kStart = 1'800'000'000;  // some time in 2027

LogRecord Reading(std::int64_t seconds, double signal1, double gas = 0) {
    LogRecord r;
    r.Seconds = seconds;
    r.When = FromSeconds(seconds);
    r.Values.fill(1.0);
    r.Values[Signal1] = signal1;
    r.GasValue = gas;
    return r;
}

LogRecord Disconnected(std::int64_t seconds) {
    LogRecord r;
    r.Kind = LogRecordKind::Disconnection;
    r.Seconds = seconds;
    return r;
}

LogPlotData Reduce(const std::vector<LogRecord>& records, int intervals) {
    const auto [first, last] = std::ranges::minmax(records, {}, &LogRecord::Seconds);
    LogPlotReducer reducer(first.Seconds, last.Seconds, intervals);
    for (const LogRecord& r : records)
        reducer.Add(r);
    return reducer.Finish();
}

std::vector<PlotPoint> Points(const LogPlotData& d, int series) {
    std::vector<PlotPoint> all;
    for (const PlotSegment& s : d.Segments[static_cast<std::size_t>(series)])
        all.insert(all.end(), s.begin(), s.end());
    return all;
}

// 10 000 readings a second apart, in 10 intervals of 1000: each interval gives exactly its
// lowest and highest Signal 1, in time order; a single-reading spike survives.
TEST(LogPlotReducer, KeepsTheLowestAndHighestOfEachIntervalInTimeOrder) {
    std::vector<LogRecord> records;
    for (int i = 0; i < 10000; ++i) {
        double v = 3 + std::sin(i / 37.0);
        if (i == 4321)
            v = 9.5;  // a spike
        if (i == 7007)
            v = -1;
        records.push_back(Reading(kStart + i, v, i % 100));
    }
    const LogPlotData d = Reduce(records, 10);
    ASSERT_EQ(d.Segments[PlotSignal1].size(), 1u);
    const std::vector<PlotPoint> points = Points(d, PlotSignal1);
    ASSERT_EQ(points.size(), 20u);
    for (int k = 0; k < 10; ++k) {
        const auto from = records.begin() + k * 1000, to = from + 1000;
        const auto [lo, hi] =
            std::minmax_element(from, to, [](const LogRecord& a, const LogRecord& b) {
                return a.Values[Signal1] < b.Values[Signal1];
            });
        std::vector<PlotPoint> expected{{lo->Seconds, lo->Values[Signal1]},
                                        {hi->Seconds, hi->Values[Signal1]}};
        if (expected[0].Seconds > expected[1].Seconds)
            std::swap(expected[0], expected[1]);
        EXPECT_EQ(std::vector<PlotPoint>(points.begin() + 2 * k, points.begin() + 2 * k + 2),
                  expected)
            << "interval " << k;
    }
    EXPECT_NE(std::find(points.begin(), points.end(), PlotPoint{kStart + 4321, 9.5}), points.end());
    EXPECT_NE(std::find(points.begin(), points.end(), PlotPoint{kStart + 7007, -1}), points.end());
    // The gas reading has its own extremes: 0 and 99 in every interval.
    for (const PlotPoint& p : Points(d, PlotGas))
        EXPECT_TRUE(p.Value == 0 || p.Value == 99) << p.Value;
}

// Disconnection records and a silence longer than any logging period break the lines where
// the gap is at least an interval long; a silence of a whole logging period of 255 s does
// not. A value a short status reply did not carry breaks only its own line.
TEST(LogPlotReducer, BreaksTheLinesWhereNoReadingsWereTaken) {
    using Seg = std::vector<PlotPoint>;
    const double none = std::nan("");
    const std::vector<LogRecord> mixed{
        Reading(kStart, 1, 1),       Reading(kStart + 255, 2, 2),  // one period: no gap
        Disconnected(kStart + 256),  Disconnected(kStart + 257),   Reading(kStart + 300, 3, 3),
        Reading(kStart + 301, 4, 4), Reading(kStart + 1000, 5, 5),  // 699 s of silence
    };
    const struct {
        const char* name;
        std::vector<LogRecord> records;
        int intervals;
        std::vector<Seg> signal1, gas;  // gas empty: as Signal 1
        std::vector<PlotGap> gaps;
    } cases[] = {
        {"in 1000 intervals",
         mixed,
         1000,
         {Seg{{kStart, 1}, {kStart + 255, 2}}, Seg{{kStart + 300, 3}, {kStart + 301, 4}},
          Seg{{kStart + 1000, 5}}},
         {},
         {{kStart + 255, kStart + 300}, {kStart + 301, kStart + 1000}}},
        // In ten intervals of about 100 s the 45 s gap does not show.
        {"in 10 intervals",
         mixed,
         10,
         {Seg{{kStart, 1}, {kStart + 255, 2}, {kStart + 300, 3}, {kStart + 301, 4}},
          Seg{{kStart + 1000, 5}}},
         {},
         {{kStart + 301, kStart + 1000}}},
        {"a gas reading not carried",
         {Reading(kStart, 1, 5), Reading(kStart + 1, 2, none), Reading(kStart + 2, 3, 7)},
         3,
         {Seg{{kStart, 1}, {kStart + 1, 2}, {kStart + 2, 3}}},
         {Seg{{kStart, 5}}, Seg{{kStart + 2, 7}}},
         {}},
        {"only disconnections",
         {Disconnected(kStart), Disconnected(kStart + 1), Disconnected(kStart + 90)},
         600,
         {},
         {},
         {{kStart, kStart + 90}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LogPlotData d = Reduce(c.records, c.intervals);
        EXPECT_EQ(d.Segments[PlotSignal1], c.signal1);
        EXPECT_EQ(d.Segments[PlotGas], c.gas.empty() ? c.signal1 : c.gas);
        EXPECT_EQ(d.Gaps, c.gaps);
        for (int s = PlotReference; s < PlotGas; ++s)
            EXPECT_EQ(d.Segments[static_cast<std::size_t>(s)].size(), c.signal1.size())
                << PlotSeriesName(s);
    }
}

// Readings and disconnections taking turns all day long still give at most a few points per
// interval: the memory of the plot does not grow with the file.
TEST(LogPlotReducer, StaysBoundedWhateverTheFile) {
    std::vector<LogRecord> records;
    for (int i = 0; i < 86400; ++i)
        records.push_back(i % 2 ? Disconnected(kStart + i) : Reading(kStart + i, i % 7));
    const int intervals = 100;
    const LogPlotData d = Reduce(records, intervals);
    EXPECT_LE(Points(d, PlotSignal1).size(), 4u * intervals);
    EXPECT_LE(d.Segments[PlotSignal1].size(), 2u * intervals);
    EXPECT_LE(d.Gaps.size(), 2u * intervals);
}

// The file read in parts side by side, each part reduced by a reducer of its own: merged in
// file order they give what one reducer fed every record gives, wherever a part ends (in a
// gap, before a silence or a clock set back, among equal values).
TEST(LogPlotReducer, PartsMergedGiveWhatOneReducerGives) {
    std::vector<LogRecord> records;
    std::int64_t t = kStart;
    std::uint32_t seed = 2026;
    for (int i = 0; i < 240; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::uint32_t r = (seed >> 16) & 0x7fff;
        t += r % 10 == 0 ? 400 : (r % 17 == 0 ? -50 : 1 + static_cast<std::int64_t>(r % 40));
        if (r % 13 == 0)
            records.push_back(Disconnected(t));
        else
            records.push_back(Reading(t, r % 7, r % 11 == 0 ? std::nan("") : r % 5));
    }
    constexpr int kIntervals = 100;
    const LogPlotData expected = Reduce(records, kIntervals);
    ASSERT_GT(expected.Gaps.size(), 3u);
    const auto [first, last] = std::ranges::minmax(records, {}, &LogRecord::Seconds);
    for (std::size_t cut = 0; cut <= records.size(); ++cut) {
        LogPlotReducer before(first.Seconds, last.Seconds, kIntervals),
            after(first.Seconds, last.Seconds, kIntervals);
        for (std::size_t i = 0; i < records.size(); ++i)
            (i < cut ? before : after).Add(records[i]);
        before.Merge(after);
        const LogPlotData merged = before.Finish();
        ASSERT_EQ(merged.Segments, expected.Segments) << "cut before record " << cut;
        ASSERT_EQ(merged.Gaps, expected.Gaps) << "cut before record " << cut;
    }
}

// Readings a minute apart with broken lines, disconnections and an hour of silence, in lines
// ending every way; maybe with the clock set back, maybe after 70 kB of garbage.
std::string MixedLog(bool setBack, bool garbageFirst) {
    std::string log = garbageFirst ? std::string(70'000, '#') + "\r\n" : "";
    const char* breaks[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 5000; ++i) {
        std::int64_t at = SecondsOf(testing::At(0, 0, 0)) + i * 60;
        if (i > 1500)
            at += 3600;
        if (setBack && i >= 4900)
            at -= 1000 * 60;  // the last record is not the latest
        const std::string line =
            i % 97 == 5 ? testing::DisconnectionAt(FromSeconds(at))
                        : testing::RecordAt(FromSeconds(at), 4 + (i * 7919 % 100) / 100.0);
        log += (i % 211 == 7 ? "broken" : line) + breaks[i % 3];
    }
    return log;
}

// The plot as it is defined: every record of the file reduced in file order over the time
// range of them all. Only the numbers are read again: the texts die with their lines.
LogPlotData Defined(const std::string& path, int intervals) {
    std::vector<LogRecord> records;
    const LogReadResult read =
        ReadLogRecords(path, [&](const LogRecord& r) { records.push_back(r); });
    LogPlotData d = Reduce(records, intervals);
    d.Read = read;
    d.First = std::ranges::min(records, {}, &LogRecord::Seconds).Seconds;
    d.Last = std::ranges::max(records, {}, &LogRecord::Seconds).Seconds;
    return d;
}

using LogPlotFiles = test::UiTest;

// However many parts the file is read in side by side, once or twice, the plot is the one
// defined.
TEST_F(LogPlotFiles, IsTheDefinedOneReadInOnePartOrInMany) {
    for (const auto& [setBack, garbageFirst] :
         {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
        Write("4711.txt", MixedLog(setBack, garbageFirst));
        const LogPlotData expected = Defined(PathOf("4711.txt"), 3000);
        ASSERT_GT(expected.Gaps.size(), 2u);
        for (const int parts : {1, 2, 3, 7}) {
            const LogPlotData d = ReadLogPlot(PathOf("4711.txt"), 3000, nullptr, parts);
            ASSERT_TRUE(d.Read.Ok) << parts;
            const auto why = ::testing::Message() << parts << " parts, clock set back " << setBack
                                                  << ", garbage first " << garbageFirst;
            EXPECT_EQ(d.Segments, expected.Segments) << why;
            EXPECT_EQ(d.Gaps, expected.Gaps) << why;
            EXPECT_EQ(std::tie(d.First, d.Last), std::tie(expected.First, expected.Last)) << why;
            EXPECT_EQ(PlotSummary(d), PlotSummary(expected)) << why;
        }
    }
}

}  // namespace
}  // namespace halvern
