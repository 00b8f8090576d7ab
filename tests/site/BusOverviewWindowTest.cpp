// The bus overview window on virtual time, one story: it takes the polling loop from the main
// cycle, shows each detector in the main window's colours, marks the lost one, fits the
// smallest screen, and Enter serves the chosen detector in the main window, whose cycle then
// goes on. (How the loop is taken and given back: BusTakeoverTest.)

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <iterator>
#include <tuple>

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
    std::unique_ptr<frmBusOverview> w;
    OverviewComm overview{b.link, b.loop, *b.comm, [&] { return b.clockTime; },
                          [&] { w ? w->Refresh() : void(); }};
    b.bus().Find(7)->SetStatus("AAN", 0);  // in alarm
    b.At(1'000'000, [&] {
        overview.Start({1, 7, 12});
        w = std::make_unique<frmBusOverview>(overview);
        w->show();
    });
    b.Run(8'000'000);  // a round costs two answers and a silent 0.6 s: ten rounds and more
    auto* grid = w->findChild<QTableWidget*>("grdDetectors");
    ASSERT_EQ(grid->rowCount(), 3);
    // The decoded lines themselves: the decoder's tests; here the row a lost detector gets.
    // clang-format off
    for (const auto& [row, col, text] : std::vector<std::tuple<int, int, QString>>{
             {0, 3, "NNN0 Normal"}, {0, 5, "Good"}, {0, 6, "14:03:27"}, {2, 3, "DDD Disconnection"},
             {2, 5, "Lost"}})
        // clang-format on
        EXPECT_EQ(grid->item(row, col)->text(), text) << row << "," << col;
    EXPECT_EQ(grid->item(1, 3)->text().left(4), "AAN0");
    // An alarm stands out as on the main window: white on red.
    EXPECT_EQ(grid->item(1, 3)->background().color(), QColor(255, 0, 0));
    EXPECT_EQ(grid->item(1, 3)->foreground().color(), QColor(255, 255, 255));
    EXPECT_EQ(grid->item(0, 3)->background().color(), QColor(255, 255, 255));
    EXPECT_EQ(w->findChild<QLabel*>("lblState")->text().left(25), "3 detectors, 1 lost; a ro");
    // While it is open, the overview's polls of 1, 7, 12 in turn (and the search's of the other
    // addresses between rounds).
    int asked = 0;
    for (const auto& [at, address] : b.StatusQueries())
        if (at > 1'000'000 && (address == 1 || address == 7 || address == 12)) {
            EXPECT_EQ(address, (std::vector<int>{1, 7, 12})[asked++ % 3]) << at;
        }
    ASSERT_GE(asked, 15);
    // Within the smallest screen, 1024x600.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(w->frameGeometry())) << screen.width() << "x" << screen.height();

    const Micros chosenAt = b.plat.NowUs() + 1;
    b.At(chosenAt, [&] { grid->setCurrentCell(1, 0), QTest::keyClick(grid, Qt::Key_Return); });
    b.Continue(11'000'000);
    EXPECT_FALSE(w->isVisible() || overview.Running());
    EXPECT_EQ(b.par.Main.DetNum + " " + b.par.Main.SeNum, "7 1207");
    // The main cycle polls 7, and only 7, from a little after the choice on.
    int sevens = 0;
    for (const auto& [at, address] : b.StatusQueries())
        EXPECT_TRUE(at <= chosenAt + 700'000 || (++sevens, address == 7)) << at;
    EXPECT_GT(sevens, 5);
}

// Opened with o, the overview polls at once the detectors already known (the one served, and
// those the last scan or overview found, kept in the program folder); a known one that does
// not answer now shows as lost; the search of the rest of the bus finds another, which joins
// the rows and the file.
TEST_F(BusOverviewTest, PollsTheKnownDetectorsAtOnceAndTheSearchFindsAnother) {
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
    EXPECT_GT(firstRowUs, 1'000'000);
    EXPECT_LE(firstRowUs, 3'000'000);
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
    MoveAddressInFile(known, 7, 20);  // as a confirmed address change does
    EXPECT_EQ(file(), "1\r\n12\r\n20\r\n");
}

}  // namespace
}  // namespace halvern::test
