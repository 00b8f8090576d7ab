// The bus scan window on virtual time: the scan takes the polling loop from the main cycle and
// gives it back once, its list fills as detectors answer, and a chosen detector is served.

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

constexpr Micros kScanEnd = 30'000'000;  // the whole range takes about 23 s

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
        listed[scan.Scan().Reached()] = Find<QListWidget>("lstFound")->count();
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
    // Opens the window while the main cycle's query is on its way to the detector.
    void OpenDuringAMainPoll(Micros after) {
        b.onChanged = [this, after] {
            if (b.plat.NowUs() < after || openedAt >= 0)
                return;
            b.onChanged = nullptr;
            b.At(b.plat.NowUs() + 2'000, [this] { Open(); });
        };
    }
    template <typename T>
    T* Find(const char* name) {
        auto* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        auto* list = Find<QListWidget>("lstFound");
        for (int i = 0; i < list->count(); ++i)
            lines.push_back(list->item(i)->text().toStdString());
        return lines;
    }
    using Queries = std::vector<std::pair<Micros, int>>;
    // The status queries written since the window opened.
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
    // All queries from index `from` on go to `address`, and one pair of them follows each
    // other at once: the main window's activation sends its query, the restarted cycle its own.
    static void MainCycleOnceActivated(const Queries& q, std::size_t from, int address) {
        ASSERT_GT(q.size(), from + 5) << "polling goes on";
        int pairs = 0;
        for (std::size_t i = from; i < q.size(); ++i) {
            EXPECT_EQ(q[i].second, address) << q[i].first;
            pairs += i > from && q[i].first - q[i - 1].first < 100'000;
        }
        EXPECT_EQ(pairs, 1);
    }
};

TEST_F(ScanWindowTest, ListsTheDetectorsAsTheyAnswerAndHandsTheLoopBackToTheMainCycleOnce) {
    b.par.Main.DetNum = "7";  // its answer to the main cycle is still on its way at the start
    OpenDuringAMainPoll(1'000'000);
    b.Run(kScanEnd);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"1  Veridan Xenon 621-2  4711  NNN0 Normal",
                                                 "7  Veridan LAMP 411  1207  NNN0 Normal",
                                                 "12  Talvek 880  880  NNN0 Normal"}));
    // Each line came with the step of its address.
    EXPECT_EQ(listed[1], 1);
    EXPECT_EQ(listed[7], 2);
    EXPECT_EQ(listed[11], 2);
    EXPECT_EQ(listed[12], 3);
    EXPECT_EQ(Find<QProgressBar>("prgScan")->value(), 247);
    EXPECT_EQ(Find<QLabel>("lblAddress")->text(), "Address 247 of 247");
    EXPECT_EQ(Find<QLabel>("lblState")->text(), "Scan complete: 3 detectors found.");
    EXPECT_FALSE(Find<QPushButton>("cmdCancel")->isEnabled());
    EXPECT_TRUE(w->isVisible());  // the list stays until the window is closed

    // Every address once, in order, and nothing of the main cycle in between; then the main
    // window's activation, once, and its cycle goes on.
    const auto q = QueriesSinceOpen();
    EXPECT_EQ(ScanRun(q), 247u);
    MainCycleOnceActivated(q, 247, 7);
    EXPECT_EQ(b.par.Main.DetNum, "7");
    EXPECT_EQ(b.par.Main.SeNum, "1207");
}

struct StopWay {
    const char* name;
    std::function<void(frmScan&)> act;
    bool windowStays;
};

void PrintTo(const StopWay& way, std::ostream* os) {
    *os << way.name;
}

class ScanStops : public ScanWindowTest, public ::testing::WithParamInterface<StopWay> {};

TEST_P(ScanStops, AfterTheAddressBeingAskedAndTheMainCyclePollsAgain) {
    OpenDuringAMainPoll(1'000'000);
    Micros stoppedAt = 0;
    b.At(3'500'000, [&] {
        stoppedAt = b.plat.NowUs();
        GetParam().act(*w);
    });
    b.Run(6'000'000);
    EXPECT_EQ(w->isVisible(), GetParam().windowStays);
    EXPECT_EQ(closed, GetParam().windowStays ? 0 : 1);
    EXPECT_EQ(Lines().size(), 3u);  // what was found is kept
    EXPECT_EQ(Find<QLabel>("lblState")->text(), "Scan cancelled: 3 detectors found.");
    EXPECT_FALSE(scan.Running());

    const auto q = QueriesSinceOpen();
    const std::size_t run = ScanRun(q);
    ASSERT_GT(run, 12u);
    ASSERT_LT(run, q.size());
    EXPECT_LT(q[run - 1].first, stoppedAt);
    // The address asked when the scan was stopped had its time to answer first.
    EXPECT_GE(q[run].first - q[run - 1].first, 80'000);
    MainCycleOnceActivated(q, run, 1);

    if (GetParam().windowStays) {  // Esc after the scan closes the window
        QTest::keyClick(w.get(), Qt::Key_Escape);
        EXPECT_EQ(closed, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ScanStops,
    ::testing::Values(StopWay{"CancelButton",
                              [](frmScan& w) { w.findChild<QPushButton*>("cmdCancel")->click(); },
                              true},
                      StopWay{"Esc", [](frmScan& w) { QTest::keyClick(&w, Qt::Key_Escape); }, true},
                      StopWay{"CloseBox", [](frmScan& w) { w.close(); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

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
    // After the scan, while the main cycle's query to address 1 is on its way: its answer
    // must not make address 1 the served one again.
    Micros clickedAt = 0;
    b.onChanged = [&] {
        Changed();
        if (!w || scan.Running() || clickedAt > 0)
            return;
        clickedAt = b.plat.NowUs() + 2'000;
        b.At(clickedAt, [&] {
            auto* list = Find<QListWidget>("lstFound");
            ASSERT_EQ(list->count(), 4);
            EXPECT_EQ(list->item(3)->text(), "40  answered, reply not valid");
            const auto click = [&](int row) {
                const QRect r = list->visualItemRect(list->item(row));
                // A double click: press, release, then the double click.
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
            };
            click(3);  // no detector to serve
            EXPECT_EQ(closed, 0);
            click(1);
            EXPECT_EQ(closed, 1);
            EXPECT_EQ(b.par.Main.DetNum, "7");
        });
    };
    b.Run(kScanEnd);
    ASSERT_GT(clickedAt, 0);
    EXPECT_EQ(b.par.Main.DetNum, "7");
    EXPECT_EQ(b.par.Main.SeNum, "1207");
    for (const auto& [at, address] : b.StatusQueries())
        EXPECT_TRUE(at < clickedAt || address == 7) << at;
}

TEST_F(ScanWindowTest, EnterDuringTheScanEndsItAndTheMainWindowWakesOnTheChosenDetector) {
    b.At(500'000, [&] { b.comm->cmdMaster(); });  // a search is on
    b.At(1'000'000, [&] { Open(); });
    b.At(3'500'000, [&] {
        Find<QListWidget>("lstFound")->setCurrentRow(2);
        QTest::keyClick(w.get(), Qt::Key_Return);
        EXPECT_EQ(closed, 1);
    });
    b.Run(6'000'000);
    EXPECT_FALSE(scan.Running());
    EXPECT_FALSE(b.par.SearchMode);
    EXPECT_EQ(b.par.Main.DetNum, "12");
    EXPECT_EQ(b.par.Main.SeNum, "880");
    const auto q = QueriesSinceOpen();
    MainCycleOnceActivated(q, ScanRun(q), 12);
}

TEST_F(ScanWindowTest, TheTimeOutBoxSetsTheShortWaitAndANoisyBusEndsTheScanSayingSo) {
    b.At(1'000'000, [&] {
        Open();
        auto* timeout = Find<QSpinBox>("spnTimeout");
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
    const std::string state = Find<QLabel>("lblState")->text().toStdString();
    EXPECT_TRUE(state.starts_with("Scan stopped at address 21: the bus carries bytes nobody asked "
                                  "for (") &&
                state.ends_with("): noise, not detectors."))
        << state;
    EXPECT_EQ(Lines().size(), 3u);                           // what was found before stays
    EXPECT_LT(q[ScanRun(q)].first - babbleFrom, 3'000'000);  // said early; the main cycle polls
}

}  // namespace
}  // namespace halvern::test
