#pragma once
// The time axis of a chart that the technician zooms and pans: the stretch shown, kept inside
// the stretch the data spans and never narrower than a least width. The units are the chart's
// own (seconds, or milliseconds of a date axis); nothing here knows a widget.

#include <QList>
#include <QPointF>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace halvern {

class ChartZoom {
  public:
    explicit ChartZoom(double minWidth) : minWidth_(minWidth) {}

    // The stretch the data spans. What is shown keeps its place, cut and moved to fit; when
    // the whole was shown, the whole new stretch is.
    void SetWhole(double from, double to);
    double From() const { return from_; }
    double To() const { return to_; }
    double WholeFrom() const { return wholeFrom_; }
    double WholeTo() const { return wholeTo_; }
    bool Zoomed() const { return from_ > wholeFrom_ || to_ < wholeTo_; }

    // `notches` of the mouse wheel (positive: in) about the time `at`, which stays where it
    // is on the axis: each notch in shows kWheelStep of the width shown before.
    void Wheel(double at, double notches);
    // The stretch between two times dragged over, in either order.
    void Select(double a, double b);
    // Moves what is shown by `by` (positive: later), as far as the data goes.
    void Pan(double by);
    void ShowWhole();

    static constexpr double kWheelStep = 0.8;

  private:
    // Shows [from, to]: no narrower than the least width, no wider than the whole, inside it.
    void Show(double from, double to);

    double minWidth_;
    double wholeFrom_ = 0, wholeTo_ = 0;
    double from_ = 0, to_ = 0;
};

// The value of a series at time `at`: the value of its nearest point, where `at` lies within
// one of its lines (segments, each in time order) or is no further than `reach` from that
// point. None between lines, beyond them, or where the nearest point has no value (NaN: a
// gap the line breaks at).
std::optional<double> ValueAt(const std::vector<QList<QPointF>>& segments, double at, double reach);

// What a series reads at a time: one value, or the lowest and highest of the readings of a
// stretch that the chart keeps only as those two.
struct ReadValue {
    ReadValue(double value) : Low(value), High(value) {}  // NOLINT: a value reads as itself
    ReadValue(double low, double high) : Low(low), High(high) {}
    double Low, High;
};

// The lowest and highest value of a series' points from `from` up to (not at) `to`; none
// where it has no point there with a value.
std::optional<ReadValue> ValuesIn(const std::vector<QList<QPointF>>& segments, double from,
                                  double to);

// What the pointer is over: "14:03:27   Signal 1 4.12, Reference 3.98, Signal 2 no reading,
// Gas reading 34–900", the values to the hundredth.
QString ReadoutText(const QString& time,
                    const std::vector<std::pair<QString, std::optional<ReadValue>>>& values);

// The line under a zoomable chart while the pointer is not over one: how to zoom, and the key
// that shows the whole stretch again.
QString ZoomHint(bool zoomed);

// A round distance between ticks (1, 2 or 5 times a power of ten) that puts at most
// `maxTicks` of them into `width`.
double NiceStep(double width, int maxTicks);

}  // namespace halvern
