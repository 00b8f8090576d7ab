#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "support/UiTest.h"
#include "ui/QtDialogs.h"
#include "ui/ScriptedDialogs.h"

namespace halvern {
namespace {

using DialogLayer = test::UiTest;
using Kind = DialogCall::Kind;

int PdfPages(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QString pdf = QString::fromLatin1(file.readAll());
    return static_cast<int>(pdf.count(QRegularExpression("/Type\\s*/Page(?!s)")));
}

struct Screen : QWidget {
    Screen() {
        setObjectName("frmSetupT");
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel("Setup table", this));
        resize(500, 300);
    }
};

TEST_F(DialogLayer, ScriptedAnswersInOrderAndRecordsEveryCall) {
    ScriptedDialogs d;
    d.AnswerYesNo(true);
    d.AnswerInput("12345");
    d.AnswerPrintDialog(2);
    std::vector<Kind> seen;
    d.onCall = [&](const DialogCall& c) { seen.push_back(c.kind); };

    d.Message("Empty Field - try again!", "Error", MsgIcon::Critical);
    EXPECT_TRUE(d.AskYesNo("Are you sure to exit program?", "EXIT PROGRAM", MsgIcon::Critical));
    EXPECT_FALSE(d.AskYesNo("Again?", "Q", MsgIcon::Question));  // nothing scripted: No
    EXPECT_EQ(d.Input("Serial number", "Log", "0"), "12345");
    EXPECT_EQ(d.Input("Serial number", "Log", "0"), "");
    EXPECT_EQ(d.PrintDialog(), 2);
    EXPECT_EQ(d.PrintDialog(), std::nullopt);
    Screen screen;
    EXPECT_TRUE(d.PrintWindow(screen, 3));
    d.AnswerPrintWindow(false);
    EXPECT_FALSE(d.PrintWindow(screen, 1));

    EXPECT_EQ(d.Unanswered(), 3);
    const auto& calls = d.Calls();
    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(seen.size(), 9u);
    EXPECT_EQ(calls[0].kind, Kind::Message);
    EXPECT_EQ(calls[0].text, "Empty Field - try again!");
    EXPECT_EQ(calls[0].title, "Error");
    EXPECT_EQ(calls[0].icon, MsgIcon::Critical);
    EXPECT_EQ(calls[1].kind, Kind::AskYesNo);
    EXPECT_EQ(calls[1].title, "EXIT PROGRAM");
    EXPECT_EQ(calls[2].icon, MsgIcon::Question);
    EXPECT_EQ(calls[3].kind, Kind::Input);
    EXPECT_EQ(calls[3].text, "Serial number");
    EXPECT_EQ(calls[3].defaultText, "0");
    EXPECT_EQ(calls[5].kind, Kind::PrintDialog);
    EXPECT_EQ(calls[7].kind, Kind::PrintWindow);
    EXPECT_EQ(calls[7].window, "frmSetupT");
    EXPECT_EQ(calls[7].copies, 3);
}

TEST_F(DialogLayer, ScriptedPrintingWritesOnePagePerCopy) {
    ScriptedDialogs d;
    d.PrintToPdf(PathOf("scripted.pdf"));
    Screen screen;
    ASSERT_TRUE(d.PrintWindow(screen, 2));
    EXPECT_EQ(PdfPages(PathOf("scripted.pdf")), 2);
}

TEST_F(DialogLayer, RealWindowPrintingWritesOnePagePerCopy) {
    QtDialogs d;
    Screen screen;
    for (int copies : {1, 3}) {
        const auto path = PathOf("copies" + std::to_string(copies) + ".pdf");
        d.PrintToPdf(path);
        ASSERT_TRUE(d.PrintWindow(screen, copies));
        EXPECT_EQ(PdfPages(path), copies);
    }
}

TEST_F(DialogLayer, PrintingIntoAnUnwritablePlaceFails) {
    QtDialogs d;
    Screen screen;
    d.PrintToPdf(PathOf("no-such-folder/out.pdf"));
    EXPECT_FALSE(d.PrintWindow(screen, 1));
}

}  // namespace
}  // namespace halvern
