#include "logging/LogPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/ProgramFile.h"

namespace halvern {

const char* PlotSeriesName(int series) {
    static constexpr const char* kNames[kPlotSeriesCount] = {
        "Signal 1", "Reference", "Signal 2", "Ratio 1", "Ratio 2", "Gas reading"};
    return series >= 0 && series < kPlotSeriesCount ? kNames[series] : "";
}

double PlotValue(const LogRecord& record, int series) {
    switch (series) {
        case PlotSignal1:
            return record.Values[Signal1];
        case PlotReference:
            return record.Values[Reference];
        case PlotSignal2:
            return record.Values[Signal2];
        case PlotRatio1:
            return record.Values[Ratio1];
        case PlotRatio2:
            return record.Values[Ratio2];
        default:
            return record.GasValue;
    }
}

void LogPlotReducer::Side::Add(const LogRecord& record) {
    const std::int64_t t = record.Seconds;
    From = Any ? std::min(From, t) : t;
    To = Any ? std::max(To, t) : t;
    Any = true;
    for (int s = 0; s < kPlotSeriesCount; ++s) {
        const double v = PlotValue(record, s);
        if (std::isnan(v))
            continue;  // not in the detector's reply: no point
        Extremes& e = Series[static_cast<std::size_t>(s)];
        if (!e.Any) {
            e = {true, {t, v}, {t, v}};
            continue;
        }
        if (v < e.Min.Value)
            e.Min = {t, v};
        if (v > e.Max.Value)
            e.Max = {t, v};
    }
}

void LogPlotReducer::Side::Merge(const Side& later) {
    if (!later.Any)
        return;
    From = Any ? std::min(From, later.From) : later.From;
    To = Any ? std::max(To, later.To) : later.To;
    Any = true;
    for (std::size_t s = 0; s < Series.size(); ++s) {
        Extremes& e = Series[s];
        const Extremes& l = later.Series[s];
        if (!l.Any)
            continue;
        if (!e.Any) {
            e = l;
            continue;
        }
        // Ties keep the earlier record, as Add does.
        if (l.Min.Value < e.Min.Value)
            e.Min = l.Min;
        if (l.Max.Value > e.Max.Value)
            e.Max = l.Max;
    }
}

void LogPlotReducer::Interval::Merge(const Interval& later) {
    // Once this interval has a gap, every later record of it comes after the gap.
    if (Gap)
        After.Merge(later.Before);
    else
        Before.Merge(later.Before);
    After.Merge(later.After);
    if (later.Gap) {
        MarkGap(later.GapFrom);
        MarkGap(later.GapTo);
    }
}

void LogPlotReducer::Interval::MarkGap(std::int64_t at) {
    if (!Gap) {
        Gap = true;
        GapFrom = GapTo = at;
        return;
    }
    GapFrom = std::min(GapFrom, at);
    GapTo = std::max(GapTo, at);
}

LogPlotReducer::LogPlotReducer(std::int64_t first, std::int64_t last, int intervals)
    : first_(first),
      span_(std::max<std::int64_t>(1, last - first + 1)),
      intervals_(static_cast<std::size_t>(std::max(1, intervals))) {}

namespace {

// Records appended while the file is read lie past the range found first: clamped.
std::int64_t IntervalIndex(std::int64_t first, std::int64_t span, std::int64_t n,
                           std::int64_t seconds) {
    return std::clamp<std::int64_t>((seconds - first) * n / span, 0, n - 1);
}

}  // namespace

LogPlotReducer::Interval& LogPlotReducer::At(std::int64_t seconds) {
    const auto n = static_cast<std::int64_t>(intervals_.size());
    return intervals_[static_cast<std::size_t>(IntervalIndex(first_, span_, n, seconds))];
}

std::pair<std::int64_t, std::int64_t> PlotIntervalOf(std::int64_t first, std::int64_t last,
                                                     int intervals, std::int64_t seconds) {
    // As the reducer cuts it: interval i holds the seconds s with i <= (s - first) * n / span
    // < i + 1.
    const std::int64_t span = std::max<std::int64_t>(1, last - first + 1);
    const std::int64_t n = std::max(1, intervals);
    const std::int64_t i = IntervalIndex(first, span, n, seconds);
    const auto start = [&](std::int64_t k) { return first + (k * span + n - 1) / n; };
    return {start(i), start(i + 1)};
}

void LogPlotReducer::Add(const LogRecord& record) {
    AddTo(At(record.Seconds), record);
}

void LogPlotReducer::AddBefore(const LogRecord& record) {
    AddTo(before_, record);
}

void LogPlotReducer::AddAfter(const LogRecord& record) {
    AddTo(after_, record);
}

void LogPlotReducer::AddTo(Interval& interval, const LogRecord& record) {
    const std::int64_t t = record.Seconds;
    if (record.Kind == LogRecordKind::Disconnection) {
        interval.MarkGap(t);
        return;
    }
    // A long silence, or the PC's clock set back, is no stretch to draw a line across.
    if (havePrevious_ && (t - previous_ > kPlotSilence || t < previous_))
        interval.MarkGap(t);
    if (!havePrevious_)
        firstCycle_ = t;
    havePrevious_ = true;
    previous_ = t;
    (interval.Gap ? interval.After : interval.Before).Add(record);
}

void LogPlotReducer::Merge(const LogPlotReducer& next) {
    std::size_t silenced = intervals_.size();  // none
    Interval moved;
    if (havePrevious_ && next.havePrevious_) {
        const std::int64_t t = next.firstCycle_;
        if (t - previous_ > kPlotSilence || t < previous_) {
            // The silence between the parts comes before the next part's first reading, which
            // opens a gap: the next part's records of that interval all come after it.
            silenced = static_cast<std::size_t>(&At(t) - intervals_.data());
            moved = next.intervals_[silenced];
            moved.Before.Merge(moved.After);
            moved.After = std::exchange(moved.Before, Side{});
            moved.MarkGap(t);
        }
    }
    for (std::size_t i = 0; i < intervals_.size(); ++i)
        intervals_[i].Merge(i == silenced ? moved : next.intervals_[i]);
    before_.Merge(next.before_);
    after_.Merge(next.after_);
    if (next.havePrevious_) {
        if (!havePrevious_)
            firstCycle_ = next.firstCycle_;
        havePrevious_ = true;
        previous_ = next.previous_;
    }
}

LogPlotData LogPlotReducer::Finish() const {
    LogPlotData data;
    // The next point of a series starts a new segment (after a gap, or a stretch of records
    // without that value).
    std::array<bool, kPlotSeriesCount> breakDue;
    breakDue.fill(true);
    bool gapOpen = false;  // a gap waits for the next points to end it
    PlotGap gap;           // ... from here
    bool anyPoints = false;
    std::int64_t lastPoint = 0;

    // A gap shorter than an interval does not show at the plot's scale (a minute of
    // disconnection in a plot of months): the lines go on across it. This also bounds the
    // lines a window draws.
    const double shortest = static_cast<double>(span_) / static_cast<double>(intervals_.size());
    const auto closeGap = [&](PlotGap g) {
        if (static_cast<double>(g.To - g.From) < shortest)
            return;
        data.Gaps.push_back(g);
        breakDue.fill(true);
    };

    const auto emitSide = [&](const Side& side) {
        if (!side.Any)
            return;
        if (gapOpen) {
            closeGap({anyPoints ? lastPoint : gap.From, std::max(gap.From, side.From)});
            gapOpen = false;
        }
        for (std::size_t s = 0; s < data.Segments.size(); ++s) {
            auto& segments = data.Segments[s];
            const Extremes& e = side.Series[s];
            if (!e.Any) {
                breakDue[s] = true;
                continue;
            }
            if (breakDue[s] || segments.empty())
                segments.emplace_back();
            breakDue[s] = false;
            const bool minFirst = e.Min.Seconds <= e.Max.Seconds;
            segments.back().push_back(minFirst ? e.Min : e.Max);
            if (!(e.Min == e.Max))
                segments.back().push_back(minFirst ? e.Max : e.Min);
        }
        anyPoints = true;
        lastPoint = side.To;
    };

    const auto emitInterval = [&](const Interval& interval) {
        emitSide(interval.Before);
        if (interval.Gap) {
            if (!gapOpen) {
                gapOpen = true;
                gap = {interval.GapFrom, interval.GapTo};
            }
            gap.To = std::max(gap.To, interval.GapTo);
        }
        emitSide(interval.After);
    };
    emitInterval(before_);
    for (const Interval& interval : intervals_)
        emitInterval(interval);
    emitInterval(after_);
    if (gapOpen) {
        const std::int64_t from = anyPoints ? lastPoint : gap.From;
        closeGap({from, std::max(from, gap.To)});
    }
    return data;
}

namespace {

std::string DateTimeText(std::int64_t seconds) {
    const LocalDateTime t = FromSeconds(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %02d:%02d:%02d", t.day, t.month, t.year % 100,
                  t.hour, t.minute, t.second);
    return buf;
}

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string PlotSummary(const LogPlotData& data) {
    const LogReadCounts& c = data.Read.Counts;
    if (!data.Read.Ok)
        return "Cannot read the log file: " + data.Read.Error;
    std::string text;
    if (c.CycleRecords > 0) {
        text = Count(c.CycleRecords, "reading", "readings");
    } else {
        text = "No readings to plot";
    }
    if (c.Records() > 0)
        text += " from " + DateTimeText(data.First) + " to " + DateTimeText(data.Last);
    if (c.DisconnectionRecords > 0)
        text +=
            ", " + Count(c.DisconnectionRecords, "disconnection record", "disconnection records");
    if (c.Skipped > 0)
        text += ", " + SkippedText(c);
    return text;
}

namespace {

// Below this much a part is not worth a thread of its own.
constexpr std::int64_t kPartBytes = 16 << 20;
constexpr int kMostParts = 16;

int PartsFor(std::int64_t bytes) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return static_cast<int>(
        std::clamp<std::int64_t>(bytes / kPartBytes, 1, std::min(cores, kMostParts)));
}

// Runs job(0) .. job(n - 1) side by side, job(0) on this thread.
void SideBySide(int n, const std::function<void(int)>& job) {
    std::vector<std::thread> threads;
    int inlineFrom = n;  // jobs left to this thread when no more threads could be had
    for (int i = 1; i < n; ++i) {
        try {
            threads.emplace_back(job, i);
        } catch (const std::system_error&) {
            inlineFrom = i;
            break;
        }
    }
    job(0);
    for (int i = inlineFrom; i < n; ++i)
        job(i);
    for (std::thread& t : threads)
        t.join();
}

// The parts' results as one reading's, in file order.
LogReadResult Joined(const std::vector<LogReadResult>& parts) {
    LogReadResult all;
    all.Ok = true;
    for (const LogReadResult& part : parts) {
        all.Counts.Lines += part.Counts.Lines;
        all.Counts.CycleRecords += part.Counts.CycleRecords;
        all.Counts.DisconnectionRecords += part.Counts.DisconnectionRecords;
        all.Counts.Skipped += part.Counts.Skipped;
        if (!part.Ok) {
            all.Cancelled = all.Cancelled || part.Cancelled;
            if (all.Ok || all.Error == "cancelled")
                all.Error = part.Error;
            all.Ok = false;
        }
    }
    return all;
}

// First and last record time.
struct TimeRange {
    bool Any = false;
    std::int64_t First = 0, Last = 0;
    bool operator==(const TimeRange&) const = default;
    void Add(std::int64_t t) {
        First = Any ? std::min(First, t) : t;
        Last = Any ? std::max(Last, t) : t;
        Any = true;
    }
};

// How far from each end of the file the first and the last record are looked for.
constexpr std::int64_t kEdgeBytes = 64 * 1024;

// A record kept past the reading of its line: its texts are gone, its numbers stay.
LogRecord Kept(const LogRecord& r) {
    LogRecord kept;
    kept.Kind = r.Kind;
    kept.Line = r.Line;
    kept.When = r.When;
    kept.Seconds = r.Seconds;
    kept.Values = r.Values;
    kept.GasValue = r.GasValue;
    return kept;
}

// What one thread gathers from its part of the file.
struct PartReading {
    explicit PartReading(const LogPlotReducer& empty) : Reducer(empty) {}

    LogPlotReducer Reducer;
    TimeRange Seen;                            // every record's time
    bool Ordered = true;                       // each record at or after the one before it
    std::int64_t FileFirst = 0, FileLast = 0;  // the first and last record's times, in file order
    // The nearest records before and after the stretch read, when only a stretch is.
    std::optional<LogRecord> Before, After;
    LogReadResult Read;

    void Add(const LogRecord& r, const TimeRange* only) {
        const std::int64_t t = r.Seconds;
        if (Seen.Any && t < FileLast)
            Ordered = false;
        if (!Seen.Any)
            FileFirst = t;
        FileLast = t;
        Seen.Add(t);
        if (only && t < only->First) {
            if (!Before || t >= Before->Seconds)
                Before = Kept(r);
        } else if (only && t > only->Last) {
            if (!After || t < After->Seconds)
                After = Kept(r);
        } else {
            Reducer.Add(r);
        }
    }
};

// Reads the parts side by side, each into a reducer of the given range, and merges them;
// *seen is the range the records really span. With `only`, the range is a stretch of the
// file's time: the records outside it are not reduced, the nearest on each side are added at
// its ends.
LogPlotData ReduceParts(const std::string& path, const std::vector<LogByteRange>& ranges,
                        const TimeRange& range, int intervals, LogReadControl* control,
                        TimeRange* seen, const TimeRange* only = nullptr) {
    const LogPlotReducer empty(range.First, range.Last, intervals);
    std::vector<PartReading> parts(ranges.size(), PartReading(empty));
    SideBySide(static_cast<int>(ranges.size()), [&](int i) {
        const auto k = static_cast<std::size_t>(i);
        // Each thread works on its own copy, handed over at the end: neighbours in one vector
        // share cache lines, which writes from two threads would bounce.
        PartReading part(empty);
        part.Read = ReadLogRecords(
            path, [&](const LogRecord& r) { part.Add(r, only); }, control, ranges[k]);
        parts[k] = std::move(part);
    });
    *seen = {};
    std::vector<LogReadResult> reads;
    LogPlotData data;
    data.InOrder = true;
    const PartReading* previous = nullptr;  // the last part with records
    std::optional<LogRecord> before, after;
    for (const PartReading& part : parts) {
        reads.push_back(part.Read);
        if (part.Before && (!before || part.Before->Seconds >= before->Seconds))
            before = part.Before;
        if (part.After && (!after || part.After->Seconds < after->Seconds))
            after = part.After;
        if (!part.Seen.Any)
            continue;
        seen->Add(part.Seen.First);
        seen->Add(part.Seen.Last);
        data.InOrder =
            data.InOrder && part.Ordered && (!previous || previous->FileLast <= part.FileFirst);
        previous = &part;
    }
    data.Read = Joined(reads);
    if (!data.Read.Ok)
        return data;
    LogPlotReducer all = empty;
    if (before)
        all.AddBefore(*before);
    for (const PartReading& part : parts)
        all.Merge(part.Reducer);
    if (after)
        all.AddAfter(*after);
    const LogReadResult read = data.Read;
    const bool inOrder = data.InOrder;
    data = all.Finish();
    data.Read = read;
    data.InOrder = inOrder;
    data.First = seen->First;
    data.Last = seen->Last;
    return data;
}

// The file's size as it is now (records appended meanwhile are for the next plot), or why it
// cannot be read in data.Read.
std::optional<std::int64_t> SizeNow(const std::string& path, LogPlotData& data) {
    const OpenedFile opened = OpenProgramFile(path, FileAccess::Read);
    if (!opened) {
        data.Read.Error = opened.error;
        return std::nullopt;
    }
    return opened->Size();
}

// The bytes from `begin` to `end` in `parts` pieces (0: as many as are worth it).
std::vector<LogByteRange> Split(std::int64_t begin, std::int64_t end, int parts) {
    const int n = parts > 0 ? parts : PartsFor(end - begin);
    std::vector<LogByteRange> ranges(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        ranges[static_cast<std::size_t>(i)] = {begin + (end - begin) * i / n,
                                               begin + (end - begin) * (i + 1) / n};
    return ranges;
}

// Bytes read to find one record: many lines of records.
constexpr std::int64_t kProbeBytes = 4096;

// The time of the first record that begins at byte `at` or after; none up to the end.
std::optional<std::int64_t> FirstTimeFrom(const std::string& path, std::int64_t at,
                                          std::int64_t size) {
    for (std::int64_t probe = kProbeBytes;; probe *= 8) {
        std::optional<std::int64_t> first;
        ReadLogRecords(path,
                       [&](const LogRecord& r) {
                           if (!first)
                               first = r.Seconds;
                       },
                       nullptr, {at, std::min(size, at + probe)});
        if (first || at + probe >= size)
            return first;
    }
}

// Halving a file in time order: two bytes at most kProbeBytes apart, the first record from
// the first of them still `early` (or the file's start), the first from the second not (or
// none).
std::pair<std::int64_t, std::int64_t> Halve(const std::string& path, std::int64_t size,
                                            const std::function<bool(std::int64_t)>& early) {
    std::int64_t low = 0, high = size;
    while (high - low > kProbeBytes) {
        const std::int64_t middle = low + (high - low) / 2;
        const std::optional<std::int64_t> t = FirstTimeFrom(path, middle, size);
        (t && early(*t) ? low : high) = middle;
    }
    return {low, high};
}

}  // namespace

LogPlotData ReadLogPlotSpan(const std::string& path, std::int64_t from, std::int64_t to,
                            bool inOrder, int intervals, LogReadControl* control, int parts) {
    LogPlotData data;
    const std::optional<std::int64_t> size = SizeNow(path, data);
    if (!size)
        return data;
    // From a record before the stretch to one after it.
    LogByteRange bytes{0, *size};
    if (inOrder) {
        bytes.Begin = Halve(path, *size, [from](std::int64_t t) { return t < from; }).first;
        bytes.End =
            std::min(*size, Halve(path, *size, [to](std::int64_t t) { return t <= to; }).second +
                                kProbeBytes);
    }
    if (control) {
        control->Done = 0;
        control->Total = bytes.End - bytes.Begin;
    }
    const TimeRange span{true, from, to};
    TimeRange seen;
    data = ReduceParts(path, Split(bytes.Begin, bytes.End, parts), span, intervals, control, &seen,
                       &span);
    data.First = from;
    data.Last = to;
    return data;
}

LogPlotData ReadLogPlot(const std::string& path, int intervals, LogReadControl* control,
                        int parts) {
    LogPlotData data;
    const std::optional<std::int64_t> found = SizeNow(path, data);
    if (!found)
        return data;
    const std::int64_t size = *found;
    const std::vector<LogByteRange> ranges = Split(0, size, parts);
    if (control) {
        control->Done = 0;
        control->Total = size;
    }

    // The time range is needed before the first record is reduced. A log written in time
    // order has its first and last records at its ends: one reading does, and confirms it.
    TimeRange range;
    const auto edge = [&](LogByteRange part, bool last) {
        ReadLogRecords(
            path,
            [&](const LogRecord& r) {
                if (last || !range.Any)
                    (last ? range.Last : range.First) = r.Seconds;
                range.Any = true;
            },
            nullptr, part);
    };
    edge({0, std::min(size, kEdgeBytes)}, false);
    const bool haveFirst = range.Any;
    range.Any = false;
    edge({std::max<std::int64_t>(0, size - kEdgeBytes), size}, true);
    range.Any = range.Any && haveFirst && range.First <= range.Last;

    TimeRange seen;
    data = ReduceParts(path, ranges, range, intervals, control, &seen);
    if (data.Read.Ok && seen.Any && !(range.Any && seen == range)) {
        // Out of time order (the PC's clock set back), or no record near an end: again, now
        // that the range is known.
        if (control)
            control->Total += size;
        range = seen;
        data = ReduceParts(path, ranges, range, intervals, control, &seen);
    }
    return data;
}

}  // namespace halvern
