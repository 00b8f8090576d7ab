#include "maintenance/MaintComm.h"

#include "maintenance/MaintDecoder.h"
#include "maintenance/MaintExchanges.h"
#include "monitor/Decoder.h"

namespace halvern {

MaintComm::MaintComm(Par& par, Link& link, Dialogs& dialogs, PollLoop& loop,
                     std::function<void()> changed)
    : par_(par), link_(link), dialogs_(dialogs), loop_(loop), changed_(std::move(changed)) {}

StopCheck MaintComm::CommandStop() const {
    return [this, session = session_] { return !open_ || session != session_ || loop_.Quitting(); };
}

void MaintComm::Open() {
    ++session_;
    open_ = true;
    link_.WaitMs(kMaintOpenWaitMs, [this] { return loop_.Quitting(); });
    // The main cycle's answer to the query it was waiting on when the window was asked for has
    // come in during the wait; left there, it would run into the first poll's reply and spoil it.
    link_.DiscardInput();
    par_.Maint = MaintPanel{};
    par_.Maint.TOTime = OperatingTimeText(par_.Link);
    par_.SnTestMode = false;
    loop_.SetIteration([this](const StopCheck& stop) { PollIteration(stop); });
    loop_.Restart();
    Changed();
}

void MaintComm::Close() {
    open_ = false;
}

void MaintComm::PollIteration(const StopCheck& stop) {
    link_.SendQuery(DetNumByte(par_), kCodeStatus);
    const bool replied = link_.ReceiveReply(stop);
    if (stop())
        return;  // abandoned: the window closed or the program ends
    MaintPanel& m = par_.Maint;
    auto& fails = par_.MaintFailCount[par_.CurrentAddress];
    // Only a status reply carries the values, each field from the reply's own bytes.
    const bool decoded = replied && HoldsMaintenanceFields(par_.Link);
    if (decoded) {
        // The log records of this time take the main window's decoding of the same reply, so
        // that they do not step while this window is open; the window shows its own figures.
        if (PassesAcceptanceTest(OwnBytes(par_.Link)))
            DecodeStatusValues(par_);
        DecodeMaintenanceReply(par_);
        if (!ModeCommandsAllowed())
            m.CheckEnabled = m.NormalEnabled = false;
        m.Com = "Good";
        m.ComState = Lamp::Green;
        fails = 0;
    } else {
        fails += 1;
        if (fails == kMaintBadAfter) {
            m.Com = "Bad";
            m.ComState = Lamp::Red;
        }
    }
    m.LELCaption = IsTalvekName(par_.Main.Flash) ? "PPM.m" : "%LEL.m";
    if (onPolled)
        onPolled(decoded);
    Changed();
}

void MaintComm::SetButtons(bool enabled) {
    MaintPanel& m = par_.Maint;
    m.ExitEnabled = m.CheckEnabled = m.NormalEnabled = m.AlignEnabled = enabled;
    Changed();
}

void MaintComm::ModeCommand(bool snTest) {
    if (running_ || !open_ || !ModeCommandsAllowed())
        return;
    running_ = true;
    const StopCheck gone = CommandStop();
    SetButtons(false);
    const bool confirmed =
        WriteDetectorMode(link_, DetNumByte(par_), snTest, par_.SnTestMode, gone);
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
    if (running_ || !open_)
        return;
    running_ = true;
    const StopCheck gone = CommandStop();
    link_.ReceiveReply(gone);  // drain the reply the interrupted poll was waiting for
    if (!gone() && par_.Maint.Com == "Good")
        link_.Align(DetNumByte(par_), gone);
    running_ = false;
}

}  // namespace halvern
