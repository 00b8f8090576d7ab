// The bus scan window on virtual time: the scan takes the polling loop from the main cycle and
// gives it back once, its list fills as detectors answer, the ways to stop it, and a chosen
// detector is served. (The rule of the takeover itself: BusTakeoverTest.)

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <map>

#include "monitor/ScanComm.h"
#include "monitor/frmScan.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

using Queries = std::vector<std::pair<Micros, int>>;

class ScanWindowTest : public UiTest {
  protected:
    Bench b;
    ScanComm scan{b.link, b.loop, *b.comm, [this] { Changed(); }};
    std::unique_ptr<frmScan> w;
    int closed = 0;
    Micros openedAt = -1;
    std::map<int, int> listed;  // lines listed, by addresses reached
    std::function<void()> onScanChanged;

    void TearDown() override {
        b.onChanged = nullptr;
        w.reset();
        UiTest::TearDown();
    }
    void Changed() {
        if (!w)
            return;
        w->Refresh();
        listed[scan.Scan().Reached()] = List()->count();
        if (onScanChanged)
            onScanChanged();
    }
    // What the application does on the menu entry.
    void Open() {
        openedAt = b.plat.NowUs();
        scan.Start();
        w = std::make_unique<frmScan>(scan);
        QObject::connect(w.get(), &frmScan::closed, [this] { ++closed; });
        w->show();
    }
    QListWidget* List() { return w->findChild<QListWidget*>("lstFound"); }
    QString Text(const char* label) { return w->findChild<QLabel*>(label)->text(); }
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        for (int i = 0; i < List()->count(); ++i)
            lines.push_back(List()->item(i)->text().toStdString());
        return lines;
    }
    Queries QueriesSinceOpen() const {
        Queries out;
        for (const auto& q : b.StatusQueries())
            if (q.first >= openedAt)
                out.push_back(q);
        return out;
    }
    // How many of them the scan asked: 1, 2, 3, ... in order.
    static std::size_t ScanRun(const Queries& q) {
        std::size_t n = 0;
        while (n < q.size() && q[n].second == static_cast<int>(n + 1))
            ++n;
        return n;
    }
    // All queries from index `from` on go to `address`: the main cycle polls its detector.
    static void MainCyclePolls(const Queries& q, std::size_t from, int address) {
        ASSERT_GT(q.size(), from + 5) << "polling goes on";
        for (std::size_t i = from; i < q.size(); ++i)
            EXPECT_EQ(q[i].second, address) << q[i].first;
    }
};

// The scan runs to its end, or is stopped at 3.5 s (the address being asked finishes). The
// list fills step by step and stays; every address is asked once, in order, and nothing of the
// main cycle in between; then the main cycle goes on with its detector (the chosen one, when
// Enter chose one: a search under way ends). The close box closes as Enter does.
struct End {
    const char* name;
    std::function<void(frmScan&)> stop;  // none: the scan runs to its end
    bool windowStays;
    const char* state;
    int served;
    const char* serial;
};

void PrintTo(const End& end, std::ostream* os) {
    *os << end.name;
}

class ScanEnds : public ScanWindowTest, public ::testing::WithParamInterface<End> {};

TEST_P(ScanEnds, WithTheListKeptAndTheMainCyclePollingAgain) {
    const End& end = GetParam();
    b.par.Main.DetNum = "7";
    if (end.served != 7)
        b.At(500'000, [&] { b.comm->cmdMaster(); });  // a search is on
    b.At(1'000'000, [&] { Open(); });
    Micros stoppedAt = 30'000'000;  // the whole range takes about 23 s
    if (end.stop)
        b.At(3'500'000, [&] {
            stoppedAt = b.plat.NowUs();
            end.stop(*w);
        });
    b.Run(end.stop ? 6'000'000 : 30'000'000);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1  Veridan Xenon 621-2  4711  NNN0 Normal",
                                                 "7  Veridan LAMP 411  1207  NNN0 Normal",
                                                 "12  Talvek 880  880  NNN0 Normal"}));
    for (const auto& [reached, lines] : std::map<int, int>{{1, 1}, {7, 2}, {11, 2}, {12, 3}})
        EXPECT_EQ(listed[reached], lines) << reached;  // each line came with its address's step
    EXPECT_EQ(Text("lblState"), end.state);
    EXPECT_EQ(w->isVisible(), end.windowStays);
    EXPECT_EQ(closed, end.windowStays ? 0 : 1);
    EXPECT_FALSE(w->findChild<QPushButton*>("cmdCancel")->isEnabled());
    EXPECT_FALSE(scan.Running());
    EXPECT_FALSE(b.par.SearchMode);
    EXPECT_EQ(b.par.Main.DetNum, std::to_string(end.served));
    EXPECT_EQ(b.par.Main.SeNum, end.serial);

    const auto q = QueriesSinceOpen();
    const std::size_t run = ScanRun(q);
    ASSERT_GT(run, 12u);
    if (end.stop)
        ASSERT_LT(run, 247u);
    else
        ASSERT_EQ(run, 247u);
    EXPECT_EQ(w->findChild<QProgressBar*>("prgScan")->value(), static_cast<int>(run));
    EXPECT_EQ(Text("lblAddress"), QString("Address %1 of 247").arg(run));
    EXPECT_LT(q[run - 1].first, stoppedAt);
    // The last address had its short wait to answer; a stopped scan's main cycle came right
    // after it (a scan abandoned and drained would leave a whole reply window before it).
    const Micros gap = q[run].first - q[run - 1].first;
    EXPECT_GE(gap, 80'000);
    EXPECT_TRUE(!end.stop || gap < 600'000) << gap;
    MainCyclePolls(q, run, end.served);
    if (end.windowStays) {  // Esc after the scan closes the window
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_EQ(closed, 1);
    }
}

constexpr const char* kCancelled = "Scan cancelled: 3 detectors found.";

INSTANTIATE_TEST_SUITE_P(
    Ways, ScanEnds,
    ::testing::Values(
        End{"Complete", nullptr, true, "Scan complete: 3 detectors found.", 7, "1207"},
        End{"CancelButton", [](frmScan& w) { w.findChild<QPushButton*>("cmdCancel")->click(); },
            true, kCancelled, 7, "1207"},
        End{"Esc", [](frmScan& w) { QTest::keyClick(&w, Qt::Key_Escape); }, true, kCancelled, 7,
            "1207"},
        End{"EnterOnADetector",
            [](frmScan& w) {
                w.findChild<QListWidget*>("lstFound")->setCurrentRow(2);
                QTest::keyClick(&w, Qt::Key_Return);
            },
            false, kCancelled, 12, "880"}),
    [](const auto& info) { return std::string(info.param.name); });

// After the scan, while the main cycle's query to address 1 is on its way: its answer must not
// make address 1 the served one again. A reply that was not valid names nothing to serve.
TEST_F(ScanWindowTest, ADoubleClickedDetectorIsServedOnceTheAnswerAwaitedHasCome) {
    b.bus().Add([] {
        sim::DetectorConfig c;
        c.Address = 40;
        c.Family = 24;
        c.Serial = 4000;
        return c;
    }());
    b.bus().InjectFault(40, "exception");
    b.At(1'000'000, [&] { Open(); });
    Micros clickedAt = 0;
    b.onChanged = [&] {
        Changed();
        if (!w || scan.Running() || clickedAt > 0)
            return;
        clickedAt = b.plat.NowUs() + 2'000;
        b.At(clickedAt, [&] {
            ASSERT_EQ(List()->count(), 4);
            EXPECT_EQ(List()->item(3)->text(), "40  answered, reply not valid");
            for (const auto& [row, closes] : {std::pair{3, 0}, std::pair{1, 1}}) {
                const QPoint at = List()->visualItemRect(List()->item(row)).center();
                // A double click: press, release, then the double click.
                QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
                EXPECT_EQ(closed, closes);
            }
            EXPECT_EQ(b.par.Main.DetNum, "7");
        });
    };
    b.Run(30'000'000);
    ASSERT_GT(clickedAt, 0);
    EXPECT_EQ(b.par.Main.DetNum, "7");
    EXPECT_EQ(b.par.Main.SeNum, "1207");
    for (const auto& [at, address] : b.StatusQueries())
        EXPECT_TRUE(at < clickedAt || address == 7) << at;
}

TEST_F(ScanWindowTest, TheTimeOutBoxSetsTheShortWaitAndANoisyBusEndsTheScanSayingSo) {
    b.At(1'000'000, [&] {
        Open();
        auto* timeout = w->findChild<QSpinBox*>("spnTimeout");
        EXPECT_EQ(timeout->value(), 80);  // halvern-cli's default
        timeout->setValue(200);
    });
    Micros babbleFrom = 0;
    onScanChanged = [&] {
        if (scan.Running() && scan.Scan().Reached() == 20 && babbleFrom == 0) {
            babbleFrom = b.plat.NowUs();
            b.bus().SetBabbleContinuous();
        }
    };
    b.Run(12'000'000);
    // Silent addresses 13 to 19 each had the query's wire time and the 200 ms.
    const auto q = QueriesSinceOpen();
    ASSERT_GT(ScanRun(q), 19u);
    for (std::size_t i = 13; i < 19; ++i)
        EXPECT_NEAR(q[i].first - q[i - 1].first, WireTimeUs(9) + 200'000, 2'000) << i;
    ASSERT_GT(babbleFrom, 0);
    EXPECT_FALSE(scan.Running());
    const std::string state = Text("lblState").toStdString();
    EXPECT_TRUE(state.starts_with("Scan stopped at address 21: the bus carries bytes nobody asked "
                                  "for (") &&
                state.ends_with("): noise, not detectors."))
        << state;
    EXPECT_EQ(Lines().size(), 3u);                           // what was found before stays
    EXPECT_LT(q[ScanRun(q)].first - babbleFrom, 3'000'000);  // said early; the main cycle polls
}

}  // namespace
}  // namespace halvern::test
