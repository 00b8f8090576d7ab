#include "maintenance/MaintComm.h"

#include "maintenance/MaintDecoder.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/Decoder.h"

namespace halvern {

std::string SnTestLeftQuestion(std::uint8_t address) {
    return "The detector at address " + std::to_string(address) +
           " was told to start its S/N test and has not confirmed normal mode since.\rReturn it to "
           "normal mode now?";
}

std::string BackInNormalModeText(std::uint8_t address) {
    return "The detector at address " + std::to_string(address) + " is back in normal mode.";
}

MaintComm::MaintComm(Par& par, Link& link, Dialogs& dialogs, PollLoop& loop,
                     std::function<void()> changed)
    : par_(par),
      link_(link),
      dialogs_(dialogs),
      loop_(loop),
      changed_(std::move(changed)),
      // The application gives the bus back, with the main window, once the window has closed.
      takeover_(link, loop,
                {.step =
                     [this](const StopCheck& stop) {
                         PollIteration(stop);
                         return false;  // polled until the window closes
                     },
                 .ended = nullptr,
                 .giveBack = nullptr}) {}

StopCheck MaintComm::CommandStop() const {
    return
        [this, session = session_] { return !IsOpen() || session != session_ || loop_.Quitting(); };
}

void MaintComm::Open() {
    ++session_;
    snTestSentTo_.clear();
    takeover_.Start([this] {
        link_.WaitMs(kMaintOpenWaitMs, [this] { return loop_.Quitting(); });
        // The main cycle's answer to the query it was waiting on when the window was asked for
        // has come in during the wait; left there, it would run into the first poll's reply and
        // spoil it.
        link_.DiscardInput();
    });
    par_.Maint = MaintPanel{};
    par_.Maint.TOTime = OperatingTimeText(par_.Link);
    par_.SnTestMode = false;
    // The link label judges this opening's polls only: a count left from an earlier opening
    // would turn it "Bad" too early, or (past three) never.
    par_.MaintFailCount.fill(0);
    Changed();
}

void MaintComm::Leave() {
    if (leaving_ || !IsOpen())
        return;
    leaving_ = true;
    ++session_;  // a running command ends at its next wait
    const StopCheck ending = [this] { return loop_.Quitting(); };
    std::set<std::uint8_t> asked = snTestSentTo_;
    asked.insert(DetNumByte(par_));
    for (const std::uint8_t address : asked) {
        if (!par_.LeftInSnTest[address] || ending())
            continue;
        SetButtons(false);
        if (!dialogs_.AskYesNo(SnTestLeftQuestion(address), kSnTestLeftTitle, MsgIcon::Question))
            continue;  // left so: the main window says it
        const bool back = WriteMode(address, false, ending);
        if (ending())
            break;
        if (back)
            dialogs_.Message(BackInNormalModeText(address), kSnTestLeftTitle, MsgIcon::Information);
        else
            dialogs_.Message(kNormalModeFailText, kModeFailTitle, MsgIcon::Critical);
    }
    leaving_ = false;
}

void MaintComm::Close() {
    RecordSnTest();
    RecordWriteUnderWay();
    takeover_.GiveBack();
}

void MaintComm::PollIteration(const StopCheck& stop) {
    const bool decoded = PollMaintenance(link_, par_, DetNumByte(par_), stop);
    if (stop())
        return;  // abandoned: the window closed or the program ends
    MaintPanel& m = par_.Maint;
    auto& fails = par_.MaintFailCount[par_.CurrentAddress];
    if (decoded) {
        if (!ModeCommandsAllowed())
            m.CheckEnabled = m.NormalEnabled = false;
        m.Com = "Good";
        m.ComState = Lamp::Green;
        fails = 0;
    } else {
        fails += 1;
        if (fails >= kMaintBadAfter) {
            m.Com = "Bad";
            m.ComState = Lamp::Red;
        }
    }
    m.LELCaption =
        IsTalvekName(m.Model.empty() ? par_.Reading.ModelName : m.Model) ? "PPM.m" : "%LEL.m";
    if (decoded && snTestEvent_ && !m.S1N.empty())
        RecordSnTest();
    if (onPolled)
        onPolled(decoded);
    Changed();
}

void MaintComm::SetButtons(bool enabled) {
    MaintPanel& m = par_.Maint;
    m.ExitEnabled = m.CheckEnabled = m.NormalEnabled = m.AlignEnabled = enabled;
    Changed();
}

bool MaintComm::ModeCommandsAllowed() const {
    // The model of this window's last reply; before it has one, the main window's.
    const auto code = par_.Maint.Model.empty() ? par_.Reading.ModelCode : par_.Maint.ModelCode;
    return code != kLamp411 && code != kLamp412;
}

ServiceEvent MaintComm::Event(std::uint8_t address, const char* action) const {
    ServiceEvent e = DetectorEvent(par_, address, action);
    // Named by the reply this window decoded last, whatever the main window showed before.
    if (!par_.Maint.Model.empty()) {
        e.serial = std::to_string(static_cast<long>(par_.Maint.Serial));
        e.model = par_.Maint.Model;
    }
    // The main window's status is from before this window opened: the detector's status is
    // the one this window shows, once it has shown one.
    if (!par_.Maint.Status.empty())
        e.status = par_.Maint.Status;
    return e;
}

void MaintComm::RecordSnTest() {
    if (!snTestEvent_)
        return;
    const MaintPanel& m = par_.Maint;
    if (!m.S1N.empty())
        snTestEvent_->after = NoiseSummary(m);
    if (!m.Status.empty())
        snTestEvent_->status = m.Status;  // the status the noise figures came with
    RecordEvent(par_, std::move(*snTestEvent_));
    snTestEvent_.reset();
}

void MaintComm::RecordWriteUnderWay() {
    if (!writing_)
        return;
    ServiceEvent e = std::move(writing_->event);
    writing_.reset();
    if (e.attempts == 0)
        return;  // no frame left: nothing happened on the wire
    e.after += " (cut short: the window was closed)";
    e.confirmed = false;
    RecordEvent(par_, std::move(e));
}

bool MaintComm::WriteMode(std::uint8_t address, bool snTest, const StopCheck& stop) {
    RecordSnTest();
    RecordWriteUnderWay();
    const std::uint64_t id = ++writes_;
    ServiceEvent e = Event(address, snTest ? kActionSnTest : kActionNormal);
    e.after = snTest ? "S/N test mode" : "normal mode";
    e.attempts = 0;
    writing_ = WriteUnderWay{id, std::move(e)};
    const WriteResult written =
        WriteDetectorMode(link_, address, snTest, par_.SnTestMode, stop, [&] {
            if (writing_ && writing_->id == id)
                writing_->event.attempts = *writing_->event.attempts + 1;
            if (snTest) {
                par_.LeftInSnTest[address] = true;
                snTestSentTo_.insert(address);
            }
        });
    const bool confirmed = written.Confirmed();
    if (confirmed && !snTest)
        par_.LeftInSnTest[address] = false;
    if (!writing_ || writing_->id != id)
        return confirmed;  // recorded already, when the closing window wrote after it
    e = std::move(writing_->event);
    writing_.reset();
    if (written.attempts == 0)
        return confirmed;  // stopped before a frame left: nothing happened on the wire
    e.confirmed = confirmed;
    e.attempts = written.attempts;
    if (snTest && confirmed)
        snTestEvent_ = std::move(e);  // recorded with the noise figures of the next poll
    else
        RecordEvent(par_, std::move(e));
    return confirmed;
}

void MaintComm::ModeCommand(bool snTest) {
    if (running_ || leaving_ || !IsOpen() || !ModeCommandsAllowed())
        return;
    running_ = true;
    const StopCheck gone = CommandStop();
    SetButtons(false);
    const bool confirmed = WriteMode(DetNumByte(par_), snTest, gone);
    if (!gone()) {
        if (!confirmed)
            dialogs_.Message(snTest ? kSnTestFailText : kNormalModeFailText, kModeFailTitle,
                             MsgIcon::Critical);
        SetButtons(true);
    }
    running_ = false;
}

void MaintComm::cmdCheck() {
    ModeCommand(true);
}

void MaintComm::cmdNormal() {
    ModeCommand(false);
}

void MaintComm::cmdAlign() {
    if (running_ || leaving_ || !IsOpen())
        return;
    running_ = true;
    const StopCheck gone = CommandStop();
    link_.ReceiveReply(gone);  // drain the reply the interrupted poll was waiting for
    if (!gone() && par_.Maint.Com == "Good") {
        link_.Align(DetNumByte(par_), gone);
        ServiceEvent e = Event(DetNumByte(par_), kActionAlign);
        e.after = "align command sent";
        RecordEvent(par_, std::move(e));
    }
    running_ = false;
}

}  // namespace halvern
