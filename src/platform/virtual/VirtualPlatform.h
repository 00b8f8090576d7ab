#pragma once
// Discrete-event time for tests: the clock stands still while the program computes and
// jumps straight to the next event when the program waits. Nothing here sleeps.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "platform/Platform.h"

namespace halvern {

class VirtualPlatform : public Platform {
  public:
    explicit VirtualPlatform(Micros startUs = 0) : now_(startUs) {}

    Micros NowUs() const override { return now_; }
    void ProcessEvents(Micros deadlineUs) override;
    void Post(Micros atUs, std::function<void()> fn) override;
    std::unique_ptr<Timer> NewTimer() override;
    void DelayUs(std::int32_t us) override;

    // For tests and the simulated world: run the event loop until the clock reaches t
    // (events due at t run too). The program's own waits nest inside as usual.
    void RunUntil(Micros t);
    void RunFor(Micros d) { RunUntil(now_ + d); }
    // Time of the next queued event, or -1 when the queue is empty.
    Micros NextEventUs() const;
    // How many times the program blocked in ProcessEvents (a spin shows as a huge count).
    std::uint64_t Waits() const { return waits_; }

  private:
    bool RunDue();  // runs the events due now; true when any ran

    Micros now_;
    std::uint64_t seq_ = 0;
    std::uint64_t waits_ = 0;
    // Ordered by time, then by the order of posting.
    std::map<std::pair<Micros, std::uint64_t>, std::function<void()>> queue_;
};

}  // namespace halvern
