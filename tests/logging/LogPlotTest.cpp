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
// lowest and highest Signal 1, in time order; a single-reading spike survives, and a dip.
TEST(LogPlotReducer, KeepsTheLowestAndHighestOfEachIntervalInTimeOrder) {
    std::vector<LogRecord> records;
    for (int i = 0; i < 10000; ++i)
        records.push_back(Reading(kStart + i, 3 + std::sin(i / 37.0), i % 100));
    records[4321].Values[Signal1] = 9.5;
    records[7007].Values[Signal1] = -1;
    const LogPlotData d = Reduce(records, 10);
    ASSERT_EQ(d.Segments[PlotSignal1].size(), 1u);
    std::vector<PlotPoint> expected;
    for (auto from = records.begin(); from != records.end(); from += 1000) {
        const auto [lo, hi] =
            std::minmax_element(from, from + 1000, [](const LogRecord& a, const LogRecord& b) {
                return a.Values[Signal1] < b.Values[Signal1];
            });
        for (const auto* r : {&*std::min(lo, hi), &*std::max(lo, hi)})
            expected.push_back({r->Seconds, r->Values[Signal1]});
    }
    EXPECT_EQ(Points(d, PlotSignal1), expected);
    for (const PlotPoint spike : {PlotPoint{kStart + 4321, 9.5}, PlotPoint{kStart + 7007, -1}})
        EXPECT_NE(std::ranges::find(expected, spike), expected.end());
    // The gas reading has its own extremes: 0 and 99 in every interval.
    for (const PlotPoint& p : Points(d, PlotGas))
        EXPECT_TRUE(p.Value == 0 || p.Value == 99) << p.Value;
}

// Disconnection records and a silence longer than any logging period break the lines where
// the gap is at least an interval long; a silence of a whole logging period of 255 s does
// not. A value a short status reply did not carry breaks only its own line.
TEST(LogPlotReducer, BreaksTheLinesWhereNoReadingsWereTaken) {
    using Seg = std::vector<PlotPoint>;
    const std::int64_t t = kStart;
    const std::vector<LogRecord> mixed{Reading(t, 1, 1),       Reading(t + 255, 2, 2),
                                       Disconnected(t + 256),  Disconnected(t + 257),
                                       Reading(t + 300, 3, 3), Reading(t + 301, 4, 4),
                                       Reading(t + 1000, 5, 5)};  // 699 s of silence
    const struct {
        std::vector<LogRecord> records;
        int intervals;
        std::vector<Seg> signal1, gas;  // gas empty: as Signal 1
        std::vector<PlotGap> gaps;
    } cases[] = {
        {mixed,
         1000,
         {Seg{{t, 1}, {t + 255, 2}}, Seg{{t + 300, 3}, {t + 301, 4}}, Seg{{t + 1000, 5}}},
         {},
         {{t + 255, t + 300}, {t + 301, t + 1000}}},
        // In ten intervals of about 100 s the 45 s gap does not show.
        {mixed,
         10,
         {Seg{{t, 1}, {t + 255, 2}, {t + 300, 3}, {t + 301, 4}}, Seg{{t + 1000, 5}}},
         {},
         {{t + 301, t + 1000}}},
        {{Reading(t, 1, 5), Reading(t + 1, 2, std::nan("")), Reading(t + 2, 3, 7)},
         3,
         {Seg{{t, 1}, {t + 1, 2}, {t + 2, 3}}},
         {Seg{{t, 5}}, Seg{{t + 2, 7}}},
         {}},
        {{Disconnected(t), Disconnected(t + 1), Disconnected(t + 90)}, 600, {}, {}, {{t, t + 90}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intervals);
        const LogPlotData d = Reduce(c.records, c.intervals);
        EXPECT_EQ(d.Segments[PlotSignal1], c.signal1);
        EXPECT_EQ(d.Segments[PlotGas], c.gas.empty() ? c.signal1 : c.gas);
        EXPECT_EQ(d.Gaps, c.gaps);
        for (int s = PlotReference; s < PlotGas; ++s)
            EXPECT_EQ(d.Segments[static_cast<std::size_t>(s)].size(), c.signal1.size()) << s;
    }
    // The PC's clock set back: the line breaks once.
    const LogPlotData back = Reduce({Reading(t, 1), Reading(t + 10, 2), Reading(t + 5, 3)}, 1000);
    EXPECT_EQ(back.Segments[PlotSignal1].size(), 2u);
}

}  // namespace
}  // namespace halvern
