#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

#include "support/UiTest.h"
#include "ui/QtDialogs.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

using DialogLayer = test::UiTest;
using Kind = DialogCall::Kind;

struct Screen : QLabel {
    Screen() : QLabel("Setup table") {
        setObjectName("frmSetupT");
        resize(500, 300);
    }
};

TEST_F(DialogLayer, ScriptedAnswersInOrderAndRecordsEveryCall) {
    ScriptedDialogs d;
    d.AnswerYesNo(true);
    d.AnswerInput("12345");
    d.AnswerPrintDialog(2);
    int seen = 0;
    d.onCall = [&](const DialogCall&) { ++seen; };
    Screen screen;

    d.Message("Empty Field - try again!", "Error", MsgIcon::Critical);
    EXPECT_TRUE(d.AskYesNo("Are you sure to exit program?", "EXIT PROGRAM", MsgIcon::Critical));
    EXPECT_EQ(d.Input("Serial number", "Log", "0"), "12345");
    EXPECT_EQ(d.PrintDialog(), 2);
    EXPECT_TRUE(d.PrintWindow(screen, 3));
    // With the script used up: No, a cancelled input and print dialog; printing still works.
    EXPECT_FALSE(d.AskYesNo("Again?", "Q", MsgIcon::Question));
    EXPECT_EQ(d.Input("Serial number", "Log", "0"), "");
    EXPECT_EQ(d.PrintDialog(), std::nullopt);
    d.AnswerPrintWindow(false);
    EXPECT_FALSE(d.PrintWindow(screen, 1));

    EXPECT_EQ(d.Unanswered(), 3);
    EXPECT_EQ(seen, 9);
    const auto& calls = d.Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].text, "Empty Field - try again!");
    EXPECT_EQ(calls[0].title, "Error");
    EXPECT_EQ(calls[0].icon, MsgIcon::Critical);
    EXPECT_EQ(calls[2].defaultText, "0");
    EXPECT_EQ(calls[4].kind, Kind::PrintWindow);
    EXPECT_EQ(calls[4].window, "frmSetupT");
    EXPECT_EQ(calls[4].copies, 3);
}

TEST_F(DialogLayer, PrintingAWindowWritesOnePdfPagePerCopyOrReportsFailure) {
    QtDialogs real;
    ScriptedDialogs scripted;
    Screen screen;
    const auto pages = [&](auto& dialogs, int copies, const std::string& name) {
        dialogs.PrintToPdf(PathOf(name));
        return dialogs.PrintWindow(screen, copies) ? test::PdfPages(PathOf(name)) : -1;
    };
    EXPECT_EQ(pages(real, 1, "one.pdf"), 1);
    EXPECT_EQ(pages(real, 3, "three.pdf"), 3);
    EXPECT_EQ(pages(scripted, 2, "scripted.pdf"), 2);
    EXPECT_EQ(pages(real, 1, "no-such-folder/out.pdf"), -1);
}

// The save dialog and a notice wait in no loop of their own: the call returns with the dialog open,
// so the polling's wait that was under way when the key came goes on.
TEST_F(DialogLayer, TheSaveDialogReturnsAtOnceAndHandsOnOnlyAChosenPath) {
    QtDialogs real;
    Screen owner;
    owner.show();
    std::vector<std::string> chosen;
    const auto open = [&] {
        real.SaveFileName(owner, "Export log as CSV", PathOf("4711.csv"), "CSV files (*.csv)",
                          [&](const std::string& path) { chosen.push_back(path); });
        auto* dialog = owner.findChild<QFileDialog*>();
        EXPECT_TRUE(dialog && dialog->isVisible());
        return dialog;
    };
    open()->reject();
    QCoreApplication::processEvents();
    EXPECT_TRUE(chosen.empty());
    EXPECT_EQ(owner.findChild<QFileDialog*>(), nullptr);  // gone with its closing

    QFileDialog* dialog = open();
    dialog->selectFile(QString::fromStdString(PathOf("out.csv")));
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, std::vector<std::string>{PathOf("out.csv")});

    real.Notice(owner, "21 records written to out.csv.", "Export log as CSV",
                MsgIcon::Information);  // also returns with the message open
    auto* notice = owner.findChild<QMessageBox*>();
    ASSERT_TRUE(notice && notice->isVisible());
    EXPECT_EQ(notice->text(), "21 records written to out.csv.");
    notice->close();
}

}  // namespace
}  // namespace halvern
