// The maintenance window: its decoding of a status reply as a function of its bytes, its poll
// and commands on virtual time against simulated detectors, and its trends: ten minutes of the
// virtual clock, gaps for failed polls, a bounded store, and the window that draws them.

#include <gtest/gtest.h>

#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QTest>
#include <QValueAxis>
#include <cmath>

#include "history/HistoryStore.h"
#include "logging/LoggingControl.h"
#include "maintenance/MaintComm.h"
#include "maintenance/MaintDecoder.h"
#include "maintenance/MaintExchanges.h"
#include "maintenance/TrendStore.h"
#include "maintenance/frmTrends.h"
#include "monitor/Decoder.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

// A healthy detector's status reply; tests change the bytes they are about.
Par Decoded(std::vector<std::pair<int, std::uint8_t>> changes, bool snTest = false) {
    std::vector<std::uint8_t> rx = {7,   200, 29,   0x00, 42,   1,   24,  0x12, 0x67, 'N', 'N',
                                    'N', 0,   0x0B, 200,  190,  185, 140, 23,   98,   101, 97,
                                    99,  180, 170,  190,  0x0A, 0,   0,   0,    0,    0};
    for (const auto& [i, v] : changes)
        rx[static_cast<std::size_t>(i)] = v;
    Par par;
    std::copy(rx.begin(), rx.end(), par.Link.RxBuffer.begin());
    par.Link.RxCount = static_cast<std::int16_t>(rx.size());
    par.SnTestMode = snTest;
    DecodeMaintenanceReply(par, rx);
    return par;
}

// The noise figures show only during the S/N test.
TEST(DecodeMaintenanceReply, ScalesTheDocumentedCasesWithItsOwnOffsetsAndVoltage) {
    struct Case {
        std::vector<std::pair<int, std::uint8_t>> changes;
        std::string MaintPanel::*field;
        const char* shown;
        bool snTest = false;
    };
    const Case cases[] = {
        {{{6, 36}, {14, 255}}, &MaintPanel::Sig1, "4.85"},
        {{{6, 36}, {16, 0}}, &MaintPanel::Sig2, "0.00"},
        {{{6, 33}, {14, 28}}, &MaintPanel::Sig1, "0.00"},  // 0.549 is not above 0.56
        {{{6, 32}, {14, 28}}, &MaintPanel::Sig1, "0.40"},  // 32 takes 0.15 here
        {{{17, 140}}, &MaintPanel::Voltage, "24.0"},
        {{{18, 0xF6}}, &MaintPanel::Temp, "-10"},
        {{{26, 0x10}, {27, 0x27}}, &MaintPanel::LEL, "10000.0"},
        {{{22, 7}}, &MaintPanel::NQRat2, "0.07"},
        {{{13, 0x0F}}, &MaintPanel::Gain, "7"},
        {{{9, '2'}, {10, 'M'}, {12, 7}}, &MaintPanel::Status, "OMN7"},
        {{}, &MaintPanel::R2N, "190", true},
        {{}, &MaintPanel::S1N, "180", true},
        {{}, &MaintPanel::S2N, "170", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Decoded(c.changes, c.snTest).Maint.*c.field, c.shown) << c.shown;
    const MaintPanel normal = Decoded({}).Maint;
    EXPECT_EQ(normal.R2N + normal.S1N + normal.S2N, "");
    EXPECT_FLOAT_EQ(normal.Values[9], 180);  // decoded all the same

    // The main window decodes the same family-32 reply with 0.56.
    Par main = Decoded({{6, 32}, {14, 28}});
    TakeReading(main, ReadStatus(std::span(main.Link.RxBuffer).first(32)).value());
    EXPECT_EQ(main.Main.ChVal[0], "0.00");
}

// Its own figures only: the shared decoded values, which the log records take, are the main
// window's decoding's.
TEST(DecodeMaintenanceReply, FillsItsFiguresTitleAddressAndStatusColours) {
    const Par par = Decoded({{0, 12}, {10, 'W'}});
    EXPECT_EQ(par.Maint.Title, "Maintenance window of detector serial No:4711");
    EXPECT_EQ(par.Main.DetNum + " " + par.Maint.Status, "12 NWN0");
    EXPECT_FALSE(par.Reading.Taken);
    EXPECT_TRUE(par.Maint.StatusBack == kYellow && par.Maint.StatusFore == kBlack);
    const Par alarm = Decoded({{9, 'A'}, {10, 'A'}});
    EXPECT_TRUE(alarm.Maint.StatusBack == kRed && alarm.Maint.StatusFore == kWhite);
    EXPECT_EQ(Decoded({{10, 'X'}}).Maint.StatusBack, kWhite);
    EXPECT_EQ(OperatingTimeText(Decoded({{3, 1}}).Link), std::to_string(0x012A0118));
}

// A 15-byte "V" reply (status code, then its CRC) over a complete one in the buffer: the
// figures it does not reach show nothing, not the older reply's.
TEST(DecodeMaintenanceReply, AShortVReplyShowsOnlyWhatItCarries) {
    Par par = Decoded({});
    std::vector<std::uint8_t> reply(par.Link.RxBuffer.begin(), par.Link.RxBuffer.begin() + 13);
    reply[4] = 0;
    std::copy_n("VVV", 3, reply.begin() + 9);
    reply[12] = 81;
    AppendCrc(reply);
    ASSERT_TRUE(HoldsMaintenanceFields(reply));
    DecodeMaintenanceReply(par, reply);
    const MaintPanel& m = par.Maint;
    EXPECT_EQ(m.Status, "VVV81");
    EXPECT_EQ(m.Gain + m.Sig1 + m.Ref + m.Sig2 + m.Rat1 + m.Rat2 + m.NQRat1 + m.NQRat2 + m.LEL +
                  m.Temp + m.Voltage,
              "");
    EXPECT_TRUE(std::isnan(m.Values[12]));
    reply[10] = 'N';  // no "V": a short reply is no status reply
    EXPECT_FALSE(HoldsMaintenanceFields(reply));
}

// The program polling simulated detectors, with a maintenance window of its own opened from
// inside the main cycle, as the main window's command does.
struct Maintenance {
    // Serves `address` and opens the window at `openAt` (0: the test opens it).
    explicit Maintenance(std::uint8_t address = 1, Micros openAt = 1'000'000,
                         sim::Bus bus = sim::DefaultBus())
        : b(std::move(bus)) {
        b.par.Main.DetNum = std::to_string(address);
        if (openAt)
            b.At(openAt, [this] { maint.Open(); });
    }
    // Leaves and closes the window as the window and the application do.
    void Close() { maint.Leave(), maint.Close(), b.comm->Activate(); }
    Bench b;
    std::map<double, std::string> linkAtFails;  // lblCom by the count of silent polls
    MaintComm maint{b.par, b.link, b.dialogs, b.loop, [this] {
                        linkAtFails[b.par.MaintFailCount[b.par.CurrentAddress]] = b.par.Maint.Com;
                    }};
};

// The poll replaces the main cycle; the link turns "Bad" at the third silent poll. A second
// opening on a detector that stayed silent judges its own polls, as the first opening did.
TEST(Maintenance, ItsPollReplacesTheMainCycleAndEachOpeningTurnsBadAtItsThirdSilentPoll) {
    Maintenance m(12);  // Talvek 880, serial 880
    m.b.At(1'000'001, [&] { m.b.par.Main.Status = "main cycle"; });
    m.b.At(3'000'000, [&] { m.b.bus().InjectFault(12, "silent"); });
    MaintPanel p;
    std::map<double, std::string> first;
    std::string mainStatus;  // set once the window's wait began: the main cycle ran no more
    m.b.At(6'000'000, [&] {
        p = m.b.par.Maint, first = m.linkAtFails, mainStatus = m.b.par.Main.Status;
        m.Close();
    });
    m.b.At(8'000'000, [&] { m.linkAtFails.clear(), m.maint.Open(); });
    m.b.Run(14'000'000);
    EXPECT_EQ(p.TOTime + p.LELCaption + mainStatus, std::to_string(0x002A0030) + "PPM.mmain cycle");
    // One loop: polls follow each other at the line's pace, none doubled.
    const auto q = m.b.StatusQueries();
    auto it = std::find_if(q.begin(), q.end(), [](auto& x) { return x.first > 1'500'000; });
    for (++it; it != q.end() && it->first < 3'000'000; ++it)
        EXPECT_GT(it->first - (it - 1)->first, 150'000);
    for (const auto& fails : {first, m.linkAtFails})
        EXPECT_EQ(fails.at(0) + fails.at(2) + fails.at(3), "GoodGoodBad");
    EXPECT_EQ(first.at(4) + m.b.par.Maint.Com, "BadBad");
    EXPECT_TRUE(p.ComState == Lamp::Red && !p.Sig1.empty());  // the last values stay
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
            if (!opened && !q.empty() && t - q.back().first < 1'000)
                opened = true, m.maint.Open();
        });
    m.b.Run(3'000'000);
    ASSERT_TRUE(opened);
    EXPECT_GE(decoded, 5);
    EXPECT_EQ(failed, 0);
}

// One command at a time; no Align while the S/N test runs.
TEST(Maintenance, SnTestNormalModeAndAlignAsTheDetectorAllows) {
    Maintenance m;
    Micros started = 0, ended = 0;
    m.b.At(2'000'000, [&] {
        started = m.b.plat.NowUs();
        m.maint.cmdCheck();
        ended = m.b.plat.NowUs();
    });
    m.b.At(2'300'000, [&] {
        EXPECT_FALSE(m.b.par.Maint.CheckEnabled || m.b.par.Maint.ExitEnabled);
        m.maint.cmdCheck(), m.maint.cmdNormal(), m.maint.cmdAlign();
    });
    m.b.At(4'000'000, [&] {
        EXPECT_TRUE(m.b.bus().Find(1)->SnTestRunning() && !m.b.par.Maint.S1N.empty());
        EXPECT_TRUE(m.b.par.Maint.CheckEnabled && m.b.par.Maint.AlignEnabled);
        m.maint.cmdNormal();
    });
    m.b.Run(7'000'000);
    const auto writes = m.b.FramesOf(6);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].bytes, SnTestFrame(1));
    EXPECT_EQ(writes[1].bytes, NormalModeFrame(1));
    EXPECT_EQ(writes[0].atUs - started, 500'000 + kPreSendPauseUs);
    EXPECT_EQ(ended - started, 500'000 + kPreSendPauseUs + 1'000'000 + 150'000);
    EXPECT_TRUE(m.b.FramesOf(200, kCodeAlign).empty());
    EXPECT_FALSE(m.b.bus().Find(1)->SnTestRunning() || !m.b.dialogs.Calls().empty());
    EXPECT_EQ(m.b.par.Maint.S1N + m.b.par.Maint.S2N + m.b.par.Maint.R2N, "");
}

// A family-32 detector with Signal 1 held at raw 200 (3.92 V): the main window takes 0.56 off
// (3.36), the maintenance window 0.15 (3.77). At 4.5 s, while the window polls, it reads raw 150
// (2.94 V: 2.38 and 2.79). The records of every tick, before, during and after the window, have
// the main window's figure of the newest reply; the window shows its own.
TEST(Maintenance, RecordsTakenWhileItIsOpenHaveTheMainWindowsFiguresOfTheSameReply) {
    Maintenance m(1, 2'500'000, OneDetector(1, 32));
    Bench& b = m.b;
    ASSERT_TRUE(b.bus().Find(1)->HoldReading("signal1", 200));
    std::set<std::string> shown;
    m.maint.onPolled = [&](bool) { shown.insert(b.par.Maint.Sig1); };
    b.At(4'500'000, [&] { b.bus().Find(1)->HoldReading("signal1", 150); });
    LogMenuCommand(b.par, [] { return std::string("1"); });
    const auto timer = b.plat.NewTimer();
    timer->SetInterval(kLogTickMs);
    timer->onTick = [&] {
        b.clockTime.second = static_cast<int>(b.plat.NowUs() / 1'000'000);
        LogTick(b.par, b.clockTime);
    };
    timer->SetEnabled(true);
    b.At(6'500'000, [&] { m.Close(); });
    b.Run(8'500'000);
    EXPECT_EQ(shown, (std::set<std::string>{"2.79", "3.77"}));
    std::ifstream log(std::filesystem::path(b.par.ProgramFolder) / "4711.txt");
    std::string signal1;  // columns 38 to 41: the first reply, then the ticks at 1 to 8 s
    for (std::string line; std::getline(log, line);)
        signal1 += line.substr(37, 4) + " ";
    EXPECT_EQ(signal1, "3.36 3.36 3.36 3.36 3.36 2.38 2.38 2.38 2.38 ");
}

// The window closes (Leave, then Close) after F9 at 2 s, while the detector may be in its S/N
// test: the technician is asked whether to return it to normal mode, and the main cycle takes
// over. Closed while the S/N test is still tried, the attempts end first; closed before any
// frame left, there is nothing to ask. The history lists the writes as the wire carried them.
TEST(Maintenance, ClosingAfterF9AsksWhetherToReturnToNormalModeOnceAFrameLeft) {
    const char* const kSnOk = "S/N test confirmed after 1 attempt";
    const char* const kSnCut = "S/N test NOT confirmed after 1 attempt";
    const char* const kNormalOk = "normal mode confirmed after 1 attempt";
    const std::string ask =
        "The detector at address 1 was told to start its S/N test and has not confirmed normal "
        "mode since.\rReturn it to normal mode now?";
    const std::string back = "The detector at address 1 is back in normal mode.";
    // The normal-mode write as F10 makes it: half a second, the frame, a second, the echo.
    const Micros normal = 5'000'000 + 500'000 + kPreSendPauseUs;
    const struct {
        bool ignoresWrites, answersAtClose;  // ignores writes, or does so until the close
        bool yes;                            // the answer to the question
        Micros closeAt;
        std::size_t writes;               // the S/N test frame, then normal-mode frames only
        std::vector<std::string> said;    // the question first
        bool left;                        // the detector may still be in its S/N test
        std::vector<std::string> events;  // "action outcome", oldest first
        Micros normalAt = 0, leftAt = 0;  // the normal-mode write, the end of Leave; 0: not known
    } rows[] = {
        // clang-format off
        {0, 0, 1, 5'000'000, 2, {ask, back}, 0, {kSnOk, kNormalOk}, normal, normal + 1'150'000},
        {0, 0, 0, 5'000'000, 1, {ask}, 1, {kSnOk}, 0, 5'000'000},
        {1, 1, 1, 4'000'000, 2, {ask, back}, 0, {kSnCut, kNormalOk}},
        {1, 0, 1, 4'000'000, 7, {ask, "Not in normal mode - Try again!"}, 1, {kSnCut, "normal mode NOT confirmed after 6 attempts"}},
        {0, 0, 1, 2'200'000, 0, {}, 0, {}},  // before its first frame
        // clang-format on
    };
    for (const auto& c : rows) {
        SCOPED_TRACE(c.closeAt + c.writes);
        Maintenance m;
        HistoryStore store(m.b.par.ProgramFolder + "/history.sqlite", {});
        m.b.par.History = &store;
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
        std::vector<std::string> said;
        for (const auto& call : m.b.dialogs.Calls())
            said.push_back(call.text);
        EXPECT_EQ(said, c.said);
        EXPECT_TRUE(said.empty() || m.b.dialogs.Calls()[0].kind == DialogCall::Kind::AskYesNo);
        const auto writes = m.b.FramesOf(6);
        ASSERT_EQ(writes.size(), c.writes);
        for (std::size_t i = 0; i < writes.size(); ++i)  // no S/N test frame after the question
            EXPECT_EQ(writes[i].bytes, i == 0 ? SnTestFrame(1) : NormalModeFrame(1)) << i;
        EXPECT_EQ(c.normalAt ? writes.at(1).atUs : 0, c.normalAt);
        EXPECT_EQ(c.leftAt ? leftAt : 0, c.leftAt);
        const bool running = c.left && !c.ignoresWrites;
        EXPECT_EQ(m.b.bus().Find(1)->SnTestRunning(), running);
        EXPECT_EQ(m.b.par.LeftInSnTest[1], c.left);
        EXPECT_EQ(SnTestNotice(m.b.par).find("address 1 ") != std::string::npos, c.left);
        EXPECT_FALSE(m.maint.CommandRunning());
        EXPECT_EQ(running ? "NNN0" : m.b.par.Main.Status, "NNN0");  // the main cycle decodes again
        EXPECT_GT(m.b.StatusQueries().back().first, 15'500'000);
        std::vector<std::string> events;
        for (const ServiceEvent& e : store.Events())
            events.insert(events.begin(), e.action + " " + OutcomeText(e));
        EXPECT_EQ(events, c.events);
    }
}

std::array<float, kTrends> Values(float v) {
    return {v, v + 1, v + 2, v + 3, v + 4, v + 5};
}

// Adds one sample every `stepUs` until `untilUs`, valued by its second.
void Feed(VirtualPlatform& plat, TrendStore& store, Micros stepUs, Micros untilUs) {
    for (; store.Add(Values(static_cast<float>(plat.NowUs() / 1'000'000))),
           plat.NowUs() + stepUs <= untilUs;)
        plat.RunFor(stepUs);
}

TEST(TrendStore, KeepsTheLastTenMinutesOfTheClockAndMovesWithItWithoutNewSamples) {
    VirtualPlatform plat;
    TrendStore store(plat);
    Feed(plat, store, 1'000'000, 15 * 60'000'000LL);  // 15 minutes, a sample a second
    ASSERT_EQ(store.Size(), 601u);                    // 5:00 to 15:00, both ends in
    const auto points = store.Points(Trend::Reference);
    EXPECT_EQ(points.front(), QPointF(-600.0, 301.0));
    EXPECT_EQ(points.back(), QPointF(0.0, 901.0));
    plat.RunFor(4 * 60'000'000LL);  // no polls for four minutes: their samples age all the same
    EXPECT_EQ(store.Size(), 361u);
    EXPECT_DOUBLE_EQ(store.Points(Trend::Gas).back().x(), -240.0);
    EXPECT_EQ(store.Range({Trend::Signal1})->first, 540.0f);
    plat.RunFor(10 * 60'000'000LL);
    EXPECT_FALSE(store.Size() || store.Range({Trend::Signal1}));
}

TEST(TrendStore, AFailedPollBreaksTheLinesOnceAndIsNeitherZeroNorPartOfTheRange) {
    VirtualPlatform plat;
    TrendStore store(plat);
    store.AddGap();  // nothing before it: no line to break
    plat.RunFor(200'000);
    store.Add(Values(3));
    for (int i = 0; i < 4; ++i)
        plat.RunFor(600'000), store.AddGap();
    plat.RunFor(200'000);
    store.Add(Values(5));
    const auto points = store.Points(Trend::Signal1);
    ASSERT_EQ(points.size(), 3);
    EXPECT_TRUE(points[0].y() == 3.0 && points[2].y() == 5.0);
    EXPECT_TRUE(std::isnan(points[1].y()));
    EXPECT_DOUBLE_EQ(points[1].x(), -2.0);  // where the first failure was
    store.Add(Values(std::nanf("")));       // figures a short reply did not carry: not in range
    EXPECT_EQ(store.Range({Trend::Signal1, Trend::Gas}), std::make_pair(3.0f, 10.0f));
}

TEST(TrendStore, MemoryIsBoundedWhateverThePollRate) {
    VirtualPlatform plat;
    TrendStore store(plat);  // the line's fastest polls fill ten minutes within the bound
    Feed(plat, store, 150'000, 20 * 60'000'000LL);
    EXPECT_EQ(store.Size(), 4001u);
    TrendStore small(plat, 100);  // faster than any bus: the newest samples, no more than that
    for (int i = 0; i < 1000; ++i)
        small.Add(Values(static_cast<float>(i))), plat.RunFor(1000);
    EXPECT_EQ(small.Size(), 100u);
    EXPECT_EQ(small.begin()->values[0], 900.0f);
    for (int i = 0; i < 1000; ++i)  // gaps count too, but only one at a time
        small.AddGap(), plat.RunFor(1000);
    EXPECT_EQ(small.Size(), 100u);
}

TEST(TrendStore, AnotherDetectorsValuesStartTheTrendsAfresh) {
    VirtualPlatform plat;
    TrendStore store(plat);
    Par par;
    par.Maint.Serial = 4711;
    par.Maint.Values[12] = 7;
    store.AddPoll(par, true);
    plat.RunFor(200'000);
    store.AddPoll(par, false);
    EXPECT_EQ(store.Size(), 2u);
    par.Maint.Serial = 880;
    store.AddPoll(par, true);
    ASSERT_EQ(store.Size(), 1u);
    EXPECT_EQ(store.Serial(), 880.0);
    EXPECT_EQ(store.begin()->values[static_cast<int>(Trend::Gas)], 7.0f);
}

TEST(TrendStore, AValueAxisShowsTheValuesWithAMarginAndAtLeastTheSmallestSpan) {
    const struct {
        std::optional<std::pair<float, float>> values;
        double minSpan, from, to;
    } values[] = {{std::nullopt, 0.2, 0, 0.2},     // no value yet
                  {{{3, 3}}, 0.2, 2.9, 3.1},       // a steady line centred in the smallest span
                  {{{0, 0}}, 0.2, 0, 0.2},         // zeros stay above zero
                  {{{0.05f, 0.1f}}, 0.2, 0, 0.2},  // near zero shifted up
                  {{{1, 3}}, 0.2, 0.8, 3.2},       // a wide swing gets a tenth either side
                  {{{-5, 5}}, 1, -6, 6}};
    for (const auto& c : values) {
        const auto [from, to] = TrendAxisRange(c.values, c.minSpan);
        EXPECT_NEAR(from, c.from, 1e-6) << c.to;
        EXPECT_NEAR(to, c.to, 1e-6) << c.to;
    }
}

// The window over a store fed one poll a second; Save as PNG answers to a place in the test's
// folder, where "file" is no folder; then the keys zoom and pan its time axis.
TEST_F(UiTest, TrendsWindowPausesSavesAsPngAndZoomsWithTheKeys) {
    VirtualPlatform plat;
    Par par;
    par.Maint.Serial = 4711;
    par.ProgramFolder = Folder();
    par.DocumentsFolder = PathOf("Documents");
    TrendStore store{plat};
    ScriptedDialogs dialogs;
    frmTrends window(par, store, dialogs);
    window.show();
    const auto polls = [&](int n) {  // one a second
        for (int i = 0; i < n; ++i)
            plat.RunFor(1'000'000), store.AddPoll(par, true), window.Refresh();
    };
    auto* s1 = static_cast<QLineSeries*>(
        window.findChild<QChartView*>("chtSignals")->chart()->series().at(0));
    auto* pause = window.findChild<QPushButton*>("cmdPause");
    polls(30);
    QTest::mouseClick(pause, Qt::LeftButton);
    const QList<QPointF> frozen = s1->points();
    polls(20);
    EXPECT_EQ(s1->points(), frozen);  // the view did not move either
    EXPECT_EQ(store.Size(), 50u);
    QTest::mouseClick(pause, Qt::LeftButton);
    EXPECT_EQ(s1->count(), 50);
    EXPECT_DOUBLE_EQ(s1->at(49).x(), 0.0);

    // Saved while paused: the charts as shown, the suffix added. A cancelled dialog says
    // nothing; a place that cannot be written is told why, and the window stays as it was.
    Write("file", "not a folder");
    window.SetPaused(true);
    const std::pair<std::string, std::string> saves[] = {
        {PathOf("trends"), PathOf("trends.png")}, {"", ""}, {PathOf("file/trends.png"), ""}};
    for (const auto& [answer, saved] : saves) {
        SCOPED_TRACE(answer);
        dialogs.ClearCalls();
        dialogs.AnswerSaveFileName(answer);
        QTest::mouseClick(window.findChild<QPushButton*>("cmdSave"), Qt::LeftButton);
        const bool told = !answer.empty() && saved.empty();
        const auto& calls = dialogs.Calls();
        ASSERT_EQ(calls.size(), told ? 2u : 1u);  // the save dialog, then the message
        EXPECT_EQ(calls[0].defaultText.rfind(PathOf("Documents/trends-4711-"), 0), 0u);
        if (!saved.empty()) {
            EXPECT_EQ(QImage(QString::fromStdString(saved)).size(),
                      window.findChild<QWidget*>("chartArea")->size());
        }
        if (told) {
            EXPECT_NE(calls[1].text.find("could not be saved as " + answer + ": "),
                      std::string::npos);
            EXPECT_GT(calls[1].text.size(), calls[1].text.find(": ") + 3);  // a reason follows
        }
        EXPECT_TRUE(window.Paused() && window.isVisible());
        EXPECT_EQ(s1->count(), 50);
    }

    // The time axis in seconds before now: + zooms about the middle, Left and Right pan, the
    // stretch stays put in seconds before now as polls come, and Home shows the whole span.
    window.SetPaused(false);
    auto* time = static_cast<QValueAxis*>(
        window.findChild<QChartView*>("chtGas")->chart()->axes(Qt::Horizontal).at(0));
    const struct {
        Qt::Key key;
        double from, to;
    } steps[] = {{Qt::Key_Plus, -54, -6}, {Qt::Key_Left, -60, -12}, {Qt::Key_Right, -48, 0},
                 {Qt::Key_Right, -48, 0}, {Qt::Key_Minus, -60, 0},  {Qt::Key_Plus, -54, -6},
                 {Qt::Key_Home, -60, 0}};
    for (const auto& s : steps) {
        QTest::keyClick(&window, s.key);
        polls(1);  // 57 s in the end: the whole span stays the last minute
        EXPECT_EQ(std::make_pair(time->min(), time->max()), std::make_pair(s.from, s.to)) << s.key;
    }
}

}  // namespace
}  // namespace halvern::test
