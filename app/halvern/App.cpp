#include "App.h"

#include "HalvernVersion.h"

#include <QApplication>

#include "history/ReportPdf.h"
#include "history/ServiceReport.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "logging/LoggingControl.h"
#include "monitor/frmMain.h"
#include "platform/qt/PortDevice.h"
#include "state/SaveNames.h"
#include "ui/frmAbout.h"
#include "ui/frmComm.h"
#include "ui/frmOpenS.h"

namespace halvern {

App::App(AppServices services, Par& par, AppOptions options)
    : s_(std::move(services)),
      par_(par),
      options_(std::move(options)),
      places_(QString::fromStdString(JoinPath(par.ProgramFolder, kSettingsFile))),
      link_(s_.platform, s_.port, par.Link),
      trends_(s_.platform) {
    history_ = std::make_unique<HistoryStore>(JoinPath(par.ProgramFolder, kHistoryFile),
                                              HistoryWriter{"halvern", kVersion, PcUserName()});
    par_.History = history_.get();
    historyRetry_ = s_.platform.NewTimer();
    historyRetry_->SetInterval(kHistoryRetryMs);
    historyRetry_->onTick = [this] { HistoryRetry(); };
    MainCommHooks hooks;
    hooks.now = s_.now;
    hooks.changed = [this] {
        if (history_->Pending() > 0)
            historyRetry_->SetEnabled(true);
        if (main_)
            main_->Refresh();
    };
    hooks.openHistory = [this] { OpenHistory(); };
    hooks.exitProgram = [this] { End(); };
    hooks.openSetup = [this](std::uint8_t address) { OpenSetup(address); };
    hooks.openAddress = [this] { OpenAddress(); };
    hooks.openMaintenance = [this] { OpenMaintenance(); };
    hooks.openScan = [this] { OpenScan(); };
    hooks.openOverview = [this] { OpenOverview({}); };
    mainComm_ = std::make_unique<MainComm>(par_, link_, s_.dialogs, loop_, std::move(hooks));
    // Kept for the life of the program: a command or scan step still running when its window
    // closes ends inside these objects, never inside a window that is gone.
    maintComm_ = std::make_unique<MaintComm>(par_, link_, s_.dialogs, loop_, [this] {
        if (mainte_)
            mainte_->Refresh();
    });
    maintComm_->onPolled = [this](bool decoded) {
        trends_.AddPoll(par_, decoded);
        if (trendsWin_)
            trendsWin_->Refresh();
    };
    scanComm_ = std::make_unique<ScanComm>(link_, loop_, *mainComm_, [this] {
        if (scan_)
            scan_->Refresh();
    });
    overviewComm_ = std::make_unique<OverviewComm>(link_, loop_, *mainComm_, s_.now, [this] {
        if (overview_)
            overview_->Refresh();
    });
    // The program ends only through its own exit paths: while a child window replaces the
    // main window for a moment no window is visible, and that must not end anything (an
    // application that quits also makes every later message box return at once).
    QApplication::setQuitOnLastWindowClosed(false);
    // Port trouble (RTS refused, device lost) is shown once, without stopping the polling.
    s_.port.onNotice = [this](const std::string& notice) {
        par_.Main.PortNotice = notice;
        if (main_)
            main_->Refresh();
    };
    startUs_ = s_.platform.NowUs();
    timer2_ = s_.platform.NewTimer();
    timer2_->SetInterval(kLogTickMs);
    timer2_->onTick = [this] { LogTick(); };
}

App::~App() {
    delete traffic_;  // it listens to the link, which goes with this object
    delete historyWin_;
    par_.History = nullptr;
}

void App::Start() {
    splash_ = new frmOpenS(s_.platform);
    splash_->setAttribute(Qt::WA_DeleteOnClose);
    connect(splash_, &frmOpenS::finished, this, &App::StartWithPortDialog);
    splash_->show();
}

void App::StartWithPortDialog() {
    portDialog_ = std::make_unique<frmComm>(
        par_, PortSources{s_.listPorts, s_.deviceForPort, options_.device, options_.demo});
    connect(portDialog_.get(), &QDialog::accepted, this, &App::OnPortChosen);
    connect(portDialog_.get(), &frmComm::cancelled, this, &App::End);
    portDialog_->show();
    if (!portDialog_->PortFileProblem().empty())
        s_.dialogs.Message(portDialog_->PortFileProblem() + ". The port chosen is not remembered.",
                           "Communication setup", MsgIcon::Critical);
}

void App::OnPortChosen() {
    const std::string device =
        DeviceToOpen(par_.PortDevice, options_.device, par_.port, s_.deviceForPort);
    std::string why;
    if ((device.empty() && !options_.demo) || !s_.port.Open(device, &why)) {
        if (why.empty())
            why = "there is no port with this number";
        std::string text;
        if (par_.PortDevice.empty())
            text = "COM port " + std::to_string(par_.port) +
                   (device.empty() ? "" : " (" + device + ")") + " cannot be opened: " + why;
        else  // picked from the list, maybe without a number: its device alone names it
            text = why.find(device) != std::string::npos
                       ? why
                       : "The serial port " + device + " cannot be opened: " + why;
        s_.dialogs.Message(text, "Communication setup", MsgIcon::Critical);
        portDialog_->show();  // choose again
        return;
    }
    LoadMain();
}

void App::LoadMain() {
    // Start-up state of the main window.
    par_.SearchMode = false;
    par_.SearchToggle = false;
    par_.LoggingOn = false;
    par_.CurrentAddress = 1;
    link_.TurnaroundDelay = kDefaultTurnaroundUs;
    link_.NetworkAllowanceUs = MsToUs(options_.networkAllowanceMs);
    par_.Tune.TuneStep = 0;
    par_.RecordDue.fill(false);
    par_.Main.DetNum = "1";

    main_ = std::make_unique<frmMain>(par_, *mainComm_);
    if (options_.demo)
        main_->setWindowTitle(main_->windowTitle() + "  [demo bus: simulated detectors]");
    connect(main_.get(), &frmMain::startLogRequested, this, &App::StartStopLog);
    connect(main_.get(), &frmMain::aboutRequested, this, &App::ShowAbout);
    connect(main_.get(), &frmMain::viewLogRequested, this, &App::ViewLog);
    connect(main_.get(), &frmMain::trafficRequested, this, &App::OpenTraffic);
    connect(main_.get(), &frmMain::historyRequested, this, &App::OpenHistory);
    connect(main_.get(), &frmMain::reportRequested, this,
            [this] { ServiceReport(ServedSerial()); });
    main_->show();
    main_->FocusHome();
    std::string problem;
    link_.TurnaroundDelay = LoadTurnaroundDelay(JoinPath(par_.ProgramFolder, kTuneFile), &problem);
    if (!problem.empty())
        s_.dialogs.Message(problem + ". The turnaround delay stays " +
                               std::to_string(static_cast<long long>(kDefaultTurnaroundUs)) +
                               " microseconds.",
                           "Communication setup", MsgIcon::Critical);
    // The activation runs the polling loop; let the OK click return first.
    s_.platform.Post(s_.platform.NowUs(), [this] { ActivateMain(); });
}

void App::ActivateMain() {
    if (ended_ || !main_)
        return;
    main_->Refresh();  // a child window may have changed the served address
    main_->show();
    main_->raise();
    main_->activateWindow();
    mainComm_->Activate();
}

void App::StartStopLog() {
    const auto result = LogMenuCommand(par_, [this] {
        return s_.dialogs.Input(kLogPeriodPrompt, kLogPeriodTitle, kLogPeriodDefault);
    });
    if (!result.message.empty())
        s_.dialogs.Message(result.message, kLogPeriodTitle, MsgIcon::Critical);
    if (result.display) {
        par_.Main.SLogCaption = result.display->MenuCaption;
        if (result.display->LogOnCaption)
            par_.Main.LogOnCaption = *result.display->LogOnCaption;
        par_.Main.LogOnVisible = result.display->LogOnVisible;
        timer2_->SetEnabled(result.display->Timer2Enabled);
    }
    if (main_)
        main_->Refresh();
}

void App::LogTick() {
    // While the bus is scanned the served detector is not read: a record now would give its
    // last values the time of this tick.
    if (scanComm_->Running() || overviewComm_->Running())
        return;
    halvern::LogTick(par_, s_.now());
    if (main_)
        main_->Refresh();
}

void App::ShowAbout() {
    auto& box = frmAbout::ShowOnce(about_, main_.get());
    connect(&box, &frmAbout::closed, this, &App::ActivateMain, Qt::UniqueConnection);
}

void App::ViewLog() {
    if (!serForLog_) {
        serForLog_ = new frmSerForLog(par_, s_.dialogs, QString::fromStdString(ServedSerial()));
        serForLog_->setAttribute(Qt::WA_DeleteOnClose);
        connect(serForLog_, &frmSerForLog::openViewer, this, &App::OpenViewer);
        // Closing discards the prompt (it starts anew next time); the viewer only hides it.
        connect(serForLog_, &frmSerForLog::closedBack, this, &App::BackToMain);
    }
    main_->hide();
    serForLog_->show();
    serForLog_->raise();
    serForLog_->activateWindow();
}

void App::OpenViewer(const QString& entry) {
    cusLog_ = new frmCusLog(par_, s_.dialogs, entry);
    cusLog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(cusLog_, &frmCusLog::closed, this, &App::BackToMain);
    cusLog_->show();
    cusLog_->raise();
    cusLog_->activateWindow();
}

void App::OpenSetup(std::uint8_t address) {
    // The setup reply stands in the buffer now; the screen decodes it as it loads.
    setup_ = new frmSetupT(par_, link_, s_.dialogs, address, [this] { return loop_.Quitting(); });
    main_->setEnabled(false);
    ShowChild(setup_);
}

void App::OpenAddress() {
    newAddr_ = new frmNewAddr(par_, link_, s_.dialogs, [this] { return loop_.Quitting(); });
    ShowChild(newAddr_);
}

void App::OpenMaintenance() {
    main_->hide();
    main_->setEnabled(false);
    trends_.Clear();     // the trends are of this opening's polls only
    maintComm_->Open();  // its poll takes the place of the main cycle
    if (ended_)
        return;
    mainte_ = new frmMainte(par_, *maintComm_);
    mainte_->setAttribute(Qt::WA_DeleteOnClose);
    connect(mainte_, &frmMainte::trafficRequested, this, &App::OpenTraffic);
    connect(mainte_, &frmMainte::trendsRequested, this, &App::ShowTrends);
    connect(mainte_, &frmMainte::closed, this, [this] {
        if (trendsWin_)
            trendsWin_->close();
        maintComm_->Close();
        if (main_)
            main_->setEnabled(true);
        BackToMain();
    });
    mainte_->show();
    mainte_->raise();
    mainte_->activateWindow();
}

void App::ShowTrends() {
    if (!mainte_)
        return;
    if (!trendsWin_) {
        // Owned by the maintenance window, so that it never outlives it. Placing it may move
        // the maintenance window aside on a small screen, never resize it.
        trendsWin_ = new frmTrends(par_, trends_, s_.dialogs, mainte_);
        trendsWin_->setAttribute(Qt::WA_DeleteOnClose);
        trendsWin_->PlaceBeside(*mainte_, &mainte_->Buttons());
    }
    trendsWin_->show();
    trendsWin_->raise();
    // The keys stay with the maintenance window, where the technician is working.
    mainte_->activateWindow();
}

void App::OpenScan() {
    if (scan_ && scan_->isVisible())
        return;
    scanComm_->Start();  // its steps take the place of the main cycle
    // Over the main window, which takes no input while it is open: its commands would
    // exchange frames in the middle of the scan.
    scan_ = new frmScan(*scanComm_, main_.get());
    scan_->setAttribute(Qt::WA_DeleteOnClose);
    scan_->setWindowModality(Qt::WindowModal);
    connect(scan_, &frmScan::overviewRequested, this, [this] {
        std::vector<std::uint8_t> found;
        for (const auto& hit : scanComm_->Scan().Hits())
            if (hit.valid)
                found.push_back(hit.address);
        scan_->close();
        OpenOverview(std::move(found));
    });
    connect(scan_, &frmScan::closed, this, [this] {
        if (!main_ || ended_)
            return;
        main_->Refresh();
        main_->raise();
        main_->activateWindow();
    });
    scan_->show();
    scan_->raise();
    scan_->activateWindow();
}

void App::OpenOverview(std::vector<std::uint8_t> addresses) {
    if (overview_ && overview_->isVisible())
        return;
    overviewComm_->Start(std::move(addresses));  // its polls take the place of the main cycle
    // Over the main window, which takes no input while it is open, as for the scan.
    overview_ = new frmBusOverview(*overviewComm_, main_.get());
    overview_->setAttribute(Qt::WA_DeleteOnClose);
    overview_->setWindowModality(Qt::WindowModal);
    connect(overview_, &frmBusOverview::closed, this, [this] {
        if (!main_ || ended_)
            return;
        main_->Refresh();
        main_->raise();
        main_->activateWindow();
    });
    overview_->show();
    overview_->raise();
    overview_->activateWindow();
}

void App::OpenTraffic() {
    if (!traffic_) {
        // No parent: it stays open while the main and maintenance windows take turns.
        traffic_ = new frmTraffic(link_, s_.dialogs, startUs_);
        traffic_->setAttribute(Qt::WA_DeleteOnClose);
        traffic_->SetSaveFolder(QString::fromStdString(par_.DocumentsFolder));
    }
    traffic_->show();
    traffic_->raise();
    traffic_->activateWindow();
}

void App::OpenHistory() {
    if (!historyWin_) {
        historyWin_ = new frmHistory(*history_, ServedSerial());
        historyWin_->setAttribute(Qt::WA_DeleteOnClose);
        connect(historyWin_, &frmHistory::reportRequested, this,
                [this](const QString& serial) { ServiceReport(serial.toStdString()); });
    } else {
        historyWin_->Refresh();
    }
    historyWin_->show();
    historyWin_->raise();
    historyWin_->activateWindow();
}

std::string App::ServedSerial() const {
    // The served detector's last reading names it, also while the panel shows it lost.
    const StatusReading& r = par_.Reading;
    if (!r.Taken || r.Address != DetNumByte(par_))
        return {};
    return std::to_string(static_cast<long>(r.SerialNumber));
}

void App::ServiceReport(const std::string& serial) {
    if (serial.empty()) {
        s_.dialogs.Message("No detector is served: give its serial number in the service history.",
                           "Service report", MsgIcon::Exclamation);
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ReportData report = ReportFromStore(*history_, serial, kReportDefaultDays, now,
                                        {"halvern", kVersion, PcUserName()});
    if (!history_->ReadError().empty()) {
        s_.dialogs.Message(
            "The service history " + history_->Path() + " cannot be read: " + history_->ReadError(),
            "Service report", MsgIcon::Critical);
        return;
    }
    if (serial == ServedSerial() && main_ && mainComm_->Connected()) {
        // The detector served answers now: its status as its last reading gives it.
        const StatusReading& r = par_.Reading;
        report.status = r.StatusCode + (r.Description ? " " + *r.Description : std::string());
        report.statusWhen = now.toLocalTime().toString("yyyy-MM-dd HH:mm").toStdString();
        report.model = r.ModelName;
        report.address = std::to_string(r.Address);
    }
    const QString html = ReportHtml(report);
    const LocalDateTime today = s_.now();
    const std::string file = SuggestedPath(
        par_.DocumentsFolder, ReportFileName(serial, today.year, today.month, today.day));
    if (s_.dialogs.PrintDialogToFile(file))
        s_.dialogs.PrintDocument([&](QPagedPaintDevice& device) { PaintReport(html, device); });
}

void App::HistoryRetry() {
    if (history_->Flush())
        historyRetry_->SetEnabled(false);
    if (main_)
        main_->Refresh();
}

void App::ShowChild(ConfigWindow* child) {
    child->setAttribute(Qt::WA_DeleteOnClose);
    connect(child, &ConfigWindow::closed, this, [this] {
        if (main_)
            main_->setEnabled(true);
        BackToMain();
    });
    main_->hide();
    child->show();
    child->raise();
    child->activateWindow();
}

void App::BackToMain() {
    if (ended_ || !main_)
        return;
    // The child window closed inside a wait of the running loop: restart it from here, so
    // that the iteration it interrupted is abandoned rather than finished as a silent poll
    // with one more query of its own.
    if (loop_.Running())
        ActivateMain();
    else
        s_.platform.Post(s_.platform.NowUs(), [this] { ActivateMain(); });
}

void App::End() {
    if (ended_)
        return;
    ended_ = true;
    s_.port.Close();
    loop_.Quit();
    timer2_->SetEnabled(false);
    if (main_)
        main_->hide();
    if (portDialog_)
        portDialog_->hide();
    if (traffic_)
        traffic_->close();
    if (s_.quit)
        s_.quit();
}

}  // namespace halvern
