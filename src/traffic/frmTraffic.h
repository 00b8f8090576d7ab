#pragma once
// frmTraffic: the bus traffic window. Every frame the program writes and every run of bytes
// it takes in, with its time, direction, bytes, CRC verdict and meaning; bad frames in colour.
// It listens to the link from its construction to its destruction and needs nothing else, so
// any owner of a Link can open it. The table takes what came in batches, on a timer, so the
// polling never waits for the view. P pauses and resumes, C clears, S saves, Esc closes.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "link/Link.h"
#include "traffic/TrafficLog.h"

class QKeyEvent;
class QLabel;
class QPushButton;
class QTableView;

namespace halvern {

class Dialogs;
class TrafficModel;

// New rows are shown in batches: drawing the table is what costs, and at 2.5 batches a second
// the window stays well under 2 % of a core while the polling keeps its pace.
constexpr int kTrafficBatchMs = 400;

class frmTraffic : public QWidget {
    Q_OBJECT
  public:
    // startUs: the platform time at which the program started (the "ms" column counts from it).
    frmTraffic(Link& link, Dialogs& dialogs, Micros startUs, QWidget* parent = nullptr);
    ~frmTraffic() override;

    // Brings in what the link handed over since the last batch (the timer calls it).
    void Update();
    void SetPaused(bool paused);
    bool Paused() const { return paused_; }
    void Clear();
    // Asks for a file and writes the shown entries there; a failure is said and loses nothing.
    void Save();
    bool SaveTo(const QString& path);

    // Where Save suggests the file.
    void SetSaveFolder(const QString& folder) { saveFolder_ = folder; }
    // The file chosen for Save (empty: cancelled); unset, a window-modal file dialog that
    // does not hold up the polling asks.
    std::function<QString(const QString& suggested)> chooseSaveFile;

    const TrafficLog& Log() const { return log_; }
    const TrafficClock& Clock() const { return clock_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The columns share the table's width: nothing is cut off at the right edge.
    void FitColumns();
    bool HandleKey(QKeyEvent& key);
    void ShowCounts();

    Link& link_;
    Dialogs& dialogs_;
    TrafficLog log_;
    TrafficClock clock_;
    TrafficModel* model_{};
    std::unique_ptr<Timer> timer_;
    bool paused_ = false;
    QString saveFolder_;

    QTableView* tblTraffic_{};
    QLabel* lblCount_{};
    QPushButton *cmdPause_{}, *cmdClear_{}, *cmdSave_{}, *cmdClose_{};
};

}  // namespace halvern
