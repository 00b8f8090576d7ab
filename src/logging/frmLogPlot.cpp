#include "logging/frmLogPlot.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "logging/LogWorker.h"
#include "state/SaveNames.h"
#include "ui/ChartZoom.h"
#include "ui/ChartZoomer.h"
#include "ui/Dialogs.h"

namespace halvern {

namespace {

constexpr const char* kSaveTitle = "Save log plot";
// The narrowest stretch shown: the records of two minutes, the lines running on to the records
// outside it at longer logging periods.
constexpr double kLeastStretchMs = 2 * 60 * 1000;
// A zoom that rests this long has its stretch read; the wheel's notches come faster.
constexpr int kSettleMs = 300;

// One colour per series, told apart also by those who mix up red and green.
const QColor kSeriesColours[kPlotSeriesCount] = {
    QColor(0x1f, 0x5f, 0xbf),  // Signal 1
    QColor(0x2a, 0x9d, 0x3a),  // Reference
    QColor(0xe0, 0x7b, 0x00),  // Signal 2
    QColor(0x1f, 0x5f, 0xbf),  // Ratio 1
    QColor(0xe0, 0x7b, 0x00),  // Ratio 2
    QColor(0xc0, 0x1c, 0x28),  // Gas reading
};
const QColor kGapFill(0x8a, 0x94, 0xa3, 70);

// The log's clock is the PC's local time; the axis shows local time.
qreal AxisTime(std::int64_t seconds) {
    const LocalDateTime t = FromSeconds(seconds);
    return static_cast<qreal>(
        QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second))
            .toMSecsSinceEpoch());
}

// The log's time of a time on the axis.
std::int64_t LogSeconds(qreal axisTime, bool roundUp) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(axisTime));
    const std::int64_t seconds =
        SecondsOf({at.date().year(), at.date().month(), at.date().day(), at.time().hour(),
                   at.time().minute(), at.time().second()});
    return seconds + (roundUp && at.time().msec() > 0 ? 1 : 0);
}

// The time range drawn: a single instant gets a minute either side.
std::pair<qreal, qreal> TimeRange(const LogPlotData& data) {
    std::int64_t first = data.First, last = data.Last;
    if (last <= first) {
        first -= 60;
        last += 60;
    }
    return {AxisTime(first), AxisTime(last)};
}

// The axis's time labels for a stretch of `span` seconds.
QString AxisFormat(double span) {
    if (span <= 3600)
        return "hh:mm:ss";
    if (span <= 2 * 86400)
        return "dd/MM hh:mm";
    if (span <= 200 * 86400)
        return "dd/MM/yy hh:mm";
    return "dd/MM/yy";
}

// The three charts share a small screen's height: what names a chart goes to the side of its
// plot (its value axis title) and the legend above it, not into a title row of its own.
QChart* NewChart() {
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 0, 8, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    // Legends above the charts, so the three plot areas line up under each other in time.
    chart->legend()->setAlignment(Qt::AlignTop);
    return chart;
}

// The times are written under the lowest chart only: the charts above share its axis.
QDateTimeAxis* AddTimeAxis(QChart* chart, bool labelled) {
    auto* time = new QDateTimeAxis;
    time->setLabelsVisible(labelled);
    time->setTickCount(7);
    chart->addAxis(time, Qt::AlignBottom);
    return time;
}

// From zero, or the lowest value when below, to a little above the highest value shown.
QValueAxis* AddValueAxis(QChart* chart, const QString& title, const std::vector<int>& series,
                         const LogPlotData& data) {
    double low = 0, high = std::numeric_limits<double>::lowest();
    for (const int s : series) {
        for (const PlotSegment& segment : data.Segments[static_cast<std::size_t>(s)]) {
            for (const PlotPoint& p : segment) {
                low = std::min(low, p.Value);
                high = std::max(high, p.Value);
            }
        }
    }
    if (high <= low)
        high = low + 1;
    auto* values = new QValueAxis;
    values->setRange(low, high + (high - low) * 0.05);
    values->applyNiceNumbers();
    values->setLabelFormat("%g");
    values->setTitleText(title);
    QFont titleFont = values->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 0.9);
    values->setTitleFont(titleFont);
    chart->addAxis(values, Qt::AlignLeft);
    return values;
}

// The gaps as one shaded band series: the upper line steps up over each gap. Hidden, with its
// name in the legend, while there is none.
void ShowGaps(QChart* chart, QAreaSeries*& band, const LogPlotData& data, QDateTimeAxis* time,
              QValueAxis* values) {
    if (!band) {
        // An area series does not own its edge lines.
        band = new QAreaSeries(new QLineSeries, new QLineSeries);
        band->upperSeries()->setParent(band);
        band->lowerSeries()->setParent(band);
        band->setName("No readings");
        band->setPen(Qt::NoPen);
        band->setBrush(kGapFill);
        chart->addSeries(band);
        band->attachAxis(time);
        band->attachAxis(values);
    }
    QList<QPointF> upper, lower;
    if (!data.Gaps.empty()) {
        // A stretch's gaps may begin before it or end after it.
        const auto range = TimeRange(data);
        const qreal from = std::min(range.first, AxisTime(data.Gaps.front().From));
        const qreal to = std::max(range.second, AxisTime(data.Gaps.back().To));
        const qreal bottom = values->min(), top = values->max();
        upper.append({from, bottom});
        for (const PlotGap& gap : data.Gaps) {
            const qreal a = AxisTime(gap.From), b = AxisTime(gap.To);
            upper << QPointF(a, bottom) << QPointF(a, top) << QPointF(b, top) << QPointF(b, bottom);
        }
        upper.append({to, bottom});
        lower << QPointF(from, bottom) << QPointF(to, bottom);
    }
    band->upperSeries()->replace(upper);
    band->lowerSeries()->replace(lower);
    band->setVisible(!data.Gaps.empty());
    for (QLegendMarker* marker : chart->legend()->markers(band))
        marker->setVisible(!data.Gaps.empty());
}

// One series: each unbroken stretch is a line of its own (one, empty, when there is none, so
// the legend still says what the chart would show); the legend names the series once. The
// lines of the drawing before are given the new points, as many as there are stretches.
void ShowSeries(QChart* chart, std::vector<QLineSeries*>& lines, int s, const LogPlotData& data,
                QDateTimeAxis* time, QValueAxis* values) {
    const auto& segments = data.Segments[static_cast<std::size_t>(s)];
    const std::size_t wanted = std::max<std::size_t>(1, segments.size());
    while (lines.size() < wanted) {
        auto* line = new QLineSeries;
        line->setName(PlotSeriesName(s));
        QPen pen(kSeriesColours[s], s == PlotRatio2 || s == PlotReference ? 1.3 : 1.6);
        line->setPen(pen);
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(values);
        for (QLegendMarker* marker : chart->legend()->markers(line))
            marker->setVisible(lines.empty());
        lines.push_back(line);
    }
    while (lines.size() > wanted) {
        chart->removeSeries(lines.back());
        delete lines.back();
        lines.pop_back();
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        QList<QPointF> points;
        if (i < segments.size()) {
            points.reserve(static_cast<qsizetype>(segments[i].size()));
            for (const PlotPoint& p : segments[i])
                points.append(QPointF(AxisTime(p.Seconds), p.Value));
        }
        // A stretch of one reading is a dot, not an invisible line.
        lines[i]->setPointsVisible(points.size() == 1);
        lines[i]->replace(points);
    }
}

}  // namespace

QString LogPlotTitle(const QString& serial) {
    return "Log plot of detector serial No " + serial;
}

frmLogPlot::frmLogPlot(LogPlotData data, const QString& serial, const std::string& folder,
                       Dialogs& dialogs, const std::string& path, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      data_(std::move(data)),
      serial_(serial),
      folder_(folder),
      path_(path) {
    setObjectName("frmLogPlot");
    setWindowTitle(LogPlotTitle(serial));
    setFocusPolicy(Qt::StrongFocus);

    // The readout writes a time as the log does, to the second.
    zoomer_ = new ChartZoomer(this, kLeastStretchMs, [](double t) {
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t)).toString("dd/MM/yy hh:mm:ss");
    });
    const auto [from, to] = TimeRange(data_);
    zoomer_->Zoom().SetWhole(from, to);
    // The charts keep each interval's lowest and highest reading: the readout gives both.
    zoomer_->stretchAt = [this](double t) {
        const auto [a, b] =
            PlotIntervalOf(Shown().First, Shown().Last, kPlotIntervals, LogSeconds(t, false));
        return std::pair<double, double>(AxisTime(a), AxisTime(b));
    };
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, &frmLogPlot::ReadStretch);
    drawSoon_ = new QTimer(this);
    drawSoon_->setSingleShot(true);
    connect(drawSoon_, &QTimer::timeout, this, [this] {
        if (drawing_ && DrawStep())
            drawSoon_->start();
    });

    // What is saved as PNG: the charts and the line that says what they are drawn from.
    charts_ = new QWidget(this);
    charts_->setObjectName("fraCharts");
    charts_->setAutoFillBackground(true);
    QPalette palette = charts_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    charts_->setPalette(palette);
    auto* chartsLayout = new QVBoxLayout(charts_);
    chartsLayout->setContentsMargins(6, 6, 6, 6);
    chartsLayout->setSpacing(2);
    auto* heading = new QLabel(LogPlotTitle(serial), charts_);
    heading->setObjectName("lblHeading");
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.15);
    heading->setFont(headingFont);
    heading->setTextFormat(Qt::PlainText);
    chartsLayout->addWidget(heading);
    AddChart(charts_, "chtSignals", "Signals (V)", {PlotSignal1, PlotReference, PlotSignal2}, false,
             4);
    AddChart(charts_, "chtRatios", "Ratios", {PlotRatio1, PlotRatio2}, false, 3);
    AddChart(charts_, "chtGas", "Gas", {PlotGas}, true, 4);
    auto* summary = new QLabel(QString::fromStdString(PlotSummary(data_)), charts_);
    summary->setObjectName("lblSummary");
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    chartsLayout->addWidget(summary);

    // How to zoom, or what the pointer is over.
    readout_ = new QLabel(ZoomHint(false), this);
    readout_->setObjectName("lblReadout");
    readout_->setTextFormat(Qt::PlainText);
    zoomer_->onReadout = [this](const QString& text) {
        readout_->setText(text.isEmpty() ? ZoomHint(zoomer_->Zoom().Zoomed()) : text);
    };
    zoomer_->onChanged = [this] {
        ShowStretch();
        readout_->setText(ZoomHint(zoomer_->Zoom().Zoomed()));
    };

    QHBoxLayout* buttons = MakeButtons();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(charts_, 1);
    layout->addWidget(readout_);
    layout->addLayout(buttons);
    Draw(data_, true);
    ShowStretch();
    resize(1080, 700);
}

frmLogPlot::~frmLogPlot() = default;

// The row under the charts: what was saved last, and the buttons.
QHBoxLayout* frmLogPlot::MakeButtons() {
    saved_ = new QLabel(this);
    saved_->setObjectName("lblSaved");
    saved_->setTextFormat(Qt::PlainText);
    const auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    QPushButton* whole = button("Whole span-Home", "cmdWhole");
    connect(whole, &QPushButton::clicked, this, [this] { zoomer_->ShowWhole(); });
    QPushButton* save = button("Save PNG-S", "cmdSave");
    connect(save, &QPushButton::clicked, this, &frmLogPlot::Save);
    QPushButton* close = button("Close-Esc", "cmdClose");
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saved_, 1);
    buttons->addWidget(whole);
    buttons->addWidget(save);
    buttons->addWidget(close);
    return buttons;
}

void frmLogPlot::AddChart(QWidget* parent, const char* name, const QString& title,
                          std::vector<int> series, bool lowest, int stretch) {
    Chart c;
    c.chart = NewChart();
    c.time = AddTimeAxis(c.chart, lowest);
    c.values = AddValueAxis(c.chart, title, series, data_);
    c.series = std::move(series);
    auto* view = new QChartView(c.chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);
    view->setMinimumHeight(lowest ? 110 : 90);  // three charts and the buttons on 600 pixels
    zoomer_->Watch(view);
    parent->layout()->addWidget(view);
    static_cast<QVBoxLayout*>(parent->layout())->setStretchFactor(view, stretch);
    plots_.push_back(c);
}

// Each chart's lines and gaps; the axes stay. A line's new points cost some milliseconds
// (Qt Charts works out its outline), which the polling, waiting on this thread, should not wait
// for all at once: each line is drawn in a turn of the event loop of its own, unless `now`.
void frmLogPlot::Draw(const LogPlotData& data, bool now) {
    drawing_ = &data;
    step_ = 0;
    if (now)
        FinishDrawing();
    else
        drawSoon_->start();
}

bool frmLogPlot::DrawStep() {
    std::size_t step = step_++;
    for (Chart& c : plots_) {
        c.lines.resize(c.series.size());
        if (step == 0) {
            ShowGaps(c.chart, c.band, *drawing_, c.time, c.values);
            return true;
        }
        if (step <= c.series.size()) {
            ShowSeries(c.chart, c.lines[step - 1], c.series[step - 1], *drawing_, c.time, c.values);
            return true;
        }
        step -= c.series.size() + 1;
    }
    drawing_ = nullptr;
    zoomer_->ReadOutAgain();
    return false;
}

void frmLogPlot::FinishDrawing() {
    drawSoon_->stop();
    while (drawing_ && DrawStep()) {
    }
}

void frmLogPlot::ShowStretch() {
    const ChartZoom& zoom = zoomer_->Zoom();
    const QString format = AxisFormat((zoom.To() - zoom.From()) / 1000);
    for (const Chart& c : plots_) {
        c.time->setFormat(format);
        c.time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(zoom.From())),
                         QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(zoom.To())));
    }
    // What the file holds between the whole plot's points is read once the zoom rests. Till
    // then the charts draw what they have for the new stretch; a stretch read before that
    // does not cover it gives way to the whole file's points.
    if (stretch_ && (!zoom.Zoomed() || zoom.From() < AxisTime(stretch_->First) ||
                     zoom.To() > AxisTime(stretch_->Last))) {
        stretch_.reset();
        Draw(data_);
    }
    if (zoom.Zoomed() && !path_.empty() && data_.Read.Ok)
        settle_->start();
    else
        settle_->stop();
}

void frmLogPlot::ReadStretch() {
    settle_->stop();
    const ChartZoom& zoom = zoomer_->Zoom();
    if (!zoom.Zoomed())
        return;
    const std::int64_t from = LogSeconds(zoom.From(), false), to = LogSeconds(zoom.To(), true);
    auto read = std::make_shared<LogPlotData>();
    worker_.reset();  // a reading of an earlier stretch is of no use now
    worker_ = std::make_unique<LogWorker>(
        [path = path_, from, to, inOrder = data_.InOrder, read](LogReadControl& control) {
            *read = ReadLogPlotSpan(path, from, to, inOrder, kPlotIntervals, &control);
        },
        nullptr,
        [this, read] {
            // A file that cannot be read now keeps the points it gave before.
            if (!worker_->Failure().empty() || !read->Read.Ok)
                return;
            stretch_ = std::make_unique<LogPlotData>(std::move(*read));
            Draw(*stretch_);
        });
}

void frmLogPlot::WaitForStretch() {
    if (settle_->isActive())
        ReadStretch();
    if (worker_)
        worker_->Wait();
    FinishDrawing();
}

bool frmLogPlot::ReadingStretch() const {
    return settle_->isActive() || (worker_ && worker_->Running());
}

void frmLogPlot::Save() {
    const std::string suggested =
        SuggestedPath(folder_, LogExportName(serial_.toStdString(), ".png"));
    dialogs_.SaveFileName(*this, kSaveTitle, suggested, "PNG images (*.png)",
                          [this](const std::string& path) { SaveAs(path); });
}

void frmLogPlot::SaveAs(const std::string& path) {
    const QString file = QString::fromStdString(path);
    QImageWriter writer(file, "png");
    if (!writer.write(charts_->grab().toImage())) {
        dialogs_.Notice(*this,
                        "Cannot write " + QDir::toNativeSeparators(file).toStdString() + ": " +
                            writer.errorString().toStdString(),
                        kSaveTitle, MsgIcon::Critical);
        return;
    }
    saved_->setText("Saved " + QDir::toNativeSeparators(file));
}

void frmLogPlot::keyPressEvent(QKeyEvent* event) {
    if (zoomer_->Key(*event)) {
        event->accept();
    } else if (event->key() == Qt::Key_S) {
        event->accept();
        Save();
    } else if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
    } else {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace halvern
