#pragma once
// A child's taking of the bus from the main cycle (the bus scan, the bus overview, the
// maintenance window's poll): its work runs as the polling loop's iterations in place of the
// main cycle until it gives the bus back. One state says where it stands:
//
//   Idle       the main cycle has the bus.
//   Draining   taken: the first iteration takes in the reply the interrupted poll may still
//              get, so that the child never takes it for an answer of its own; then Running.
//   Running    the child's steps, one per iteration, until a step says the work is done.
//   Finishing  the step under way ends (its own replies in), then the bus goes back.
//   Closing    the step under way is abandoned at its wait, the reply it may still get is
//              taken in, then the bus goes back.
//
// Start, from any state: Draining, and the loop restarted (a step under way is abandoned).
// Finish: Running becomes Finishing; during the drain, the drain ends and the bus goes back
// (Closing, the wait not abandoned). Close: Draining, Running or Finishing become Closing and
// the loop is restarted. Either is ignored when idle or already ending. Going back: Idle, then
// `ended`, then `giveBack`.

#include <functional>

#include "link/Link.h"
#include "monitor/PollLoop.h"

namespace halvern {

enum class TakeoverState { Idle, Draining, Running, Finishing, Closing };

class BusTakeover {
  public:
    struct Child {
        // One step of the child's work, given the loop's stop; true when the work is done.
        std::function<bool(const StopCheck& stop)> step;
        // The bus has gone back (the child shows that it ended). May be empty.
        std::function<void()> ended;
        // The main cycle takes the loop back (the main window's activation). Empty where the
        // caller does that itself once the child has closed.
        std::function<void()> giveBack;
    };

    BusTakeover(Link& link, PollLoop& loop, Child child);

    // Takes the bus: the loop's next iteration drains, then the steps run.
    void Start();
    // Takes the bus after `drain`, which runs at once, before the loop's iteration in progress
    // is abandoned (the maintenance window's settling wait). Finished or closed during that
    // drain, the bus goes back when it ends; given back during it, the child takes nothing.
    void Start(const std::function<void()>& drain);
    // True when the state changed.
    bool Finish();
    bool Close();
    // The bus goes back now, from any state (a child that has closed).
    void GiveBack();

    TakeoverState State() const { return state_; }
    // From Start until the bus has gone back.
    bool Holding() const { return state_ != TakeoverState::Idle; }
    // Finishing or Closing.
    bool Ending() const {
        return state_ == TakeoverState::Finishing || state_ == TakeoverState::Closing;
    }

    // The polling loop's iteration while the child holds the bus. Should it still run once the
    // bus has gone back (until the main cycle's activation replaces it), it runs the child's
    // step and gives nothing back again.
    void Iteration(const StopCheck& stop);

  private:
    void TakeLoop();

    Link& link_;
    PollLoop& loop_;
    Child child_;
    TakeoverState state_ = TakeoverState::Idle;
};

}  // namespace halvern
