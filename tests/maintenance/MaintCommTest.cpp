// The maintenance window's poll and commands on virtual time against simulated detectors.

#include "maintenance/MaintComm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "logging/LoggingControl.h"
#include "maintenance/MaintBench.h"
#include "maintenance/MaintExchanges.h"

namespace halvern::test {
namespace {

// The poll replaces the main cycle; the link turns "Bad" at the third silent poll. A second
// opening on a detector that stayed silent judges its own polls, as the first opening did.
TEST(Maintenance, ItsPollReplacesTheMainCycleAndEachOpeningTurnsBadAtItsThirdSilentPoll) {
    Maintenance m(12);                                               // Talvek 880, serial 880
    m.b.At(1'000'001, [&] { m.b.par.Main.Status = "main cycle"; });  // set once the wait began
    m.b.At(3'000'000, [&] { m.b.bus().InjectFault(12, "silent"); });
    MaintPanel p;
    std::map<double, std::string> firstOpening;
    std::string mainStatus;
    m.b.At(6'000'000, [&] {
        p = m.b.par.Maint;
        firstOpening = m.linkAtFails;
        mainStatus = m.b.par.Main.Status;
        m.Close();
    });
    m.b.At(8'000'000, [&] {
        m.linkAtFails.clear();
        m.maint.Open();
    });
    m.b.Run(14'000'000);
    EXPECT_EQ(p.TOTime, std::to_string(0x002A0030));  // bytes 3 to 6 of the last reply
    EXPECT_EQ(p.Title, "Maintenance window of detector serial No:880");
    EXPECT_EQ(p.LELCaption, "PPM.m");
    EXPECT_EQ(mainStatus, "main cycle");  // the main cycle ran no more
    // One loop: polls follow each other at the line's pace, none doubled.
    const auto q = m.b.StatusQueries();
    const auto first =
        std::find_if(q.begin(), q.end(), [](auto& x) { return x.first > 1'500'000; });
    for (auto it = first + 1; it != q.end() && it->first < 3'000'000; ++it)
        EXPECT_GT(it->first - (it - 1)->first, 150'000);
    for (const auto& fails : {firstOpening, m.linkAtFails}) {
        EXPECT_EQ(fails.at(0), "Good");
        EXPECT_EQ(fails.at(2), "Good");
        EXPECT_EQ(fails.at(3), "Bad");
    }
    EXPECT_EQ(firstOpening.at(4), "Bad");
    EXPECT_EQ(p.ComState, Lamp::Red);
    EXPECT_FALSE(p.Sig1.empty());  // the last values stay
    EXPECT_EQ(m.b.par.Maint.Com, "Bad");
    EXPECT_EQ(m.b.par.Maint.ComState, Lamp::Red);
}

// Asked for just after the main cycle sent its query, the window opens while that answer is on
// its way: it comes in during the opening wait and must not spoil the first poll's reply.
TEST(Maintenance, TheMainCyclesAnswerDuringTheOpeningWaitSpoilsNoPoll) {
    Maintenance m(1, 0);
    int failed = 0, decoded = 0;
    m.maint.onPolled = [&](bool ok) { (ok ? decoded : failed) += 1; };
    bool opened = false;
    for (Micros t = 1'000'000; t < 1'400'000; t += 500)
        m.b.At(t, [&, t] {
            const auto q = m.b.StatusQueries();
            if (!opened && !q.empty() && t - q.back().first < 1'000) {
                opened = true;
                m.maint.Open();
            }
        });
    m.b.Run(3'000'000);
    ASSERT_TRUE(opened);
    EXPECT_GE(decoded, 5);
    EXPECT_EQ(failed, 0);
}

TEST(Maintenance, SnTestConfirmedAtOnceShowsTheNoiseAndNormalModeBlanksItAgain) {
    Maintenance m;
    Micros started = 0, ended = 0;
    m.b.At(2'000'000, [&] {
        started = m.b.plat.NowUs();
        m.maint.cmdCheck();
        ended = m.b.plat.NowUs();
    });
    m.b.At(2'300'000, [&] {
        EXPECT_FALSE(m.b.par.Maint.CheckEnabled || m.b.par.Maint.ExitEnabled);
        m.maint.cmdCheck();  // one command at a time
        m.maint.cmdNormal();
        m.maint.cmdAlign();
    });
    m.b.At(4'000'000, [&] {
        EXPECT_TRUE(m.b.bus().Find(1)->SnTestRunning());
        EXPECT_FALSE(m.b.par.Maint.S1N.empty());
        EXPECT_TRUE(m.b.par.Maint.CheckEnabled && m.b.par.Maint.AlignEnabled);
        m.maint.cmdNormal();
    });
    m.b.Run(7'000'000);
    const auto writes = m.b.FramesOf(6);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, SnTestFrame(1));
    EXPECT_EQ(writes[0].atUs - started, 500'000 + kPreSendPauseUs);
    EXPECT_EQ(ended - started, 500'000 + kPreSendPauseUs + 1'000'000 + 150'000);
    EXPECT_EQ(writes[1].bytes, NormalModeFrame(1));
    EXPECT_TRUE(m.b.FramesOf(200, kCodeAlign).empty());
    EXPECT_FALSE(m.b.bus().Find(1)->SnTestRunning());
    EXPECT_EQ(m.b.par.Maint.S1N + m.b.par.Maint.S2N + m.b.par.Maint.R2N, "");
    EXPECT_TRUE(m.b.dialogs.Calls().empty());
}

// The attempts and their spacing are the write's own (tests/config); here what the window does.
TEST(Maintenance, AnUnconfirmedSnTestTriesSixTimesWarnsAndShowsTheNoiseAnyway) {
    Maintenance m;
    m.b.bus().InjectFault(1, "ignore writes");
    m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });
    m.b.Run(14'000'000);
    EXPECT_EQ(m.b.FramesOf(6).size(), 6u);
    ASSERT_EQ(m.b.dialogs.Calls().size(), 1u);
    EXPECT_EQ(m.b.dialogs.Calls()[0].text, "S/N Test Fail - Try Again!");
    EXPECT_EQ(m.b.dialogs.Calls()[0].title, "WARNING");
    EXPECT_EQ(m.b.dialogs.Calls()[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(m.b.par.SnTestMode);
    EXPECT_EQ(m.b.par.Maint.S1N, "0");  // the detector is not in its test: its noise reads 0
    EXPECT_TRUE(m.b.par.Maint.ExitEnabled && m.b.par.Maint.NormalEnabled);
}

TEST(Maintenance, Families36And37HaveNoModeCommandsAndAlignNeedsAGoodLink) {
    Maintenance m(7);  // Veridan LAMP 411
    m.b.At(2'000'000, [&] {
        EXPECT_FALSE(m.b.par.Maint.CheckEnabled || m.b.par.Maint.NormalEnabled);
        m.maint.cmdCheck();
        m.maint.cmdNormal();
        m.maint.cmdAlign();
    });
    m.b.At(3'000'000, [&] { m.b.bus().InjectFault(7, "silent"); });
    m.b.At(6'000'000, [&] { m.maint.cmdAlign(); });  // "Bad" by now
    m.b.Run(8'000'000);
    EXPECT_TRUE(m.b.FramesOf(6).empty());
    ASSERT_EQ(m.b.FramesOf(200, kCodeAlign).size(), 1u);
    EXPECT_EQ(m.b.FramesOf(200, kCodeAlign)[0].bytes, CommandFrame(7, kCodeAlign));
    EXPECT_EQ(m.b.par.Maint.Com, "Bad");
}

// A family-32 detector with Signal 1 held at raw 200 (3.92 V): the main window takes 0.56 off
// (3.36), the maintenance window 0.15 (3.77). The records of every tick, before, during and after
// the window, have the main window's figure; the window shows its own.
TEST(Maintenance, RecordsTakenWhileItIsOpenHaveTheMainWindowsFiguresOfTheSameReply) {
    Maintenance m(1, 2'500'000, OneDetector(1, 32));
    Bench& b = m.b;
    ASSERT_TRUE(b.bus().Find(1)->HoldReading("signal1", 200));
    std::string shown;
    m.maint.onPolled = [&](bool) { shown = b.par.Maint.Sig1; };
    LogMenuCommand(b.par, [] { return std::string("1"); });
    const auto timer2 = b.plat.NewTimer();
    timer2->SetInterval(kLogTickMs);
    timer2->onTick = [&] {
        b.clockTime.second = static_cast<int>(b.plat.NowUs() / 1'000'000);
        LogTick(b.par, b.clockTime);
    };
    timer2->SetEnabled(true);
    b.At(6'500'000, [&] { m.Close(); });
    b.Run(8'500'000);
    EXPECT_EQ(shown, "3.77");
    std::ifstream log(std::filesystem::path(b.par.ProgramFolder) / "4711.txt");
    std::vector<std::string> signal1;
    for (std::string line; std::getline(log, line);)
        signal1.push_back(line.substr(37, 4));                // columns 38 to 41
    EXPECT_EQ(signal1, std::vector<std::string>(9, "3.36"));  // the first reply's, 8 ticks
}

// The window closes (Leave, then Close) after F9 at 2 s, while the detector may be in its S/N
// test: the technician is asked whether to return it to normal mode, and the main cycle takes
// over. Closed while the S/N test is still tried, the attempts end first; closed before any
// frame left, there is nothing to ask.
struct Closing {
    const char* name;
    bool ignoresWrites, answersAtClose;  // the detector ignores writes, or does so until the close
    bool yes;                            // the answer to the question
    Micros closeAt;
    std::size_t writes;             // the S/N test frame, then normal-mode frames only
    std::vector<std::string> said;  // the question first
    bool left;                      // the detector may still be in its S/N test
    Micros normalAt, leftAt;        // the normal-mode write and the end of Leave; 0: not known
};
void PrintTo(const Closing& c, std::ostream* os) {
    *os << c.name;
}
const std::string kQuestion =
    "The detector at address 1 was told to start its S/N test and has not confirmed normal mode "
    "since.\rReturn it to normal mode now?";
const std::string kBack = "The detector at address 1 is back in normal mode.";
// The normal-mode write as F10 makes it: half a second, the frame, a second, the echo.
constexpr Micros kNormalAt = 5'000'000 + 500'000 + kPreSendPauseUs;
const Closing kClosings[] = {
    {"ConfirmedThenYes",
     false,
     false,
     true,
     5'000'000,
     2,
     {kQuestion, kBack},
     false,
     kNormalAt,
     kNormalAt + 1'000'000 + 150'000},
    {"ConfirmedThenNo", false, false, false, 5'000'000, 1, {kQuestion}, true, 0, 5'000'000},
    {"TriedThenAnswers", true, true, true, 4'000'000, 2, {kQuestion, kBack}, false, 0, 0},
    {"TriedAndIgnored",
     true,
     false,
     true,
     4'000'000,
     7,
     {kQuestion, "Not in normal mode - Try again!"},
     true,
     0,
     0},
    {"BeforeItsFirstFrame", false, false, true, 2'200'000, 0, {}, false, 0, 0},
};

class ClosingAfterF9 : public ::testing::TestWithParam<Closing> {};

TEST_P(ClosingAfterF9, AsksWhetherToReturnToNormalModeOnceAFrameLeft) {
    const Closing& c = GetParam();
    Maintenance m;
    m.b.dialogs.AnswerYesNo(c.yes);
    if (c.ignoresWrites)
        m.b.bus().InjectFault(1, "ignore writes");
    m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });  // confirmed at about 3.5 s
    Micros leftAt = 0;
    m.b.At(c.closeAt, [&] {
        if (c.answersAtClose)  // while the first attempt waits for its echo
            m.b.bus().ClearFaults(1);
        m.maint.Leave();
        leftAt = m.b.plat.NowUs();
        m.maint.Close();
        m.b.comm->Activate();
    });
    m.b.Run(16'000'000);
    const auto& calls = m.b.dialogs.Calls();
    ASSERT_EQ(calls.size(), c.said.size());
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].text, c.said[i]);
    if (!calls.empty()) {
        EXPECT_EQ(calls[0].kind, DialogCall::Kind::AskYesNo);
        EXPECT_EQ(calls[0].title, "S/N test");
    }
    const auto writes = m.b.FramesOf(6);
    ASSERT_EQ(writes.size(), c.writes);
    for (std::size_t i = 0; i < writes.size(); ++i)  // no S/N test frame after the question
        EXPECT_EQ(writes[i].bytes, i == 0 ? SnTestFrame(1) : NormalModeFrame(1)) << i;
    if (c.normalAt) {
        EXPECT_EQ(writes.at(1).atUs, c.normalAt);
    }
    if (c.leftAt) {
        EXPECT_EQ(leftAt, c.leftAt);
    }
    const bool running = c.left && !c.ignoresWrites;
    EXPECT_EQ(m.b.bus().Find(1)->SnTestRunning(), running);
    EXPECT_EQ(m.b.par.LeftInSnTest[1], c.left);
    EXPECT_EQ(SnTestNotice(m.b.par).find("address 1 ") != std::string::npos, c.left);
    EXPECT_FALSE(m.maint.CommandRunning());
    if (!running) {
        EXPECT_EQ(m.b.par.Main.Status, "NNN0");  // the main cycle decodes again
    }
    EXPECT_GT(m.b.StatusQueries().back().first, 15'500'000);
}

INSTANTIATE_TEST_SUITE_P(Maintenance, ClosingAfterF9, ::testing::ValuesIn(kClosings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace halvern::test
