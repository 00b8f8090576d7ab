// The bus overview window on virtual time, one story: it takes the polling loop from the main
// cycle, polls at once the detectors already known (the one served, and those the last scan or
// overview found, kept in the program folder), shows each in the main window's colours, marks
// the lost one, finds another by its search, fits the smallest screen, and Enter serves the
// chosen detector in the main window, whose cycle then goes on. (How the loop is taken and
// given back: BusTakeoverTest.)

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <iterator>

#include "link/LinkFiles.h"
#include "site/OverviewComm.h"
#include "site/frmBusOverview.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

using BusOverviewTest = UiTest;

TEST_F(BusOverviewTest, ShowsTheDetectorsInTheirColoursAndEnterServesTheChosenOne) {
    Bench b{BusOf({{1, 24, 4711}, {7, 36, 1207}, {12, 48, 880, "silent"}})};
    const std::string known = b.par.ProgramFolder + "/BusDetectors.txt";
    std::ofstream(known) << "12\r\nnot an address\r\n";
    std::unique_ptr<frmBusOverview> w;
    Micros firstRowUs = -1;
    OverviewComm overview{b.link, b.loop, *b.comm, [&] { return b.clockTime; },
                          [&] {
                              if (!w)
                                  return;
                              w->Refresh();
                              if (firstRowUs < 0 && overview.Detectors()[0].answered)
                                  firstRowUs = b.plat.NowUs();
                          }};
    b.bus().Find(7)->SetStatus("AAN", 0);  // in alarm
    b.At(1'000'000, [&] {
        overview.Start({});
        w = std::make_unique<frmBusOverview>(overview);
        w->show();
    });
    b.Run(3'000'000);
    auto* grid = w->findChild<QTableWidget*>("grdDetectors");
    const auto column = [&](int col) {
        QStringList texts;
        for (int row = 0; row < grid->rowCount(); ++row)
            texts << grid->item(row, col)->text();
        return texts.join(" ");
    };
    // Within two seconds of o: the served detector's row, polled; 12 not heard yet.
    EXPECT_TRUE(firstRowUs > 1'000'000 && firstRowUs <= 3'000'000) << firstRowUs;
    EXPECT_EQ(column(0) + " | " + column(5), "1 12 | Good ");
    EXPECT_TRUE(
        w->findChild<QLabel*>("lblState")->text().contains("\nSearching the bus: address "));
    const auto file = [&] {
        std::ifstream in(known, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(file(), "1\r\n12\r\n");  // the served one is known from now on
    b.Continue(20'000'000);
    EXPECT_EQ(column(0) + " | " + column(5), "1 7 12 | Good Good Lost");
    EXPECT_EQ(file(), "1\r\n7\r\n12\r\n");
    // The decoded lines themselves: the decoder's tests; here the row a lost detector gets.
    EXPECT_EQ(column(3).left(16) + "|" + column(6).left(8), "NNN0 Normal AAN0|14:03:27");
    EXPECT_EQ(grid->item(2, 3)->text(), "DDD Disconnection");
    // An alarm stands out as on the main window: white on red.
    EXPECT_EQ(grid->item(1, 3)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(grid->item(1, 3)->foreground().color(), QColor(255, 255, 255));
    EXPECT_EQ(grid->item(0, 3)->background().color(), QColor(255, 255, 255));
    EXPECT_EQ(w->findChild<QLabel*>("lblState")->text().left(25), "3 detectors, 1 lost; a ro");
    // Once 7 is found, the overview's polls of 1, 7, 12 in turn (and the search's of the other
    // addresses between rounds), nothing of the main cycle's.
    std::vector<int> turns;
    for (const auto& [at, address] : b.StatusQueries())
        if (at > 15'000'000 && (address == 1 || address == 7 || address == 12))
            turns.push_back(address);
    ASSERT_GE(turns.size(), 9u);
    for (std::size_t i = 1; i < turns.size(); ++i)
        EXPECT_EQ(turns[i], turns[i - 1] == 1 ? 7 : turns[i - 1] == 7 ? 12 : 1) << i;
    // Within the smallest screen, 1024x600.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << screen.width() << "x" << screen.height();

    const Micros chosenAt = b.plat.NowUs() + 1;
    b.At(chosenAt, [&] { grid->setCurrentCell(1, 0), QTest::keyClick(grid, Qt::Key_Return); });
    b.Continue(23'000'000);
    EXPECT_FALSE(w->isVisible() || overview.Running());
    EXPECT_EQ(b.par.Main.DetNum + " " + b.par.Main.SeNum, "7 1207");
    // The main cycle polls 7, and only 7, from a little after the choice on.
    int sevens = 0;
    for (const auto& [at, address] : b.StatusQueries())
        EXPECT_TRUE(at <= chosenAt + 700'000 || (++sevens, address == 7)) << at;
    EXPECT_GT(sevens, 5);
    MoveAddressInFile(known, 7, 20);  // as a confirmed address change does
    EXPECT_EQ(file(), "1\r\n12\r\n20\r\n");
}

}  // namespace
}  // namespace halvern::test
