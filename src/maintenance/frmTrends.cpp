#include "maintenance/frmTrends.h"

#include <algorithm>

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QValueAxis>

#include "maintenance/TrendStore.h"
#include "platform/WholeFile.h"
#include "state/Par.h"
#include "state/SaveNames.h"
#include "ui/ChartZoom.h"
#include "ui/ChartZoomer.h"
#include "ui/Dialogs.h"
#include "ui/WindowKeys.h"

namespace halvern {

namespace {

bool SavePng(const QImage& image, QByteArray& png) {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG");
}

constexpr int kWidth = 640;           // wider when the screen has room
constexpr int kMinWidth = 340;        // beside the maintenance window on a 1024-pixel screen
constexpr int kTickSpacing = 24;      // pixels between value labels at least
constexpr int kMinChartHeight = 100;  // three charts and the buttons above the maintenance
                                      // window's buttons on a 600-pixel screen
constexpr int kLabelPoints = 9;
constexpr int kButtonPoints = 11;
// The narrowest stretch shown: a few dozen polls.
constexpr double kLeastStretchS = 10;
constexpr int kZoomedTicks = 6;  // at most, on a zoomed time axis

// One colour per trend, told apart on a laptop screen and in a printout alike.
const QColor kTrendColours[kTrends] = {QColor(0, 90, 200),  QColor(0, 150, 70),
                                       QColor(220, 110, 0), QColor(120, 40, 170),
                                       QColor(0, 150, 160), QColor(200, 0, 0)};

QFont Points(QFont f, int points) {
    f.setPointSize(points);
    return f;
}

}  // namespace

frmTrends::frmTrends(const Par& par, const TrendStore& store, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Tool), par_(par), store_(store), dialogs_(dialogs) {
    setObjectName("frmTrends");
    setAttribute(Qt::WA_QuitOnClose, false);

    chartArea_ = new QWidget(this);
    chartArea_->setObjectName("chartArea");
    chartArea_->setAutoFillBackground(true);
    auto* charts = new QVBoxLayout(chartArea_);
    charts->setContentsMargins(0, 0, 0, 0);
    charts->setSpacing(0);
    const int s1 = static_cast<int>(Trend::Signal1), ref = static_cast<int>(Trend::Reference),
              s2 = static_cast<int>(Trend::Signal2), r1 = static_cast<int>(Trend::Ratio1),
              r2 = static_cast<int>(Trend::Ratio2), gas = static_cast<int>(Trend::Gas);
    // The smallest spans shown: a steady line stays a line, not its last digit's noise.
    charts_[0] = MakeChart("chtSignals", {s1, ref, s2}, 0.2, false);
    charts_[1] = MakeChart("chtRatios", {r1, r2}, 0.1, false);
    charts_[2] = MakeChart("chtGas", {gas}, 10, true);
    zoomer_ = new ChartZoomer(this, kLeastStretchS,
                              [](double t) { return QString("%1 s ago").arg(-t, 0, 'f', 1); });
    for (Chart& c : charts_) {
        auto* view = new QChartView(c.chart, chartArea_);
        zoomer_->Watch(view);
        view->setObjectName(c.chart->objectName());
        // Steps of a hundredth need no smoothing, and drawing them plain costs far less.
        view->setRenderHint(QPainter::Antialiasing, false);
        view->setMinimumHeight(kMinChartHeight);
        charts->addWidget(view, 1);
    }

    // How to zoom, or what the pointer is over.
    lblReadout_ = new QLabel(ZoomHint(false), this);
    lblReadout_->setObjectName("lblReadout");
    lblReadout_->setTextFormat(Qt::PlainText);
    lblReadout_->setWordWrap(true);
    lblReadout_->setFont(Points(lblReadout_->font(), kLabelPoints));
    zoomer_->onReadout = [this](const QString& text) {
        lblReadout_->setText(text.isEmpty() ? ZoomHint(zoomer_->Zoom().Zoomed()) : text);
    };
    zoomer_->onChanged = [this] {
        ShowStretch();
        lblReadout_->setText(ZoomHint(zoomer_->Zoom().Zoomed()));
    };
    new WindowKeys(*this, [this](QKeyEvent& key, QWidget&) { return zoomer_->Key(key); });

    lblPaused_ = new QLabel("Paused: the samples go on being stored", this);
    lblPaused_->setObjectName("lblPaused");
    lblPaused_->setFont(Points(lblPaused_->font(), kButtonPoints));
    lblPaused_->setVisible(false);
    const auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        b->setFont(Points(b->font(), kButtonPoints));
        b->setMinimumHeight(34);
        return b;
    };
    cmdPause_ = button("&Pause", "cmdPause");
    cmdSave_ = button("&Save as PNG...", "cmdSave");
    cmdClose_ = button("Close-Esc", "cmdClose");
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(lblPaused_, 1);
    buttons->addStretch();
    for (QPushButton* b : {cmdPause_, cmdSave_, cmdClose_})
        buttons->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 8);
    layout->setSpacing(6);
    layout->addWidget(chartArea_, 1);
    layout->addWidget(lblReadout_);
    layout->addLayout(buttons);

    connect(cmdPause_, &QPushButton::clicked, this, [this] { SetPaused(!paused_); });
    connect(cmdSave_, &QPushButton::clicked, this, &frmTrends::cmdSave_Click);
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);

    resize(kMinWidth, 3 * kMinChartHeight + 60);
    Draw();
}

frmTrends::~frmTrends() {
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

frmTrends::Chart frmTrends::MakeChart(const char* name, std::initializer_list<int> trends,
                                      double minSpan, bool timeTitle) {
    Chart c;
    c.minSpan = minSpan;
    c.chart = new QChart;
    c.chart->setObjectName(name);
    c.chart->setMargins(QMargins(4, 2, 8, 2));
    c.chart->layout()->setContentsMargins(0, 0, 0, 0);
    c.chart->setBackgroundRoundness(0);
    c.chart->legend()->setAlignment(Qt::AlignTop);
    c.chart->legend()->setFont(Points(c.chart->legend()->font(), kLabelPoints + 1));
    // Drawn afresh each poll; the animations would lag behind the data.
    c.chart->setAnimationOptions(QChart::NoAnimation);

    c.time = new QValueAxis;
    c.time->setLabelFormat("%.0f");
    c.time->setLabelsFont(Points(c.time->labelsFont(), kLabelPoints));
    if (timeTitle) {
        c.time->setTitleText("seconds before now");
        c.time->setTitleFont(Points(c.time->titleFont(), kLabelPoints));
    }
    c.values = new QValueAxis;
    c.values->setLabelsFont(Points(c.values->labelsFont(), kLabelPoints));
    c.values->setTickCount(5);
    c.values->setTitleFont(Points(c.values->titleFont(), kLabelPoints));
    c.chart->addAxis(c.time, Qt::AlignBottom);
    c.chart->addAxis(c.values, Qt::AlignLeft);
    for (int t : trends) {
        auto* line = new QLineSeries;
        line->setName(TrendName(static_cast<Trend>(t)));
        QPen pen(kTrendColours[t]);
        pen.setWidthF(1.6);
        line->setPen(pen);
        c.chart->addSeries(line);
        line->attachAxis(c.time);
        line->attachAxis(c.values);
        c.lines.emplace_back(t, line);
    }
    // One line needs no legend: the axis says what it is.
    c.chart->legend()->setVisible(c.lines.size() > 1);
    return c;
}

void frmTrends::Refresh() {
    if (paused_ || !isVisible())
        return;
    Draw();
}

void frmTrends::Draw() {
    const auto serial = store_.Serial();
    setWindowTitle(serial ? QString("Trends of detector serial No:%1").arg(*serial, 0, 'f', 0)
                          : QString("Trends"));
    const QString gasUnit = QString::fromStdString(par_.Maint.LELCaption);
    if (charts_[2].values->titleText() != gasUnit)
        charts_[2].values->setTitleText(gasUnit);
    const TrendTimeAxis time = TrendTimeAxisFor(store_.Age());
    wholeTicks_ = time.ticks;
    zoomer_->Zoom().SetWhole(-time.seconds, 0);
    ShowStretch();
    for (Chart& c : charts_) {
        std::optional<std::pair<float, float>> range;
        for (const auto& [t, line] : c.lines) {
            line->replace(store_.Points(static_cast<Trend>(t)));
            const auto r = store_.Range({static_cast<Trend>(t)});
            if (r && range)
                *range = {std::min(range->first, r->first), std::max(range->second, r->second)};
            else if (r)
                range = r;
        }
        // As many value labels as the chart's height shows whole (a short chart on a small
        // screen would otherwise elide them all to "...").
        const int ticks =
            std::clamp(static_cast<int>(c.chart->plotArea().height()) / kTickSpacing, 2, 5);
        if (c.chart->plotArea().height() > 0 && ticks != c.values->tickCount()) {
            c.values->setTickCount(ticks);
            c.wanted = {-1, -1};
        }
        // Set only when it changes: a new range lays the chart out again.
        const auto wanted = TrendAxisRange(range, c.minSpan);
        if (wanted != c.wanted) {
            c.wanted = wanted;
            c.values->setRange(wanted.first, wanted.second);
            c.values->applyNiceNumbers();
        }
    }
    // The pointer resting on a chart reads what this poll brought.
    zoomer_->ReadOutAgain();
}

void frmTrends::ShowStretch() {
    const ChartZoom& zoom = zoomer_->Zoom();
    for (Chart& c : charts_) {
        // Set only when it changes: a new range lays the chart out again.
        if (c.time->min() == zoom.From() && c.time->max() == zoom.To())
            continue;
        c.time->setRange(zoom.From(), zoom.To());
        if (zoom.Zoomed()) {
            // Ticks at round seconds, wherever the stretch begins.
            c.time->setTickType(QValueAxis::TicksDynamic);
            c.time->setTickAnchor(0);
            c.time->setTickInterval(NiceStep(zoom.To() - zoom.From(), kZoomedTicks));
        } else {
            c.time->setTickType(QValueAxis::TicksFixed);
            c.time->setTickCount(wholeTicks_);
        }
    }
}

void frmTrends::SetPaused(bool paused) {
    paused_ = paused;
    cmdPause_->setText(paused ? "&Resume" : "&Pause");
    lblPaused_->setVisible(paused);
    if (!paused)
        Refresh();
}

void frmTrends::cmdSave_Click() {
    const auto serial = store_.Serial();
    const QString name = QString("trends-%1-%2.png")
                             .arg(serial ? QString::number(*serial, 'f', 0) : QString("none"))
                             .arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss"));
    const std::string suggested = SuggestedPath(par_.DocumentsFolder, name.toStdString());
    dialogs_.SaveFileName(*this, kTrendsSaveTitle, suggested, "PNG images (*.png)",
                          [this](const std::string& chosen) {
                              QString path = QString::fromStdString(chosen);
                              if (!path.endsWith(".png", Qt::CaseInsensitive))
                                  path += ".png";
                              SaveAsPng(path);
                          });
}

bool frmTrends::SaveAsPng(const QString& path) {
    const QImage image = chartArea_->grab().toImage();
    WholeFile file(path.toStdString());
    QString why;
    // A file the technician may overwrite in a folder he may not write in is still written.
    if (!file.Open(true))
        why = QString::fromStdString(file.Reason());
    else if (QByteArray png; !SavePng(image, png))
        why = "the image could not be written";
    else if (!file.Write(std::string_view(png.constData(), static_cast<std::size_t>(png.size()))) ||
             !file.Commit())
        why = QString::fromStdString(file.Reason());
    if (why.isEmpty())
        return true;
    dialogs_.Notice(*this,
                    "The trends could not be saved as " +
                        QDir::toNativeSeparators(path).toStdString() + ": " + why.toStdString(),
                    kTrendsSaveTitle, MsgIcon::Critical);
    return false;
}

void frmTrends::PlaceBeside(QWidget& window, const QWidget* keepInSight) {
    QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    int left = frame.right() + 1;
    int width = std::min(area.right() - frame.right(), kWidth);
    int bottom = area.bottom();
    if (width < kMinWidth && area.width() - frame.width() >= kMinWidth) {
        // Room on the screen, not on the right: the window goes to the right edge, the
        // trends stand beside it on its left, neither over the other.
        const int shift = area.right() - frame.right();
        window.move(window.pos() + QPoint(shift, 0));
        frame.translate(shift, 0);
        left = area.left();
        width = std::min(frame.left() - area.left(), kWidth);
    } else if (width < kMinWidth) {
        // No room on the right: the window goes to the right edge, and the trends stand on its
        // left, over its first column on a small screen: that column's signals and ratios are
        // what the trends chart, and the noise figures and the status stay in sight.
        const int shift = area.right() - frame.right();
        window.move(window.pos() + QPoint(shift, 0));
        frame.translate(shift, 0);
        left = area.left();
        width = std::clamp(frame.left() - area.left(), kMinWidth, kWidth);
        // The window's buttons stay in sight and can be clicked: the charts get shorter.
        if (keepInSight)
            bottom = window.geometry().top() + keepInSight->mapTo(&window, QPoint()).y() - 6;
    }
    // The window frame and title bar come around our own geometry.
    const int extraWidth = std::max(0, frame.width() - window.width());
    const int extraHeight = std::max(0, frame.height() - window.height());
    resize(std::min(width, area.width()) - extraWidth, bottom - area.top() + 1 - extraHeight);
    move(left, area.top());
}

void frmTrends::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmTrends::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (isVisible() && !paused_)
        Draw();
}

void frmTrends::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!paused_)
        Draw();
}

}  // namespace halvern
