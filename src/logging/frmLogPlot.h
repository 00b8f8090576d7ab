#pragma once
// frmLogPlot: a whole log file drawn against time, opened from the log viewer. Three charts
// share the time axis: the signals (Signal 1, Reference, Signal 2), the ratios (Ratio 1,
// Ratio 2) and the gas reading. Stretches without readings are shaded and the lines break
// there. A line under the charts says what was read and how many lines were skipped.
//
// Keys: S (or Ctrl+S) saves the charts as a PNG file, Esc closes. The window shows the data
// it is given; the file is read before (ReadLogPlot, away from the polling's thread).

#include <QString>
#include <QWidget>
#include <string>

#include "logging/LogPlot.h"

class QKeyEvent;
class QLabel;

namespace halvern {

class Dialogs;

// "Log plot of detector serial No 4711"
QString LogPlotTitle(const QString& serial);

class frmLogPlot : public QWidget {
    Q_OBJECT
  public:
    // `serial` as the log is named (without ".txt"); `folder` is where the save dialog opens.
    frmLogPlot(LogPlotData data, const QString& serial, const std::string& folder, Dialogs& dialogs,
               QWidget* parent = nullptr);

    const LogPlotData& Data() const { return data_; }

    // Asks for a file name and saves the charts there; a file that cannot be written gets a
    // message and the window stays as it was.
    void Save();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void SaveAs(const std::string& path);

    QWidget* charts_ = nullptr;
    QLabel* saved_ = nullptr;
    Dialogs& dialogs_;
    LogPlotData data_;
    QString serial_;
    std::string folder_;
};

}  // namespace halvern
