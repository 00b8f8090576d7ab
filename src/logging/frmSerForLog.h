#pragma once
// frmSerForLog: the small prompt that asks for a detector's serial number (or a bus address,
// for its disconnection log) before the log viewer opens, and checks that the log file exists.
//
// Signals:
// - openViewer(entry): the log file of `entry` (exactly as typed) can be read; the prompt has
//   hidden itself and stays loaded with its text, so showing it again offers the same entry.
// - closedBack(): Cancel, Esc, the close box, or an entry that is no number (after its
//   message); the prompt has closed, its text is cleared, and the main window is to come back.

#include <QWidget>

#include "state/Par.h"

class QCloseEvent;
class QLineEdit;
class QShowEvent;

namespace halvern {

class Dialogs;

class frmSerForLog : public QWidget {
    Q_OBJECT
  public:
    // The log files are looked up in par.ProgramFolder when OK is chosen. It starts with
    // `served`, the serial number of the detector served (selected: typing replaces it).
    frmSerForLog(const Par& par, Dialogs& dialogs, const QString& served = {},
                 QWidget* parent = nullptr);

    QString Entry() const;

  signals:
    void openViewer(const QString& entry);
    void closedBack();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void cmdOK_Click();

    const Par& par_;
    Dialogs& dialogs_;
    QLineEdit* txtSer_ = nullptr;
};

}  // namespace halvern
