#include "platform/virtual/VirtualPlatform.h"

#include <algorithm>
#include <memory>

namespace halvern {

namespace {

class VirtualTimer : public Timer {
  public:
    explicit VirtualTimer(VirtualPlatform& p) : p_(p), alive_(std::make_shared<bool>(true)) {}
    ~VirtualTimer() override { *alive_ = false; }

    void SetInterval(int ms) override {
        intervalMs_ = std::max(ms, 1);
        if (enabled_)
            Arm();
    }
    int Interval() const override { return intervalMs_; }
    void SetEnabled(bool on) override {
        if (on == enabled_)
            return;
        enabled_ = on;
        if (on)
            Arm();
        else
            ++generation_;
    }
    bool Enabled() const override { return enabled_; }

  private:
    // Each (re)start opens a new generation; ticks queued by an older one do nothing.
    void Arm() {
        const auto gen = ++generation_;
        Schedule(gen, p_.NowUs() + MsToUs(intervalMs_));
    }
    void Schedule(std::uint64_t gen, Micros at) {
        std::weak_ptr<bool> alive = alive_;
        p_.Post(at, [this, alive, gen, at] {
            if (alive.expired() || gen != generation_ || !enabled_)
                return;
            Schedule(gen, at + MsToUs(intervalMs_));
            if (onTick)
                onTick();
        });
    }

    VirtualPlatform& p_;
    std::shared_ptr<bool> alive_;
    int intervalMs_ = 1000;
    bool enabled_ = false;
    std::uint64_t generation_ = 0;
};

}  // namespace

void VirtualPlatform::Post(Micros atUs, std::function<void()> fn) {
    queue_.emplace(std::make_pair(std::max(atUs, now_), seq_++), std::move(fn));
}

std::unique_ptr<Timer> VirtualPlatform::NewTimer() {
    return std::make_unique<VirtualTimer>(*this);
}

void VirtualPlatform::DelayUs(std::int32_t us) {
    if (us > 0)
        now_ += us;  // the thread is blocked: time passes, no event runs
}

bool VirtualPlatform::RunDue() {
    bool ran = false;
    // Only events already due when we start; one posted now for now runs on the next turn,
    // as a real event loop would.
    const auto limit = seq_;
    for (auto it = queue_.begin(); it != queue_.end() && it->first.first <= now_;) {
        if (it->first.second >= limit) {
            ++it;
            continue;
        }
        auto fn = std::move(it->second);
        queue_.erase(it);
        fn();
        ran = true;
        it = queue_.begin();
    }
    return ran;
}

void VirtualPlatform::ProcessEvents(Micros deadlineUs) {
    ++waits_;
    if (RunDue())
        return;
    const Micros next = NextEventUs();
    if (next >= 0 && next <= deadlineUs) {
        now_ = std::max(now_, next);
        RunDue();
    } else if (deadlineUs > now_) {
        now_ = deadlineUs;
    }
}

void VirtualPlatform::RunUntil(Micros t) {
    while (now_ < t)
        ProcessEvents(t);
    RunDue();
}

Micros VirtualPlatform::NextEventUs() const {
    return queue_.empty() ? -1 : queue_.begin()->first.first;
}

}  // namespace halvern
