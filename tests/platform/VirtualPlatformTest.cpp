#include <gtest/gtest.h>

#include <vector>

#include "platform/virtual/VirtualPlatform.h"

namespace halvern {
namespace {

TEST(VirtualPlatform, WaitJumpsToTheNextEventRunsWhatIsDueInOrderAndDelayRunsNone) {
    VirtualPlatform p;
    std::vector<int> order;
    p.Post(5000, [&] { order.push_back(2); });
    p.Post(2000, [&] { order.push_back(1); });
    p.Post(5000, [&] { order.push_back(3); });
    p.ProcessEvents(10'000);
    EXPECT_EQ(p.NowUs(), 2000);
    EXPECT_EQ(order, (std::vector<int>{1}));
    p.DelayUs(4000);  // the thread is blocked: time passes, nothing runs
    EXPECT_EQ(p.NowUs(), 6000);
    EXPECT_EQ(order.size(), 1u);
    p.ProcessEvents(10'000);  // the late events run at the next turn of the loop
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(p.NowUs(), 6000);
}

TEST(VirtualPlatform, TimerTicksOnVirtualTimeAndStopsWhenDisabledOrDestroyed) {
    VirtualPlatform p;
    auto t = p.NewTimer();
    std::vector<Micros> ticks;
    t->onTick = [&] { ticks.push_back(p.NowUs()); };
    t->SetInterval(1000);
    t->SetEnabled(true);
    p.RunUntil(2'500'000);
    t->SetEnabled(false);
    p.RunUntil(5'500'000);
    t->SetEnabled(true);  // a restart counts a whole interval from now
    p.RunUntil(7'000'000);
    t.reset();
    p.RunUntil(20'000'000);
    EXPECT_EQ(ticks, (std::vector<Micros>{1'000'000, 2'000'000, 6'500'000}));
}

}  // namespace
}  // namespace halvern
