#include "monitor/PollLoop.h"

namespace halvern {

void PollLoop::Run() {
    if (running_) {
        Restart();
        return;
    }
    running_ = true;
    while (!quit_ && !stop_) {
        const auto gen = generation_;
        const StopCheck stop = [this, gen] { return generation_ != gen; };
        if (iteration_)
            iteration_(stop);
    }
    running_ = false;
    stop_ = false;
}

}  // namespace halvern
