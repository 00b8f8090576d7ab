#pragma once
// The navigation between the windows of halvern: splash, port dialog, main window and the
// windows it opens. It owns the link, the polling loop and the main window's logic; the
// platform, the port, the dialog layer and the shared state are handed in, so a test runs the
// whole program on virtual time.

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "config/frmNewAddr.h"
#include "config/frmSetupT.h"
#include "history/HistoryStore.h"
#include "history/frmHistory.h"
#include "link/Link.h"
#include "logging/LogRecords.h"
#include "logging/frmCusLog.h"
#include "logging/frmSerForLog.h"
#include "maintenance/MaintComm.h"
#include "maintenance/TrendStore.h"
#include "maintenance/frmMainte.h"
#include "maintenance/frmTrends.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"
#include "monitor/ScanComm.h"
#include "monitor/frmScan.h"
#include "platform/Platform.h"
#include "platform/qt/PortList.h"
#include "site/OverviewComm.h"
#include "site/frmBusOverview.h"
#include "state/Par.h"
#include "traffic/frmTraffic.h"
#include "ui/Dialogs.h"
#include "ui/WindowPlaces.h"
#include "ui/frmAbout.h"
#include "ui/frmOpenS.h"

namespace halvern {

class frmComm;
class frmMain;

constexpr int kHistoryRetryMs = 30'000;

struct AppOptions {
    std::string device;   // --device: open this device whatever port number is chosen
    bool demo = false;    // --demo: the simulated bus
    std::string dataDir;  // --data-dir: the program folder
    // --network-allowance: the reply windows' extra time over a network gateway
    int networkAllowanceMs = kDefaultNetworkAllowanceMs;
};

struct AppServices {
    Platform& platform;
    SerialPort& port;
    Dialogs& dialogs;
    // Port number to device name (COMn on Windows, a tty on Linux).
    std::function<std::string(int)> deviceForPort;
    std::function<LocalDateTime()> now;
    std::function<void()> quit;  // ends the application's event loop
    PortEnumerator listPorts;    // the serial ports present, for the port dialog
};

class App : public QObject {
    Q_OBJECT
  public:
    App(AppServices services, Par& par, AppOptions options);
    ~App() override;

    void Start();                // the splash, then the port dialog
    void StartWithPortDialog();  // straight to the port dialog (tests)

    frmOpenS* Splash() const { return splash_; }
    frmComm* PortDialog() const { return portDialog_.get(); }
    frmMain* MainWindow() const { return main_.get(); }
    frmSerForLog* LogPrompt() const { return serForLog_; }
    frmCusLog* LogViewer() const { return cusLog_; }
    frmSetupT* SetupScreen() const { return setup_; }
    frmNewAddr* AddressDialog() const { return newAddr_; }
    frmMainte* MaintenanceWindow() const { return mainte_; }
    MaintComm* Maintenance() const { return maintComm_.get(); }
    frmTrends* TrendsWindow() const { return trendsWin_; }
    const TrendStore& Trends() const { return trends_; }
    frmScan* ScanWindow() const { return scan_; }
    frmBusOverview* OverviewWindow() const { return overview_; }
    frmTraffic* TrafficWindow() const { return traffic_; }
    frmHistory* HistoryWindow() const { return historyWin_; }
    frmAbout* AboutBox() const { return about_; }
    HistoryStore& History() { return *history_; }
    MainComm* Comm() const { return mainComm_.get(); }
    PollLoop& Loop() { return loop_; }
    Link& GetLink() { return link_; }
    Timer& Timer2() { return *timer2_; }
    bool Ended() const { return ended_; }

  private:
    void OnPortChosen();
    void LoadMain();
    void ActivateMain();
    void StartStopLog();
    void LogTick();
    // The serial number of the detector served, from its last reading; empty when none.
    std::string ServedSerial() const;
    void ShowAbout();
    void ViewLog();
    void OpenViewer(const QString& entry);
    void OpenSetup(std::uint8_t address);
    void OpenAddress();
    void OpenMaintenance();
    void ShowTrends();
    void OpenScan();
    // The bus overview of the detectors at `addresses` (none: of those a scan finds).
    void OpenOverview(std::vector<std::uint8_t> addresses);
    // The bus traffic window: modeless, beside whichever window serves the detector.
    void OpenTraffic();
    void OpenHistory();
    // The service report of the detector with this serial number, on the printer (or PDF)
    // chosen in the print dialog.
    void ServiceReport(const std::string& serial);
    // Events the history could not take are tried again until they are written.
    void HistoryRetry();
    // Shows a child window that replaces the main window until it reports its closing.
    void ShowChild(ConfigWindow* child);
    void BackToMain();
    void End();

    AppServices s_;
    Par& par_;
    AppOptions options_;
    WindowPlaces places_;  // of every window, kept in the program folder
    Link link_;
    PollLoop loop_;
    std::unique_ptr<MainComm> mainComm_;
    std::unique_ptr<MaintComm> maintComm_;
    TrendStore trends_;  // of the maintenance window's polls
    std::unique_ptr<ScanComm> scanComm_;
    std::unique_ptr<OverviewComm> overviewComm_;
    std::unique_ptr<frmComm> portDialog_;
    std::unique_ptr<frmMain> main_;
    QPointer<frmOpenS> splash_;
    QPointer<frmAbout> about_;
    QPointer<frmSerForLog> serForLog_;  // kept, hidden, while the viewer is open
    QPointer<frmCusLog> cusLog_;
    QPointer<frmSetupT> setup_;
    QPointer<frmNewAddr> newAddr_;
    QPointer<frmMainte> mainte_;
    QPointer<frmTrends> trendsWin_;
    QPointer<frmScan> scan_;
    QPointer<frmBusOverview> overview_;
    QPointer<frmTraffic> traffic_;
    std::unique_ptr<HistoryStore> history_;
    std::unique_ptr<Timer> historyRetry_;
    QPointer<frmHistory> historyWin_;
    Micros startUs_ = 0;  // the traffic window counts its milliseconds from here
    std::unique_ptr<Timer> timer2_;
    bool ended_ = false;
};

}  // namespace halvern
