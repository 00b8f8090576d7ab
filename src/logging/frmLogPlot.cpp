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
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>

#include "state/SaveNames.h"
#include "ui/Dialogs.h"

namespace halvern {

namespace {

constexpr const char* kSaveTitle = "Save log plot";

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

// The time range drawn: a single instant gets a minute either side.
std::pair<qreal, qreal> TimeRange(const LogPlotData& data) {
    std::int64_t first = data.First, last = data.Last;
    if (last <= first) {
        first -= 60;
        last += 60;
    }
    return {AxisTime(first), AxisTime(last)};
}

QString AxisFormat(const LogPlotData& data) {
    const std::int64_t span = data.Last - data.First;
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
QDateTimeAxis* AddTimeAxis(QChart* chart, const LogPlotData& data, bool labelled) {
    auto* time = new QDateTimeAxis;
    time->setLabelsVisible(labelled);
    time->setFormat(AxisFormat(data));
    time->setTickCount(7);
    const auto [from, to] = TimeRange(data);
    time->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(from)),
                   QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(to)));
    chart->addAxis(time, Qt::AlignBottom);
    return time;
}

// From zero, or the lowest value when below, to a little above the highest value shown.
QValueAxis* AddValueAxis(QChart* chart, const QString& title, std::initializer_list<int> series,
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

// The gaps as one shaded band series: the upper line steps up over each gap.
void AddGapBand(QChart* chart, const LogPlotData& data, QDateTimeAxis* time, QValueAxis* values) {
    const auto [from, to] = TimeRange(data);
    const qreal bottom = values->min(), top = values->max();
    auto* upper = new QLineSeries;
    auto* lower = new QLineSeries;
    upper->append(from, bottom);
    for (const PlotGap& gap : data.Gaps) {
        const qreal a = AxisTime(gap.From), b = AxisTime(gap.To);
        *upper << QPointF(a, bottom) << QPointF(a, top) << QPointF(b, top) << QPointF(b, bottom);
    }
    upper->append(to, bottom);
    *lower << QPointF(from, bottom) << QPointF(to, bottom);
    auto* band = new QAreaSeries(upper, lower);
    // An area series does not own its edge lines.
    upper->setParent(band);
    lower->setParent(band);
    band->setName("No readings");
    band->setPen(Qt::NoPen);
    band->setBrush(kGapFill);
    chart->addSeries(band);
    band->attachAxis(time);
    band->attachAxis(values);
}

// One series: each unbroken stretch is a line of its own; the legend names the series once.
void AddSeries(QChart* chart, int s, const LogPlotData& data, QDateTimeAxis* time,
               QValueAxis* values) {
    const auto& segments = data.Segments[static_cast<std::size_t>(s)];
    QPen pen(kSeriesColours[s], 1.6);
    if (s == PlotRatio2 || s == PlotReference)
        pen.setWidthF(1.3);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        auto* line = new QLineSeries;
        line->setName(PlotSeriesName(s));
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segments[i].size()));
        for (const PlotPoint& p : segments[i])
            points.append(QPointF(AxisTime(p.Seconds), p.Value));
        // A stretch of one reading is a dot, not an invisible line.
        line->setPointsVisible(points.size() == 1);
        line->replace(points);
        line->setPen(pen);
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(values);
        if (i > 0) {
            for (QLegendMarker* marker : chart->legend()->markers(line))
                marker->setVisible(false);
        }
    }
    if (segments.empty()) {
        // Still named in the legend, so the chart says what it would show.
        auto* line = new QLineSeries;
        line->setName(PlotSeriesName(s));
        line->setPen(pen);
        chart->addSeries(line);
        line->attachAxis(time);
        line->attachAxis(values);
    }
}

// A chart of some series over the shared time axis, with the gaps shaded behind them.
QChartView* MakeChart(QWidget* parent, const QString& name, const QString& title,
                      std::initializer_list<int> series, const LogPlotData& data, bool lowest) {
    QChart* chart = NewChart();
    QDateTimeAxis* time = AddTimeAxis(chart, data, lowest);
    if (!lowest) {
        // The last time label reaches past the lowest plot's right end, which moves that end
        // in: the charts above keep the same room, so that one time stands at one x.
        const QString label = QDateTime::currentDateTime().toString(AxisFormat(data));
        QMargins margins = chart->margins();
        margins.setRight(margins.right() +
                         QFontMetrics(time->labelsFont()).horizontalAdvance(label) / 2);
        chart->setMargins(margins);
    }
    QValueAxis* values = AddValueAxis(chart, title, series, data);
    if (!data.Gaps.empty())
        AddGapBand(chart, data, time, values);
    for (const int s : series)
        AddSeries(chart, s, data, time, values);

    auto* view = new QChartView(chart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus);
    view->setMinimumHeight(lowest ? 110 : 90);  // three charts and the buttons on 600 pixels
    return view;
}

}  // namespace

QString LogPlotTitle(const QString& serial) {
    return "Log plot of detector serial No " + serial;
}

frmLogPlot::frmLogPlot(LogPlotData data, const QString& serial, const std::string& folder,
                       Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      data_(std::move(data)),
      serial_(serial),
      folder_(folder) {
    setObjectName("frmLogPlot");
    setWindowTitle(LogPlotTitle(serial));
    setFocusPolicy(Qt::StrongFocus);

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
    chartsLayout->addWidget(MakeChart(charts_, "chtSignals", "Signals (V)",
                                      {PlotSignal1, PlotReference, PlotSignal2}, data_, false),
                            4);
    chartsLayout->addWidget(
        MakeChart(charts_, "chtRatios", "Ratios", {PlotRatio1, PlotRatio2}, data_, false), 3);
    chartsLayout->addWidget(MakeChart(charts_, "chtGas", "Gas", {PlotGas}, data_, true), 4);
    auto* summary = new QLabel(QString::fromStdString(PlotSummary(data_)), charts_);
    summary->setObjectName("lblSummary");
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    chartsLayout->addWidget(summary);

    saved_ = new QLabel(this);
    saved_->setObjectName("lblSaved");
    saved_->setTextFormat(Qt::PlainText);
    auto* save = new QPushButton("Save PNG-S", this);
    save->setObjectName("cmdSave");
    save->setFocusPolicy(Qt::NoFocus);
    connect(save, &QPushButton::clicked, this, &frmLogPlot::Save);
    auto* close = new QPushButton("Close-Esc", this);
    close->setObjectName("cmdClose");
    close->setFocusPolicy(Qt::NoFocus);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(saved_, 1);
    buttons->addWidget(save);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(charts_, 1);
    layout->addLayout(buttons);
    resize(1080, 700);
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
    if (event->key() == Qt::Key_S) {
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
