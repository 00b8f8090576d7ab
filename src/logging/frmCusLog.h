#pragma once
// frmCusLog: the log viewer. Shows one detector's log file twelve lines at a time, each line
// cut into its columns, and prints an image of itself. The file is read once, when the viewer
// is made; records appended while it is open are seen only after reopening.
//
// Keys act when released (and only when their press also came to this window, so the Esc
// that cancels the print dialog does not close the viewer too): PgDn next line, PgUp previous
// line, P print, Esc close. Signal closed(): the viewer has closed (Esc or its close box) and
// the main window is to come back.

#include <QSet>
#include <QWidget>
#include <array>

#include "logging/LogViewer.h"
#include "state/Par.h"

class QCloseEvent;
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

    int TopLine() const { return model_.TopLine(); }

  signals:
    void closed();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct RowLabels {
        QLabel* number = nullptr;
        std::array<QLabel*, kLogColumnCount> fields{};
    };

    void BuildTable(QWidget* table);
    void ShowRows();
    void Print();

    Dialogs& dialogs_;
    LogViewerModel model_;
    std::array<RowLabels, kViewerRows> rows_{};
    QSet<int> pressed_;  // keys whose press this window saw and whose release is still due
};

}  // namespace halvern
