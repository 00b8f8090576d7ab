#include "platform/qt/QtPlatform.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

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
#ifdef __linux__
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
#endif
}

bool QtPlatform::PreciseWake() {
    // The notifier needs the application's event dispatcher, which may come after us.
    if (timerFd_ >= 0 && !wakeNotifier_ && QCoreApplication::instance()) {
        wakeNotifier_ = std::make_unique<QSocketNotifier>(timerFd_, QSocketNotifier::Read);
        QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, [this] { OnWake(); });
    }
    return wakeNotifier_ != nullptr;
}

QtPlatform::~QtPlatform() {
#ifdef __linux__
    wakeNotifier_.reset();
    if (timerFd_ >= 0)
        close(timerFd_);
#endif
}

void QtPlatform::OnWake() {
#ifdef __linux__
    std::uint64_t expirations = 0;
    [[maybe_unused]] const auto n = read(timerFd_, &expirations, sizeof expirations);
#endif
    RunDuePosts();
}

Micros QtPlatform::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void QtPlatform::ProcessEvents(Micros deadlineUs) {
    const Micros now = NowUs();
    if (!posts_.empty() && posts_.begin()->first.first <= now) {
        RunDuePosts();  // what is due runs now; this turn has handled an event
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    if (deadlineUs <= now) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    if (PreciseWake()) {
        // Each running wait keeps its deadline in the set, so a nested wait cannot take the
        // wake-up of the wait around it.
        const auto mine = waitDeadlines_.insert(deadlineUs);
        ArmPostTimer();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        waitDeadlines_.erase(mine);
        ArmPostTimer();
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
#ifdef __linux__
    if (PreciseWake()) {
        // The earliest of: the first posted call, the first wait deadline still ahead.
        Micros at = -1;
        if (!posts_.empty())
            at = posts_.begin()->first.first;
        const auto wait = waitDeadlines_.upper_bound(NowUs());
        if (wait != waitDeadlines_.end() && (at < 0 || *wait < at))
            at = *wait;
        itimerspec when{};
        if (at >= 0) {
            at = std::max<Micros>(at, 1);  // zero would disarm
            when.it_value.tv_sec = static_cast<time_t>(at / 1'000'000);
            when.it_value.tv_nsec = static_cast<long>(at % 1'000'000) * 1000;
        }
        timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &when, nullptr);
        return;
    }
#endif
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
    constexpr auto kSpin = microseconds(250);
    for (;;) {
        const auto left = end - steady_clock::now();
        if (left <= steady_clock::duration::zero())
            return;
        if (left > kSpin)
            std::this_thread::sleep_for(left - kSpin);
    }
}

}  // namespace halvern
