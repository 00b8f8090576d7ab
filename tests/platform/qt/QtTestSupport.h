#pragma once
// Real-time helpers for the tests of the Qt platform: these are the only tests that run on
// the machine's clock, because the objects under test are the operating system's. Waits are
// bounded so that a fault shows as a failure, not a hang.

#include <QCoreApplication>
#include <memory>

#include "platform/qt/QtPlatform.h"

namespace halvern::qttest {

// Qt needs its application object before any event processing.
void EnsureApplication();

// Runs the event loop until done() holds or limitUs has passed; true when done() holds.
template <class Done>
bool PumpUntil(QtPlatform& p, Done done, Micros limitUs = 3'000'000) {
    const Micros end = p.NowUs() + limitUs;
    while (!done()) {
        const Micros now = p.NowUs();
        if (now >= end)
            return false;
        p.ProcessEvents(std::min(end, now + 10'000));
    }
    return true;
}

}  // namespace halvern::qttest
