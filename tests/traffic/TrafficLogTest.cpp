// The bounded record behind the traffic window, and the window against a polled simulated bus,
// on virtual time. (What the link's tap hears is the program's F7 story's.)

#include <gtest/gtest.h>

#include <QDateTime>
#include <QPushButton>
#include <QString>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <tuple>

#include "link/Requests.h"
#include "support/Bench.h"
#include "support/UiTest.h"
#include "traffic/TrafficLog.h"
#include "traffic/TrafficModel.h"
#include "traffic/frmTraffic.h"

namespace halvern::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void TakeN(TrafficLog& log, int n, Micros from) {
    for (int i = 0; i < n; ++i)
        log.Take(from + i, TrafficDirection::Sent,
                 CommandFrame(static_cast<std::uint8_t>(i % 247 + 1), kCodeStatus));
}

// The last ten thousand entries are kept, shown or waiting while paused, and the dropped ones
// counted; a long run of bytes is kept in part with its length.
TEST(TrafficLog, KeepsTheLastTenThousandEntriesAndCountsTheDroppedOnes) {
    TrafficLog log;
    const auto show = [&] {
        log.DropOldestShown(log.OverflowOnShow());
        log.ShowWaiting();
        return std::make_tuple(log.Shown().Size(), log.Shown()[0].us, log.Dropped());
    };
    TakeN(log, 10'000, 0);
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{0}, std::size_t{0}));
    TakeN(log, 25, 10'000);
    EXPECT_EQ(log.OverflowOnShow(), 25u);  // then shown: the oldest 25 dropped
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{25}, std::size_t{25}));
    EXPECT_EQ(log.Shown()[9'999].us, 10'024);
    TakeN(log, 10'003, 20'000);
    EXPECT_EQ(std::make_tuple(log.Waiting(), log.Dropped()),
              std::make_tuple(std::size_t{10'000}, std::size_t{28}));
    EXPECT_EQ(show(), std::make_tuple(std::size_t{10'000}, Micros{20'003}, std::size_t{10'028}));
    log.Clear();
    log.Take(0, TrafficDirection::Received, Bytes(3000, 0xAA));
    log.ShowWaiting();
    EXPECT_EQ(
        std::make_tuple(log.Shown().Size(), log.Dropped(), log.Shown()[0].bytes.size(),
                        log.Shown()[0].count),
        std::make_tuple(std::size_t{1}, std::size_t{0}, kTrafficBytesKept, std::size_t{3000}));
}

TEST(TrafficLog, SavedLineHoldsTimeMsDirectionBytesVerdictAndMeaning) {
    const QDateTime start(QDate(2026, 12, 5), QTime(14, 3, 27, 500));
    const Bytes query = CommandFrame(1, kCodeStatus);
    EXPECT_EQ(
        TrafficLine(
            {2'512'700, TrafficDirection::Sent, query, query.size(), DescribeRequest(query)},
            {start.toMSecsSinceEpoch(), 2'000'000, 1'000'000}),
        "2026-12-05 14:03:28.012\t1512\tTX\t01 C8 04 00 20 5A 3E 50 F2\tok\tstatus query to 1");
}

using TrafficWindowTest = UiTest;

// Polls and replies come in batches at the window's ticks; S writes a line an entry, and a
// folder that cannot be written loses nothing and says so; paused, the table stays as it is
// while entries wait, and they come when it resumes, a bad CRC marked; C clears it.
TEST_F(TrafficWindowTest, EntriesComeInBatchesSavePauseAndClear) {
    Bench bench{BusOf({{1, 24, 4711}})};
    frmTraffic win(bench.link, bench.dialogs, 0);
    auto& model = *win.findChild<QTableView*>("tblTraffic")->model();
    const auto saveTo = [&](const std::string& path) {
        win.chooseSaveFile = [=](const QString&) { return QString::fromStdString(path); };
    };
    bench.Run(1'000'000);
    win.Update();  // what the last tick has not brought yet
    const int rows = model.rowCount();
    ASSERT_GE(rows, 4);
    const std::string missing = PathOf("no such folder") + "/traffic.txt";
    saveTo(missing);
    QTest::keyClick(&win, Qt::Key_S);
    ASSERT_EQ(bench.dialogs.Calls().size(), 1u);
    EXPECT_TRUE(bench.dialogs.Calls()[0].text.find("no such folder") != std::string::npos);
    EXPECT_EQ(std::make_pair(model.rowCount(), std::filesystem::exists(missing)),
              std::make_pair(rows, false));
    saveTo(PathOf("t.txt"));
    win.findChild<QPushButton*>("cmdSave")->click();
    EXPECT_EQ(bench.dialogs.Calls().size(), 1u);
    EXPECT_EQ(std::ranges::count(Read("t.txt"), '\n'), rows);

    bench.Continue(2'000'000);  // the window's ticks bring the entries without being asked
    EXPECT_GT(model.rowCount(), rows);
    QTest::keyClick(&win, Qt::Key_P);
    const int frozen = model.rowCount();
    bench.bus().InjectFault(1, "bad CRC");
    bench.Continue(4'000'000);
    win.Update();
    const auto waiting = win.Log().Waiting();
    EXPECT_EQ(std::make_tuple(win.Paused(), model.rowCount(), waiting >= 4),
              std::make_tuple(true, frozen, true));
    win.findChild<QPushButton*>("cmdPause")->click();
    EXPECT_EQ(std::make_pair(win.Paused(), model.rowCount()),
              std::make_pair(false, frozen + static_cast<int>(waiting)));
    int bad = 0, marked = 0;  // a bad CRC, and only that, is marked
    for (int r = frozen; r < model.rowCount(); ++r)
        bad += model.index(r, TrafficModel::Crc).data().toString() == "bad",
            marked += model.index(r, 0).data(Qt::BackgroundRole).isValid();
    EXPECT_TRUE(bad >= 1 && marked == bad) << bad << " " << marked;
    QTest::keyClick(&win, Qt::Key_C);
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace halvern::test
