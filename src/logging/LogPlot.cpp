#include "logging/LogPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

LogPlotReducer::Interval& LogPlotReducer::At(std::int64_t seconds) {
    const auto n = static_cast<std::int64_t>(intervals_.size());
    // Records appended while the file is read lie past the range found first: clamped.
    const std::int64_t i = std::clamp<std::int64_t>((seconds - first_) * n / span_, 0, n - 1);
    return intervals_[static_cast<std::size_t>(i)];
}

void LogPlotReducer::Add(const LogRecord& record) {
    const std::int64_t t = record.Seconds;
    Interval& interval = At(t);
    if (record.Kind == LogRecordKind::Disconnection) {
        interval.MarkGap(t);
        return;
    }
    // A long silence, or the PC's clock set back, is no stretch to draw a line across.
    if (havePrevious_ && (t - previous_ > kPlotSilence || t < previous_))
        interval.MarkGap(t);
    havePrevious_ = true;
    previous_ = t;
    (interval.Gap ? interval.After : interval.Before).Add(record);
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

    const auto emit = [&](const Side& side) {
        if (!side.Any)
            return;
        if (gapOpen) {
            data.Gaps.push_back({anyPoints ? lastPoint : gap.From, std::max(gap.From, side.From)});
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

    for (const Interval& interval : intervals_) {
        emit(interval.Before);
        if (interval.Gap) {
            breakDue.fill(true);
            if (!gapOpen) {
                gapOpen = true;
                gap = {interval.GapFrom, interval.GapTo};
            }
            gap.To = std::max(gap.To, interval.GapTo);
        }
        emit(interval.After);
    }
    if (gapOpen) {
        const std::int64_t from = anyPoints ? lastPoint : gap.From;
        data.Gaps.push_back({from, std::max(from, gap.To)});
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

LogPlotData ReadLogPlot(const std::string& path, int intervals) {
    bool any = false;
    std::int64_t first = 0, last = 0;
    const LogReadResult range = ReadLogRecords(path, [&](const LogRecord& r) {
        first = any ? std::min(first, r.Seconds) : r.Seconds;
        last = any ? std::max(last, r.Seconds) : r.Seconds;
        any = true;
    });
    if (!range.Ok) {
        LogPlotData data;
        data.Read = range;
        return data;
    }
    LogPlotReducer reducer(first, last, intervals);
    const LogReadResult read = ReadLogRecords(path, [&](const LogRecord& r) { reducer.Add(r); });
    LogPlotData data = reducer.Finish();
    data.Read = read;
    data.First = first;
    data.Last = last;
    return data;
}

}  // namespace halvern
