#pragma once
// Polling a set of detectors: the status query to each address of a list in turn, and per
// detector its last decoded reading, whether it is lost, and its counts. A reception ends as
// soon as a whole valid reply is in, so a round costs little more than its bytes on the wire.
// A detector that stops answering is asked again every round and is lost after the same count
// of failed polls as on the main window. The bus overview and halvern-cli serve run it; each
// decides when to take a step.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "logging/LogRecords.h"
#include "state/Par.h"

namespace halvern {

struct PolledDetector {
    std::uint8_t address = 0;
    bool answered = false;  // a status reply came since polling began
    bool lost = false;      // kLostAfterFailedPolls polls in a row without a status reply
    // The last status reply as the main window shows it (model, serial, status and its
    // colours, description, gain, signals), and every decoded slot (NaN: not in the reply).
    Panel panel;
    std::array<float, kChannelSlots> values{};
    double serial = 0;
    std::uint64_t polls = 0, failures = 0;  // failures: polls without a status reply
    int failedInRow = 0;
    Micros lastSeenUs = -1;  // on the poller's clock; -1: never
    LocalDateTime lastSeen{};

    // The panel as the main window would show it: a lost detector's as the main window shows
    // a lost one ("DDD", zeros), but still named by its model and serial number.
    Panel Shown() const;
};

struct BusFigures {
    std::uint64_t rounds = 0;      // whole rounds over the list
    Micros lastRoundUs = 0;        // how long the last whole round took
    std::uint64_t reopenings = 0;  // the port came back after its device had gone
};

class BusPoller {
  public:
    // `now`: the local date and time for last-seen and the log records.
    BusPoller(Link& link, const std::vector<std::uint8_t>& addresses,
              std::function<LocalDateTime()> now = {});

    // Polls the next address of the list; false when `stop` ended it: a poll abandoned before
    // its outcome is taken again by the next call.
    bool Step(const StopCheck& stop = {});
    // Polls until the round in progress is whole.
    void Round(const StopCheck& stop = {});

    const std::vector<PolledDetector>& Detectors() const { return detectors_; }
    const BusFigures& Bus() const { return bus_; }
    void SetReopenings(std::uint64_t n) { bus_.reopenings = n; }

    // The first-byte wait of each poll (the main cycle's 0.6 s by default).
    void SetFirstByteUs(Micros us) { firstByteUs_ = us; }

    // Cycle and disconnection records of every detector, as the main window writes them for
    // the one it serves, into `folder` every `periodS` ticks of LogTick (once a second).
    void StartLogging(const std::string& folder, int periodS);
    void LogTick();
    const Par& LogState() const { return scratch_; }

  private:
    void Took(PolledDetector& d);
    void Failed(PolledDetector& d, bool counts);
    // Waits for the line to be quiet after a broken reply; false when `stop` ended the wait.
    bool SettleLine(const StopCheck& stop);
    LocalDateTime Now() const { return now_ ? now_() : LocalDateTime{}; }

    Link& link_;
    std::function<LocalDateTime()> now_;
    std::vector<PolledDetector> detectors_;
    std::size_t next_ = 0;
    Micros roundStartUs_ = -1;
    Micros firstByteUs_ = kFirstByteWindowUs;
    BusFigures bus_;
    Par scratch_;  // replies are decoded, and log records written, here
    std::array<bool, kAddressSlots> periodDue_{};  // the logging period's record, by address
};

}  // namespace halvern
