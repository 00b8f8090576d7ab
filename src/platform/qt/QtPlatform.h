#pragma once
// The real world behind the platform seam: a steady clock, Qt's event loop, QTimer and a
// microsecond delay that sleeps and then spins. Needs a QCoreApplication (or QApplication)
// on the calling thread, like any Qt event processing.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "platform/Platform.h"

namespace halvern {

class QtPlatform : public Platform {
  public:
    QtPlatform();
    ~QtPlatform() override;
    QtPlatform(const QtPlatform&) = delete;
    QtPlatform& operator=(const QtPlatform&) = delete;

    Micros NowUs() const override;
    void ProcessEvents(Micros deadlineUs) override;
    void Post(Micros atUs, std::function<void()> fn) override;
    std::unique_ptr<Timer> NewTimer() override;
    void DelayUs(std::int32_t us) override;

  private:
    void RunDuePosts();
    void ArmPostTimer();
    void OnWake();
    bool PreciseWake();

    // On Linux one timerfd wakes the event loop at the microsecond for the earliest posted
    // call and the earliest deadline of a running wait; Qt's own timers only have whole
    // milliseconds, which made every wait and every send notification up to 1 ms late.
    int timerFd_ = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
    std::multiset<Micros> waitDeadlines_;

    // Posted calls ordered by time, then by the order of posting; one precise timer is
    // armed for the earliest, so nested waits see them as ordinary Qt timer events.
    std::map<std::pair<Micros, std::uint64_t>, std::function<void()>> posts_;
    std::uint64_t seq_ = 0;
    QTimer postTimer_;
};

// Milliseconds to wait from nowUs so that a millisecond timer fires no earlier than atUs.
int MsUntil(Micros nowUs, Micros atUs);

}  // namespace halvern
