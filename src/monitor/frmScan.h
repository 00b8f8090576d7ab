#pragma once
// frmScan: the bus scan window. Shows the progress of the scan (bar, the address reached, the
// time left) and the detectors found as they are found, and forwards the operator's keys and
// clicks to ScanComm: Cancel or Esc stop the scan, a double-click or Enter on a detector makes
// the main window serve it, Esc or Close after the scan (or the close box) close the window,
// and the time-out box sets the first pass's wait at each address. It computes nothing
// itself. Signal closed(): the window has closed.

#include "ui/ChooserWindow.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace halvern {

class ScanComm;

class frmScan : public ChooserWindow {
    Q_OBJECT
  public:
    explicit frmScan(ScanComm& comm, QWidget* parent = nullptr);

    // Shows the state of the scan again.
    void Refresh();

  signals:
    // "Bus overview" after a scan that found detectors: the overview of those detectors.
    void overviewRequested();

  protected:
    int CurrentRow() const override;
    bool ChooseRow(std::size_t row) override;
    bool Escape() override;  // a running scan is cancelled
    void Closing() override;

  private:
    ScanComm& scanComm_;

    QLabel *lblState_{}, *lblAddress_{}, *lblTimeLeft_{};
    QProgressBar* prgScan_{};
    QListWidget* lstFound_{};
    QSpinBox* spnTimeout_{};
    QPushButton *cmdCancel_{}, *cmdClose_{}, *cmdOverview_{};
};

}  // namespace halvern
