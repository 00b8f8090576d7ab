// The zoomable time axis of the charts: the stretch shown after the wheel, a drag, a pan or a
// new span of data, and what the pointer reads out.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "ui/ChartZoom.h"

namespace halvern {
namespace {

// Data from 0 to 100, at least 10 wide. Each row starts from a stretch dragged over (none:
// the whole) and does one thing.
TEST(ChartZoom, TheStretchShownStaysInsideTheDataAndNoNarrowerThanTheLeast) {
    const struct {
        const char* what;
        double startFrom, startTo;
        std::function<void(ChartZoom&)> act;
        double from, to;
    } rows[] = {
        {"a notch in about the middle", 0, 100, [](ChartZoom& z) { z.Wheel(50, 1); }, 10, 90},
        {"a notch in at the start", 0, 100, [](ChartZoom& z) { z.Wheel(0, 1); }, 0, 80},
        {"two in at 100", 0, 100, [](ChartZoom& z) { z.Wheel(100, 2); }, 36, 100},
        {"half a notch out from 80 wide", 10, 90, [](ChartZoom& z) { z.Wheel(50, -1); }, 0, 100},
        {"far in: the least width", 0, 100, [](ChartZoom& z) { z.Wheel(50, 20); }, 45, 55},
        {"far in near the end: 99 stays at 99 %", 0, 100, [](ChartZoom& z) { z.Wheel(99, 20); },
         89.1, 99.1},
        {"a drag right to left", 0, 100, [](ChartZoom& z) { z.Select(70, 30); }, 30, 70},
        {"a short drag widened about it", 0, 100, [](ChartZoom& z) { z.Select(48, 50); }, 44, 54},
        {"a drag past the start", 0, 100, [](ChartZoom& z) { z.Select(-20, 5); }, 0, 25},
        {"a pan stops at the end", 30, 70, [](ChartZoom& z) { z.Pan(50); }, 60, 100},
        {"a pan stops at the start", 30, 70, [](ChartZoom& z) { z.Pan(-100); }, 0, 40},
        {"Home", 30, 70, [](ChartZoom& z) { z.ShowWhole(); }, 0, 100},
        {"less data: the stretch moves in", 30, 70, [](ChartZoom& z) { z.SetWhole(0, 50); }, 10,
         50},
        {"more data while the whole is shown", 0, 100, [](ChartZoom& z) { z.SetWhole(-600, 0); },
         -600, 0},
        {"more data while zoomed in", 30, 70, [](ChartZoom& z) { z.SetWhole(-600, 600); }, 30, 70},
        {"data narrower than the least width", 0, 100,
         [](ChartZoom& z) {
             z.SetWhole(0, 5);
             z.Wheel(2, 3);
         },
         0, 5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ChartZoom zoom(10);
        zoom.SetWhole(0, 100);
        zoom.Select(r.startFrom, r.startTo);
        r.act(zoom);
        EXPECT_NEAR(zoom.From(), r.from, 1e-9);
        EXPECT_NEAR(zoom.To(), r.to, 1e-9);
    }
}

// Two lines of one series (broken at a gap from 20 to 40, where a lone reading stands) and a
// line with a failed poll in it; the pointer reaches 2 either way.
TEST(ChartZoom, ThePointerReadsTheNearestPointOfTheLineItIsOver) {
    const std::vector<QList<QPointF>> broken{{{0, 1}, {10, 2}, {20, 3}}, {{40, 5}}};
    const std::vector<QList<QPointF>> failed{{{0, 1}, {1, std::nan("")}, {2, 3}}};
    const struct {
        const std::vector<QList<QPointF>>& lines;
        double at;
        std::optional<double> value;
    } rows[] = {
        {broken, 4, 1},
        {broken, 6, 2},
        {broken, 20, 3},
        {broken, 30, std::nullopt},
        {broken, 39, 5},
        {broken, 41, 5},
        {broken, 43, std::nullopt},
        {broken, -1, 1},
        {broken, -5, std::nullopt},   // before the first reading
        {failed, 1.2, std::nullopt},  // nearest the failed poll
        {failed, 1.8, 3},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ValueAt(r.lines, r.at, 2), r.value) << r.at;

    // Where a chart keeps a stretch's lowest and highest, the stretch's points, both lines'.
    const struct {
        const std::vector<QList<QPointF>>& lines;
        double from, to;
        std::optional<std::pair<double, double>> range;
    } stretches[] = {
        {broken, 5, 25, std::pair(2.0, 3.0)},  {broken, 15, 45, std::pair(3.0, 5.0)},
        {broken, 20, 40, std::pair(3.0, 3.0)}, {broken, 25, 35, std::nullopt},
        {failed, 0, 2, std::pair(1.0, 1.0)},  // the failed poll is no value
    };
    for (const auto& r : stretches) {
        const auto v = ValuesIn(r.lines, r.from, r.to);
        EXPECT_EQ(v ? std::optional(std::pair(v->Low, v->High)) : std::nullopt, r.range) << r.from;
    }

    // A trend's values are floats, read to the hundredth as the windows show them.
    EXPECT_EQ(ReadoutText("05/12/26 14:03:27", {{"Signal 1", 4.12f},
                                                {"Reference", 3.32234f},
                                                {"Gas reading", 23},
                                                {"Signal 2", std::nullopt},
                                                {"Ratio 1", ReadValue(34, 900.5)}}),
              "05/12/26 14:03:27   Signal 1 4.12, Reference 3.32, Gas reading 23, Signal 2 no "
              "reading, Ratio 1 34\u2013900.50");
}

TEST(ChartZoom, TicksAreRoundAndNoMoreThanAsked) {
    const struct {
        double width;
        int ticks;
        double step;
    } rows[] = {{600, 6, 100}, {25, 6, 5}, {10, 6, 2}, {48, 6, 10}, {1, 6, 0.2}};
    for (const auto& r : rows)
        EXPECT_DOUBLE_EQ(NiceStep(r.width, r.ticks), r.step) << r.width;
}

}  // namespace
}  // namespace halvern
