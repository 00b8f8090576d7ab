#include "monitor/MainComm.h"

#include "history/ServiceEvent.h"
#include "link/Layouts.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"
#include "logging/LogRecords.h"
#include "logging/LoggingControl.h"
#include "monitor/Decoder.h"
#include "monitor/Exchanges.h"

namespace halvern {

bool AddressTextAcceptable(const std::string& text) {
    const auto value = ParseNumber(text);
    return value && *value <= 65535;
}

std::string SnTestNotice(const Par& par) {
    std::string addresses;
    int count = 0;
    for (std::size_t a = 0; a < par.LeftInSnTest.size(); ++a)
        if (par.LeftInSnTest[a]) {
            addresses += (count++ ? ", " : "") + std::to_string(a);
        }
    if (count == 0)
        return {};
    return count == 1 ? "S/N test: the detector at address " + addresses +
                            " is not back in normal mode. Maint. (M), then F10, returns it."
                      : "S/N test: the detectors at addresses " + addresses +
                            " are not back in normal mode. Maint. (M), then F10, returns each.";
}

// One detector command at a time: a command started while another one waits is refused,
// so no second exchange nests inside the first.
class MainComm::Busy {
  public:
    explicit Busy(MainComm& m) : m_(m), got_(!m.busy_) {
        if (got_)
            m_.busy_ = true;
    }
    ~Busy() {
        if (got_)
            m_.busy_ = false;
    }
    explicit operator bool() const { return got_; }

  private:
    MainComm& m_;
    bool got_;
};

void ShowLost(Panel& m) {
    m.Com = "Bad";
    m.Shape1 = Lamp::Red;
    for (auto& v : m.ChVal)
        v = "0";
    m.Flash.clear();
    m.Status = "DDD";
    m.SIL2Des = StatusDescription("DDD");
    m.SeNum.clear();
    m.Gain.clear();
}

MainComm::MainComm(Par& par, Link& link, Dialogs& dialogs, PollLoop& loop, MainCommHooks hooks)
    : par_(par), link_(link), dialogs_(dialogs), loop_(loop), hooks_(std::move(hooks)) {
    quitting_ = [this] { return loop_.Quitting(); };
}

std::string MainComm::TuneFile() const {
    return JoinPath(par_.ProgramFolder, kTuneFile);
}

void MainComm::Activate() {
    if (loop_.Quitting())
        return;
    link_.SendQuery(par_.CurrentAddress, kCodeStatus);
    loop_.SetIteration([this](const StopCheck& stop) { PollIteration(stop); });
    loop_.Run();
}

void MainComm::Resume() {
    loop_.SetIteration([this](const StopCheck& stop) { PollIteration(stop); });
    loop_.Restart();
}

void MainComm::PollIteration(const StopCheck& stop) {
    par_.CurrentAddress = par_.SearchMode ? 0 : DetNumByte(par_);
    const StatusPoll poll = PollStatus(link_, par_.CurrentAddress, stop);
    if (poll.reading)
        TakeReading(par_, *poll.reading);
    if (poll.reply == PollReply::Status || poll.reply == PollReply::NotStatus)
        OnReply(poll.reply == PollReply::Status);
    else if (!stop())
        OnSilence();
    else
        return;  // abandoned: a new iteration begins
    Changed();
}

void MainComm::OnReply(bool status) {
    if (status) {
        par_.GivenUp[par_.CurrentAddress] = false;
        par_.GivenUp[par_.Reading.Address] = false;
        AfterValidReply(par_, Now());
        par_.FailCount[par_.CurrentAddress] = 0;
    }
    TuneAfterGoodReply(par_.Tune, status, link_.TurnaroundDelay, TuneFile());
    par_.Main.Com = "Good";
    par_.Main.Shape1 = Lamp::Green;
}

void MainComm::OnSilence() {
    auto& fails = par_.FailCount[par_.CurrentAddress];
    fails += 1;
    if (fails > 4095)
        fails = 0;
    if (fails >= kLostAfterFailedPolls) {
        par_.GivenUp[par_.CurrentAddress] = true;
        ShowLost(par_.Main);
        par_.DisconnectMark[par_.CurrentAddress] = par_.Main.Status;
        WriteDisconnectionRecord(par_, par_.Reading, Now());
    }
    TuneAfterFailedPoll(par_.Tune, link_.TurnaroundDelay);
}

void MainComm::Step(int delta) {
    Busy busy(*this);
    if (!busy)
        return;
    par_.SearchMode = false;
    par_.SearchToggle = false;
    const int n = DetNumByte(par_);
    if ((delta > 0 && n < 247) || (delta < 0 && n > 1)) {
        par_.Main.DetNum = std::to_string(n + delta);
        Changed();
    }
    link_.ReceiveReply(quitting_);  // drain the reply the interrupted poll was waiting for
}

void MainComm::cmdUp() {
    Step(+1);
}
void MainComm::cmdDown() {
    Step(-1);
}

void MainComm::SelectAddress(const std::string& text) {
    par_.Main.DetNum = text;
    Changed();
    if (par_.SearchMode)
        return;  // the next reply names the detector found
    // The poll under way may still bring the old detector's reply, and its decoding would put
    // the old address back: take that reply in here and begin the next poll at the choice.
    // A command that runs already drained that reply.
    if (Busy busy(*this); busy)
        link_.ReceiveReply(quitting_);
    loop_.Restart();
}

void MainComm::cmdAlign() {
    Busy busy(*this);
    if (!busy)
        return;
    link_.ReceiveReply(quitting_);
    if (!Connected())
        return;
    link_.Align(DetNumByte(par_), quitting_);
    RecordAction(par_, DetNumByte(par_), kActionAlign, "", "align command sent", std::nullopt);
}

void MainComm::cmdSetio() {
    Busy busy(*this);
    if (!busy)
        return;
    link_.ReceiveReply(quitting_);
    if (!Connected())
        return;
    // The screen writes to the detector it was read from, whatever the address shown is by then.
    const std::uint8_t address = DetNumByte(par_);
    if (!ReadSetupReply(link_, address, quitting_))
        RecordAction(par_, address, kActionSetupRead, "", "", false);  // the screen records a read
    else if (hooks_.openSetup)
        hooks_.openSetup(address);
}

void MainComm::cmdSetAddr() {
    if (busy_ || !Connected())
        return;
    if (hooks_.openAddress)
        hooks_.openAddress();
}

void MainComm::cmdMaint() {
    if (busy_)
        return;
    if (hooks_.openMaintenance)
        hooks_.openMaintenance();
}

void MainComm::cmdScan() {
    if (busy_)
        return;
    if (hooks_.openScan)
        hooks_.openScan();
}

void MainComm::cmdOverview() {
    if (busy_)
        return;
    if (hooks_.openOverview)
        hooks_.openOverview();
}

void MainComm::cmdHistory() {
    if (hooks_.openHistory)
        hooks_.openHistory();
}

void MainComm::Serve(std::uint8_t address) {
    if (par_.SearchToggle)
        par_.Main.MasterCaption = "masteR is OFF";
    par_.SearchMode = false;
    par_.SearchToggle = false;
    par_.Main.DetNum = std::to_string(address);
    par_.CurrentAddress = address;
    Changed();
}

void MainComm::ShowVersion(bool primary, std::uint8_t address) {
    Busy busy(*this);
    if (!busy)
        return;
    link_.ReceiveReply(quitting_);
    // Bytes of an older reply are not this detector's version: show nothing after a failure.
    // Nor is another detector's answer this one's.
    const VersionRead read = ReadVersion(link_, address, primary, quitting_);
    par_.Main.Ver = read.version.value_or(std::string());
    RecordVersion(par_, address, primary, read);
    par_.Main.VerVisible = true;
    Changed();
    link_.WaitMs(3000, quitting_);
    par_.Main.VerVisible = false;
    Changed();
}

void MainComm::cmdVer() {
    ShowVersion(true, DetNumByte(par_));
}
void MainComm::cmdVer2() {
    ShowVersion(false, par_.CurrentAddress);
}

void MainComm::cmdMaster() {
    par_.SearchMode = true;
    par_.CurrentAddress = 0;
    if (!par_.SearchToggle) {
        par_.Main.MasterCaption = "masteR is ON";
    } else {
        par_.Main.MasterCaption = "masteR is OFF";
        par_.CurrentAddress = DetNumByte(par_);
        par_.SearchMode = false;
    }
    par_.SearchToggle = !par_.SearchToggle;
    Changed();
    loop_.Restart();
}

void MainComm::StartTuningKey() {
    StartTuning(par_.Tune);
    Changed();
}

void MainComm::ConfirmExit() {
    if (dialogs_.AskYesNo("Are you sure to exit program?", "EXIT PROGRAM", MsgIcon::Critical))
        ExitNow();
}

void MainComm::ExitNow() {
    link_.Port().Close();
    loop_.Quit();
    if (hooks_.exitProgram)
        hooks_.exitProgram();
}

void MainComm::RestoreAddressTextLater(std::function<void()> restore) {
    auto& p = link_.Plat();
    p.Post(p.NowUs() + MsToUs(500), std::move(restore));
}

bool MainComm::Hotkey(char c) {
    switch (c) {
        case 'a':
        case 'A':
            cmdAlign();
            return true;
        case 'd':
        case 'D':
            cmdSetAddr();
            return true;
        case 'v':
        case 'V':
            cmdVer();
            return true;
        case 'c':
        case 'C':
            cmdVer2();
            return true;
        case 'm':
        case 'M':
            cmdMaint();
            return true;
        case 's':
        case 'S':
            cmdSetio();
            return true;
        case 'b':
        case 'B':
            cmdScan();
            return true;
        case 'o':
        case 'O':
            cmdOverview();
            return true;
        case 'h':
        case 'H':
            cmdHistory();
            return true;
        case 'r':
        case 'R':
            cmdMaster();
            return true;
        case 'e':
        case 'E':
        case 27:
            ConfirmExit();
            return true;
        default:
            return false;
    }
}

}  // namespace halvern
