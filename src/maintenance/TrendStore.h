#pragma once
// The maintenance window's trends: what each of its polls decoded (signals, ratios, gas
// reading) over the last ten minutes of the program's monotonic clock, for the trends window
// to draw. A poll that failed is kept as a gap, so the lines break there instead of falling to
// zero or joining across the silence. Memory is bounded: at most `capacity` samples are kept,
// the oldest going first, which the line's own pace never reaches in ten minutes.

#include <QList>
#include <QPointF>
#include <array>
#include <cstddef>
#include <deque>
#include <initializer_list>
#include <optional>

#include "platform/Platform.h"

namespace halvern {

struct Par;

enum class Trend { Signal1, Reference, Signal2, Ratio1, Ratio2, Gas };
constexpr int kTrends = 6;
// The slot of the maintenance window's figures (MaintPanel::Values) that each trend follows.
constexpr std::array<int, kTrends> kTrendSlots{0, 1, 2, 5, 6, 12};

constexpr Micros kTrendSpanUs = 10 * 60 * 1'000'000LL;
// A poll takes at least the query's wire time and the 150 ms collection window, so ten minutes
// hold under 4000 polls; this leaves room without letting a fault grow the store.
constexpr std::size_t kTrendCapacity = 6000;

// The series' names as the maintenance window captions them.
const char* TrendName(Trend trend);

// The time axis of the charts: the shortest of 1, 2, 3, 5 and 10 minutes that holds samples
// `age` old, so that the first minutes after opening are not a sliver at the chart's right
// edge; then the last ten minutes. In seconds, with ticks at round intervals.
struct TrendTimeAxis {
    int seconds = 600;
    int ticks = 11;
    friend bool operator==(const TrendTimeAxis&, const TrendTimeAxis&) = default;
};
TrendTimeAxis TrendTimeAxisFor(Micros age);

// The value axis for a chart of values from `range` (none: no value yet): the values with a
// margin, at least `minSpan` wide so that the noise of a steady line is not blown up to the
// chart's height, and not below zero when no value is.
std::pair<double, double> TrendAxisRange(std::optional<std::pair<float, float>> range,
                                         double minSpan);

struct TrendSample {
    Micros at = 0;
    bool gap = false;  // the poll failed: no values
    std::array<float, kTrends> values{};
};

class TrendStore {
  public:
    explicit TrendStore(const Clock& clock, std::size_t capacity = kTrendCapacity);

    // One maintenance poll: the window's figures it decoded into `par.Maint` (a figure its reply
    // did not carry is NaN, where the line breaks), or a gap when it failed. Values
    // of another detector (another serial number) start the trends afresh, so that no line
    // joins two detectors.
    void AddPoll(const Par& par, bool decoded);
    void Add(const std::array<float, kTrends>& values);
    void AddGap();
    void Clear();

    Micros Now() const { return clock_.NowUs(); }
    // The serial number of the detector whose values are stored, once one was decoded.
    std::optional<double> Serial() const { return serial_; }

    // The samples of the last ten minutes at the clock's time, oldest first.
    std::deque<TrendSample>::const_iterator begin() const;
    std::deque<TrendSample>::const_iterator end() const { return samples_.end(); }
    std::size_t Size() const { return static_cast<std::size_t>(end() - begin()); }

    // How long ago the oldest sample of the last ten minutes was taken; 0 when none.
    Micros Age() const;
    // One series of the last ten minutes for drawing: x in seconds before now (-600 to 0),
    // y its value; a gap is a point with a NaN value, where a line chart breaks its line.
    QList<QPointF> Points(Trend trend) const;
    // The lowest and highest value of the given series over the last ten minutes; none when
    // there is no value.
    std::optional<std::pair<float, float>> Range(std::initializer_list<Trend> trends) const;

  private:
    void DropOld();
    void MakeRoom();  // for one more sample

    const Clock& clock_;
    std::size_t capacity_;
    std::deque<TrendSample> samples_;
    std::optional<double> serial_;
};

}  // namespace halvern
