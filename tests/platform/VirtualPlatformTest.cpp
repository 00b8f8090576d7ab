#include <gtest/gtest.h>

#include <vector>

#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"

namespace halvern {
namespace {

TEST(VirtualPlatform, WaitJumpsToTheNextEventAndRunsItInOrder) {
    VirtualPlatform p;
    std::vector<int> order;
    p.Post(5000, [&] { order.push_back(2); });
    p.Post(2000, [&] { order.push_back(1); });
    p.Post(5000, [&] { order.push_back(3); });
    p.ProcessEvents(10'000);
    EXPECT_EQ(p.NowUs(), 2000);
    EXPECT_EQ(order, (std::vector<int>{1}));
    p.ProcessEvents(10'000);
    EXPECT_EQ(p.NowUs(), 5000);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    p.ProcessEvents(10'000);  // nothing left: the wait runs to its deadline
    EXPECT_EQ(p.NowUs(), 10'000);
}

TEST(VirtualPlatform, MicroDelayPassesTimeWithoutRunningEvents) {
    VirtualPlatform p;
    bool ran = false;
    p.Post(100, [&] { ran = true; });
    p.DelayUs(4000);
    EXPECT_EQ(p.NowUs(), 4000);
    EXPECT_FALSE(ran);
    p.ProcessEvents(4000);  // the late event runs at the next turn of the loop
    EXPECT_TRUE(ran);
}

TEST(VirtualPlatform, TimerTicksOnVirtualTimeAndStopsWhenDisabledOrDestroyed) {
    VirtualPlatform p;
    auto t = p.NewTimer();
    std::vector<Micros> ticks;
    t->onTick = [&] { ticks.push_back(p.NowUs()); };
    t->SetInterval(1000);
    t->SetEnabled(true);
    p.RunUntil(3'500'000);
    EXPECT_EQ(ticks, (std::vector<Micros>{1'000'000, 2'000'000, 3'000'000}));
    t->SetEnabled(false);
    p.RunUntil(6'000'000);
    EXPECT_EQ(ticks.size(), 3u);
    t->SetEnabled(true);  // a restart counts a whole interval from now
    p.RunUntil(6'999'999);
    EXPECT_EQ(ticks.size(), 3u);
    p.RunUntil(7'000'000);
    EXPECT_EQ(ticks.size(), 4u);
    t.reset();
    p.RunUntil(20'000'000);
    EXPECT_EQ(ticks.size(), 4u);
}

TEST(SimulatedSerialPort, BytesMoveAtTheLineRateBothWays) {
    VirtualPlatform p;
    SimulatedSerialPort port(p);
    ASSERT_TRUE(port.Open("sim", nullptr));
    Micros drained = -1, arrived = -1;
    port.onSendDrained = [&] { drained = p.NowUs(); };
    port.onHostFrame = [&](Micros at, const std::vector<std::uint8_t>& f) {
        arrived = at;
        EXPECT_EQ(f.size(), 9u);
    };
    const std::vector<std::uint8_t> frame(9, 0x55);
    port.Write(frame);
    p.RunFor(20'000);
    EXPECT_EQ(arrived, WireTimeUs(9));
    EXPECT_EQ(drained, WireTimeUs(9));

    port.SendToHost({1, 2, 3}, 50'000);
    p.RunUntil(50'000 + ByteTimeUs());
    EXPECT_EQ(port.BytesWaiting(), 1);
    p.RunUntil(50'000 + 3 * ByteTimeUs());
    EXPECT_EQ(port.ReadAll(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(port.BytesWaiting(), 0);
}

TEST(SimulatedSerialPort, UnpluggedDeviceClosesAndRefusesToOpenUntilItReturns) {
    VirtualPlatform p;
    SimulatedSerialPort port(p);
    std::string why;
    port.FailNextOpen("Permission denied");
    EXPECT_FALSE(port.Open("sim", &why));
    EXPECT_EQ(why, "Permission denied");
    ASSERT_TRUE(port.Open("sim", &why));
    port.SendToHost({1, 2}, 0);
    port.Unplug();
    p.RunFor(10'000);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Open("sim", &why));
    port.Replug();
    EXPECT_TRUE(port.Open("sim", &why));
    EXPECT_EQ(port.BytesWaiting(), 0);  // bytes of the old session are gone
}

}  // namespace
}  // namespace halvern
