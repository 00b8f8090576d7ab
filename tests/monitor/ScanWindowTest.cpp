// The bus scan window on virtual time: the scan takes the polling loop from the main cycle and
// gives it back once, its list stays, the ways to stop it, and a chosen detector is served.
// (The rule of the takeover itself: BusTakeoverTest; the lines listed: BusScanTest; Esc
// cancelling and closing: AppTest.)

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "monitor/ScanComm.h"
#include "monitor/frmScan.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

class ScanWindowTest : public UiTest {
  protected:
    Bench b;
    ScanComm scan{b.link, b.loop, *b.comm, [this] { Changed(); }};
    std::unique_ptr<frmScan> w;
    int closed = 0;
    std::size_t askedBefore = 0;  // status queries written before the window opened
    std::function<void()> onScanChanged;

    void TearDown() override {
        w.reset();
        UiTest::TearDown();
    }
    void Changed() {
        if (w)
            w->Refresh(), onScanChanged ? onScanChanged() : void();
    }
    // What the application does on the menu entry.
    void Open() {
        askedBefore = b.StatusQueries().size(), scan.Start();
        w = std::make_unique<frmScan>(scan);
        QObject::connect(w.get(), &frmScan::closed, [this] { ++closed; });
        w->show();
    }
    QListWidget* List() { return w->findChild<QListWidget*>("lstFound"); }
    QString State() { return w->findChild<QLabel*>("lblState")->text(); }
    // Status queries since the window opened, and how many of them the scan asked: 1, 2, 3, ...
    std::pair<std::vector<std::pair<Micros, int>>, std::size_t> Asked() const {
        auto q = b.StatusQueries();
        q.erase(q.begin(), q.begin() + static_cast<std::ptrdiff_t>(askedBefore));
        const auto n =
            std::ranges::find_if(q, [i = 0](auto& x) mutable { return x.second != ++i; });
        return {q, static_cast<std::size_t>(n - q.begin())};
    }
};

// The scan runs to its end, or is stopped at 3.5 s (the address being asked finishes). The
// list stays (and, of a whole scan, the file the bus overview reads); every address is asked once,
// in order, and nothing of the main cycle in between; then the main cycle goes on with its detector
// (the chosen one, when Enter chose one: a search under way ends). The close box closes as Enter
// does.
class ScanEnds : public ScanWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScanEnds, WithTheListKeptAndTheMainCyclePollingAgain) {
    const bool stop = GetParam() != std::string("Complete");
    const int served =
        GetParam() == std::string("EnterOnADetector") ? 12 : 7;  // Enter closes the window too
    b.par.Main.DetNum = "7";
    if (served != 7)
        b.At(500'000, [&] { b.comm->cmdMaster(); });  // a search is on
    b.At(1'000'000, [&] { Open(); });
    Micros stoppedAt = 30'000'000;  // the whole range takes about 23 s
    if (stop)
        b.At(3'500'000, [&] {
            stoppedAt = b.plat.NowUs();
            served == 7 ? w->findChild<QPushButton*>("cmdCancel")->click()
                        : (List()->setCurrentRow(2), QTest::keyClick(w.get(), Qt::Key_Return));
        });
    b.Run(stop ? 6'000'000 : 30'000'000);
    ASSERT_EQ(List()->count(), 3);  // the lines themselves: BusScanTest
    EXPECT_EQ(State(),
              stop ? "Scan cancelled: 3 detectors found." : "Scan complete: 3 detectors found.");
    EXPECT_EQ(closed, served == 7 ? 0 : 1);
    // What a whole scan found is kept for the bus overview; a part of the bus is not the bus.
    EXPECT_EQ(b.Lines("BusDetectors.txt"), stop ? 0 : 3);
    EXPECT_FALSE(scan.Running() || b.par.SearchMode);
    EXPECT_EQ(b.par.Main.DetNum + " " + b.par.Main.SeNum, served == 7 ? "7 1207" : "12 880");

    const auto [q, run] = Asked();
    ASSERT_TRUE(stop ? run > 12 && run < 247 : run == 247) << run;
    EXPECT_LT(q[run - 1].first, stoppedAt);
    // The last address had its short wait to answer; a stopped scan's main cycle came right
    // after it (a scan abandoned and drained would leave a whole reply window before it).
    const Micros gap = q[run].first - q[run - 1].first;
    EXPECT_TRUE(gap >= 80'000 && (!stop || gap < 600'000)) << gap;
    ASSERT_GT(q.size(), run + 5) << "polling goes on";
    for (std::size_t i = run; i < q.size(); ++i)
        EXPECT_EQ(q[i].second, served) << q[i].first;
}

INSTANTIATE_TEST_SUITE_P(Ways, ScanEnds,
                         ::testing::Values("Complete", "CancelButton", "EnterOnADetector"),
                         [](const auto& info) { return std::string(info.param); });

// After the scan, while the main cycle's query to address 1 is on its way: its answer must not
// make address 1 the served one again. A reply that was not valid names nothing to serve.
TEST_F(ScanWindowTest, ADoubleClickedDetectorIsServedOnceTheAnswerAwaitedHasCome) {
    b.bus().Add({40, 24, 0, 4000, {}, "", "", 0});
    b.bus().InjectFault(40, "exception");
    b.At(1'000'000, [&] { Open(); });
    Micros clickedAt = 0;
    onScanChanged = [&] {
        if (scan.Running() || clickedAt > 0)
            return;
        b.At(clickedAt = b.plat.NowUs() + 2'000, [&] {
            ASSERT_EQ(List()->count(), 4);
            for (const auto& [row, closes] : {std::pair{3, 0}, std::pair{1, 1}}) {
                emit List()->itemDoubleClicked(List()->item(row));
                EXPECT_EQ(closed, closes);
            }
        });
    };
    b.Run(30'000'000);
    ASSERT_GT(clickedAt, 0);
    EXPECT_EQ(b.par.Main.DetNum + " " + b.par.Main.SeNum, "7 1207");
    for (const auto& [at, address] : b.StatusQueries())
        EXPECT_TRUE(at < clickedAt || address == 7) << at;
}

TEST_F(ScanWindowTest, TheTimeOutBoxSetsTheShortWaitAndANoisyBusEndsTheScanSayingSo) {
    b.At(1'000'000, [&] {
        Open();
        w->findChild<QSpinBox*>("spnTimeout")->setValue(200);
    });
    Micros babbleFrom = 0;
    onScanChanged = [&] {
        if (scan.Running() && scan.Scan().Reached() == 20 && babbleFrom == 0)
            babbleFrom = b.plat.NowUs(), b.bus().SetBabbleContinuous();
    };
    b.Run(12'000'000);
    // Silent addresses 13 to 19 each had the query's wire time and the 200 ms.
    const auto [q, run] = Asked();
    ASSERT_GT(run, 19u);
    for (std::size_t i = 13; i < 19; ++i)
        EXPECT_NEAR(q[i].first - q[i - 1].first, WireTimeUs(9) + 200'000, 2'000) << i;
    EXPECT_TRUE(State().startsWith("Scan stopped at address 21: the bus carries bytes nobody "
                                   "asked for (") &&
                State().endsWith("): noise, not detectors."))
        << State().toStdString();
    EXPECT_EQ(List()->count(), 3);                    // what was found before stays
    EXPECT_LT(q[run].first - babbleFrom, 3'000'000);  // said early; the main cycle polls
}

}  // namespace
}  // namespace halvern::test
