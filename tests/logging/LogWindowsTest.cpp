// The log viewer's windows driven by keys: the serial-number prompt, the viewer, its plot and
// its CSV export, the readings away from the polling with their Cancel.

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "LogTestSupport.h"
#include "logging/LogViewer.h"
#include "logging/frmCusLog.h"
#include "logging/frmLogPlot.h"
#include "logging/frmLogTask.h"
#include "logging/frmSerForLog.h"
#include "support/UiTest.h"
#include "ui/ChartZoom.h"
#include "ui/ChartZoomer.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

using testing::At;

class LogWindows : public testing::LogTest {
  protected:
    // 22 lines: readings a minute apart from 14:00, a disconnection record at 14:10, a broken
    // line, readings again from 14:20 to 14:29.
    void SetUp() override {
        test::App();
        LogTest::SetUp();
        std::string log;
        for (int m = 0; m < 30; ++m)
            log += m < 10 || m >= 20 ? testing::RecordAt(At(14, m, 0)) + "\r\n"
                   : m == 10 ? testing::RecordAt(At(14, 10, 0), true) + "\r\nNNN0  broken\r\n"
                             : "";
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
    frmCusLog& Viewer() {
        viewer_ = std::make_unique<frmCusLog>(par, dialogs_, " 4711");
        viewer_->show();
        return *viewer_;
    }
    // What row r shows: its number and its first two columns.
    QString Row(int r) {
        QStringList cells;
        for (const QString& name : {QString("lblNumber"), QString(kLogColumns[0].LabelArray),
                                    QString(kLogColumns[1].LabelArray)})
            cells << viewer_->findChild<QLabel*>(QString("%1(%2)").arg(name).arg(r))->text();
        return cells.join('|');
    }
    void Release(Qt::Key key) { QTest::keyClick(viewer_.get(), key); }
    const DialogCall& LastCall() { return dialogs_.Calls().back(); }

    ScriptedDialogs dialogs_;
    std::unique_ptr<frmSerForLog> prompt_;
    std::unique_ptr<frmCusLog> viewer_;
    std::unique_ptr<QSignalSpy> opened_, back_;
};

// A number with a log opens the viewer; not a number closes the prompt; a number without a log
// keeps it open for another try (a folder of the log's name: LogNameTakenBy). Esc brings the
// main window back.
TEST_F(LogWindows, PromptOpensTheViewerOrSaysWhyNot) {
    const std::string cases[][3] = {
        // entry, message (none: the viewer opens), its title
        {" 4711", "", ""},
        {"47a1", "Invalid Address!", "ERROR"},
        {"13", "File does not exsist - First record to a file and then open it!", "MISSING FILE"}};
    for (const auto& [entry, text, title] : cases) {
        SCOPED_TRACE(entry);
        dialogs_.ClearCalls();
        auto& p = Prompt();
        QTest::keyClicks(&Ser(), QString::fromStdString(entry));
        QTest::keyClick(&Ser(), Qt::Key_Return);
        const bool opens = text.empty(), stays = entry.size() == 2;
        EXPECT_EQ(opened_->count() ? opened_->at(0).at(0).toString().toStdString() : "",
                  opens ? entry : "");
        if (!opens) {
            ASSERT_EQ(dialogs_.Calls().size(), 1u);
            const DialogCall& c = dialogs_.Calls()[0];
            EXPECT_EQ(std::tie(c.text, c.title, c.icon),
                      std::make_tuple(text, title, MsgIcon::Critical));
        }
        EXPECT_EQ(
            std::make_tuple(p.isVisible(), back_->count(), Ser().text().toStdString()),
            std::make_tuple(stays, qsizetype{opens || stays ? 0 : 1}, opens || stays ? entry : ""));
    }
    auto& p = Prompt();
    QTest::keyClick(&Ser(), Qt::Key_Escape);
    EXPECT_EQ(std::make_tuple(p.isVisible(), back_->count(), opened_->count()),
              std::make_tuple(false, qsizetype{1}, qsizetype{0}));
}

// The viewer acts on key releases: paging a line at a time, past the end with empty rows; Esc
// closes.
TEST_F(LogWindows, ViewerPagesAndClosesOnKeyReleases) {
    auto& v = Viewer();
    QSignalSpy closed(&v, &frmCusLog::closed);
    EXPECT_EQ(Row(0), "1|NNN0|14:00:00");
    QTest::keyPress(&v, Qt::Key_PageDown);
    EXPECT_EQ(v.TopLine(), 0);  // held down, nothing moves yet
    QTest::keyRelease(&v, Qt::Key_PageDown);
    for (const Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp})
        Release(key);
    EXPECT_EQ(Row(0), "3|NNN0|14:02:00");
    // Other keys and a release whose press went elsewhere (the Esc that closed the print
    // dialog) do nothing.
    Release(Qt::Key_Down);
    QTest::keyRelease(&v, Qt::Key_Escape);
    QTest::keyRelease(&v, Qt::Key_PageUp);
    EXPECT_EQ(v.TopLine(), 2);
    for (int i = 0; i < 12; ++i)
        Release(Qt::Key_PageDown);
    EXPECT_EQ(Row(11), "26||");
    QTest::keyPress(&v, Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    QTest::keyRelease(&v, Qt::Key_Escape);
    EXPECT_EQ(std::make_pair(v.isVisible(), closed.count()), std::make_pair(false, qsizetype{1}));
}

// G opens one reading, then one plot; again, by key or menu, the same plot comes to the front.
// A chart that cannot be saved gets a clear message and the plot stays.
TEST_F(LogWindows, GOrTheMenuOpensOnePlotThatSSaves) {
    Viewer();
    Release(Qt::Key_G);
    const QPointer<frmLogTask> task = viewer_->Task();
    Release(Qt::Key_G);  // meanwhile: no second reading
    EXPECT_EQ(viewer_->Task(), task);
    viewer_->Task()->WaitUntilDone();  // the reading run to its end and delivered
    Release(Qt::Key_G);
    viewer_->findChild<QAction*>("mnuPlot")->trigger();
    frmLogPlot* plot = viewer_->Plot();
    ASSERT_EQ(viewer_->findChildren<frmLogPlot*>(), QList<frmLogPlot*>{plot});
    EXPECT_EQ(plot->Data().Segments[PlotGas].size(), 2u);  // broken at the disconnection
    const std::string badPng = PathOf("no such folder") + "/4711.png";
    dialogs_.AnswerSaveFileName(badPng);
    QTest::keyClick(plot, Qt::Key_S);
    EXPECT_EQ(
        std::make_tuple(dialogs_.Calls()[0].defaultText, LastCall().icon,
                        LastCall().text.rfind("Cannot write " + badPng + ": ", 0),
                        plot->isVisible()),
        std::make_tuple(PathOf("Documents/4711.png"), MsgIcon::Critical, std::size_t{0}, true));
}

// The plot's time axis: a drag over the middle half of the gas chart zooms to it, the stretch
// is read again from the file, the wheel zooms further about the pointer, the pointer reads
// out the gas reading (none in the silence from 14:10 to 14:20), Home shows the whole file.
TEST_F(LogWindows, ThePlotZoomsReadsItsStretchAgainAndHomeShowsTheWholeFile) {
    Viewer();
    Release(Qt::Key_G);
    viewer_->Task()->WaitUntilDone();
    frmLogPlot* plot = viewer_->Plot();
    QCoreApplication::sendPostedEvents();  // the charts laid out
    // One x is one time on each chart, whatever room their value labels take.
    for (const char* name : {"chtSignals", "chtRatios"}) {
        const QRectF a = plot->findChild<QChartView*>(name)->chart()->plotArea(),
                     gas = plot->findChild<QChartView*>("chtGas")->chart()->plotArea();
        EXPECT_NEAR(a.left(), gas.left(), 1) << name;
        EXPECT_NEAR(a.right(), gas.right(), 1) << name;
    }
    auto* view = plot->findChild<QChartView*>("chtGas");
    QWidget* port = view->viewport();
    const QRectF area = view->chart()->plotArea();
    const auto x = [&](double share) {  // of the plot's width
        return view->mapFromScene(view->chart()->mapToScene(
            QPointF(area.left() + share * area.width(), area.center().y())));
    };
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button) {
        QMouseEvent event(type, at, port->mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(port, &event);
    };
    const QLabel* readout = plot->findChild<QLabel*>("lblReadout");
    const ChartZoom& zoom = plot->Zoomer().Zoom();
    const double minute = 60'000, start = zoom.From();  // 14:00, as the axis counts
    ASSERT_EQ(zoom.To() - start, 29 * minute);

    mouse(QEvent::MouseButtonPress, x(0.25), Qt::LeftButton);
    mouse(QEvent::MouseMove, x(0.5), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, x(0.75), Qt::LeftButton);
    const double pixel = 29 * minute / area.width();
    EXPECT_NEAR(zoom.From(), start + 7.25 * minute, pixel);
    EXPECT_NEAR(zoom.To(), start + 21.75 * minute, pixel);
    plot->WaitForStretch();
    // 14:07:15 to 14:21:45: the readings from 14:07 to 14:09 and 14:20 to 14:22, broken at the
    // disconnection record.
    EXPECT_EQ(plot->Shown().Segments[PlotGas].size(), 2u);
    EXPECT_EQ(plot->Shown().Segments[PlotGas][0].front().Seconds, SecondsOf(At(14, 7, 0)));
    EXPECT_EQ(plot->Shown().Segments[PlotGas][1].back().Seconds, SecondsOf(At(14, 22, 0)));

    const double dragged = zoom.To() - zoom.From();
    QWheelEvent wheel(x(0.5), port->mapToGlobal(x(0.5)), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(port, &wheel);
    EXPECT_NEAR(zoom.To() - zoom.From(), dragged * ChartZoom::kWheelStep, 1);
    EXPECT_TRUE(readout->text().startsWith("05/12/26 14:14:")) << readout->text().toStdString();
    EXPECT_TRUE(readout->text().endsWith("Gas reading no reading"));

    QTest::keyClick(plot, Qt::Key_Home);
    EXPECT_EQ(std::make_tuple(zoom.From(), zoom.To(), &plot->Shown(), plot->ReadingStretch()),
              std::make_tuple(start, start + 29 * minute, &plot->Data(), false));
}

// X (or the menu) asks for a name and says nothing, and writes nothing there, before the whole
// file is written; a cancelled question writes nothing. The viewer closing takes its reading
// with it.
TEST_F(LogWindows, XWritesTheCsvAndACancelledReadingLeavesNothing) {
    Viewer();
    dialogs_.AnswerSaveFileName(PathOf("out.csv"));
    Release(Qt::Key_X);
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    viewer_->Task()->WaitUntilDone();  // the reading run to its end and delivered
    ASSERT_EQ(dialogs_.Calls().size(), 2u);
    EXPECT_EQ(std::tie(dialogs_.Calls()[0].defaultText, LastCall().icon, LastCall().text),
              std::make_tuple(PathOf("Documents/4711.csv"), MsgIcon::Information,
                              "21 records written to " + PathOf("out.csv") +
                                  ".\n1 line skipped (not log records)."));
    EXPECT_EQ(std::ranges::count(Read("out.csv"), '\n'), 22);
    viewer_->findChild<QAction*>("mnuExportCsv")->trigger();  // and a cancelled question
    EXPECT_FALSE(std::filesystem::exists(PathOf("4711.csv")));

    Release(Qt::Key_G);
    const QPointer<frmLogTask> task = viewer_->Task();
    ASSERT_TRUE(task);
    viewer_->close();
    EXPECT_FALSE(task->Running());
    QCoreApplication::sendPostedEvents();
    EXPECT_FALSE(viewer_->Plot());
}

}  // namespace
}  // namespace halvern
