#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/QtPlatform.h"

namespace halvern {
namespace {

using qttest::PumpUntil;

class QtPlatformTest : public ::testing::Test {
  protected:
    void SetUp() override { qttest::EnsureApplication(); }
    QtPlatform p;
};

TEST(MsUntil, RoundsUpSoATimerNeverFiresEarly) {
    EXPECT_EQ(MsUntil(5000, 4000), 0);
    EXPECT_EQ(MsUntil(5000, 5000), 0);
    EXPECT_EQ(MsUntil(5000, 5001), 1);
    EXPECT_EQ(MsUntil(5000, 6000), 1);
    EXPECT_EQ(MsUntil(5000, 6001), 2);
}

TEST_F(QtPlatformTest, PostedCallsRunInTimeOrderAndNeverBeforeTheirTime) {
    const Micros t0 = p.NowUs();
    std::vector<std::string> order;
    std::vector<std::pair<Micros, Micros>> dueAndRan;
    auto post = [&](Micros at, std::string name) {
        p.Post(at, [&, at, name] {
            order.push_back(name);
            dueAndRan.emplace_back(at, p.NowUs());
        });
    };
    post(t0 + 20'000, "late");
    post(t0 + 5'000, "soon");
    post(t0, "now-1");
    post(t0, "now-2");
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"now-1", "now-2", "soon", "late"}));
    for (const auto& [due, ran] : dueAndRan)
        EXPECT_GE(ran, due);
    EXPECT_EQ(p.PendingPosts(), 0u);
}

TEST_F(QtPlatformTest, WaitBlocksUntilItsDeadlineInsteadOfSpinning) {
    const Micros deadline = p.NowUs() + 50'000;
    int turns = 0;
    while (p.NowUs() < deadline && turns < 1000) {
        p.ProcessEvents(deadline);
        ++turns;
    }
    EXPECT_GE(p.NowUs(), deadline);
    EXPECT_LT(turns, 10);  // a spinning wait would take thousands of turns
}

TEST_F(QtPlatformTest, PassedDeadlineRunsWhatIsDueWithoutBlocking) {
    bool ran = false;
    p.Post(p.NowUs(), [&] { ran = true; });
    bool far = false;
    p.Post(p.NowUs() + 60'000'000, [&] { far = true; });
    p.ProcessEvents(p.NowUs() - 1);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(far);
}

TEST_F(QtPlatformTest, WaitNestedInAPostedCallSeesLaterCalls) {
    std::vector<std::string> order;
    const Micros t0 = p.NowUs();
    p.Post(t0, [&] {
        order.push_back("outer begins");
        PumpUntil(p, [&] { return order.size() == 2; });
        order.push_back("outer ends");
    });
    p.Post(t0 + 2'000, [&] { order.push_back("inner"); });
    ASSERT_TRUE(PumpUntil(p, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"outer begins", "inner", "outer ends"}));
}

TEST_F(QtPlatformTest, TimerRepeatsUntilDisabledOrDestroyed) {
    auto t = p.NewTimer();
    int ticks = 0;
    t->onTick = [&] { ++ticks; };
    t->SetInterval(0);  // held at the shortest interval, never a busy timer
    EXPECT_EQ(t->Interval(), 1);
    t->SetInterval(5);
    EXPECT_FALSE(t->Enabled());
    t->SetEnabled(true);
    ASSERT_TRUE(PumpUntil(p, [&] { return ticks >= 3; }));
    t->SetEnabled(false);
    EXPECT_FALSE(t->Enabled());
    const int stopped = ticks;
    PumpUntil(
        p, [] { return false; }, 30'000);
    EXPECT_EQ(ticks, stopped);

    t->SetEnabled(true);
    t->onTick = [&] { t.reset(); };  // a tick may destroy its own timer
    ASSERT_TRUE(PumpUntil(p, [&] { return t == nullptr; }));
}

TEST_F(QtPlatformTest, MicroDelayBlocksAtLeastItsTimeAndRunsNoEvent) {
    bool ran = false;
    p.Post(p.NowUs(), [&] { ran = true; });
    const Micros before = p.NowUs();
    p.DelayUs(3'000);
    EXPECT_GE(p.NowUs() - before, 3'000);
    EXPECT_FALSE(ran);
    p.DelayUs(0);
    p.DelayUs(-5);
}

}  // namespace
}  // namespace halvern
