#pragma once
// frmBusOverview: the bus overview window. One row per detector of the bus (address, model,
// serial, status in its colours as on the main window, gas reading, link, last seen), lost
// detectors marked; a double-click or Enter on a row makes the main window serve that
// detector; Esc, Close or the close box close it. It computes nothing itself: OverviewComm
// polls and gives the texts. Signal closed(): the window has closed.

#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTableWidget;

namespace halvern {

class OverviewComm;

class frmBusOverview : public QWidget {
    Q_OBJECT
  public:
    explicit frmBusOverview(OverviewComm& comm, QWidget* parent = nullptr);
    ~frmBusOverview() override;

    // Shows the detectors again.
    void Refresh();

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool HandleKey(QKeyEvent& key);
    void Choose(int row);

    OverviewComm& comm_;
    bool closedSent_ = false;
    QLabel* lblState_{};
    QTableWidget* grdDetectors_{};
    QPushButton* cmdClose_{};
};

}  // namespace halvern
