#pragma once
// The main window's logic without widgets: the polling cycle with the detector search, the
// disconnection display, the tuning and logging hooks, and the operator commands. It changes
// the shared state (Par) and tells the window to show it.

#include <functional>
#include <span>
#include <string>

#include "link/Link.h"
#include "logging/LogRecords.h"
#include "monitor/PollLoop.h"
#include "state/Par.h"
#include "ui/Dialogs.h"

namespace halvern {

struct MainCommHooks {
    std::function<LocalDateTime()> now;  // local date and time for log records
    std::function<void()> changed;       // the shared state changed: the window shows it again
    // The setup table of the detector at the address given was read: open the setup screen.
    std::function<void(std::uint8_t)> openSetup;
    std::function<void()> openAddress;  // open the address dialog
    std::function<void()> openMaintenance;
    std::function<void()> openScan;      // open the bus scan window
    std::function<void()> openOverview;  // open the bus overview window
    std::function<void()> openHistory;   // open the service history window
    std::function<void()> exitProgram;   // the port is closed: end the process now
};

// What the main window shows of a detector it has lost: zeros, no model, serial or gain, and
// the status "DDD" with its description.
void ShowLost(Panel& m);

// A typed address text is kept when it is a number up to 65535 (fractions and signs included:
// it only takes effect when chosen from the list); anything else is put back.
bool AddressTextAcceptable(const std::string& text);
// What the main window says of detectors that may still be in their S/N test
// (par.LeftInSnTest); empty when there are none.
std::string SnTestNotice(const Par& par);

class MainComm {
  public:
    MainComm(Par& par, Link& link, Dialogs& dialogs, PollLoop& loop, MainCommHooks hooks);

    // The main window became active: one status query, then the polling cycle (re)starts.
    void Activate();
    // The polling cycle takes the loop again, without the activation's query.
    void Resume();
    void PollIteration(const StopCheck& stop);

    bool Connected() const { return par_.Main.Shape1 == Lamp::Green; }
    // The address served, the program folder and the rest of the shared state, to read.
    const Par& State() const { return par_; }
    bool CommandRunning() const { return busy_; }

    void cmdUp();
    void cmdDown();
    // A choice from the address list: outside a search the next poll goes there.
    void SelectAddress(const std::string& text);
    void cmdAlign();
    void cmdSetio();
    void cmdSetAddr();
    void cmdMaint();
    void cmdScan();      // B, Ctrl+B: the bus scan window
    void cmdOverview();  // O: the bus overview window
    void cmdHistory();   // H: the service history window
    // A detector chosen from the bus scan: the main window serves it, and a search ends. The
    // caller makes sure that no poll of the detector served until now is still under way.
    void Serve(std::uint8_t address);
    void cmdVer();
    void cmdVer2();
    void cmdMaster();
    void StartTuningKey();  // F12
    void ConfirmExit();
    void ExitNow();  // close box, or a confirmed exit
    // Runs `restore` half a second from now (a rejected text in the address list).
    void RestoreAddressTextLater(std::function<void()> restore);
    // A letter or Esc pressed at window level; true when it ran a command.
    bool Hotkey(char c);

  private:
    class Busy;
    void OnReply(bool status);
    void OnSilence();
    void Step(int delta);
    void ShowVersion(bool primary, std::uint8_t address);
    void Changed() {
        if (hooks_.changed)
            hooks_.changed();
    }
    LocalDateTime Now() const { return hooks_.now ? hooks_.now() : LocalDateTime{}; }
    std::string TuneFile() const;

    Par& par_;
    Link& link_;
    Dialogs& dialogs_;
    PollLoop& loop_;
    MainCommHooks hooks_;
    StopCheck quitting_;
    bool busy_ = false;
};

}  // namespace halvern
