#pragma once
// The maintenance window's logic without widgets: its opening, its own status poll in place of
// the main polling cycle, and its commands (S/N test, normal mode, align). It changes the
// shared state (par.Maint and the decoded values) and tells the window to show it.
//
// One command at a time: a command asked for while another one runs is refused. Closing the
// window ends a running command at its next wait, without a message; a detector that may be
// in its S/N test is not left so without asking.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "history/ServiceEvent.h"
#include "link/Link.h"
#include "monitor/BusTakeover.h"
#include "monitor/PollLoop.h"
#include "state/Par.h"
#include "ui/Dialogs.h"

namespace halvern {

constexpr double kMaintOpenWaitMs = 500;
constexpr int kMaintBadAfter = 3;  // silent polls in a row before the link shows "Bad"
constexpr const char* kSnTestLeftTitle = "S/N test";

// The question when the window closes on a detector that may be in its S/N test, and what is
// said when the detector confirmed normal mode.
std::string SnTestLeftQuestion(std::uint8_t address);
std::string BackInNormalModeText(std::uint8_t address);

class MaintComm {
  public:
    // `changed`: the shared state changed and the window is to show it again.
    MaintComm(Par& par, Link& link, Dialogs& dialogs, PollLoop& loop,
              std::function<void()> changed);

    // The window opens: half a second, the operating time of the last reply, the S/N test
    // mode cleared; then this poll takes the place of the main polling cycle.
    void Open();
    // The window is about to close. A running command ends at its next wait, without a word.
    // When the served detector, or one this opening sent an S/N test to, may be in its S/N
    // test, the technician is asked whether to return it to normal mode: Yes runs the
    // normal-mode write (its attempts as F10) and says what came of it; No leaves it so.
    void Leave();
    bool Leaving() const { return leaving_; }
    // The window has closed: a running command ends without a word. The caller restarts the
    // main polling cycle.
    void Close();
    bool IsOpen() const { return takeover_.Holding(); }
    bool CommandRunning() const { return running_; }

    void PollIteration(const StopCheck& stop);
    // After each poll that ran to its end: whether a status reply was decoded (the shared
    // decoded values hold it) or the poll failed. Not called for a poll cut short by the
    // window's closing.
    std::function<void(bool decoded)> onPolled;

    void cmdCheck();   // F9: the signal/noise test
    void cmdNormal();  // F10: back to normal mode
    void cmdAlign();   // A
    // F9 and F10 do nothing on the families that have no S/N test.
    bool ModeCommandsAllowed() const;

  private:
    void ModeCommand(bool snTest);
    // The mode write, keeping par.LeftInSnTest: set when an S/N test frame leaves, cleared
    // when normal mode is confirmed.
    bool WriteMode(std::uint8_t address, bool snTest, const StopCheck& stop);
    void SetButtons(bool enabled);
    // The S/N test confirmed last waits for the noise figures of the next poll that decodes
    // them; it is recorded then, or as it stands when anything else happens first.
    void RecordSnTest();
    // The mode write under way, when the window's closing starts another inside its waits: it
    // is recorded as it stands, not confirmed, so that the history lists the writes in the
    // order the wire carried them.
    void RecordWriteUnderWay();
    // An event of the detector at `address` with the status this window last showed.
    ServiceEvent Event(std::uint8_t address, const char* action) const;
    // Ends the waits of a command once its window has closed (or the program ends).
    StopCheck CommandStop() const;
    void Changed() {
        if (changed_)
            changed_();
    }

    Par& par_;
    Link& link_;
    Dialogs& dialogs_;
    PollLoop& loop_;
    std::function<void()> changed_;
    BusTakeover takeover_;
    bool running_ = false;
    bool leaving_ = false;
    std::set<std::uint8_t> snTestSentTo_;  // in this opening
    std::optional<ServiceEvent> snTestEvent_;
    struct WriteUnderWay {
        std::uint64_t id;
        ServiceEvent event;
    };
    std::optional<WriteUnderWay> writing_;
    std::uint64_t writes_ = 0;
    std::uint64_t session_ = 0;  // one per opening: a command belongs to the window it began in
};

}  // namespace halvern
