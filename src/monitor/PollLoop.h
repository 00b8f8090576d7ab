#pragma once
// The one polling loop of the program. It runs at the bottom of the call stack; everything
// else (buttons, keys, timers, the port's send event) runs nested inside its waits. A restart
// abandons the iteration in progress at the wait where it was requested and begins a new one
// with the iteration then in force (the main cycle, or the maintenance window's poll).

#include <cstdint>
#include <functional>

#include "link/Link.h"

namespace halvern {

class PollLoop {
  public:
    // One iteration; it must pass `stop` to every wait it makes.
    using Iteration = std::function<void(const StopCheck& stop)>;

    void SetIteration(Iteration it) { iteration_ = std::move(it); }
    // Starts the loop when none runs (and blocks until Quit); otherwise makes the running loop
    // begin a new iteration as soon as control returns to it.
    void Run();
    void Restart() { ++generation_; }
    // Ends the running loop; a later Run starts it again (tests stop at chosen times).
    void Stop() {
        stop_ = true;
        ++generation_;
    }
    void Quit() {
        quit_ = true;
        ++generation_;
    }
    bool Running() const { return running_; }
    bool Quitting() const { return quit_; }

  private:
    Iteration iteration_;
    bool running_ = false;
    bool quit_ = false;
    bool stop_ = false;
    std::uint64_t generation_ = 0;
};

}  // namespace halvern
