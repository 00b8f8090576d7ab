#pragma once
// The traffic record behind the bus traffic window: what the link's tap hands over, kept in
// two bounded rings. Taking an entry only copies its bytes (it runs inside the polling path);
// describing it and showing it wait for the window's next batch, which is skipped while the
// window is paused. Entries taken while paused wait, so nothing is lost until the waiting ring
// itself is full; the oldest are dropped and counted, in either ring.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "link/Link.h"
#include "traffic/TrafficDescriber.h"

namespace halvern {

constexpr std::size_t kTrafficEntries = 10'000;
// Bytes kept of one entry: more than any frame (257), so a frame is always whole; a long run
// of noise is cut, its length still said.
constexpr std::size_t kTrafficBytesKept = 512;

struct TrafficEntry {
    Micros us = 0;
    TrafficDirection direction = TrafficDirection::Sent;
    std::vector<std::uint8_t> bytes;  // the first kTrafficBytesKept
    std::size_t count = 0;            // bytes that came
    TrafficMeaning meaning;           // set when the entry is shown
};

// The last `capacity` entries; the oldest go first, and are counted.
class TrafficRing {
  public:
    explicit TrafficRing(std::size_t capacity = kTrafficEntries) : capacity_(capacity) {}
    void Push(TrafficEntry e);
    void DropOldest(std::size_t n);
    void Clear();
    // Hands all entries over and leaves the ring empty; they do not count as dropped.
    std::deque<TrafficEntry> TakeAll() { return std::exchange(entries_, {}); }
    std::size_t Size() const { return entries_.size(); }
    std::size_t Capacity() const { return capacity_; }
    std::uint64_t Dropped() const { return dropped_; }
    const TrafficEntry& operator[](std::size_t i) const { return entries_[i]; }
    TrafficEntry& operator[](std::size_t i) { return entries_[i]; }

  private:
    std::size_t capacity_;
    std::deque<TrafficEntry> entries_;
    std::uint64_t dropped_ = 0;
};

// Times of the entries: the wall clock read once and carried along the platform clock (so
// virtual time works and a clock change does not reorder the table), and the milliseconds
// since the program started.
struct TrafficClock {
    std::int64_t wallMsAtAnchor = 0;  // milliseconds since 1970, local time shown
    Micros usAtAnchor = 0;
    Micros startUs = 0;

    QString TimeText(Micros us) const;      // "14:03:27.512"
    QString DateTimeText(Micros us) const;  // "2026-12-05 14:03:27.512"
    std::int64_t MsSinceStart(Micros us) const;
};

const char* DirectionText(TrafficDirection d);  // "TX", "RX", "RX" (discarded says so itself)
// One entry as a line of the saved file, without its line end: date and time, ms since the
// start, direction, hex bytes, CRC verdict and meaning, separated by tabs.
std::string TrafficLine(const TrafficEntry& e, const TrafficClock& clock);

class TrafficLog {
  public:
    explicit TrafficLog(std::size_t capacity = kTrafficEntries)
        : shown_(capacity), waiting_(capacity) {}

    // The link's tap.
    void Take(Micros us, TrafficDirection dir, std::span<const std::uint8_t> bytes);

    // Entries taken and not yet shown.
    std::size_t Waiting() const { return waiting_.Size(); }
    // Room for the waiting entries: how many of the oldest shown ones must go first.
    std::size_t OverflowOnShow() const;
    // Drops the oldest shown entries (the caller makes room with OverflowOnShow first).
    void DropOldestShown(std::size_t n) { shown_.DropOldest(n); }
    // Describes the waiting entries in order and appends them to the shown ones.
    void ShowWaiting();

    const TrafficRing& Shown() const { return shown_; }
    // Entries dropped so far, shown or waiting.
    std::uint64_t Dropped() const { return shown_.Dropped() + waiting_.Dropped(); }
    // Empties both rings and the drop count; the last request is kept for the next reply.
    void Clear();

    // Writes the shown entries, one line each with CR LF, replacing the file only once it is
    // whole. False with the reason in *error when the file cannot be written.
    bool Save(const QString& path, const TrafficClock& clock, std::string* error) const;

  private:
    TrafficRing shown_;
    TrafficRing waiting_;
    TrafficDescriber describer_;
};

}  // namespace halvern
