#include "platform/qt/QtPlatform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace halvern {

namespace {

class QtTimer : public Timer {
  public:
    QtTimer() {
        timer_.setInterval(intervalMs_);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTick)
                onTick();
        });
    }

    void SetInterval(int ms) override {
        intervalMs_ = std::max(ms, 1);
        timer_.setInterval(intervalMs_);  // an active timer restarts with the new interval
    }
    int Interval() const override { return intervalMs_; }
    void SetEnabled(bool on) override {
        if (on == timer_.isActive())
            return;
        if (on)
            timer_.start();
        else
            timer_.stop();
    }
    bool Enabled() const override { return timer_.isActive(); }

  private:
    int intervalMs_ = 1000;
    QTimer timer_;
};

}  // namespace

int MsUntil(Micros nowUs, Micros atUs) {
    if (atUs <= nowUs)
        return 0;
    const Micros ms = (atUs - nowUs + 999) / 1000;
    return static_cast<int>(std::min<Micros>(ms, std::numeric_limits<int>::max()));
}

QtPlatform::QtPlatform() {
    postTimer_.setSingleShot(true);
    postTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&postTimer_, &QTimer::timeout, [this] { RunDuePosts(); });
}

QtPlatform::~QtPlatform() = default;

Micros QtPlatform::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void QtPlatform::ProcessEvents(Micros deadlineUs) {
    const Micros now = NowUs();
    if (deadlineUs <= now) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // A timer of its own per wait, so a wait nested in an event handler cannot disarm the
    // wake-up of the wait around it. It has no slot: firing is enough to end the block.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(MsUntil(now, deadlineUs));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtPlatform::Post(Micros atUs, std::function<void()> fn) {
    posts_.emplace(std::make_pair(atUs, seq_++), std::move(fn));
    ArmPostTimer();
}

void QtPlatform::ArmPostTimer() {
    if (posts_.empty()) {
        postTimer_.stop();
        return;
    }
    postTimer_.start(MsUntil(NowUs(), posts_.begin()->first.first));
}

void QtPlatform::RunDuePosts() {
    // Only calls posted before this turn: one that posts itself again for "now" waits for
    // the next turn of the loop instead of starving it.
    const auto limit = seq_;
    for (;;) {
        const Micros now = NowUs();
        auto it = posts_.begin();
        while (it != posts_.end() && it->first.first <= now && it->first.second >= limit)
            ++it;
        if (it == posts_.end() || it->first.first > now)
            break;
        auto fn = std::move(it->second);
        posts_.erase(it);
        ArmPostTimer();  // a wait inside fn must still see the later calls
        fn();
    }
    ArmPostTimer();
}

std::unique_ptr<Timer> QtPlatform::NewTimer() {
    return std::make_unique<QtTimer>();
}

void QtPlatform::DelayUs(std::int32_t us) {
    if (us <= 0)
        return;
    using namespace std::chrono;
    const auto end = steady_clock::now() + microseconds(us);
    // Sleep while the remaining time is long enough to survive the scheduler's slack, then
    // spin the last stretch on the clock: at least the time asked for, not much more.
    constexpr auto kSpin = microseconds(1000);
    for (;;) {
        const auto left = end - steady_clock::now();
        if (left <= steady_clock::duration::zero())
            return;
        if (left > kSpin)
            std::this_thread::sleep_for(left - kSpin);
    }
}

}  // namespace halvern
