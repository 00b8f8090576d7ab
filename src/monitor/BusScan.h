#pragma once
// The bus scan: a status poll of every address in a range, one at a time, and the list of the
// detectors that answered. The command-line tool and the program's scan window run this one
// scan; each decides when to take a step. Replies are decoded apart from the program's shared
// values, so that the main window still serves the detector it served before.
//
// A first pass gives each address a short wait. A whole status reply that names the address
// asked is its answer and is listed at once. Any other bytes may be the late answer of an
// address asked before: a reply whose address byte names such an address belongs to it, and
// bytes that name nobody may be the answer of any address asked within the program's reply
// window before them. Those addresses, and the one whose wait saw the bytes with its neighbour
// before it, are asked again with the program's full 0.6 s window once the line is quiet, and
// only what they answer then is listed. So a detector that answers within that window is found
// however slow it is, and nothing is listed from bytes that came from another address or from
// none. Bytes that keep coming when no detector can be answering (a babbling device, a broken
// line) end the scan early: noise, not detectors.

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/Link.h"
#include "state/Par.h"

namespace halvern {

// The first pass's wait: long enough for every detector of the simulated bus and a USB
// adapter's latency; a silent address costs its query's wire time and this. A slower detector
// is found all the same, only later.
constexpr int kDefaultScanTimeoutMs = 80;
constexpr int kMaxScanTimeoutMs = 10'000;

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

    // Polls the next address, and asks again the addresses whose answer the bytes it saw may
    // be; false once the range is done or the scan has stopped on noise (or `stop` ended the
    // step, which is then taken again by the next call).
    bool Step(const StopCheck& stop = {});
    bool Done() const { return finished_ || Noisy(); }
    // The scan stopped early: bytes came that no detector sent in answer.
    bool Noisy() const { return noise_.has_value(); }
    // Says so: "scan stopped at address 1: the bus carries bytes nobody asked for (1440 bytes
    // in 1.5 s): noise, not detectors". Empty while the scan is not noisy.
    std::string NoiseText() const;
    int NextAddress() const { return next_; }
    int Reached() const { return next_ - from_; }  // addresses polled so far
    int Total() const { return to_ >= from_ ? to_ - from_ + 1 : 0; }
    // The first pass's wait, from the next address on (1 to kMaxScanTimeoutMs).
    void SetTimeoutMs(int ms);
    // Estimated from the time the polled addresses took (before the first: a silent one each).
    Micros TimeLeftUs() const;
    const std::vector<ScanHit>& Hits() const { return hits_; }
    // The line a hit is listed by: "7  Veridan LAMP 411  1207  NNN0 Normal", or
    // "9  answered, reply not valid".
    static std::string Describe(const ScanHit& hit);

  private:
    // What one reception took in.
    struct Heard {
        enum class Kind { Nothing, Frame, Garbage } kind = Kind::Nothing;
        std::uint8_t address = 0;  // a frame's address byte; of garbage, the first byte
        bool status = false;       // a frame that is a status reply
        Micros firstByteUs = 0;
        std::size_t bytes = 0;
    };
    using Addresses = std::set<int>;

    // The first pass at the next address and what its wait saw; false on a stop or noise.
    bool StepAddress(const StopCheck& stop);
    Heard Ask(int address, Micros windowUs, const StopCheck& stop);
    Heard Listen(Micros windowUs, const StopCheck& stop);
    Heard Took(const Reception& rx, bool status);
    bool Asked(int address) const {
        return address >= from_ && address <= to_ &&
               askedAt_[static_cast<std::size_t>(address)] >= 0;
    }
    // The addresses whose answer the bytes may be go into `again`; `window` is the address
    // whose wait took them (-1: none, the line was only listened to).
    void File(const Heard& h, int window, Addresses& again);
    // Asks `again` with the full window once the line is quiet; false on a stop or noise.
    bool Settle(Addresses again, bool strayBytes, const StopCheck& stop);
    // Listens until no query can still be answered and the line is quiet; what comes is filed.
    // False on a stop, or when bytes keep coming that nobody can be sending in answer.
    bool WaitQuiet(Addresses& again, const StopCheck& stop);
    // Up to three asks with the full window; true when the address is listed.
    bool Confirm(int address, Addresses& again, const StopCheck& stop);
    void List(int address, bool valid);
    // The program's reply window as the link waits it: over a network gateway, with the
    // network's allowance, so a reply the gateway delayed is still known for an answer.
    Micros ReplyWindowUs() const { return kFirstByteWindowUs + link_.ReplyAllowanceUs(); }
    void Noise(std::size_t bytes, Micros sinceUs);

    Link& link_;
    int from_, to_, next_;
    bool finished_;  // every address asked, and the line quiet after the last
    Micros timeoutUs_;
    Micros spentUs_ = 0;
    std::vector<ScanHit> hits_;
    // By address: the reading of its last status reply.
    std::array<std::optional<StatusReading>, kAddressSlots> readings_;
    std::array<Micros, kAddressSlots> askedAt_{};  // when its last query was handed over; -1 never
    std::array<bool, kAddressSlots> settled_{};    // asked with the full window: its answer known
    Micros lastQueryUs_ = -1;                      // none yet
    std::size_t lastBytes_ = 0;                    // of the last reception: none, or how many
    // Sightings of bytes that no address asked again turned out to have sent.
    int unexplained_ = 0;
    std::size_t unexplainedBytes_ = 0;
    Micros firstUnexplainedUs_ = 0;
    struct NoiseSeen {
        int address;
        std::size_t bytes;
        Micros spanUs;
    };
    std::optional<NoiseSeen> noise_;
};

}  // namespace halvern
