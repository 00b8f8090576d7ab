#pragma once
// The scan window's logic without widgets: the bus scan run as the polling loop's iterations
// in place of the main cycle, one address per iteration; its cancelling; the choice of a
// detector it found; and the texts the window shows. When the scan ends (done or cancelled)
// the main window is activated once and its cycle takes the loop back; the list stays.
//
// A cancel lets the address being asked finish (with the addresses asked again because of
// what it heard), so that the main cycle's first query never meets a detector's answer on the
// line.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "link/Link.h"
#include "monitor/BusScan.h"
#include "monitor/BusTakeover.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"

namespace halvern {

class ScanComm {
  public:
    // `changed`: the scan moved on and the window is to show it again.
    ScanComm(Link& link, PollLoop& loop, MainComm& main, std::function<void()> changed);

    // The window opens: a new scan of addresses 1-247 takes the place of the main cycle.
    void Start();
    // The first pass's wait at each address (as halvern-cli's --timeout): for the scan that
    // runs, from its next address on, and for the scans after it.
    void SetTimeoutMs(int ms);
    int TimeoutMs() const { return timeoutMs_; }
    // Cancel or Esc: the scan ends after the address being asked.
    void Cancel();
    // The window has closed: a running scan is cancelled.
    void Close() { Cancel(); }
    // From Start until the main cycle has the loop again.
    bool Running() const { return takeover_.Holding(); }
    bool Cancelling() const { return takeover_.Ending(); }

    // A found detector by its place in the list: a valid one becomes the main window's, and
    // true says so; a reply that was not valid names no detector to serve. Chosen while the
    // scan runs, it gets the main window's activation when the scan ends; chosen later, the
    // main cycle turns to it once the answer it is waiting for has come.
    bool Choose(std::size_t index);

    const BusScan& Scan() const { return *scan_; }
    // "Address 37 of 247" (the last one asked), "Time left: 19 s", and what the scan is doing.
    std::string AddressText() const;
    std::string TimeLeftText() const;
    std::string StateText() const;

  private:
    // One address (with those asked again); true when the scan is done.
    bool Step(const StopCheck& stop);
    // The detectors a whole scan found, kept in the program folder.
    void KeepFound(const BusScan& scan) const;
    void Changed() {
        if (changed_)
            changed_();
    }

    Link& link_;
    PollLoop& loop_;
    MainComm& main_;
    std::function<void()> changed_;
    // Shared with the step in progress, which a new Start may outlive.
    std::shared_ptr<BusScan> scan_;
    BusTakeover takeover_;
    bool cancelled_ = false;  // the last scan was cancelled
    int timeoutMs_ = kDefaultScanTimeoutMs;
};

}  // namespace halvern
