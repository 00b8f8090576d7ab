#pragma once
// frmBusOverview: the bus overview window. One row per detector of the bus (address, model,
// serial, status in its colours as on the main window, gas reading, link, last seen), lost
// detectors marked; a double-click or Enter on a row makes the main window serve that
// detector; Esc, Close or the close box close it. It computes nothing itself: OverviewComm
// polls and gives the texts. Signal closed(): the window has closed.

#include "ui/ChooserWindow.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace halvern {

class OverviewComm;

class frmBusOverview : public ChooserWindow {
    Q_OBJECT
  public:
    explicit frmBusOverview(OverviewComm& comm, QWidget* parent = nullptr);

    // Shows the detectors again.
    void Refresh();

  protected:
    int CurrentRow() const override;
    bool ChooseRow(std::size_t row) override;
    void Closing() override;

  private:
    OverviewComm& comm_;
    QLabel* lblState_{};
    QTableWidget* grdDetectors_{};
    QPushButton* cmdClose_{};
};

}  // namespace halvern
