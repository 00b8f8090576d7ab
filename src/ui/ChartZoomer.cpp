#include "ui/ChartZoomer.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QKeyEvent>
#include <QLineSeries>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace halvern {

namespace {

// A drag shorter than this is a click, not a stretch to zoom to.
constexpr int kLeastDragPixels = 5;
// How near, in pixels, a lone point must be to be read out.
constexpr double kReachPixels = 4;
// A wheel notch with Shift pans this share of the width.
constexpr double kPanPerNotch = 0.1;

}  // namespace

ChartZoomer::ChartZoomer(QObject* parent, double minWidth, std::function<QString(double)> timeText)
    : QObject(parent), zoom_(minWidth), timeText_(std::move(timeText)) {}

void ChartZoomer::Watch(QChartView* view) {
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
    view->viewport()->setCursor(Qt::CrossCursor);
    charts_.push_back({view->chart(), view->chart()->margins()});
    connect(view->chart(), &QChart::plotAreaChanged, this, [this] { Align(); });
}

// Each chart's axes take the room their labels need, which differs from chart to chart: each
// is given what it lacks of the widest room on the left and on the right. The charts stand one
// above the other at one width; room, not edges, is compared, so that a layout still settling
// (charts of passing widths) cannot widen the window.
void ChartZoomer::Align() {
    if (aligning_)
        return;
    aligning_ = true;
    std::vector<std::pair<double, double>> own;  // room left and right without the room added
    double left = 0, right = 0;
    for (const Watched& w : charts_) {
        w.chart->layout()->activate();
        const QRectF area = w.chart->plotArea();
        const QMargins m = w.chart->margins();
        own.emplace_back(area.left() - (m.left() - w.margins.left()),
                         w.chart->size().width() - area.right() - (m.right() - w.margins.right()));
        left = std::max(left, own.back().first);
        right = std::max(right, own.back().second);
    }
    for (std::size_t i = 0; i < charts_.size(); ++i) {
        const Watched& w = charts_[i];
        if (w.chart->plotArea().isEmpty())
            continue;  // not laid out yet
        QMargins m = w.margins;
        m.setLeft(m.left() + static_cast<int>(std::lround(left - own[i].first)));
        m.setRight(m.right() + static_cast<int>(std::lround(right - own[i].second)));
        if (m != w.chart->margins()) {
            w.chart->setMargins(m);
            w.chart->layout()->activate();
        }
    }
    aligning_ = false;
}

void ChartZoomer::Change(const std::function<void()>& change) {
    const double from = zoom_.From(), to = zoom_.To();
    change();
    if ((zoom_.From() != from || zoom_.To() != to) && onChanged)
        onChanged();
}

void ChartZoomer::ShowWhole() {
    Change([this] { zoom_.ShowWhole(); });
}

void ChartZoomer::Select(double a, double b) {
    Change([&] { zoom_.Select(a, b); });
}

bool ChartZoomer::Key(const QKeyEvent& key) {
    const double width = zoom_.To() - zoom_.From(), middle = (zoom_.From() + zoom_.To()) / 2;
    switch (key.key()) {
        case Qt::Key_Home:
            ShowWhole();
            return true;
        case Qt::Key_Left:
        case Qt::Key_Right:
            Change([&] { zoom_.Pan((key.key() == Qt::Key_Left ? -width : width) / 4); });
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
        case Qt::Key_Minus:
            Change([&] { zoom_.Wheel(middle, key.key() == Qt::Key_Minus ? -1 : 1); });
            return true;
        default:
            return false;
    }
}

bool ChartZoomer::eventFilter(QObject* watched, QEvent* event) {
    auto* view = qobject_cast<QChartView*>(watched->parent());
    if (!view || !view->chart())
        return false;
    switch (event->type()) {
        case QEvent::Wheel:
            Wheel(*view, *static_cast<QWheelEvent*>(event));
            return true;
        case QEvent::MouseButtonPress:
            Press(*view, *static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseMove:
            Move(*view, *static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::MouseButtonRelease:
            Release(*view, *static_cast<QMouseEvent*>(event));
            return true;
        case QEvent::Leave:
            over_ = nullptr;
            if (!dragging_ && onReadout)
                onReadout(QString());
            return false;
        default:
            return false;
    }
}

double ChartZoomer::TimeAt(QChartView& view, QPoint at) const {
    QChart& chart = *view.chart();
    return chart.mapToValue(chart.mapFromScene(view.mapToScene(at))).x();
}

double ChartZoomer::PerPixel(QChartView& view) const {
    const double width = view.chart()->plotArea().width();
    return width > 0 ? (zoom_.To() - zoom_.From()) / width : 0;
}

bool ChartZoomer::InPlot(QChartView& view, QPoint at) const {
    QChart& chart = *view.chart();
    return chart.plotArea().contains(chart.mapFromScene(view.mapToScene(at)));
}

void ChartZoomer::Wheel(QChartView& view, const QWheelEvent& event) {
    const QPoint delta = event.angleDelta();
    // A notch is 120; a touchpad sends parts of one.
    if (delta.x() != 0 || (event.modifiers() & Qt::ShiftModifier)) {
        const double notches = (delta.x() != 0 ? delta.x() : delta.y()) / 120.0;
        const double width = zoom_.To() - zoom_.From();
        Change([&] { zoom_.Pan(-notches * kPanPerNotch * width); });
        return;
    }
    const QPoint at = event.position().toPoint();
    if (!InPlot(view, at))
        return;
    Change([&] { zoom_.Wheel(TimeAt(view, at), delta.y() / 120.0); });
    ReadOut(view, at);
}

void ChartZoomer::Press(QChartView& view, const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    if (dragging_ || !InPlot(view, at) ||
        (event.button() != Qt::LeftButton && event.button() != Qt::RightButton))
        return;
    dragging_ = &view;
    panning_ = event.button() == Qt::RightButton;
    start_ = last_ = at;
}

void ChartZoomer::Move(QChartView& view, const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    if (dragging_ != &view) {
        ReadOut(view, at);
        return;
    }
    if (panning_) {
        const double by = (last_.x() - at.x()) * PerPixel(view);
        last_ = at;
        Change([&] { zoom_.Pan(by); });
        ReadOut(view, at);
        return;
    }
    last_ = at;
    if (!band_)
        band_ = new QRubberBand(QRubberBand::Rectangle, view.viewport());
    else if (band_->parent() != view.viewport())
        band_->setParent(view.viewport());
    // The stretch over the whole height of the plot.
    QChart& chart = *view.chart();
    const QRect plot =
        view.mapFromScene(chart.mapToScene(chart.plotArea())).boundingRect().adjusted(0, 0, -1, -1);
    const int left = std::max(plot.left(), std::min(start_.x(), at.x()));
    const int right = std::min(plot.right(), std::max(start_.x(), at.x()));
    band_->setGeometry(QRect(QPoint(left, plot.top()), QPoint(right, plot.bottom())));
    band_->show();
}

void ChartZoomer::Release(QChartView& view, const QMouseEvent& event) {
    if (dragging_ != &view)
        return;
    dragging_ = nullptr;
    if (band_)
        band_->hide();
    const QPoint at = event.position().toPoint();
    if (!panning_ && std::abs(at.x() - start_.x()) >= kLeastDragPixels) {
        Select(TimeAt(view, start_), TimeAt(view, at));
    }
    ReadOut(view, at);
}

void ChartZoomer::ReadOutAgain() {
    if (over_)
        ReadOut(*over_, overAt_);
}

void ChartZoomer::ReadOut(QChartView& view, QPoint at) {
    over_ = &view;
    overAt_ = at;
    if (!onReadout)
        return;
    if (!InPlot(view, at)) {
        onReadout(QString());
        return;
    }
    const double time = TimeAt(view, at);
    // A series drawn as several lines (broken at gaps) is one name with its lines.
    std::vector<std::pair<QString, std::vector<QList<QPointF>>>> series;
    for (QAbstractSeries* s : view.chart()->series()) {
        auto* line = qobject_cast<QLineSeries*>(s);
        if (!line || line->name().isEmpty())
            continue;
        auto named = std::find_if(series.begin(), series.end(),
                                  [&](const auto& n) { return n.first == line->name(); });
        if (named == series.end())
            named = series.insert(series.end(), {line->name(), {}});
        named->second.push_back(line->points());
    }
    std::vector<std::pair<QString, std::optional<ReadValue>>> values;
    const double reach = kReachPixels * PerPixel(view);
    for (const auto& [name, lines] : series) {
        std::optional<ReadValue> value;
        if (stretchAt) {
            const auto [from, to] = stretchAt(time);
            value = ValuesIn(lines, from, to);
        }
        // A stretch without a reading of its own: the nearest one, as where each is a point.
        if (!value) {
            if (const auto v = ValueAt(lines, time, reach))
                value = *v;
        }
        values.emplace_back(name, value);
    }
    onReadout(ReadoutText(timeText_(time), values));
}

}  // namespace halvern
