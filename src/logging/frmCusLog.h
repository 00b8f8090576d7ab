#pragma once
// frmCusLog: the log viewer. Shows one detector's log file twelve lines at a time, each line
// cut into its columns, and prints an image of itself. The table holds 1025 lines: the file's
// first, read when the viewer is made, or with End its last, read at that moment (Home goes
// back to the first); records appended meanwhile are not shown by themselves. A line above the
// table says which lines of how many it holds when that is not all of them.
//
// Keys act when released (and only when their press also came to this window, so the Esc
// that cancels the print dialog does not close the viewer too): PgDn next line, PgUp previous
// line, Home/End first/last lines, P print, Esc close; G plots the whole file (frmLogPlot) and X
// exports it as CSV, both also on the right-click menu. Signal closed(): the viewer has closed (Esc
// or its close box) and the main window is to come back.

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "logging/LogViewer.h"
#include "logging/frmLogPlot.h"
#include "logging/frmLogTask.h"
#include "state/Par.h"

class QAction;
class QCloseEvent;
class QContextMenuEvent;
class QKeyEvent;
class QLabel;

namespace halvern {

class Dialogs;

class frmCusLog : public QWidget {
    Q_OBJECT
  public:
    // Opens the log of `entry`, the prompt's text as typed, from par.ProgramFolder. A file that
    // cannot be read shows as an empty table.
    frmCusLog(const Par& par, Dialogs& dialogs, const QString& entry, QWidget* parent = nullptr);
    ~frmCusLog() override;

    int TopLine() const { return model_.TopLine(); }
    // The plot window while it is open.
    frmLogPlot* Plot() const { return plot_; }
    // The reading for the plot, the CSV or End while it is under way.
    frmLogTask* Task() const { return task_; }
    // Waits for a big file's line count under way and shows it now (what the event queue does
    // a moment later).
    void WaitForLineCount() {
        if (counter_)
            counter_->Wait();
    }

    // G: reads the whole file away from the polling and opens its plot when it is read, or
    // brings the open plot to the front.
    void OpenPlot();
    // X: asks for a file name and writes the whole file there as CSV, away from the polling;
    // says how it went when it is done.
    void ExportCsv();

  signals:
    void closed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    struct RowLabels {
        QLabel* number = nullptr;
        std::array<QLabel*, kLogColumnCount> fields{};
    };

    void BuildTable(QWidget* table);
    void ShowRows();
    void Print();
    // Brings the reading under way to the front; false when there is none.
    bool RaiseTask();
    // A big file's line count, on a thread of its own; the line above the table says it when
    // it is known.
    void CountLines();
    // End: the file's last lines; a big file's read on a thread of its own, with progress.
    void ShowLastLines();
    void ExportCsvTo(const std::string& target);

    Dialogs& dialogs_;
    std::string saveFolder_;  // where the CSV and the plot's PNG are offered
    QString entry_;
    std::string path_;  // the log file; empty when the entry names none
    QLabel* lblExtent_ = nullptr;
    QAction* plotAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QPointer<frmLogPlot> plot_;
    QPointer<frmLogTask> task_;  // one reading at a time
    std::unique_ptr<LogWorker> counter_;
    LogViewerModel model_;
    std::array<RowLabels, kViewerRows> rows_{};
    QSet<int> pressed_;  // keys whose press this window saw and whose release is still due
};

}  // namespace halvern
