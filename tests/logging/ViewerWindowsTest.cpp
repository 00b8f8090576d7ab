// The log viewer's two windows: the serial-number prompt and the viewer, driven by keys.

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "LogTestSupport.h"
#include "logging/LogViewer.h"
#include "logging/frmCusLog.h"
#include "logging/frmSerForLog.h"
#include "ui/ScriptedDialogs.h"
#include "support/UiTest.h"

namespace halvern {
namespace {

using Kind = DialogCall::Kind;

// 20 lines: cycle records one minute apart, every fifth line a disconnection record.
std::string TwentyLines() {
    Par par;
    testing::SetDecodedValues(par);
    std::string text;
    for (int i = 0; i < 20; ++i) {
        if (i % 5 == 4) {
            text += DisconnectionRecordLine("DDD", testing::At(9, i, 3));
        } else {
            par.ChannelValues[4] = static_cast<float>(i == 1 ? -5 : 23);
            par.ChannelValues[12] = static_cast<float>(i == 1 ? 1234 : i);
            text += CycleRecordLine(par, testing::At(14, i, 27));
        }
    }
    return text;
}

int PdfPages(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(
        QString::fromLatin1(file.readAll()).count(QRegularExpression("/Type\\s*/Page(?!s)")));
}

class ViewerWindows : public test::UiTest {
  protected:
    void SetUp() override {
        test::UiTest::SetUp();
        par_.ProgramFolder = Folder();
        Write("4711.txt", TwentyLines());
    }

    frmSerForLog& Prompt() {
        prompt_ = std::make_unique<frmSerForLog>(par_, dialogs_);
        opened_ = std::make_unique<QSignalSpy>(prompt_.get(), &frmSerForLog::openViewer);
        back_ = std::make_unique<QSignalSpy>(prompt_.get(), &frmSerForLog::closedBack);
        prompt_->show();
        return *prompt_;
    }
    QLineEdit& Ser() { return *prompt_->findChild<QLineEdit*>("txtSer"); }
    void TypeAndEnter(const QString& entry) {
        Ser().clear();
        QTest::keyClicks(&Ser(), entry);
        QTest::keyClick(&Ser(), Qt::Key_Return);
    }

    frmCusLog& Viewer(const QString& entry = "4711") {
        viewer_ = std::make_unique<frmCusLog>(par_, dialogs_, entry);
        closed_ = std::make_unique<QSignalSpy>(viewer_.get(), &frmCusLog::closed);
        viewer_->show();
        return *viewer_;
    }
    QString Cell(const QString& name) {
        const auto* label = viewer_->findChild<QLabel*>(name);
        return label ? label->text() : "<missing " + name + ">";
    }
    // What row r shows: its number, then its columns left to right.
    QStringList Row(int r) {
        QStringList cells{Cell(QString("lblNumber(%1)").arg(r))};
        for (const LogColumn& c : kLogColumns)
            cells << Cell(QString("%1(%2)").arg(c.LabelArray).arg(r));
        return cells;
    }
    QStringList Numbers() {
        QStringList n;
        for (int r = 0; r < kViewerRows; ++r)
            n << Cell(QString("lblNumber(%1)").arg(r));
        return n;
    }
    void Release(Qt::Key key) { QTest::keyClick(viewer_.get(), key); }

    Par par_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<frmSerForLog> prompt_;
    std::unique_ptr<frmCusLog> viewer_;
    std::unique_ptr<QSignalSpy> opened_, back_, closed_;
};

TEST_F(ViewerWindows, PromptStartsEmptyWithItsCaptions) {
    auto& p = Prompt();
    EXPECT_TRUE(p.windowTitle().isEmpty());
    EXPECT_EQ(p.findChild<QLabel*>("Label1")->text(), "Enter detector serial No:");
    EXPECT_EQ(Ser().text(), "");
    EXPECT_EQ(p.findChild<QPushButton*>("cmdOK")->text(), "OK");
    EXPECT_EQ(p.findChild<QPushButton*>("cmdCancel")->text(), "Cancel");
}

struct EntryCase {
    const char* entry;
    const char* message;  // nullptr: the viewer opens
    const char* title;
    bool promptStays;
};

class PromptEntry : public ViewerWindows, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(PromptEntry, OpensTheLogOrSaysWhy) {
    const EntryCase& c = GetParam();
    auto& p = Prompt();
    TypeAndEnter(c.entry);
    if (!c.message) {
        EXPECT_TRUE(dialogs_.Calls().empty());
        ASSERT_EQ(opened_->count(), 1);
        EXPECT_EQ(opened_->at(0).at(0).toString(), c.entry);
        EXPECT_EQ(back_->count(), 0);
        EXPECT_FALSE(p.isVisible());
        // Shown again for the next view-log command, it offers the same entry.
        p.show();
        EXPECT_EQ(Ser().text(), c.entry);
        return;
    }
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_EQ(dialogs_.Calls()[0].text, c.message);
    EXPECT_EQ(dialogs_.Calls()[0].title, c.title);
    EXPECT_EQ(dialogs_.Calls()[0].icon, MsgIcon::Critical);
    EXPECT_EQ(opened_->count(), 0);
    EXPECT_EQ(p.isVisible(), c.promptStays);
    EXPECT_EQ(back_->count(), c.promptStays ? 0 : 1);
    EXPECT_EQ(Ser().text(), c.promptStays ? QString(c.entry) : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PromptEntry,
    ::testing::Values(EntryCase{"4711", nullptr, nullptr, false},
                      EntryCase{" 4711", nullptr, nullptr, false},
                      EntryCase{"47a1", "Invalid Address!", "ERROR", false},
                      EntryCase{"", "Invalid Address!", "ERROR", false},
                      EntryCase{"../4711", "Invalid Address!", "ERROR", false},
                      EntryCase{"13",
                                "File does not exsist - First record to a file and then "
                                "open it!",
                                "MISSING FILE", true}));

TEST_F(ViewerWindows, CancelEscAndCloseBoxAllBringTheMainWindowBack) {
    for (int way = 0; way < 3; ++way) {
        auto& p = Prompt();
        QTest::keyClicks(&Ser(), "4711");
        if (way == 0)
            QTest::mouseClick(p.findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(&Ser(), Qt::Key_Escape);
        else
            p.close();
        EXPECT_EQ(back_->count(), 1) << way;
        EXPECT_EQ(opened_->count(), 0) << way;
        EXPECT_FALSE(p.isVisible()) << way;
        EXPECT_EQ(Ser().text(), "") << way;
    }
    EXPECT_TRUE(dialogs_.Calls().empty());
}

TEST_F(ViewerWindows, ViewerShowsTheFirstTwelveLinesCutIntoColumns) {
    auto& v = Viewer(" 4711");
    EXPECT_EQ(v.windowTitle(), "Log file viewer of detector serial No  4711");
    EXPECT_EQ(Numbers(),
              (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    EXPECT_EQ(Row(0), (QStringList{"1", "NNN0 ", " 14:00:27 ", " 05/12/26", "23", "3", "4.12",
                                   "3.98", "4.05", "1.03", "0.98", "0.4", "2.5", "0 "}));
    // -5 degrees shows '5 ' (its sign falls in the time column, which shows it as cut), a gas
    // reading of 1234 its first three digits.
    EXPECT_EQ(Row(1)[2], " 14:01:27-");
    EXPECT_EQ(Row(1)[4], "5 ");
    EXPECT_EQ(Row(1)[13], "123");
    EXPECT_EQ(Row(4), (QStringList{"5", "DDD  ", " 9:4:3", " 05/12/26", "", "", "", "", "", "", "",
                                   "", "", ""}));
    EXPECT_EQ(Row(11)[2], " 14:11:27 ");
    QStringList headers;
    for (int c = 1; c <= kLogColumnCount; ++c)
        headers << Cell(QString("lblHeader(%1)").arg(c));
    EXPECT_EQ(headers, (QStringList{"Status", "Time", "Date", "T", "G", "Sig1", "Ref", "Sig2",
                                    "Rat1", "Rat2", "NQR1", "NQR2", "LEL"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(
            Cell(QString("lblHelp(%1)").arg(i)),
            (QStringList{"Next Line - PgDn", "Prev Line - PgUp", "Print - P", "Exit - Esc"}[i]));
    }
    EXPECT_EQ(Cell("lblExit"), "Exit-Esc");
}

TEST_F(ViewerWindows, ViewerFitsTheScreenAndNoCellClipsItsWidestText) {
    auto& v = Viewer();
    EXPECT_LE(v.width(), 1366);
    EXPECT_LE(v.height(), 700);
    for (const LogColumn& c : kLogColumns) {
        for (int r = 0; r < kViewerRows; ++r) {
            const auto* cell = v.findChild<QLabel*>(QString("%1(%2)").arg(c.LabelArray).arg(r));
            ASSERT_NE(cell, nullptr);
            const QFontMetrics fm(cell->font());
            EXPECT_LE(fm.horizontalAdvance(QString(c.Length, 'W')), cell->contentsRect().width())
                << c.LabelArray;
        }
    }
    const auto* number = v.findChild<QLabel*>("lblNumber(11)");
    EXPECT_LE(QFontMetrics(number->font()).horizontalAdvance("1025"),
              number->contentsRect().width());
    // Fields keep their spaces, so every character must take the same room.
    const QFontMetrics fm(number->font());
    for (const char* sample : {" ", "i", ".", "W", "8"})
        EXPECT_EQ(fm.horizontalAdvance(sample), fm.horizontalAdvance("0")) << sample;
}

TEST_F(ViewerWindows, PagingActsOnKeyReleaseOneLineAtATime) {
    auto& v = Viewer();
    QTest::keyPress(&v, Qt::Key_PageDown);
    EXPECT_EQ(Row(0)[0], "1");  // held down, nothing moves yet
    QTest::keyRelease(&v, Qt::Key_PageDown);
    EXPECT_EQ(Row(0)[0], "2");
    Release(Qt::Key_PageDown);
    Release(Qt::Key_PageDown);
    EXPECT_EQ(Row(0), (QStringList{"4", "NNN0 ", " 14:03:27 ", " 05/12/26", "23", "3", "4.12",
                                   "3.98", "4.05", "1.03", "0.98", "0.4", "2.5", "3 "}));
    EXPECT_EQ(Row(1)[1], "DDD  ");
    EXPECT_EQ(Numbers().back(), "15");
    Release(Qt::Key_PageUp);
    EXPECT_EQ(Row(0)[0], "3");
    EXPECT_EQ(Row(0)[2], " 14:02:27 ");
    // Past the end of the file the bottom rows come in empty and the numbers keep counting.
    for (int i = 0; i < 10; ++i)
        Release(Qt::Key_PageDown);
    EXPECT_EQ(Row(11), (QStringList{"24", "", "", "", "", "", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(Row(7)[0], "20");
    EXPECT_EQ(Row(7)[1], "DDD  ");
    // Other keys and a release whose press went elsewhere (the Esc that closed the print
    // dialog) do nothing.
    Release(Qt::Key_Down);
    Release(Qt::Key_Space);
    QTest::keyRelease(&v, Qt::Key_Escape);
    QTest::keyRelease(&v, Qt::Key_PageUp);
    EXPECT_EQ(v.TopLine(), 12);
    EXPECT_EQ(closed_->count(), 0);
    EXPECT_TRUE(v.isVisible());
    for (int i = 0; i < 20; ++i)
        Release(Qt::Key_PageUp);
    EXPECT_EQ(Row(0)[0], "1");
    EXPECT_EQ(Row(0)[2], " 14:00:27 ");
}

TEST_F(ViewerWindows, PPrintsOneImageOfTheWindowPerCopyAndACancelPrintsNothing) {
    auto& v = Viewer();
    const std::string pdf = PathOf("viewer.pdf");
    dialogs_.PrintToPdf(pdf);
    dialogs_.AnswerPrintDialog(2);
    Release(Qt::Key_P);
    ASSERT_EQ(dialogs_.Calls().size(), 2u);
    EXPECT_EQ(dialogs_.Calls()[0].kind, Kind::PrintDialog);
    EXPECT_EQ(dialogs_.Calls()[1].kind, Kind::PrintWindow);
    EXPECT_EQ(dialogs_.Calls()[1].window, "frmCusLog");
    EXPECT_EQ(dialogs_.Calls()[1].copies, 2);
    EXPECT_EQ(PdfPages(pdf), 2);

    std::filesystem::remove(pdf);
    dialogs_.ClearCalls();
    dialogs_.AnswerPrintDialog(std::nullopt);
    Release(Qt::Key_P);
    ASSERT_EQ(dialogs_.Calls().size(), 1u);
    EXPECT_EQ(dialogs_.Calls()[0].kind, Kind::PrintDialog);
    EXPECT_FALSE(std::filesystem::exists(pdf));

    // A failed print says nothing either, and the viewer stays as it was.
    dialogs_.ClearCalls();
    dialogs_.AnswerPrintDialog(1);
    dialogs_.AnswerPrintWindow(false);
    Release(Qt::Key_P);
    EXPECT_EQ(dialogs_.Calls().size(), 2u);
    EXPECT_TRUE(v.isVisible());
    EXPECT_EQ(closed_->count(), 0);
}

TEST_F(ViewerWindows, EscOrTheCloseBoxClosesTheViewer) {
    auto& v = Viewer();
    QTest::keyPress(&v, Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    QTest::keyRelease(&v, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
    EXPECT_EQ(closed_->count(), 1);

    auto& again = Viewer();
    again.close();
    EXPECT_EQ(closed_->count(), 1);
}

TEST_F(ViewerWindows, UnreadableLogShowsAnEmptyTable) {
    // The file went away between the prompt's look and the viewer's read.
    Viewer("99");
    EXPECT_EQ(Row(0), (QStringList{"1", "", "", "", "", "", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(Numbers().back(), "12");
    Release(Qt::Key_PageDown);
    EXPECT_EQ(Row(0)[0], "2");
}

}  // namespace
}  // namespace halvern
