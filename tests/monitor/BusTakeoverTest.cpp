// A child's taking of the bus from the main cycle, on virtual time: the start and its drain of
// the reply the interrupted poll may still get, the steps, finishing, closing, a close during
// the drain, and a second start while running. The main cycle here waits 50 ms at a time; a
// step of the child waits 100 ms; a reply nobody asked for (5 bytes) may come on the line.
// A silent drain ends when its 0.6 s first-byte window has passed; a drain that hears a byte
// ends 150 ms after it (a byte takes 1.04 ms at 9600 baud). Times are whole milliseconds.

#include "monitor/BusTakeover.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/Bench.h"

namespace halvern::test {
namespace {

// One row: what is done when ("1000 start"), the steps until the work is done (0: never),
// when the stray reply comes (0: never), the caller's own drain at Start (0: the first
// iteration drains), and the trace: what happened when, the takeover's state after each act.
struct Row {
    const char *name, *acts;
    int steps, strayAtMs, settleMs;
    const char* trace;
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

std::string Name(TakeoverState s) {
    return std::array{"Idle", "Draining", "Running", "Finishing", "Closing"}[static_cast<int>(s)];
}

class Takeover : public ::testing::TestWithParam<Row> {};

TEST_P(Takeover, FollowsItsRule) {
    const Row& row = GetParam();
    Bench b(sim::Bus{});
    std::string trace;
    const auto note = [&](const std::string& what) {
        trace += (trace.empty() ? "" : ",") + std::to_string(b.plat.NowUs() / 1000) + " " + what;
    };
    b.link.SetTrafficTap([&](Micros, TrafficDirection dir, std::span<const std::uint8_t> bytes) {
        dir == TrafficDirection::Received ? note("rx " + std::to_string(bytes.size())) : void();
    });
    const PollLoop::Iteration mainCycle = [&](const StopCheck& stop) { b.link.WaitMs(50, stop); };
    const auto step = [&, left = row.steps](const StopCheck& stop) mutable {
        return note("step"), b.link.WaitMs(100, stop), !stop() && --left == 0;
    };
    BusTakeover takeover(
        b.link, b.loop,
        {step, [&] { note("ended"); }, [&] { note("back"), b.loop.SetIteration(mainCycle); }});
    std::istringstream acts(row.acts);
    for (auto [atMs, what] = std::pair<int, std::string>(); acts >> atMs >> what;)
        b.At(atMs * 1000, [&, what] {
            if (what == "start")
                row.settleMs ? takeover.Start([&] { b.link.WaitMs(row.settleMs); })
                             : takeover.Start();
            else if (what == "giveback")
                takeover.GiveBack();
            else
                what == "finish" ? takeover.Finish() : takeover.Close();
            note(what + " " + Name(takeover.State()));
        });
    if (row.strayAtMs > 0)
        b.port.SendToHost({0x01, 0xC8, 0x00, 0x11, 0x22}, row.strayAtMs * 1000);
    b.loop.SetIteration(mainCycle);
    b.Continue(3'000'000);
    EXPECT_EQ(trace, row.trace);
    EXPECT_EQ(Name(takeover.State()), "Idle");
}

INSTANTIATE_TEST_SUITE_P(
    Rule, Takeover,
    ::testing::Values(
        // The reply the main cycle's poll was waiting for is taken in before the first step.
        Row{"StartDrainsThenStepsUntilDone", "1000 start", 3, 1200, 0,
            "1000 start Draining,1351 rx 5,1351 step,1451 step,1551 step,1651 ended,1651 back"},
        // The step under way is abandoned at its wait; the reply it may still get is taken in.
        Row{"CloseAbandonsTheStepAndDrainsItsReply", "1000 start 1750 close", 0, 1800, 0,
            "1000 start Draining,1600 step,1700 step,1750 close Closing,1951 rx 5,1951 ended,1951 "
            "back"},
        // The first drain is abandoned and a whole one follows; a second close changes nothing.
        Row{"CloseDuringTheDrainDrainsAgainThenGoesBack", "1000 start 1300 close 1500 close", 0, 0,
            0, "1000 start Draining,1300 close Closing,1500 close Closing,1900 ended,1900 back"},
        Row{"FinishLetsTheStepUnderWayEndWithoutADrain", "1000 start 1750 finish", 0, 0, 0,
            "1000 start Draining,1600 step,1700 step,1750 finish Finishing,1800 ended,1800 back"},
        Row{"FinishDuringTheDrainGoesBackWhenItEnds", "1000 start 1300 finish", 0, 0, 0,
            "1000 start Draining,1300 finish Closing,1600 ended,1600 back"},
        // The step under way is abandoned (not counted), the line drained again.
        Row{"ASecondStartWhileRunningDrainsAgain", "1000 start 1750 start", 3, 0, 0,
            "1000 start Draining,1600 step,1700 step,1750 start Draining,2350 step,2450 step,2550 "
            "ended,2550 back"},
        Row{"FinishAndCloseWhileIdleDoNothing", "1000 close 1100 finish", 0, 0, 0,
            "1000 close Idle,1100 finish Idle"},
        // The caller's own drain runs at once; the steps follow when it is over.
        Row{"ACallersDrainRunsBeforeTheLoopIsTaken", "1000 start", 2, 0, 500,
            "1500 start Running,1500 step,1600 step,1700 ended,1700 back"},
        Row{"GivenBackDuringTheCallersDrainItTakesNothing", "1000 start 1200 giveback", 0, 0, 500,
            "1200 ended,1200 back,1200 giveback Idle,1500 start Idle"},
        Row{"ClosedDuringTheCallersDrainItGoesBackWhenItEnds", "1000 start 1200 close", 0, 0, 500,
            "1200 close Closing,1500 ended,1500 back,1500 start Idle"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace halvern::test
