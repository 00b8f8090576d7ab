#pragma once
// The data of a log plot: the readings of a whole log file against time, reduced to a bounded
// number of points per series. The time range is cut into equal intervals, and each interval
// keeps the lowest and the highest value of each series, so a one-record spike still shows.
// Disconnection records, and stretches without records longer than the longest logging
// period, are gaps: the lines break there, where the gap is at least an interval long (a
// shorter one does not show at the plot's scale).

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "logging/LogReader.h"

namespace halvern {

enum PlotSeries { PlotSignal1, PlotReference, PlotSignal2, PlotRatio1, PlotRatio2, PlotGas };
constexpr int kPlotSeriesCount = 6;

// "Signal 1", "Reference", "Signal 2", "Ratio 1", "Ratio 2", "Gas reading"
const char* PlotSeriesName(int series);
double PlotValue(const LogRecord& record, int series);

// Intervals of a plot: two points each at most, which is still finer than a screen shows.
constexpr int kPlotIntervals = 600;
// Records are written at least once per logging period (at most 255 s) while a detector
// answers and logging is on; a longer silence means no record was taken.
constexpr std::int64_t kPlotSilence = 300;

// The stretch of time [from, to) whose records fall into the same interval as those at
// `seconds`, in a plot of `first` to `last` cut into `intervals`.
std::pair<std::int64_t, std::int64_t> PlotIntervalOf(std::int64_t first, std::int64_t last,
                                                     int intervals, std::int64_t seconds);

struct PlotPoint {
    std::int64_t Seconds = 0;  // as LogRecord::Seconds
    double Value = 0;
    bool operator==(const PlotPoint&) const = default;
};

using PlotSegment = std::vector<PlotPoint>;

// A stretch of time without readings: from the last point before it to the first after it
// (or to the disconnection records themselves where the file starts or ends with them).
struct PlotGap {
    std::int64_t From = 0, To = 0;
    bool operator==(const PlotGap&) const = default;
};

struct LogPlotData {
    // Per series, its unbroken stretches in time order. The series break at the same gaps.
    std::array<std::vector<PlotSegment>, kPlotSeriesCount> Segments;
    std::vector<PlotGap> Gaps;
    std::int64_t First = 0, Last = 0;  // time of the first and the last record
    LogReadResult Read;                // the file's counts, or why it could not be read
    // Every record's time is at or after the one before it in the file: a stretch of time is
    // a stretch of bytes.
    bool InOrder = false;
};

// The reduction, fed record by record in file order once the time range of the file is known.
// Memory is fixed by the number of intervals, whatever the number of records.
class LogPlotReducer {
  public:
    LogPlotReducer(std::int64_t first, std::int64_t last, int intervals = kPlotIntervals);
    void Add(const LogRecord& record);
    // The records just outside the range, for a plot of a stretch of the file: its lines and
    // gaps run on past its ends as they would in a plot of the whole file. The one before is
    // given before any Add, the one after after the last.
    void AddBefore(const LogRecord& record);
    void AddAfter(const LogRecord& record);
    // Takes in what a reducer of the same range was fed from the part of the file that follows
    // this one's: the outcome is as if this one had been fed those records after its own.
    void Merge(const LogPlotReducer& next);
    // The segments and gaps; Read, First and Last are the caller's.
    LogPlotData Finish() const;

  private:
    struct Extremes {
        bool Any = false;  // a record of the side gave this series a value
        PlotPoint Min, Max;
    };
    // The records of an interval before its first gap, or after it.
    struct Side {
        bool Any = false;
        std::int64_t From = 0, To = 0;  // first and last record time
        std::array<Extremes, kPlotSeriesCount> Series{};
        void Add(const LogRecord& record);
        void Merge(const Side& later);
    };
    struct Interval {
        Side Before, After;
        bool Gap = false;
        std::int64_t GapFrom = 0, GapTo = 0;  // the earliest and latest time seen in the gap
        void MarkGap(std::int64_t at);
        void Merge(const Interval& later);
    };

    Interval& At(std::int64_t seconds);
    void AddTo(Interval& interval, const LogRecord& record);

    std::int64_t first_;
    std::int64_t span_;
    std::vector<Interval> intervals_;
    Interval before_, after_;  // outside the range
    bool havePrevious_ = false;
    std::int64_t previous_ = 0;    // time of the last cycle record
    std::int64_t firstCycle_ = 0;  // ... and of the first (when there is a previous)
};

// What the plot shows, in a line: "1200 readings from 05/12/26 14:00:27 to 05/12/26 15:00:00,
// 3 disconnection records, 2 lines skipped (not log records)".
std::string PlotSummary(const LogPlotData& data);

// The plot of the file as it is when the reading starts: its records reduced in file order
// over the time range of them all. The file is read in `parts` pieces side by side (0: as
// many as its size and the machine's cores make worth it), once when its first and last
// records span that range (a log written in time order), else twice. A reading stopped
// through `control` gives Read.Cancelled and nothing to plot.
LogPlotData ReadLogPlot(const std::string& path, int intervals = kPlotIntervals,
                        LogReadControl* control = nullptr, int parts = 0);

// The plot of the stretch of time from `from` to `to` (First and Last), for a plot zoomed in:
// the records of that stretch reduced to `intervals`, and the records just outside it. A
// file whose records are in time order (`inOrder`, as its whole plot found) is read only
// around that stretch, found by halving; any other is read whole.
LogPlotData ReadLogPlotSpan(const std::string& path, std::int64_t from, std::int64_t to,
                            bool inOrder, int intervals = kPlotIntervals,
                            LogReadControl* control = nullptr, int parts = 0);

}  // namespace halvern
