// The bus traffic window against a polled simulated bus, on virtual time.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "support/Bench.h"
#include "support/UiTest.h"
#include "traffic/TrafficModel.h"
#include "traffic/frmTraffic.h"

namespace halvern::test {
namespace {

class TrafficWindowTest : public UiTest {
  protected:
    Bench bench{BusOf({{1, 24, 4711}})};
    std::unique_ptr<frmTraffic> win;

    void SetUp() override {
        UiTest::SetUp();
        win = std::make_unique<frmTraffic>(bench.link, bench.dialogs, 0);
    }

    QAbstractItemModel& Model() { return *win->findChild<QTableView*>("tblTraffic")->model(); }
    QString Cell(int row, int column) { return Model().index(row, column).data().toString(); }
    QString Count() { return win->findChild<QLabel*>("lblCount")->text(); }
    int Rows() { return Model().rowCount(); }
};

// Polls and replies come in batches at the window's ticks, a bad CRC marked; paused, the
// table stays as it is while entries wait, and they come, in time order, when it resumes;
// C clears it.
TEST_F(TrafficWindowTest, EntriesComeInBatchesPauseHoldsThemAndABadCrcIsMarked) {
    bench.Run(1'000'000);
    win->Update();  // what the last tick has not brought yet
    ASSERT_GE(Rows(), 4);
    EXPECT_EQ(Rows(), static_cast<int>(win->Log().Shown().Size()));
    EXPECT_EQ(
        Cell(0, TrafficModel::Bytes) + Cell(0, TrafficModel::Ms) + Cell(0, TrafficModel::Direction),
        "01 C8 04 00 20 5A 3E 50 F20TX");
    EXPECT_FALSE(Model().index(0, 0).data(Qt::BackgroundRole).isValid());
    const int before = Rows();
    bench.Continue(2'000'000);  // the window's ticks bring the entries without being asked
    EXPECT_GT(Rows(), before);
    QTest::keyClick(win.get(), Qt::Key_P);
    const int frozen = Rows();
    bench.bus().InjectFault(1, "bad CRC");
    bench.Continue(4'000'000);
    win->Update();  // the count as the next batch shows it
    const auto waiting = win->Log().Waiting();
    EXPECT_EQ(std::make_tuple(win->Paused(), Rows(), waiting >= 4),
              std::make_tuple(true, frozen, true));
    EXPECT_TRUE(Count().contains(QString("paused, %1 waiting").arg(waiting)))
        << Count().toStdString();
    win->findChild<QPushButton*>("cmdPause")->click();
    EXPECT_EQ(std::make_pair(win->Paused(), Rows()),
              std::make_pair(false, frozen + static_cast<int>(waiting)));
    int marked = 0;
    for (int r = 1; r < Rows(); ++r) {
        EXPECT_LE(Cell(r - 1, TrafficModel::Ms).toLongLong(),
                  Cell(r, TrafficModel::Ms).toLongLong());
        if (Cell(r, TrafficModel::Crc) == "bad")
            marked += Model().index(r, 0).data(Qt::BackgroundRole).isValid() ? 1 : 100;
    }
    EXPECT_GE(marked, 1);
    EXPECT_LT(marked, 100);  // every bad one marked
    QTest::keyClick(win.get(), Qt::Key_C);
    EXPECT_EQ(std::make_pair(Rows(), Count()), std::make_pair(0, QString("0 entries")));
}

// S writes a line an entry; a folder that cannot be written loses nothing and says so.
// Closing the window stops the listening, and the polling goes on.
TEST_F(TrafficWindowTest, SaveWritesALineAnEntryAndClosingStopsTheListening) {
    bench.Run(1'000'000);
    win->Update();
    const int rows = Rows();
    const std::string missing = PathOf("no such folder") + "/traffic.txt";
    win->chooseSaveFile = [&](const QString&) { return QString::fromStdString(missing); };
    QTest::keyClick(win.get(), Qt::Key_S);
    ASSERT_EQ(bench.dialogs.Calls().size(), 1u);
    const DialogCall& c = bench.dialogs.Calls()[0];
    EXPECT_EQ(c.icon, MsgIcon::Critical);
    EXPECT_TRUE(c.text.find("no such folder") != std::string::npos &&
                c.text.find("stay in the window") != std::string::npos)
        << c.text;
    EXPECT_EQ(std::make_pair(Rows(), std::filesystem::exists(missing)),
              std::make_pair(rows, false));
    win->chooseSaveFile = [&](const QString&) { return QString::fromStdString(PathOf("t.txt")); };
    win->findChild<QPushButton*>("cmdSave")->click();
    EXPECT_EQ(bench.dialogs.Calls().size(), 1u);
    const std::string text = Read("t.txt");
    EXPECT_EQ(std::ranges::count(text, '\n'), rows);
    EXPECT_EQ(text.substr(text.find('\t'), text.find("\r\n") - text.find('\t')),
              "\t0\tTX\t01 C8 04 00 20 5A 3E 50 F2\tok\tstatus query to 1");
    const auto queries = bench.StatusQueries().size();
    EXPECT_TRUE(bench.link.HasTrafficTap());
    win.reset();
    EXPECT_FALSE(bench.link.HasTrafficTap());
    bench.Continue(2'000'000);  // polling goes on without a listener
    EXPECT_GT(bench.StatusQueries().size(), queries);
}

}  // namespace
}  // namespace halvern::test
