// The plot and the CSV export from the log viewer: its keys and right-click menu, the save
// dialogs, the reading away from the polling with its Cancel, and what a target that cannot
// be written does.

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>

#include "LogTestSupport.h"
#include "logging/frmCusLog.h"
#include "logging/frmLogPlot.h"
#include "logging/frmLogTask.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

class PlotAndExport : public testing::LogTest {
  protected:
    // Readings a minute apart, a disconnection record, a broken line.
    void SetUp() override {
        LogTest::SetUp();
        std::string log;
        for (int m = 0; m < 10; ++m)
            log += CycleRecordLine(par, testing::At(14, m, 0));
        log += DisconnectionRecordLine("DDD", testing::At(14, 10, 0)) + "NNN0  broken\r\n";
        for (int m = 20; m < 30; ++m)
            log += CycleRecordLine(par, testing::At(14, m, 0));
        Write("4711.txt", log);
        viewer_ = std::make_unique<frmCusLog>(par, dialogs_, " 4711");
        viewer_->show();
    }
    void Release(Qt::Key key) { QTest::keyClick(viewer_.get(), key); }
    // The reading the last key started, run to its end and delivered.
    void Finish() {
        ASSERT_TRUE(viewer_->Task());
        viewer_->Task()->WaitUntilDone();
    }
    QString Summary() { return viewer_->Plot()->findChild<QLabel*>("lblSummary")->text(); }
    const DialogCall& LastCall() { return dialogs_.Calls().back(); }

    ScriptedDialogs dialogs_;
    std::unique_ptr<frmCusLog> viewer_;
};

TEST_F(PlotAndExport, GOrTheMenuOpensOnePlotOfTheWholeFile) {
    Release(Qt::Key_G);
    // First the reading, over the viewer; the plot comes when the file is read.
    const QPointer<frmLogTask> task = viewer_->Task();
    ASSERT_TRUE(task);
    EXPECT_TRUE(task->isVisible());
    EXPECT_EQ(task->windowTitle(), "Log plot of detector serial No 4711");
    EXPECT_TRUE(task->findChild<QPushButton*>("cmdCancel")->isVisible());
    EXPECT_FALSE(viewer_->Plot());
    // G again meanwhile starts no second reading.
    Release(Qt::Key_G);
    EXPECT_EQ(viewer_->Task(), task);
    Finish();
    EXPECT_FALSE(task && task->isVisible());
    frmLogPlot* plot = viewer_->Plot();
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->isVisible());
    EXPECT_EQ(plot->windowTitle(), "Log plot of detector serial No 4711");
    EXPECT_EQ(Summary(),
              "20 readings from 05/12/26 14:00:00 to 05/12/26 14:29:00, 1 disconnection record, "
              "1 line skipped (not log records)");
    EXPECT_EQ(plot->Data().Segments[PlotGas].size(), 2u);
    // Again, by key or menu: the same window comes to the front.
    Release(Qt::Key_G);
    viewer_->findChild<QAction*>("mnuPlot")->trigger();
    EXPECT_EQ(viewer_->Plot(), plot);
    EXPECT_EQ(viewer_->findChildren<frmLogPlot*>().size(), 1);
    // Esc closes the plot only; the viewer's keys still work.
    QTest::keyClick(plot, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(viewer_->Plot());
    EXPECT_TRUE(viewer_->isVisible());
    Release(Qt::Key_PageDown);
    EXPECT_EQ(viewer_->TopLine(), 1);
    EXPECT_TRUE(dialogs_.Calls().empty());
}

TEST_F(PlotAndExport, XOrTheMenuAsksForANameWritesTheCsvAndSaysWhatWasSkipped) {
    dialogs_.AnswerSaveFileName(PathOf("out.csv"));
    Release(Qt::Key_X);
    // Nothing is said, and no CSV is there, before the whole file is written.
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_EQ(viewer_->Task()->windowTitle(), "Export log as CSV");
    Finish();
    ASSERT_EQ(dialogs_.Calls().size(), 2u);
    const DialogCall& ask = dialogs_.Calls()[0];
    EXPECT_EQ(ask.kind, DialogCall::Kind::SaveFileName);
    EXPECT_EQ(ask.defaultText, PathOf("4711.csv"));
    EXPECT_EQ(ask.filter, "CSV files (*.csv)");
    EXPECT_EQ(LastCall().kind, DialogCall::Kind::Message);
    EXPECT_EQ(LastCall().icon, MsgIcon::Information);
    EXPECT_EQ(LastCall().text, "21 records written to " + PathOf("out.csv") +
                                   ".\n1 line skipped (not log records).");
    EXPECT_EQ(std::ranges::count(Read("out.csv"), '\n'), 22);

    // Cancelled: nothing written, nothing said.
    dialogs_.ClearCalls();
    viewer_->findChild<QAction*>("mnuExportCsv")->trigger();
    EXPECT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(PathOf("4711.csv")));
}

TEST_F(PlotAndExport, AFolderThatCannotBeWrittenGetsAClearMessageAndTheWindowsStay) {
    Write("plain", "a file where a folder should be");
    const std::string badCsv = PathOf("plain") + "/4711.csv";
    dialogs_.AnswerSaveFileName(badCsv);
    Release(Qt::Key_X);
    Finish();
    EXPECT_EQ(LastCall().icon, MsgIcon::Critical);
    EXPECT_EQ(LastCall().title, "Export log as CSV");
    EXPECT_EQ(LastCall().text.rfind("Cannot write " + badCsv + ": ", 0), 0u) << LastCall().text;
    EXPECT_TRUE(viewer_->isVisible());

    Release(Qt::Key_G);
    Finish();
    frmLogPlot* plot = viewer_->Plot();
    ASSERT_TRUE(plot);
    const std::string badPng = PathOf("plain") + "/4711.png";
    dialogs_.AnswerSaveFileName(badPng);
    QTest::keyClick(plot, Qt::Key_S);
    EXPECT_EQ(dialogs_.Calls()[dialogs_.Calls().size() - 2].defaultText, PathOf("4711.png"));
    EXPECT_EQ(LastCall().icon, MsgIcon::Critical);
    EXPECT_EQ(LastCall().text.rfind("Cannot write " + badPng + ": ", 0), 0u) << LastCall().text;
    EXPECT_TRUE(plot->isVisible());
    EXPECT_EQ(plot->findChild<QLabel*>("lblSaved")->text(), "");

    // The next try, to a folder that takes it, saves the charts.
    dialogs_.AnswerSaveFileName(PathOf("plot.png"));
    QTest::keyClick(plot, Qt::Key_S);
    const QImage saved(QString::fromStdString(PathOf("plot.png")));
    EXPECT_FALSE(saved.isNull());
    EXPECT_GT(saved.width(), 400);
    EXPECT_EQ(plot->findChild<QLabel*>("lblSaved")->text(),
              "Saved " + QString::fromStdString(PathOf("plot.png")));
}

// Cancelled by its button or Esc, a reading leaves nothing behind: no plot window comes, and
// a CSV file is there only when it was complete before the cancel came, and then the message
// says so.
TEST_F(PlotAndExport, ACancelledReadingLeavesNoWindowAndNoCsv) {
    Release(Qt::Key_G);
    QPointer<frmLogTask> task = viewer_->Task();
    ASSERT_TRUE(task);
    QTest::mouseClick(task->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    EXPECT_FALSE(task->isVisible());
    QCoreApplication::sendPostedEvents();  // whatever the reading had sent back
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(task);
    EXPECT_FALSE(viewer_->Plot());
    EXPECT_TRUE(viewer_->findChildren<frmLogPlot*>().empty());

    dialogs_.AnswerSaveFileName(PathOf("out.csv"));
    Release(Qt::Key_X);
    task = viewer_->Task();
    ASSERT_TRUE(task);
    QTest::keyClick(task, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(task);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
        files.push_back(entry.path().filename().string());
    if (std::filesystem::exists(PathOf("out.csv"))) {
        EXPECT_EQ(files.size(), 2u);
        EXPECT_EQ(std::ranges::count(Read("out.csv"), '\n'), 22);
        EXPECT_EQ(LastCall().text.rfind("21 records written to ", 0), 0u);
    } else {
        EXPECT_EQ(files, std::vector<std::string>{"4711.txt"});
        EXPECT_EQ(dialogs_.Calls().size(), 1u);  // the file name only
    }
    Release(Qt::Key_PageDown);  // the viewer's keys work again
    EXPECT_EQ(viewer_->TopLine(), 1);

    // The viewer closing takes its reading with it.
    Release(Qt::Key_G);
    task = viewer_->Task();
    ASSERT_TRUE(task);
    viewer_->close();
    EXPECT_FALSE(task->Running());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(viewer_->Plot());
}

// The window of a reading under way: it shows how far the reading has come and stays until
// the reading ends; Cancel stops the reading where it is and says so, and then nothing is
// delivered.
TEST_F(PlotAndExport, TheReadingWindowShowsProgressAndCancelStopsTheWork) {
    std::atomic<bool> halfWay{false};
    bool done = false, cancelled = false;
    QPointer<frmLogTask> task = new frmLogTask(
        "Reading", "Reading the whole log file...",
        [&](LogReadControl& control) {
            control.Total = 200;
            control.Done = 100;
            control.OnProgress();
            halfWay = true;
            while (!control.Cancelled())
                std::this_thread::yield();
        },
        viewer_.get());
    QObject::connect(task, &frmLogTask::done, [&] { done = true; });
    QObject::connect(task, &frmLogTask::cancelled, [&] { cancelled = true; });
    task->show();
    while (!halfWay)
        std::this_thread::yield();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(task->findChild<QProgressBar*>("prgTask")->value(), 50);
    EXPECT_TRUE(task->isVisible());
    EXPECT_TRUE(task->Running());
    task->Cancel();  // returns once the work has stopped
    EXPECT_TRUE(cancelled);
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(done);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(task);
}

// Files a plot must survive: it opens, says so, and draws what there is.
TEST_F(PlotAndExport, PlotsEmptyGarbledAndDisconnectionOnlyFiles) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "No readings to plot"},
        {std::string(1 << 20, '\0'), "No readings to plot, 1 line skipped (not log records)"},
        {DisconnectionRecordLine("DDD", testing::At(9, 5, 3)) +
             DisconnectionRecordLine("DDD", testing::At(9, 5, 4)),
         "No readings to plot from 05/12/26 09:05:03 to 05/12/26 09:05:04, 2 disconnection "
         "records"},
    };
    for (const auto& [bytes, summary] : cases) {
        Write("12.txt", bytes);
        frmLogPlot plot(ReadLogPlot(PathOf("12.txt")), "12", Folder(), dialogs_);
        plot.show();
        EXPECT_EQ(plot.findChild<QLabel*>("lblSummary")->text(), summary);
    }
}

}  // namespace
}  // namespace halvern
