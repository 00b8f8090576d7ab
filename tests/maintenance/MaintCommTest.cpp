// The maintenance window's poll and commands on virtual time against simulated detectors.

#include "maintenance/MaintComm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "logging/LoggingControl.h"
#include "maintenance/MaintDecoder.h"
#include "maintenance/MaintExchanges.h"
#include "support/Bench.h"

namespace halvern::test {
namespace {

using Kind = DialogCall::Kind;

// The program polling the detector at `address`, with the maintenance window opened at 1 s
// from inside the main cycle, as the main window's command does.
struct Maintenance {
    explicit Maintenance(std::uint8_t address = 1) {
        b.par.Main.DetNum = std::to_string(address);
        b.At(1'000'000, [this] { maint.Open(); });
    }
    std::vector<SimulatedSerialPort::Written> Writes(std::uint8_t function) const {
        std::vector<SimulatedSerialPort::Written> out;
        for (const auto& f : b.port.Frames())
            if (f.bytes[1] == function)
                out.push_back(f);
        return out;
    }
    Bench b;
    std::map<double, std::string> linkAtFails;  // lblCom by the count of silent polls
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, [this] {
                        linkAtFails[b.par.MaintFailCount[b.par.CurrentAddress]] = b.par.Maint.Com;
                    }};
};

TEST(Maintenance, ItsPollReplacesTheMainCycleAndTheLinkTurnsBadAtTheThirdSilentPoll) {
    Maintenance m(12);                                               // Talvek 880, serial 880
    m.b.At(1'000'001, [&] { m.b.par.Main.Status = "main cycle"; });  // set once the wait began
    m.b.At(3'000'000, [&] { m.b.bus().InjectFault(12, "silent"); });
    m.b.Run(6'000'000);
    const MaintPanel& p = m.b.par.Maint;
    EXPECT_EQ(p.TOTime, std::to_string(0x002A0030));  // bytes 3 to 6 of the last reply
    EXPECT_EQ(p.Title, "Maintenance window of detector serial No:880");
    EXPECT_EQ(p.LELCaption, "PPM.m");
    EXPECT_EQ(m.b.par.Main.Status, "main cycle");  // the main cycle ran no more
    // One loop: polls follow each other at the line's pace, none doubled.
    const auto q = m.b.StatusQueries();
    const auto first =
        std::find_if(q.begin(), q.end(), [](auto& x) { return x.first > 1'500'000; });
    for (auto it = first + 1; it != q.end() && it->first < 3'000'000; ++it)
        EXPECT_GT(it->first - (it - 1)->first, 150'000);
    EXPECT_EQ(m.linkAtFails[0], "Good");
    EXPECT_EQ(m.linkAtFails[2], "Good");
    EXPECT_EQ(m.linkAtFails[3], "Bad");
    EXPECT_EQ(m.linkAtFails[4], "Bad");
    EXPECT_EQ(p.ComState, Lamp::Red);
    EXPECT_EQ(p.Sig1.empty(), false);  // the last values stay
}

// A second opening on a detector that stayed silent judges its own polls: "Good" until its
// third silent poll, then "Bad", as the first opening did.
TEST(Maintenance, EachOpeningCountsItsOwnSilentPolls) {
    Maintenance m;
    m.b.bus().InjectFault(1, "silent");
    m.b.At(5'000'000, [&] {
        EXPECT_EQ(m.b.par.Maint.Com, "Bad");
        m.maint.Close();
        m.b.comm->Activate();  // what the application does when the window closes
    });
    m.b.At(8'000'000, [&] {
        m.linkAtFails.clear();
        m.maint.Open();
    });
    m.b.Run(14'000'000);
    EXPECT_EQ(m.linkAtFails[0], "Good");
    EXPECT_EQ(m.linkAtFails[2], "Good");
    EXPECT_EQ(m.linkAtFails[3], "Bad");
    EXPECT_EQ(m.b.par.Maint.Com, "Bad");
    EXPECT_EQ(m.b.par.Maint.ComState, Lamp::Red);
}

// Asked for just after the main cycle sent its query, the window opens while that answer is on
// its way: it comes in during the opening wait and must not spoil the first poll's reply.
TEST(Maintenance, TheMainCyclesAnswerDuringTheOpeningWaitSpoilsNoPoll) {
    Bench b;
    b.par.Main.DetNum = "1";
    int failed = 0, decoded = 0;
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, nullptr};
    maint.onPolled = [&](bool ok) { (ok ? decoded : failed) += 1; };
    bool opened = false;
    for (Micros t = 1'000'000; t < 1'400'000; t += 500)
        b.At(t, [&, t] {
            const auto q = b.StatusQueries();
            if (!opened && !q.empty() && t - q.back().first < 1'000) {
                opened = true;
                maint.Open();
            }
        });
    b.Run(3'000'000);
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
    const auto writes = m.Writes(6);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, SnTestFrame(1));
    EXPECT_EQ(writes[0].atUs - started, 500'000 + kPreSendPauseUs);
    EXPECT_EQ(ended - started, 500'000 + kPreSendPauseUs + 1'000'000 + 150'000);
    EXPECT_EQ(writes[1].bytes, NormalModeFrame(1));
    EXPECT_TRUE(m.Writes(200).size() == m.b.StatusQueries().size());  // no align was sent
    EXPECT_FALSE(m.b.bus().Find(1)->SnTestRunning());
    EXPECT_EQ(m.b.par.Maint.S1N + m.b.par.Maint.S2N + m.b.par.Maint.R2N, "");
    EXPECT_TRUE(m.b.dialogs.Calls().empty());
}

TEST(Maintenance, AnUnconfirmedSnTestTriesSixTimesWarnsAndShowsTheNoiseAnyway) {
    Maintenance m;
    m.b.bus().InjectFault(1, "ignore writes");
    m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });
    m.b.Run(14'000'000);
    const auto writes = m.Writes(6);
    ASSERT_EQ(writes.size(), 6u);
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].atUs - writes[i - 1].atUs,
                  kPreSendPauseUs + 1'000'000 + kFirstByteWindowUs + 1);
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
    EXPECT_TRUE(m.Writes(6).empty());
    int aligns = 0;
    for (const auto& f : m.Writes(200))
        aligns += f.bytes == CommandFrame(7, kCodeAlign);
    EXPECT_EQ(aligns, 1);
    EXPECT_EQ(m.b.par.Maint.Com, "Bad");
}

// A family-32 detector with Signal 1 held at raw 200 (3.92 V): the main window takes 0.56 off
// (3.36), the maintenance window 0.15 (3.77). The records of every tick, before, during and after
// the window, have the main window's figure; the window shows its own.
TEST(Maintenance, RecordsTakenWhileItIsOpenHaveTheMainWindowsFiguresOfTheSameReply) {
    Bench b(OneDetector(1, 32));
    ASSERT_TRUE(b.bus().Find(1)->HoldReading("signal1", 200));
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, nullptr};
    std::string shown;
    maint.onPolled = [&](bool) { shown = b.par.Maint.Sig1; };
    LogMenuCommand(b.par, [] { return std::string("1"); });
    const auto timer2 = b.plat.NewTimer();
    timer2->SetInterval(kLogTickMs);
    timer2->onTick = [&] {
        b.clockTime.second = static_cast<int>(b.plat.NowUs() / 1'000'000);
        LogTick(b.par, b.clockTime);
    };
    timer2->SetEnabled(true);
    b.At(2'500'000, [&] { maint.Open(); });
    b.At(6'500'000, [&] {
        maint.Close();
        b.comm->Activate();
    });
    b.Run(8'500'000);
    EXPECT_EQ(shown, "3.77");
    std::ifstream log(std::filesystem::path(b.par.ProgramFolder) / "4711.txt");
    std::vector<std::string> signal1;
    for (std::string line; std::getline(log, line);)
        signal1.push_back(line.substr(37, 4));                // columns 38 to 41
    EXPECT_EQ(signal1, std::vector<std::string>(9, "3.36"));  // the first reply's, 8 ticks
}

// The window closes (Leave, then Close, as the window and the application do) while the
// detector may be in its S/N test: the technician is asked whether to return it to normal mode.
TEST(Maintenance, ClosingAfterAnSnTestAsksWhetherToReturnToNormalMode) {
    const std::string question =
        "The detector at address 1 was told to start its S/N test and has not confirmed normal "
        "mode "
        "since.\rReturn it to normal mode now?";
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        Maintenance m;
        m.b.dialogs.AnswerYesNo(yes);
        m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });  // confirmed at about 3.5 s
        Micros leftAt = 0;
        m.b.At(5'000'000, [&] {
            m.maint.Leave();
            leftAt = m.b.plat.NowUs();
            m.maint.Close();
            m.b.comm->Activate();
        });
        m.b.Run(9'000'000);
        const auto& calls = m.b.dialogs.Calls();
        ASSERT_EQ(calls.size(), yes ? 2u : 1u);
        EXPECT_EQ(calls[0].kind, Kind::AskYesNo);
        EXPECT_EQ(calls[0].text, question);
        EXPECT_EQ(calls[0].title, "S/N test");
        const auto writes = m.Writes(6);
        ASSERT_EQ(writes.size(), yes ? 2u : 1u);
        EXPECT_EQ(writes[0].bytes, SnTestFrame(1));
        EXPECT_EQ(m.b.bus().Find(1)->SnTestRunning(), !yes);
        EXPECT_EQ(m.b.par.LeftInSnTest[1], !yes);
        if (yes) {
            // The normal-mode write as F10 makes it: half a second, the frame, a second, the echo.
            EXPECT_EQ(writes[1].bytes, NormalModeFrame(1));
            EXPECT_EQ(writes[1].atUs, 5'000'000 + 500'000 + kPreSendPauseUs);
            EXPECT_EQ(leftAt, writes[1].atUs + 1'000'000 + 150'000);
            EXPECT_EQ(calls[1].text, "The detector at address 1 is back in normal mode.");
            EXPECT_EQ(SnTestNotice(m.b.par), "");
        } else {
            EXPECT_EQ(leftAt, 5'000'000);
            EXPECT_NE(SnTestNotice(m.b.par).find("address 1 "), std::string::npos);
        }
    }
}

// Closed while the S/N test is still being tried: the attempts end, Yes returns the detector
// to normal mode, or says that it did not confirm, and the main cycle takes over. Closed before
// any frame left: nothing to ask.
TEST(Maintenance, ClosingWhileTheSnTestIsTriedAsksTooButNotBeforeItsFirstFrame) {
    for (const bool answers : {true, false}) {
        SCOPED_TRACE(answers ? "answers normal mode" : "ignores writes");
        Maintenance m;
        m.b.dialogs.AnswerYesNo(true);
        m.b.bus().InjectFault(1, "ignore writes");
        m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });
        m.b.At(4'000'000, [&] {  // while the first attempt waits for its echo
            if (answers)
                m.b.bus().ClearFaults(1);
            m.maint.Leave();
            m.maint.Close();
            m.b.comm->Activate();
        });
        m.b.Run(16'000'000);
        const auto writes = m.Writes(6);
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[0].bytes, SnTestFrame(1));
        EXPECT_EQ(writes[1].bytes, NormalModeFrame(1));
        EXPECT_EQ(writes.size(), answers ? 2u : 7u);  // no S/N test frame after the question
        EXPECT_FALSE(m.b.bus().Find(1)->SnTestRunning());
        const auto& calls = m.b.dialogs.Calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[1].text, answers ? "The detector at address 1 is back in normal mode."
                                         : "Not in normal mode - Try again!");
        EXPECT_EQ(m.b.par.LeftInSnTest[1], !answers);
        EXPECT_FALSE(m.maint.CommandRunning());
        EXPECT_EQ(m.b.par.Main.Status, "NNN0");  // the main cycle decodes again
        EXPECT_GT(m.b.StatusQueries().back().first, 15'500'000);
    }
    Maintenance m;
    m.b.At(2'000'000, [&] { m.maint.cmdCheck(); });
    m.b.At(2'200'000, [&] {
        m.maint.Leave();
        m.maint.Close();
        m.b.comm->Activate();
    });
    m.b.Run(5'000'000);
    EXPECT_TRUE(m.Writes(6).empty());
    EXPECT_TRUE(m.b.dialogs.Calls().empty());
}

}  // namespace
}  // namespace halvern::test
