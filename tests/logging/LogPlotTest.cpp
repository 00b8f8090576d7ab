// The plot's reduction: bounded points, the lowest and highest value of every interval kept,
// gaps where no readings were taken.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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
    std::int64_t first = records.front().Seconds, last = first;
    for (const LogRecord& r : records) {
        first = std::min(first, r.Seconds);
        last = std::max(last, r.Seconds);
    }
    LogPlotReducer reducer(first, last, intervals);
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

// Disconnection records and a silence longer than any logging period break the lines; a
// silence of a whole logging period of 255 s does not.
TEST(LogPlotReducer, BreaksTheLinesWhereNoReadingsWereTaken) {
    const std::vector<LogRecord> records{
        Reading(kStart, 1),         Reading(kStart + 255, 2),  // one period: no gap
        Disconnected(kStart + 256), Disconnected(kStart + 257), Reading(kStart + 300, 3),
        Reading(kStart + 301, 4),   Reading(kStart + 1000, 5),  // 699 s of silence
    };
    const LogPlotData d = Reduce(records, 1000);
    using Seg = std::vector<PlotPoint>;
    const std::vector<Seg> expected{Seg{{kStart, 1}, {kStart + 255, 2}},
                                    Seg{{kStart + 300, 3}, {kStart + 301, 4}},
                                    Seg{{kStart + 1000, 5}}};
    EXPECT_EQ(d.Segments[PlotSignal1], expected);
    EXPECT_EQ(d.Gaps,
              (std::vector<PlotGap>{{kStart + 255, kStart + 300}, {kStart + 301, kStart + 1000}}));
    for (int s = 0; s < kPlotSeriesCount; ++s)
        EXPECT_EQ(d.Segments[static_cast<std::size_t>(s)].size(), 3u) << PlotSeriesName(s);
}

// A record of a short status reply has no gas reading: that line breaks there, the others
// go on.
TEST(LogPlotReducer, AValueAReplyDidNotCarryBreaksOnlyItsOwnLine) {
    const double none = std::nan("");
    const LogPlotData d =
        Reduce({Reading(kStart, 1, 5), Reading(kStart + 1, 2, none), Reading(kStart + 2, 3, 7)}, 3);
    using Seg = std::vector<PlotPoint>;
    EXPECT_EQ(d.Segments[PlotSignal1],
              (std::vector<Seg>{Seg{{kStart, 1}, {kStart + 1, 2}, {kStart + 2, 3}}}));
    EXPECT_EQ(d.Segments[PlotGas], (std::vector<Seg>{Seg{{kStart, 5}}, Seg{{kStart + 2, 7}}}));
}

TEST(LogPlotReducer, AFileOfDisconnectionsIsOneGapAndNoLine) {
    const LogPlotData d =
        Reduce({Disconnected(kStart), Disconnected(kStart + 1), Disconnected(kStart + 90)}, 600);
    for (const auto& segments : d.Segments)
        EXPECT_TRUE(segments.empty());
    EXPECT_EQ(d.Gaps, (std::vector<PlotGap>{{kStart, kStart + 90}}));
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

class LogPlotFiles : public testing::LogTest {};

TEST_F(LogPlotFiles, ReadsTheWholeFileAndSaysWhatItSkipped) {
    std::string log;
    for (int m = 0; m < 60; ++m) {
        par.ChannelValues[0] = m == 59 ? 4.99f : 4.12f;  // the last reading, 1 h in
        log += CycleRecordLine(par, testing::At(14, m, 0));
    }
    log += "garbage\r\n" + DisconnectionRecordLine("DDD", testing::At(15, 0, 0));
    Write("4711.txt", log);
    const LogPlotData d = ReadLogPlot(PathOf("4711.txt"));
    ASSERT_TRUE(d.Read.Ok);
    EXPECT_EQ(d.Last - d.First, 3600);
    EXPECT_EQ(Points(d, PlotSignal1).back(), (PlotPoint{d.First + 59 * 60, 4.99}));
    EXPECT_EQ(PlotSummary(d),
              "60 readings from 05/12/26 14:00:00 to 05/12/26 15:00:00, 1 disconnection "
              "record, 1 line skipped (not log records)");

    Write("empty.txt", "");
    EXPECT_EQ(PlotSummary(ReadLogPlot(PathOf("empty.txt"))), "No readings to plot");
    EXPECT_EQ(PlotSummary(ReadLogPlot(PathOf("missing.txt"))).rfind("Cannot read", 0), 0u);
}

}  // namespace
}  // namespace halvern
