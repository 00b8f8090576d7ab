#include "ui/ChartZoom.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace halvern {

void ChartZoom::SetWhole(double from, double to) {
    const bool whole = !Zoomed();
    wholeFrom_ = from;
    wholeTo_ = std::max(from, to);
    if (whole)
        Show(wholeFrom_, wholeTo_);
    else
        Show(from_, to_);
}

void ChartZoom::Show(double from, double to) {
    const double whole = wholeTo_ - wholeFrom_;
    const double width = std::min(std::max(to - from, minWidth_), whole);
    // A stretch narrower than the least width around its middle, so a short drag zooms where
    // it was made.
    if (to - from < width)
        from -= (width - (to - from)) / 2;
    if (width >= whole) {
        from_ = wholeFrom_;
        to_ = wholeTo_;
        return;
    }
    from_ = std::max(wholeFrom_, std::min(from, wholeTo_ - width));
    to_ = std::min(wholeTo_, from_ + width);
}

void ChartZoom::Wheel(double at, double notches) {
    const double width = to_ - from_;
    if (width <= 0)
        return;
    const double wanted = width * std::pow(kWheelStep, notches);
    const double whole = wholeTo_ - wholeFrom_;
    const double next = std::min(std::max(wanted, std::min(minWidth_, whole)), whole);
    // `at` keeps its share of the width on either side.
    const double from = at - (at - from_) * next / width;
    Show(from, from + next);
}

void ChartZoom::Select(double a, double b) {
    Show(std::min(a, b), std::max(a, b));
}

void ChartZoom::Pan(double by) {
    Show(from_ + by, to_ + by);
}

void ChartZoom::ShowWhole() {
    Show(wholeFrom_, wholeTo_);
}

std::optional<double> ValueAt(const std::vector<QList<QPointF>>& segments, double at,
                              double reach) {
    std::optional<QPointF> best;
    double bestDistance = 0;
    for (const QList<QPointF>& line : segments) {
        if (line.isEmpty())
            continue;
        const auto next = std::lower_bound(line.begin(), line.end(), at,
                                           [](const QPointF& p, double t) { return p.x() < t; });
        QPointF nearest = next == line.end() ? line.back() : *next;
        if (next != line.begin() && next != line.end() &&
            at - std::prev(next)->x() < next->x() - at)
            nearest = *std::prev(next);
        const double distance = std::abs(nearest.x() - at);
        const bool within = line.front().x() <= at && at <= line.back().x();
        if ((within || distance <= reach) && (!best || distance < bestDistance)) {
            best = nearest;
            bestDistance = distance;
        }
    }
    if (!best || std::isnan(best->y()))
        return std::nullopt;
    return best->y();
}

std::optional<ReadValue> ValuesIn(const std::vector<QList<QPointF>>& segments, double from,
                                  double to) {
    std::optional<ReadValue> found;
    for (const QList<QPointF>& line : segments) {
        auto p = std::lower_bound(line.begin(), line.end(), from,
                                  [](const QPointF& q, double t) { return q.x() < t; });
        for (; p != line.end() && p->x() < to; ++p) {
            if (std::isnan(p->y()))
                continue;
            if (!found)
                found = ReadValue(p->y());
            found->Low = std::min(found->Low, p->y());
            found->High = std::max(found->High, p->y());
        }
    }
    return found;
}

QString ReadoutText(const QString& time,
                    const std::vector<std::pair<QString, std::optional<ReadValue>>>& values) {
    // To the hundredth, as the windows and the log show the figures; a whole number (a gas
    // reading) as it is.
    const auto text = [](double v) {
        return v == std::round(v) ? QString::number(v, 'f', 0) : QString::number(v, 'f', 2);
    };
    QStringList parts;
    for (const auto& [name, value] : values)
        parts << name + " " +
                     (!value ? QString("no reading")
                      : value->Low == value->High
                          ? text(value->Low)
                          : text(value->Low) + QChar(0x2013) + text(value->High));
    return time + "   " + parts.join(", ");
}

QString ZoomHint(bool zoomed) {
    return QString(zoomed ? "Zoomed in. " : "") +
           "Zoom: mouse wheel, or drag over a stretch. Pan: right-drag, Left/Right. "
           "Whole span: Home";
}

double NiceStep(double width, int maxTicks) {
    const double least = width / std::max(1, maxTicks);
    if (least <= 0)
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= least)
            return m * power;
    }
    return 10 * power;
}

}  // namespace halvern
