#pragma once
// The bus scan: a status poll of every address in a range, one at a time, each silent address
// given up after a short wait, and the list of the detectors that answered. The command-line
// tool and the program's scan window run this one scan; each decides when to take a step.
// Replies are decoded apart from the program's shared values, so that the main window still
// serves the detector it served before.

#include <cstdint>
#include <string>
#include <vector>

#include "link/Link.h"
#include "state/Par.h"

namespace halvern {

// Long enough for every detector of the simulated bus and a USB adapter's latency; a silent
// address costs its query's wire time and this.
constexpr int kDefaultScanTimeoutMs = 80;

struct ScanHit {
    std::uint8_t address = 0;
    bool valid = false;  // a status reply from this address; else "answered, reply not valid"
    std::string model;   // as the main window names it
    long serial = 0;
    std::string status;       // "NNN0"
    std::string description;  // "Normal", or empty for a code without one
};

class BusScan {
  public:
    // Addresses from..to (1..247 by default), both included; from > to scans nothing.
    BusScan(Link& link, int from = 1, int to = 247, int timeoutMs = kDefaultScanTimeoutMs);

    // Polls the next address; false once the range is done (or `stop` ended the step, which
    // is then taken again by the next call).
    bool Step(const StopCheck& stop = {});
    bool Done() const { return next_ > to_; }
    int NextAddress() const { return next_; }
    int Reached() const { return next_ - from_; }  // addresses polled so far
    int Total() const { return to_ >= from_ ? to_ - from_ + 1 : 0; }
    // Estimated from the time the polled addresses took (before the first: a silent one each).
    Micros TimeLeftUs() const;
    const std::vector<ScanHit>& Hits() const { return hits_; }
    // The line a hit is listed by: "7  Veridan LAMP 411  1207  NNN0 Normal", or
    // "9  answered, reply not valid".
    static std::string Describe(const ScanHit& hit);

  private:
    Link& link_;
    int from_, to_, next_;
    Micros timeoutUs_;
    Micros spentUs_ = 0;
    std::vector<ScanHit> hits_;
    Par scratch_;  // where replies are decoded
};

}  // namespace halvern
