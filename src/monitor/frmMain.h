#pragma once
// The main window: shows the shared state and turns clicks and keys into MainComm commands.
// It computes nothing itself.

#include <QMainWindow>
#include <array>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace halvern {

class AddressList;
class ElidedLabel;
class MainComm;
struct Par;

// The communication lamp: a filled circle, green or red, grey before the first verdict.
class LampWidget : public QWidget {
    Q_OBJECT
  public:
    explicit LampWidget(QWidget* parent = nullptr);
    void SetColor(const QColor& c);
    QColor Color() const { return color_; }
    QSize sizeHint() const override { return {34, 34}; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor color_;
};

class frmMain : public QMainWindow {
    Q_OBJECT
  public:
    frmMain(Par& par, MainComm& comm, QWidget* parent = nullptr);
    ~frmMain() override;

    // Shows the shared state again.
    void Refresh();
    // Put the focus where the hotkeys work at once.
    void FocusHome();

  signals:
    void startLogRequested();  // mnuSLog
    void viewLogRequested();   // mnuVLog
    void aboutRequested();     // mnuAbout
    void trafficRequested();   // mnuTraffic, F7
    void historyRequested();   // mnuHistory (H goes through MainComm)
    void reportRequested();    // mnuReport

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    bool HandleKey(QKeyEvent& e, QWidget& receiver);
    void BuildUi();
    void BuildMenus();
    QGroupBox* BuildDetectorPanel(QWidget* parent);
    QGroupBox* BuildCommunicationPanel(QWidget* parent);
    QGroupBox* BuildSignalsPanel(QWidget* parent);
    QGroupBox* BuildCommandButtons(QWidget* parent);
    QGroupBox* BuildAddressChooser(QWidget* parent);
    void BuildNotices(QWidget* parent);
    void BuildStatusBar(QWidget* parent);
    void ConnectCommandButtons();
    void ConnectAddressChooser();

    Par& par_;
    MainComm& mainComm_;

    QPushButton *cmdMaster_{}, *cmdExit_{}, *cmdVer_{}, *cmdVer2_{}, *cmdMaint_{}, *cmdSetio_{},
        *cmdAlign_{}, *cmdSetAddr_{}, *cmdUp_{}, *cmdDown_{};
    AddressList* cmbChangeAddr_{};
    QLabel *lblDetNum_{}, *lblStatus_{}, *lblSIL2Des_{}, *lblGain_{}, *lblFlash_{}, *lblSeNum_{},
        *lblCom_{}, *lblF12_{}, *lblVer_{}, *lblLogOn_{}, *lblLogError_{}, *lblSnTest_{},
        *lblHistoryError_{};
    ElidedLabel *lblPortNotice_{}, *lblWriteNotice_{};
    std::array<QLabel*, 5> lblCh_{};
    std::array<QLabel*, 5> lblChVal_{};
    LampWidget* Shape1_{};
    QAction* mnuSLog_{};
};

}  // namespace halvern
