#pragma once
// Polling a set of detectors: the status query to each address of a list in turn, and per
// detector its last decoded reading, whether it is lost, and its counts. A reception ends as
// soon as a whole valid reply is in, so a round costs little more than its bytes on the wire.
// A detector that stops answering is asked again every round and is lost after the same count
// of failed polls as on the main window. With a search, a few of the other addresses are asked
// between rounds, and a detector that answers joins the list. The bus overview and halvern-cli
// serve run it; each decides when to take a step.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "logging/LogRecords.h"
#include "monitor/Decoder.h"
#include "site/BusSearch.h"
#include "state/Par.h"

namespace halvern {

struct PolledDetector {
    std::uint8_t address = 0;
    bool answered = false;  // a status reply came since polling began
    // kLostAfterFailedPolls polls in a row without a status reply from it, whichever way they
    // failed (silence, broken bytes, another address, an exception, a reply that is no status)
    bool lost = false;
    // Its last status reply, decoded from that reply's bytes; kept while lost, so that a lost
    // detector is still named by its model and serial number.
    std::optional<StatusReading> reading;
    // The colours its status shows: a code without a colour rule keeps this detector's own.
    StatusColours colours{kWhite, kBlack};
    std::uint64_t polls = 0, failures = 0;  // failures: polls without a status reply
    int failedInRow = 0;
    Micros lastSeenUs = -1;  // on the poller's clock; -1: never
    LocalDateTime lastSeen{};

    // The reading that stands for the detector now: none before its first status reply and
    // while it is lost, when its last values are no measurement any more.
    const StatusReading* Current() const { return reading && !lost ? &*reading : nullptr; }
};

struct BusFigures {
    std::uint64_t rounds = 0;      // whole rounds over the list
    Micros lastRoundUs = 0;        // how long the last whole round took, its polls alone
    std::uint64_t reopenings = 0;  // the port came back after its device had gone
    // While the other addresses are searched (see BusSearch): where the search stands, its
    // whole passes, the addresses asked, and the time the last round's searches took.
    bool searching = false;
    int searchNext = 0, searchTotal = 0;
    std::uint64_t searchPasses = 0, searchAsked = 0;
    Micros lastSearchUs = 0;
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
    // Rounds begin at this address of the list (the first one polled is the next step's).
    void StartAt(std::uint8_t address);
    // From now on, the addresses not in the list are searched between rounds; one that
    // answers joins the list (in address order), and `found` is told.
    void Search(BusSearch search, std::function<void(const PolledDetector&)> found = {});
    const BusSearch* Searching() const { return search_ ? &*search_ : nullptr; }

    const std::vector<PolledDetector>& Detectors() const { return detectors_; }
    const BusFigures& Bus() const { return bus_; }
    void SetReopenings(std::uint64_t n) { bus_.reopenings = n; }

    // The first-byte wait of each poll (the main cycle's 0.6 s by default).
    void SetFirstByteUs(Micros us) { firstByteUs_ = us; }

    // Cycle and disconnection records of every detector, as the main window writes them for
    // the one it serves, into `folder` every `periodS` ticks of LogTick (once a second).
    void StartLogging(const std::string& folder, int periodS);
    void LogTick();
    // The logging state: folder, flags, marks, the records written and the failures.
    const Par& LogState() const { return logs_; }

  private:
    void Took(PolledDetector& d, const StatusReading& reading);
    // One address of the search; false when `stop` ended it.
    bool SearchStep(const StopCheck& stop);
    bool Polled(std::uint8_t address) const;
    // A detector the search heard joins the list.
    void Join(const StatusReading& reading);
    void RoundDone();
    void SearchFigures();
    void Failed(PolledDetector& d);
    // Waits for the line to be quiet after a broken reply; false when `stop` ended the wait.
    bool SettleLine(const StopCheck& stop);
    LocalDateTime Now() const { return now_ ? now_() : LocalDateTime{}; }

    Link& link_;
    std::function<LocalDateTime()> now_;
    std::vector<PolledDetector> detectors_;
    std::size_t next_ = 0;
    std::size_t first_ = 0;  // where a round begins
    Micros roundStartUs_ = -1;
    std::optional<BusSearch> search_;
    std::function<void(const PolledDetector&)> found_;
    int searchesDue_ = 0;  // addresses still to ask before the next round
    Micros searchStartUs_ = -1;
    int lastSearched_ = -1;
    Micros firstByteUs_ = kFirstByteWindowUs;
    BusFigures bus_;
    Par logs_;  // the log records' state; each record takes its detector's own reading
    std::array<bool, kAddressSlots> periodDue_{};  // the logging period's record, by address
};

}  // namespace halvern
