// The log viewer's two windows: the serial-number prompt and the viewer, driven by keys.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <memory>

#include "LogTestSupport.h"
#include "logging/LogViewer.h"
#include "logging/frmCusLog.h"
#include "logging/frmSerForLog.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

class ViewerWindows : public testing::LogTest {
  protected:
    // 20 lines: cycle records one minute apart, every fifth line a disconnection record.
    void SetUp() override {
        LogTest::SetUp();
        std::string text;
        for (int i = 0; i < 20; ++i) {
            par.ChannelValues[4] = i == 1 ? -5 : 23;
            par.ChannelValues[12] = i == 1 ? 1234 : i;
            text += i % 5 == 4 ? DisconnectionRecordLine("DDD", testing::At(9, i, 3))
                               : CycleRecordLine(par, testing::At(14, i, 27));
        }
        Write("4711.txt", text);
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
    void Release(Qt::Key key) { QTest::keyClick(viewer_.get(), key); }

    ScriptedDialogs dialogs_;
    std::unique_ptr<frmSerForLog> prompt_;
    std::unique_ptr<frmCusLog> viewer_;
    std::unique_ptr<QSignalSpy> opened_, back_, closed_;
};

// A number with a log opens the viewer; not a number closes the prompt; a number without a log,
// or with a folder (FIFO, device) of the log's name, keeps it open for another try.
TEST_F(ViewerWindows, PromptOpensTheViewerOrSaysWhyNot) {
    std::filesystem::create_directory(PathOf("12.txt"));
    struct Case {
        const char* entry;
        std::string text, title;  // the message; none when the viewer opens
        bool stays;
    };
    const Case cases[] = {
        {" 4711", "", "", false},
        {"47a1", "Invalid Address!", "ERROR", false},
        {"../4711", "Invalid Address!", "ERROR", false},
        {"13", "File does not exsist - First record to a file and then open it!", "MISSING FILE",
         true},
        {"12", "Cannot read " + PathOf("12.txt") + ": it is a folder, not a regular file", "ERROR",
         true}};
    for (const auto& [entry, text, title, stays] : cases) {
        dialogs_.ClearCalls();
        auto& p = Prompt();
        QTest::keyClicks(&Ser(), entry);
        QTest::keyClick(&Ser(), Qt::Key_Return);
        const bool opens = text.empty();
        ASSERT_EQ(dialogs_.Calls().size(), opens ? 0u : 1u) << entry;
        ASSERT_EQ(opened_->count(), opens ? 1 : 0) << entry;
        if (opens) {
            EXPECT_EQ(opened_->at(0).at(0).toString(), entry);
        } else {
            EXPECT_EQ(dialogs_.Calls()[0].text, text);
            EXPECT_EQ(dialogs_.Calls()[0].title, title);
            EXPECT_EQ(dialogs_.Calls()[0].icon, MsgIcon::Critical);
        }
        EXPECT_EQ(p.isVisible(), stays) << entry;
        EXPECT_EQ(back_->count(), opens || stays ? 0 : 1) << entry;
        EXPECT_EQ(Ser().text(), opens || stays ? QString(entry) : QString()) << entry;
    }
}

TEST_F(ViewerWindows, PromptCancelEscAndCloseBoxAllBringTheMainWindowBack) {
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

TEST_F(ViewerWindows, ViewerShowsTheFirstTwelveLinesCutIntoColumns) {
    auto& v = Viewer(" 4711");
    EXPECT_EQ(v.windowTitle(), "Log file viewer of detector serial No  4711");
    EXPECT_EQ(Row(0), (QStringList{"1", "NNN0 ", " 14:00:27 ", " 05/12/26", "23", "3", "4.12",
                                   "3.98", "4.05", "1.03", "0.98", "0.4", "2.5", "0 "}));
    // -5 degrees shows '5 ' (its sign falls in the time column, which shows it as cut), a gas
    // reading of 1234 its first three digits.
    EXPECT_EQ((QStringList{Row(1)[2], Row(1)[4], Row(1)[13]}),
              (QStringList{" 14:01:27-", "5 ", "123"}));
    EXPECT_EQ(Row(4), (QStringList{"5", "DDD  ", " 9:4:3", " 05/12/26", "", "", "", "", "", "", "",
                                   "", "", ""}));
}

TEST_F(ViewerWindows, KeysActOnReleasePagingOneLineOrClosing) {
    auto& v = Viewer();
    QTest::keyPress(&v, Qt::Key_PageDown);
    EXPECT_EQ(v.TopLine(), 0);  // held down, nothing moves yet
    QTest::keyRelease(&v, Qt::Key_PageDown);
    Release(Qt::Key_PageDown);
    Release(Qt::Key_PageDown);
    Release(Qt::Key_PageUp);
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[2], Row(0)[13]}),
              (QStringList{"3", " 14:02:27 ", "2 "}));
    // Other keys and a release whose press went elsewhere (the Esc that closed the print
    // dialog) do nothing.
    Release(Qt::Key_Down);
    QTest::keyRelease(&v, Qt::Key_Escape);
    QTest::keyRelease(&v, Qt::Key_PageUp);
    EXPECT_EQ(v.TopLine(), 2);
    // Past the end of the file the bottom rows come in empty and the numbers keep counting.
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
// first again.
TEST_F(ViewerWindows, EndShowsTheLastLinesOfALongLogAndTheWindowSaysWhichLinesItHolds) {
    std::string text;
    for (int i = 1; i <= 3000; ++i)
        text += "NNN" + std::to_string(i) + "\r\n";
    Write("4711.txt", text);
    auto& v = Viewer();
    const auto extent = [&] { return v.findChild<QLabel*>("lblExtent")->text(); };
    EXPECT_EQ(extent(), "lines 1-1025 of 3000");
    Write("4711.txt", text + "NNN3001\r\n");  // a record comes in meanwhile
    Release(Qt::Key_End);
    EXPECT_EQ(extent(), "lines 1977-3001 of 3001");
    EXPECT_EQ((QStringList{Row(11)[0], Row(11)[1], Row(0)[0], Row(0)[1]}),
              (QStringList{"3001", "NNN30", "2990", "NNN29"}));
    Release(Qt::Key_PageDown);  // the bottom row shows the last line already
    EXPECT_EQ(Row(11)[0], "3001");
    Release(Qt::Key_PageUp);
    EXPECT_EQ(Row(11)[0], "3000");
    QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(extent(), "lines 1-1025 of 3001");
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[1]}), (QStringList{"1", "NNN1"}));
    // A log the table holds whole says nothing, and End brings its last line to the bottom.
    Write("4711.txt", "NNN1\r\nNNN2\r\n");
    Release(Qt::Key_End);
    EXPECT_EQ(extent(), "");
    EXPECT_EQ((QStringList{Row(0)[0], Row(1)[1]}), (QStringList{"1", "NNN2"}));
}

// A big log opens at once with its first lines; its lines are counted, and End reads its last
// lines, away from the polling's thread, with progress.
TEST_F(ViewerWindows, ABigLogIsCountedAndItsLastLinesReadAwayFromThePolling) {
    std::string text;
    const std::string pad(80, ' ');
    for (int i = 1; i <= 50'000; ++i)  // 4.5 MB
        text += "NNN" + std::to_string(i) + pad + "\r\n";
    Write("4711.txt", text);
    auto& v = Viewer();
    const auto extent = [&] { return v.findChild<QLabel*>("lblExtent")->text(); };
    EXPECT_EQ(extent(), "lines 1-1025 of ... (counting)");
    EXPECT_EQ((QStringList{Row(0)[0], Row(0)[1]}), (QStringList{"1", "NNN1 "}));
    v.WaitForLineCount();
    EXPECT_EQ(extent(), "lines 1-1025 of 50000");
    Release(Qt::Key_End);
    ASSERT_NE(v.Task(), nullptr);
    v.Task()->WaitUntilDone();
    EXPECT_EQ(extent(), "lines 48976-50000 of 50000");
    EXPECT_EQ((QStringList{Row(11)[0], Row(11)[1]}), (QStringList{"50000", "NNN50"}));
    Release(Qt::Key_Home);
    EXPECT_EQ(extent(), "lines 1-1025 of ... (counting)");
    EXPECT_EQ(Row(0)[0], "1");
}

TEST_F(ViewerWindows, PPrintsOneImageOfTheWindowPerCopyAndACancelPrintsNothing) {
    Viewer();
    const std::string pdf = PathOf("viewer.pdf");
    dialogs_.PrintToPdf(pdf);
    dialogs_.AnswerPrintDialog(2);
    Release(Qt::Key_P);
    ASSERT_EQ(dialogs_.Calls().size(), 2u);
    EXPECT_EQ(dialogs_.Calls()[1].kind, DialogCall::Kind::PrintWindow);
    EXPECT_EQ(dialogs_.Calls()[1].window, "frmCusLog");
    EXPECT_EQ(test::PdfPages(pdf), 2);

    std::filesystem::remove(pdf);
    dialogs_.ClearCalls();
    dialogs_.AnswerPrintDialog(std::nullopt);
    Release(Qt::Key_P);
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_EQ(dialogs_.Calls()[0].kind, DialogCall::Kind::PrintDialog);
    EXPECT_FALSE(std::filesystem::exists(pdf));
}

}  // namespace
}  // namespace halvern
