#include "maintenance/TrendStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "state/Par.h"

namespace halvern {

const char* TrendName(Trend trend) {
    switch (trend) {
        case Trend::Signal1:
            return "Signal 1";
        case Trend::Reference:
            return "Reference";
        case Trend::Signal2:
            return "Signal 2";
        case Trend::Ratio1:
            return "Ratio 1";
        case Trend::Ratio2:
            return "Ratio 2";
        case Trend::Gas:
            return "Gas reading";
    }
    return "";
}

TrendTimeAxis TrendTimeAxisFor(Micros age) {
    static constexpr TrendTimeAxis kAxes[] = {{60, 7}, {120, 7}, {180, 7}, {300, 6}};
    for (const TrendTimeAxis& axis : kAxes)
        if (age <= axis.seconds * 1'000'000LL)
            return axis;
    return {};
}

std::pair<double, double> TrendAxisRange(std::optional<std::pair<float, float>> range,
                                         double minSpan) {
    if (!range)
        return {0.0, minSpan};
    const double low = range->first, high = range->second;
    const double margin = std::max((high - low) * 0.1, (minSpan - (high - low)) / 2);
    double from = low - margin, to = high + margin;
    if (from < 0 && low >= 0) {
        to -= from;  // keep the span, shifted up
        from = 0;
    }
    return {from, to};
}

TrendStore::TrendStore(const Clock& clock, std::size_t capacity)
    : clock_(clock), capacity_(std::max<std::size_t>(capacity, 1)) {}

void TrendStore::AddPoll(const Par& par, bool decoded) {
    if (!decoded) {
        AddGap();
        return;
    }
    if (serial_ && *serial_ != par.Maint.Serial)
        Clear();
    serial_ = par.Maint.Serial;
    std::array<float, kTrends> values{};
    for (int i = 0; i < kTrends; ++i)
        values[i] = par.Maint.Values[kTrendSlots[i]];
    Add(values);
}

void TrendStore::Add(const std::array<float, kTrends>& values) {
    DropOld();
    MakeRoom();
    samples_.push_back({Now(), false, values});
}

void TrendStore::AddGap() {
    DropOld();
    // One gap breaks the line; the failures after it add nothing until a value comes.
    if (samples_.empty() || samples_.back().gap)
        return;
    MakeRoom();
    samples_.push_back({Now(), true, {}});
}

void TrendStore::Clear() {
    samples_.clear();
    serial_.reset();
}

void TrendStore::DropOld() {
    samples_.erase(samples_.begin(), samples_.begin() + (begin() - samples_.cbegin()));
}

void TrendStore::MakeRoom() {
    while (samples_.size() >= capacity_)
        samples_.pop_front();
    // A gap with nothing before it breaks no line.
    while (!samples_.empty() && samples_.front().gap)
        samples_.pop_front();
}

std::deque<TrendSample>::const_iterator TrendStore::begin() const {
    const Micros from = Now() - kTrendSpanUs;
    return std::partition_point(samples_.begin(), samples_.end(),
                                [from](const TrendSample& s) { return s.at < from; });
}

Micros TrendStore::Age() const {
    const auto first = begin();
    return first == end() ? 0 : Now() - first->at;
}

QList<QPointF> TrendStore::Points(Trend trend) const {
    const Micros now = Now();
    const auto i = static_cast<std::size_t>(trend);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(Size()));
    for (auto it = begin(); it != end(); ++it) {
        const double x = static_cast<double>(it->at - now) / 1e6;
        points.append({x, it->gap ? std::numeric_limits<double>::quiet_NaN()
                                  : static_cast<double>(it->values[i])});
    }
    return points;
}

std::optional<std::pair<float, float>> TrendStore::Range(
    std::initializer_list<Trend> trends) const {
    std::optional<std::pair<float, float>> range;
    for (auto it = begin(); it != end(); ++it) {
        if (it->gap)
            continue;
        for (Trend t : trends) {
            const float v = it->values[static_cast<std::size_t>(t)];
            if (std::isnan(v))
                continue;  // not in that poll's reply
            if (!range)
                range.emplace(v, v);
            range->first = std::min(range->first, v);
            range->second = std::max(range->second, v);
        }
    }
    return range;
}

}  // namespace halvern
