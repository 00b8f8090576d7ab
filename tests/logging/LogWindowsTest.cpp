// The log viewer's windows driven by keys: the serial-number prompt, the viewer, its plot and
// its CSV export, the readings away from the polling with their Cancel.

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
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
#include "logging/LogViewer.h"
#include "logging/frmCusLog.h"
#include "logging/frmLogPlot.h"
#include "logging/frmLogTask.h"
#include "logging/frmSerForLog.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

using testing::At;

class LogWindows : public testing::LogTest {
  protected:
    // 22 lines: readings a minute apart from 14:00, a disconnection record at 14:10, a broken
    // line, readings again from 14:20 to 14:29.
    void SetUp() override {
        LogTest::SetUp();
        std::string log;
        for (int m = 0; m < 30; ++m)
            if (m < 10 || m >= 20)
                log += testing::RecordAt(At(14, m, 0)) + "\r\n";
            else if (m == 10)
                log += testing::DisconnectionAt(At(14, 10, 0)) + "\r\nNNN0  broken\r\n";
        Write("4711.txt", log);
    }

    frmSerForLog& Prompt() {
        prompt_ = std::make_unique<frmSerForLog>(par, dialogs_);
        opened_ = std::make_unique<QSignalSpy>(prompt_.get(), &frmSerForLog::openViewer);
        back_ = std::make_unique<QSignalSpy>(prompt_.get(), &frmSerForLog::closedBack);
        prompt_->show();
        return *prompt_;
    }
    QLineEdit& Ser() { return *prompt_->findChild<QLineEdit*>("txtSer"); }

    frmCusLog& Viewer(const QString& entry = "4711") {
        viewer_ = std::make_unique<frmCusLog>(par, dialogs_, entry);
        closed_ = std::make_unique<QSignalSpy>(viewer_.get(), &frmCusLog::closed);
        viewer_->show();
        return *viewer_;
    }
    // What row r shows: its number, then its columns left to right.
    QStringList Row(int r) {
        QStringList names{"lblNumber"}, cells;
        for (const LogColumn& c : kLogColumns)
            names << c.LabelArray;
        for (const QString& name : names) {
            const auto* label = viewer_->findChild<QLabel*>(QString("%1(%2)").arg(name).arg(r));
            cells << (label ? label->text() : "<missing " + name + ">");
        }
        return cells;
    }
    QString Extent() { return viewer_->findChild<QLabel*>("lblExtent")->text(); }
    void Release(Qt::Key key) { QTest::keyClick(viewer_.get(), key); }
    // The reading the last key started, run to its end and delivered.
    void Finish() {
        ASSERT_TRUE(viewer_->Task());
        viewer_->Task()->WaitUntilDone();
    }
    const DialogCall& LastCall() { return dialogs_.Calls().back(); }

    ScriptedDialogs dialogs_;
    std::unique_ptr<frmSerForLog> prompt_;
    std::unique_ptr<frmCusLog> viewer_;
    std::unique_ptr<QSignalSpy> opened_, back_, closed_;
};

// A number with a log opens the viewer; not a number closes the prompt; a number without a log,
// or with a folder (FIFO, device) of the log's name, keeps it open for another try. Cancel,
// Esc and the close box bring the main window back.
TEST_F(LogWindows, PromptOpensTheViewerOrSaysWhyNot) {
    std::filesystem::create_directory(PathOf("12.txt"));
    const struct {
        const char* entry;
        std::string text, title;  // the message; none when the viewer opens
        bool stays;
    } cases[] = {{" 4711", "", "", false},
                 {"47a1", "Invalid Address!", "ERROR", false},
                 {"13", "File does not exsist - First record to a file and then open it!",
                  "MISSING FILE", true},
                 {"12", "Cannot read " + PathOf("12.txt") + ": it is a folder, not a regular file",
                  "ERROR", true}};
    for (const auto& [entry, text, title, stays] : cases) {
        dialogs_.ClearCalls();
        auto& p = Prompt();
        QTest::keyClicks(&Ser(), entry);
        QTest::keyClick(&Ser(), Qt::Key_Return);
        const bool opens = text.empty();
        ASSERT_EQ(dialogs_.Calls().size(), opens ? 0u : 1u) << entry;
        ASSERT_EQ(opened_->count(), opens ? 1 : 0) << entry;
        if (opens)
            EXPECT_EQ(opened_->at(0).at(0).toString(), entry);
        else
            EXPECT_EQ(std::tie(dialogs_.Calls()[0].text, dialogs_.Calls()[0].title,
                               dialogs_.Calls()[0].icon),
                      std::make_tuple(text, title, MsgIcon::Critical));
        EXPECT_EQ(p.isVisible(), stays) << entry;
        EXPECT_EQ(back_->count(), opens || stays ? 0 : 1) << entry;
        EXPECT_EQ(Ser().text(), opens || stays ? QString(entry) : QString()) << entry;
    }
    dialogs_.ClearCalls();
    for (int way = 0; way < 3; ++way) {
        auto& p = Prompt();
        QTest::keyClicks(&Ser(), "4711");
        if (way == 0)
            QTest::mouseClick(p.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(&Ser(), Qt::Key_Escape);
        else
            p.close();
        EXPECT_EQ(back_->count() + 10 * opened_->count(), 1) << way;
        EXPECT_FALSE(p.isVisible()) << way;
    }
    EXPECT_TRUE(dialogs_.Calls().empty());
}

// The viewer shows the first twelve lines cut into columns and acts on key releases: paging a
// line at a time, past the end with empty rows, Esc closing.
TEST_F(LogWindows, ViewerPagesOnKeyReleasesAndEscCloses) {
    auto& v = Viewer(" 4711");
    EXPECT_EQ(v.windowTitle(), "Log file viewer of detector serial No  4711");
    EXPECT_EQ(Row(0), (QStringList{"1", "NNN0 ", " 14:00:00 ", " 05/12/26", "23", "3", "4.12",
                                   "3.98", "4.05", "1.03", "0.98", "0.4", "2.5", "0 "}));
    QTest::keyPress(&v, Qt::Key_PageDown);
    EXPECT_EQ(v.TopLine(), 0);  // held down, nothing moves yet
    QTest::keyRelease(&v, Qt::Key_PageDown);
    Release(Qt::Key_PageDown);
    Release(Qt::Key_PageDown);
    Release(Qt::Key_PageUp);
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[2]}), (QStringList{"3", " 14:02:00 "}));
    // Other keys and a release whose press went elsewhere (the Esc that closed the print
    // dialog) do nothing.
    Release(Qt::Key_Down);
    QTest::keyRelease(&v, Qt::Key_Escape);
    QTest::keyRelease(&v, Qt::Key_PageUp);
    EXPECT_EQ(v.TopLine(), 2);
    for (int i = 0; i < 12; ++i)
        Release(Qt::Key_PageDown);
    EXPECT_EQ(Row(11), (QStringList{"26", "", "", "", "", "", "", "", "", "", "", "", "", ""}));

    QTest::keyPress(&v, Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    QTest::keyRelease(&v, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
    EXPECT_EQ(closed_->count(), 1);
}

// A log longer than the table says so; End shows its last lines as the file is then, Home the
// first again. A big log opens at once with its first lines; its lines are counted, and its
// last lines read, away from the polling's thread.
TEST_F(LogWindows, EndShowsTheLastLinesOfALongLogAndHomeTheFirst) {
    std::string text;
    for (int i = 1; i <= 3000; ++i)
        text += "NNN" + std::to_string(i) + "\r\n";
    Write("4711.txt", text);
    auto& v = Viewer();
    EXPECT_EQ(Extent(), "lines 1-1025 of 3000");
    Write("4711.txt", text + "NNN3001\r\n");  // a record comes in meanwhile
    Release(Qt::Key_End);
    EXPECT_EQ(Extent(), "lines 1977-3001 of 3001");
    EXPECT_EQ((QStringList{Row(11)[0], Row(11)[1], Row(0)[0], Row(0)[1]}),
              (QStringList{"3001", "NNN30", "2990", "NNN29"}));
    Release(Qt::Key_PageDown);  // the bottom row shows the last line already
    EXPECT_EQ(Row(11)[0], "3001");
    QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Extent(), "lines 1-1025 of 3001");
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[1]}), (QStringList{"1", "NNN1"}));

    text.clear();
    for (int i = 1; i <= 50'000; ++i)  // 4.5 MB
        text += "NNN" + std::to_string(i) + std::string(80, ' ') + "\r\n";
    Write("4711.txt", text);
    auto& big = Viewer();
    EXPECT_EQ(Extent(), "lines 1-1025 of ... (counting)");
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[1]}), (QStringList{"1", "NNN1 "}));
    big.WaitForLineCount();
    EXPECT_EQ(Extent(), "lines 1-1025 of 50000");
    Release(Qt::Key_End);
    Finish();
    EXPECT_EQ(Extent(), "lines 48976-50000 of 50000");
    EXPECT_EQ((QStringList{Row(11)[0], Row(11)[1]}), (QStringList{"50000", "NNN50"}));
    Release(Qt::Key_Home);
    EXPECT_EQ(Extent(), "lines 1-1025 of ... (counting)");
    EXPECT_EQ(Row(0)[0], "1");
}

// P asks the print dialog, then prints the viewer as many times as it says; a cancel prints
// nothing.
TEST_F(LogWindows, PPrintsOneImageOfTheWindowPerCopyAndACancelPrintsNothing) {
    Viewer();
    dialogs_.AnswerPrintDialog(2);
    Release(Qt::Key_P);
    dialogs_.AnswerPrintDialog(std::nullopt);
    Release(Qt::Key_P);
    ASSERT_EQ(dialogs_.Calls().size(), 3u);
    const DialogCall& print = dialogs_.Calls()[1];
    EXPECT_EQ(std::tie(print.kind, print.window, print.copies),
              std::make_tuple(DialogCall::Kind::PrintWindow, "frmCusLog", 2));
    EXPECT_EQ(LastCall().kind, DialogCall::Kind::PrintDialog);
}

// G opens the reading over the viewer, then one plot of the whole file; again, by key or
// menu, the same plot comes to the front. Esc closes the plot only. S saves its charts, and a
// folder that cannot be written gets a clear message and the plot stays.
TEST_F(LogWindows, GOrTheMenuOpensOnePlotOfTheWholeFileThatSSaves) {
    Viewer(" 4711");
    Release(Qt::Key_G);
    const QPointer<frmLogTask> task = viewer_->Task();
    ASSERT_TRUE(task);
    EXPECT_TRUE(task->isVisible());
    EXPECT_EQ(task->windowTitle(), "Log plot of detector serial No 4711");
    EXPECT_FALSE(viewer_->Plot());
    Release(Qt::Key_G);  // meanwhile: no second reading
    EXPECT_EQ(viewer_->Task(), task);
    Finish();
    EXPECT_FALSE(task && task->isVisible());
    frmLogPlot* plot = viewer_->Plot();
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->isVisible());
    EXPECT_EQ(plot->findChild<QLabel*>("lblSummary")->text(),
              "20 readings from 05/12/26 14:00:00 to 05/12/26 14:29:00, 1 disconnection record, "
              "1 line skipped (not log records)");
    EXPECT_EQ(plot->Data().Segments[PlotGas].size(), 2u);
    Release(Qt::Key_G);
    viewer_->findChild<QAction*>("mnuPlot")->trigger();
    EXPECT_EQ(viewer_->Plot(), plot);
    EXPECT_EQ(viewer_->findChildren<frmLogPlot*>().size(), 1);

    Write("plain", "a file where a folder should be");
    const std::string badPng = PathOf("plain") + "/4711.png";
    dialogs_.AnswerSaveFileName(badPng);
    QTest::keyClick(plot, Qt::Key_S);
    EXPECT_EQ(dialogs_.Calls()[dialogs_.Calls().size() - 2].defaultText, PathOf("4711.png"));
    EXPECT_EQ(LastCall().icon, MsgIcon::Critical);
    EXPECT_EQ(LastCall().text.rfind("Cannot write " + badPng + ": ", 0), 0u) << LastCall().text;
    EXPECT_TRUE(plot->isVisible());
    EXPECT_EQ(plot->findChild<QLabel*>("lblSaved")->text(), "");
    dialogs_.AnswerSaveFileName(PathOf("plot.png"));
    QTest::keyClick(plot, Qt::Key_S);
    EXPECT_GT(QImage(QString::fromStdString(PathOf("plot.png"))).width(), 400);
    EXPECT_EQ(plot->findChild<QLabel*>("lblSaved")->text(),
              "Saved " + QString::fromStdString(PathOf("plot.png")));

    QTest::keyClick(plot, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(viewer_->Plot());
    EXPECT_TRUE(viewer_->isVisible());
    Release(Qt::Key_PageDown);
    EXPECT_EQ(viewer_->TopLine(), 1);
}

// X asks for a name and says nothing, and writes nothing there, before the whole file is
// written; a cancelled question writes nothing.
TEST_F(LogWindows, XOrTheMenuAsksForANameWritesTheCsvAndSaysWhatWasSkipped) {
    Viewer();
    dialogs_.AnswerSaveFileName(PathOf("out.csv"));
    Release(Qt::Key_X);
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_EQ(viewer_->Task()->windowTitle(), "Export log as CSV");
    Finish();
    ASSERT_EQ(dialogs_.Calls().size(), 2u);
    const DialogCall& ask = dialogs_.Calls()[0];
    EXPECT_EQ(
        std::tie(ask.kind, ask.defaultText, ask.filter),
        std::make_tuple(DialogCall::Kind::SaveFileName, PathOf("4711.csv"), "CSV files (*.csv)"));
    EXPECT_EQ(LastCall().icon, MsgIcon::Information);
    EXPECT_EQ(LastCall().text, "21 records written to " + PathOf("out.csv") +
                                   ".\n1 line skipped (not log records).");
    EXPECT_EQ(std::ranges::count(Read("out.csv"), '\n'), 22);

    dialogs_.ClearCalls();
    viewer_->findChild<QAction*>("mnuExportCsv")->trigger();
    EXPECT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(PathOf("4711.csv")));
}

// Cancelled by its button or Esc, a reading leaves nothing behind: no plot window comes, and
// a CSV file is there only when it was complete before the cancel came, and then the message
// says so. The viewer closing takes its reading with it.
TEST_F(LogWindows, ACancelledReadingLeavesNoWindowAndNoCsv) {
    Viewer();
    Release(Qt::Key_G);
    QPointer<frmLogTask> task = viewer_->Task();
    ASSERT_TRUE(task);
    QTest::mouseClick(task->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    EXPECT_FALSE(task->isVisible());
    QCoreApplication::sendPostedEvents();  // whatever the reading had sent back
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(task);
    EXPECT_TRUE(viewer_->findChildren<frmLogPlot*>().empty());

    dialogs_.AnswerSaveFileName(PathOf("out.csv"));
    Release(Qt::Key_X);
    task = viewer_->Task();
    ASSERT_TRUE(task);
    QTest::keyClick(task, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(task);
    if (std::filesystem::exists(PathOf("out.csv"))) {
        EXPECT_EQ(std::ranges::count(Read("out.csv"), '\n'), 22);
        EXPECT_EQ(LastCall().text.rfind("21 records written to ", 0), 0u);
    } else {
        EXPECT_EQ(dialogs_.Calls().size(), 1u);  // the file name only
    }
    using Files = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(Files(Folder()), Files()),
              std::filesystem::exists(PathOf("out.csv")) ? 2 : 1);
    Release(Qt::Key_PageDown);  // the viewer's keys work again
    EXPECT_EQ(viewer_->TopLine(), 1);

    Release(Qt::Key_G);
    task = viewer_->Task();
    ASSERT_TRUE(task);
    viewer_->close();
    EXPECT_FALSE(task->Running());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(viewer_->Plot());
}

// The window of a reading under way shows how far it has come; Cancel stops the work where it
// is and returns once it has stopped, and then nothing is delivered.
TEST_F(LogWindows, TheReadingWindowShowsProgressAndCancelStopsTheWork) {
    std::atomic<bool> halfWay{false};
    bool done = false, cancelled = false;
    const auto work = [&](LogReadControl& control) {
        control.Total = 200;
        control.Done = 100;
        control.OnProgress();
        halfWay = true;
        while (!control.Cancelled())
            std::this_thread::yield();
    };
    QPointer<frmLogTask> task = new frmLogTask("Reading", "Reading...", work, &Viewer());
    QObject::connect(task, &frmLogTask::done, [&] { done = true; });
    QObject::connect(task, &frmLogTask::cancelled, [&] { cancelled = true; });
    task->show();
    while (!halfWay)
        std::this_thread::yield();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(task->findChild<QProgressBar*>("prgTask")->value(), 50);
    EXPECT_TRUE(task->isVisible() && task->Running());
    task->Cancel();
    EXPECT_TRUE(cancelled);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(done || task);
}

// Files a plot must survive: it opens, says so, and draws what there is.
TEST_F(LogWindows, PlotsEmptyGarbledAndDisconnectionOnlyFiles) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "No readings to plot"},
        {std::string(1 << 20, '\0'), "No readings to plot, 1 line skipped (not log records)"},
        {"DDD     05/12/26  9:5:3\r\nDDD     05/12/26  9:5:4\r\n",
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
