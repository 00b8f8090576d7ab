#pragma once
// frmMainte: the maintenance window. Shows the raw working values of the detector being
// served in three columns, large enough to read from a ladder, and turns its keys and buttons
// into the commands of MaintComm: F9 S/N test, F10 normal mode, A (or Alt+A) align, Esc or the
// close box exit (asking first about a detector left in its S/N test). It computes nothing itself.
// Signal closed(): the window has closed and the main window is to come back; trendsRequested():
// F8, the trends beside it are to show.

#include <QWidget>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPushButton;

namespace halvern {

class MaintComm;
struct Par;

class frmMainte : public QWidget {
    Q_OBJECT
  public:
    frmMainte(const Par& par, MaintComm& comm, QWidget* parent = nullptr);
    ~frmMainte() override;

    // Shows the shared state again.
    void Refresh();
    // The row of buttons, which a window beside this one leaves in sight.
    const QWidget& Buttons() const { return *buttons_; }

  signals:
    void closed();
    void trafficRequested();  // F7: the bus traffic window
    void trendsRequested();   // F8: the trends beside the window

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool HandleKey(QKeyEvent& key);

    const Par& par_;
    MaintComm& maintComm_;
    bool closedSent_ = false;

    QLabel *lblGain_{}, *lblSig1_{}, *lblRef_{}, *lblSig2_{}, *lblRat1_{}, *lblRat2_{},
        *lblNQRat1_{}, *lblNQRat2_{}, *lblLEL_{}, *lblTemp_{}, *lblVoltage_{}, *lblTOTime_{},
        *lblR2N_{}, *lblS1N_{}, *lblS2N_{}, *lblStatus_{}, *lblCom_{}, *Label9_{};
    QWidget* buttons_{};
    QPushButton *cmdExit_{}, *cmdCheck_{}, *cmdNormal_{}, *cmdAlign_{};
};

}  // namespace halvern
