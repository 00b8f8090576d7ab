#pragma once
// The search of a bus's other addresses while its detectors are polled: between two rounds a
// few of the addresses that are not polled are asked once each, in turn from the first to the
// last and round again, so that a detector powered up or repaired later joins the rounds. How
// many a round asks is set so that a pass over the bus takes about two minutes whatever a
// round costs, and at least one each round. No port here: the poller asks, this says which
// address comes next and how far the search is.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace halvern {

// A pass over the addresses not polled takes about this long, besides the queries' own time.
constexpr Micros kSearchPassUs = 120'000'000;

class BusSearch {
  public:
    // Addresses from..to, both included.
    explicit BusSearch(int from = 1, int to = 247);

    // The first address from where the search stands on (round again past the last) that
    // `polled` does not hold; none when it holds them all.
    std::optional<std::uint8_t> Next(const std::function<bool(std::uint8_t)>& polled) const;
    // The address was asked: the search goes on after it. Past the last address (or back
    // before where it stood) a pass is whole.
    void Asked(std::uint8_t address);
    // The addresses to ask after a round that took `roundUs`, with `unpolled` to search: a pass
    // takes about kSearchPassUs of rounds; at least one, at most all.
    static int PerRound(Micros roundUs, int unpolled);

    int NextAddress() const { return next_; }  // where the search stands
    int Total() const { return to_ - from_ + 1; }
    int Reached() const { return next_ - from_; }  // addresses behind it in this pass
    std::uint64_t Passes() const { return passes_; }
    std::uint64_t AskedTotal() const { return asked_; }
    // "searching the bus: address 37 of 247"; after a whole pass "searching the bus again:
    // address 37 of 247".
    std::string Text() const;

  private:
    int from_, to_, next_;
    std::uint64_t passes_ = 0, asked_ = 0;
};

}  // namespace halvern
