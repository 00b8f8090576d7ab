#pragma once
// frmTrends: the maintenance window's companion, beside it, with the trends of the last ten
// minutes: the signals (Signal 1, Reference, Signal 2), the ratios and the gas reading, each
// chart moving with every poll. Pause freezes the view while the samples go on being stored;
// "Save as PNG" writes what is shown. It draws what the TrendStore holds and computes nothing.
// The time axis zooms (the wheel, a drag over a stretch, + and -) and pans (a drag with the
// right button, Left and Right) in seconds before now; Home shows the whole span again. The
// line under the charts reads out the time and the values under the pointer.

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace halvern {

class ChartZoomer;
class Dialogs;
class TrendStore;
struct Par;

constexpr const char* kTrendsSaveTitle = "Save as PNG";

class frmTrends : public QWidget {
    Q_OBJECT
  public:
    frmTrends(const Par& par, const TrendStore& store, Dialogs& dialogs, QWidget* parent = nullptr);
    ~frmTrends() override;

    // Draws the store again, unless paused or not shown.
    void Refresh();
    bool Paused() const { return paused_; }
    void SetPaused(bool paused);
    // Asks for a file name and saves the charts there.
    void cmdSave_Click();
    // Writes the charts as shown into a PNG file; a file that cannot be written is told
    // with the system's reason, and nothing in the window changes.
    bool SaveAsPng(const QString& path);
    ChartZoomer& Zoomer() { return *zoomer_; }
    // Places the window to the right of `window` on its screen. Where the screen has no room
    // there, `window` moves to the right edge (its size stays) and the trends stand on its
    // left: beside it where the screen is wide enough, else over its first column, ending
    // above `keepInSight` (its buttons) when given.
    void PlaceBeside(QWidget& window, const QWidget* keepInSight = nullptr);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Chart {
        QChart* chart{};
        QValueAxis* time{};
        QValueAxis* values{};
        std::vector<std::pair<int, QLineSeries*>> lines;  // trend index, its line
        double minSpan = 1;
        std::pair<double, double> wanted{-1, -1};  // the value range last asked for
    };
    Chart MakeChart(const char* name, std::initializer_list<int> trends, double minSpan,
                    bool timeTitle);
    void Draw();
    void ShowStretch();  // the time axes as the zoom says

    const Par& par_;
    const TrendStore& store_;
    Dialogs& dialogs_;
    bool paused_ = false;
    std::array<Chart, 3> charts_;
    QWidget* chartArea_{};
    QLabel* lblPaused_{};
    QLabel* lblReadout_{};
    ChartZoomer* zoomer_{};
    int wholeTicks_ = 0;  // the time axis's ticks over the whole span
    QPushButton *cmdPause_{}, *cmdSave_{}, *cmdClose_{};
};

}  // namespace halvern
