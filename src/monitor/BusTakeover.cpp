#include "monitor/BusTakeover.h"

namespace halvern {

using enum TakeoverState;

BusTakeover::BusTakeover(Link& link, PollLoop& loop, Child child)
    : link_(link), loop_(loop), child_(std::move(child)) {}

void BusTakeover::TakeLoop() {
    loop_.SetIteration([this](const StopCheck& stop) { Iteration(stop); });
    loop_.Restart();
}

void BusTakeover::Start() {
    state_ = Draining;
    TakeLoop();
}

void BusTakeover::Start(const std::function<void()>& drain) {
    state_ = Draining;
    drain();
    if (state_ == Closing)
        GiveBack();  // closed while draining: the drain was the whole of it
    if (state_ != Draining)
        return;
    state_ = Running;
    TakeLoop();
}

bool BusTakeover::Finish() {
    if (state_ == Running)
        state_ = Finishing;
    else if (state_ == Draining)
        state_ = Closing;  // the drain under way goes on; the bus goes back after it
    else
        return false;
    return true;
}

bool BusTakeover::Close() {
    if (state_ == Idle || state_ == Closing)
        return false;
    state_ = Closing;
    loop_.Restart();  // the step or drain under way is abandoned at its wait
    return true;
}

void BusTakeover::GiveBack() {
    state_ = Idle;
    if (child_.ended)
        child_.ended();
    if (child_.giveBack)
        child_.giveBack();
}

void BusTakeover::Iteration(const StopCheck& stop) {
    if (state_ == Idle) {
        child_.step(stop);
        return;
    }
    if (state_ == Draining || state_ == Closing) {
        link_.ReceiveReply(stop);
        if (stop())
            return;
        if (state_ == Draining)
            state_ = Running;
    }
    if (state_ == Running) {
        const bool done = child_.step(stop);
        if (stop() || (!done && state_ == Running))
            return;  // abandoned (the same step again, or a new start or close), or more to do
    }
    GiveBack();
}

}  // namespace halvern
