#pragma once
// The mouse and the keys of charts that share one zoomable time axis: the wheel zooms about
// the pointer, a drag with the left button over a stretch zooms to it, a drag with the right
// button (or Shift with the wheel) pans, and the pointer's time and the values there are read
// out. The charts' plot areas are kept at one left and one right edge, so that one x is one
// time on each of them. The window applies the stretch to its axes and shows the text; the
// arithmetic is ChartZoom's.

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

#include "ui/ChartZoom.h"

class QChart;
class QChartView;
class QKeyEvent;
class QMouseEvent;
class QRubberBand;
class QWheelEvent;

namespace halvern {

class ChartZoomer : public QObject {
  public:
    // `timeText` writes a time of the axis as the readout shows it.
    ChartZoomer(QObject* parent, double minWidth, std::function<QString(double)> timeText);

    ChartZoom& Zoom() { return zoom_; }
    const ChartZoom& Zoom() const { return zoom_; }
    // Follows the mouse over the view's plot, and lines its plot area up with the others'.
    // The views stand in one column, of one width.
    void Watch(QChartView* view);
    // The readout again, for the pointer where it is, over the points the charts hold now.
    void ReadOutAgain();
    // As Home does, and as a drag over the stretch from a to b does.
    void ShowWhole();
    void Select(double a, double b);
    // Home shows the whole stretch, Left and Right pan by a quarter, + and - zoom about the
    // middle: true when the key was one of these.
    bool Key(const QKeyEvent& key);

    std::function<void()> onChanged;                // the stretch shown changed
    std::function<void(const QString&)> onReadout;  // empty: the pointer left the plots
    // Where a chart keeps only the lowest and highest reading of each stretch of time: the
    // stretch [from, to) that holds a time. The readout then gives those two, not the value
    // of a point that may be far from the time.
    std::function<std::pair<double, double>(double)> stretchAt;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Runs a change of the stretch and tells it when it moved.
    void Change(const std::function<void()>& change);
    void Wheel(QChartView& view, const QWheelEvent& event);
    void Press(QChartView& view, const QMouseEvent& event);
    void Move(QChartView& view, const QMouseEvent& event);
    void Release(QChartView& view, const QMouseEvent& event);
    void ReadOut(QChartView& view, QPoint at);
    double TimeAt(QChartView& view, QPoint at) const;
    double PerPixel(QChartView& view) const;
    bool InPlot(QChartView& view, QPoint at) const;
    void Align();

    struct Watched {
        QChart* chart;
        QMargins margins;  // its own, before any room given to line it up
    };
    std::vector<Watched> charts_;
    bool aligning_ = false;
    QChartView* over_ = nullptr;  // the view the pointer is over, and where
    QPoint overAt_;

    ChartZoom zoom_;
    std::function<QString(double)> timeText_;
    QChartView* dragging_ = nullptr;
    bool panning_ = false;
    QPoint start_, last_;
    QRubberBand* band_ = nullptr;
};

}  // namespace halvern
