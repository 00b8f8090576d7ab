#pragma once
// frmLogPlot: a whole log file drawn against time, opened from the log viewer. Three charts
// share the time axis: the signals (Signal 1, Reference, Signal 2), the ratios (Ratio 1,
// Ratio 2) and the gas reading. Stretches without readings are shaded and the lines break
// there. A line under the charts says what was read and how many lines were skipped.
//
// The time axis zooms (the wheel, a drag over a stretch, + and -) and pans (a drag with the
// right button, Left and Right); Home shows the whole file again. The line under the charts
// reads out the time and the values under the pointer.
//
// Keys: S (or Ctrl+S) saves the charts as a PNG file, Esc closes. The window shows the data
// it is given; the file is read before (ReadLogPlot, away from the polling's thread). A
// stretch zoomed in on is read again from the file for its finer points, on a worker too.

#include <QString>
#include <QWidget>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "logging/LogPlot.h"

class QAreaSeries;
class QChart;
class QDateTimeAxis;
class QHBoxLayout;
class QKeyEvent;
class QLabel;
class QLineSeries;
class QTimer;
class QValueAxis;

namespace halvern {

class ChartZoomer;
class Dialogs;
class LogWorker;

// "Log plot of detector serial No 4711"
QString LogPlotTitle(const QString& serial);

class frmLogPlot : public QWidget {
    Q_OBJECT
  public:
    // `serial` as the log is named (without ".txt"); `folder` is where the save dialog opens;
    // `path` is the log, read again for a stretch zoomed in on.
    frmLogPlot(LogPlotData data, const QString& serial, const std::string& folder, Dialogs& dialogs,
               const std::string& path = {}, QWidget* parent = nullptr);
    ~frmLogPlot() override;

    // The whole file's plot, and what the charts draw now (it, or a stretch read again).
    const LogPlotData& Data() const { return data_; }
    const LogPlotData& Shown() const { return stretch_ ? *stretch_ : data_; }
    ChartZoomer& Zoomer() { return *zoomer_; }
    // The stretch shown, if it waits to be read, is read now; waits for that reading to be
    // drawn (for tests and benchmarks, which do not wait for the pause after a zoom).
    void WaitForStretch();
    // A stretch waits to be read or is being read; what was read, or the whole file's points,
    // are being drawn.
    bool ReadingStretch() const;
    bool Drawing() const { return drawing_ != nullptr; }

    // Asks for a file name and saves the charts there; a file that cannot be written gets a
    // message and the window stays as it was.
    void Save();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct Chart {
        QChart* chart{};
        QDateTimeAxis* time{};
        QValueAxis* values{};
        std::vector<int> series;
        QAreaSeries* band{};                           // the gaps
        std::vector<std::vector<QLineSeries*>> lines;  // per series, a line per stretch
    };
    void SaveAs(const std::string& path);
    void AddChart(QWidget* parent, const char* name, const QString& title, std::vector<int> series,
                  bool lowest, int stretch);
    QHBoxLayout* MakeButtons();
    void Draw(const LogPlotData& data, bool now = false);
    bool DrawStep();  // false once all is drawn
    void FinishDrawing();
    void ShowStretch();  // the time axes as the zoom says
    void ReadStretch();

    QWidget* charts_ = nullptr;
    QLabel* saved_ = nullptr;
    QLabel* readout_ = nullptr;
    Dialogs& dialogs_;
    LogPlotData data_;
    QString serial_;
    std::string folder_;
    std::string path_;
    std::vector<Chart> plots_;
    ChartZoomer* zoomer_ = nullptr;
    QTimer* settle_ = nullptr;              // a zoom that has rested a moment is read
    std::unique_ptr<LogPlotData> stretch_;  // drawn in place of data_ when zoomed in
    QTimer* drawSoon_ = nullptr;            // the next step of a drawing
    const LogPlotData* drawing_ = nullptr;  // data_ or *stretch_, while being drawn
    std::size_t step_ = 0;
    std::unique_ptr<LogWorker> worker_;
};

}  // namespace halvern
