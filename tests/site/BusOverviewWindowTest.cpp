// The bus overview window on virtual time: it takes the polling loop from the main cycle, shows
// each detector in the main window's colours, marks the lost one, fits the smallest screen,
// and Enter serves the chosen detector in the main window, whose cycle then goes on.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

#include "site/OverviewComm.h"
#include "site/frmBusOverview.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

class BusOverviewTest : public UiTest {
  protected:
    Bench b{BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880, "silent"}})};
    OverviewComm overview{b.link, b.loop, *b.comm, [this] { return b.clockTime; },
                          [this] {
                              if (w)
                                  w->Refresh();
                          }};
    std::unique_ptr<frmBusOverview> w;
    Micros openedAt = -1;

    void SetUp() override {
        UiTest::SetUp();
        b.bus().Find(7)->SetStatus("AAN", 0);  // in alarm
    }
    void TearDown() override {
        w.reset();
        UiTest::TearDown();
    }
    void Open(std::vector<std::uint8_t> addresses) {
        openedAt = b.plat.NowUs();
        overview.Start(std::move(addresses));
        w = std::make_unique<frmBusOverview>(overview);
        w->show();
    }
    QTableWidget* Grid() { return w->findChild<QTableWidget*>("grdDetectors"); }
    std::string Cell(int row, int col) { return Grid()->item(row, col)->text().toStdString(); }
};

TEST_F(BusOverviewTest, ShowsEveryDetectorInItsColoursAndMarksTheLostOne) {
    b.At(1'000'000, [&] { Open({1, 7, 12}); });
    b.Run(8'000'000);  // a round costs two answers and a silent 0.6 s: ten rounds and more
    ASSERT_EQ(Grid()->rowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "1");
    EXPECT_EQ(Cell(0, 1), "Veridan Xenon 621-1");
    EXPECT_EQ(Cell(0, 2), "4711");
    EXPECT_EQ(Cell(0, 3), "NNN0 Normal");
    EXPECT_EQ(Cell(0, 5), "Good");
    EXPECT_EQ(Cell(0, 6), "14:03:27");
    EXPECT_EQ(Cell(1, 1), "Veridan LAMP 411");
    EXPECT_EQ(Grid()->item(1, 3)->text().left(4), "AAN0");
    // An alarm stands out as on the main window: white on red.
    EXPECT_EQ(Grid()->item(1, 3)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(Grid()->item(1, 3)->foreground().color(), QColor(255, 255, 255));
    EXPECT_EQ(Grid()->item(0, 3)->background().color(), QColor(255, 255, 255));
    EXPECT_EQ(Cell(2, 3), "DDD Disconnection");
    EXPECT_EQ(Cell(2, 5), "Lost");
    EXPECT_EQ(w->findChild<QLabel*>("lblState")->text().left(25), "3 detectors, 1 lost; a ro");

    // Only the overview's polls while it is open: 1, 7, 12 in turn.
    std::vector<int> asked;
    for (const auto& q : b.StatusQueries())
        if (q.first > openedAt)
            asked.push_back(q.second);
    ASSERT_GE(asked.size(), 15u);
    for (std::size_t i = 0; i < asked.size(); ++i)
        EXPECT_EQ(asked[i], (std::vector<int>{1, 7, 12})[i % 3]) << i;

    // Within the smallest screen, 1024x600.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << screen.width() << "x" << screen.height();
}

TEST_F(BusOverviewTest, EnterServesTheChosenDetectorAndTheMainCycleGoesOn) {
    b.At(1'000'000, [&] { Open({1, 7, 12}); });
    Micros chosenAt = 0;
    b.At(3'000'000, [&] {
        chosenAt = b.plat.NowUs();
        Grid()->setCurrentCell(1, 0);
        QTest::keyClick(Grid(), Qt::Key_Return);
    });
    b.Run(6'000'000);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(overview.Running());
    EXPECT_EQ(b.par.Main.DetNum, "7");
    // The main cycle polls 7, and only 7, from a little after the choice on.
    int sevens = 0;
    for (const auto& q : b.StatusQueries())
        if (q.first > chosenAt + 700'000) {
            EXPECT_EQ(q.second, 7) << q.first;
            ++sevens;
        }
    EXPECT_GT(sevens, 5);
    EXPECT_EQ(b.par.Main.SeNum, "1207");
}

}  // namespace
}  // namespace halvern::test
