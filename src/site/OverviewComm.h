#pragma once
// The bus overview's logic without widgets: the detectors already known (the one served and
// those the last scan or overview found, kept in the program folder), or those of a list,
// polled in turn as the polling loop's iterations in place of the main cycle, the served one
// first; the rest of the bus searched meanwhile, a few addresses between rounds, and what
// answers joins the rows (and the file); the choice of one to serve; and the texts the window
// shows. When the overview closes the main window is activated once and its cycle takes the
// loop back.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "monitor/BusTakeover.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"
#include "site/BusPoller.h"

namespace halvern {

// The columns of a row: address, model, serial, status and its description, gas reading,
// link ("Good", "Lost", or empty before the first answer), last seen ("14:03:27").
// Model and serial number come from the detector's last reading, also while it is lost; the
// status and the gas reading only from a reading that stands now. A status code without a
// description shows none.
std::array<std::string, 7> OverviewRow(const PolledDetector& d);
// The colours of a row's status.
StatusColours OverviewStatusColours(const PolledDetector& d);

class OverviewComm {
  public:
    OverviewComm(Link& link, PollLoop& loop, MainComm& main, std::function<LocalDateTime()> now,
                 std::function<void()> changed);

    // The window opens with the detectors at `addresses`; none: those already known.
    void Start(std::vector<std::uint8_t> addresses);
    // The window has closed: once the poll under way has ended, the main cycle goes on.
    void Close();
    // The detector of a row becomes the main window's; the overview closes.
    bool Choose(std::size_t row);
    bool Running() const { return takeover_.Holding(); }
    const std::vector<PolledDetector>& Detectors() const;
    // "3 detectors, 1 lost, 1 not answered yet; a round takes 0.2 s." and, on a line of its own,
    // how far the search of the rest of the bus is: "Searching the bus: address 37 of 247."
    std::string StateText() const;

  private:
    // One poll, or one address of the search.
    bool Step(const StopCheck& stop);
    std::string KnownFile() const;
    void Changed() {
        if (changed_)
            changed_();
    }

    Link& link_;
    MainComm& main_;
    std::function<LocalDateTime()> now_;
    std::function<void()> changed_;
    // Shared with the step in progress, which a new Start may outlive.
    std::shared_ptr<BusPoller> poller_;
    BusTakeover takeover_;
};

}  // namespace halvern
