#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

#include "support/UiTest.h"
#include "ui/QtDialogs.h"

namespace halvern {
namespace {

using DialogLayer = test::UiTest;

struct Screen : QLabel {
    Screen() : QLabel("Setup table") {
        setObjectName("frmSetupT");
        resize(500, 300);
    }
};

TEST_F(DialogLayer, PrintingAWindowWritesOnePdfPagePerCopyOrReportsFailure) {
    QtDialogs real;
    Screen screen;
    const auto pages = [&](int copies, const std::string& name) {
        real.PrintToPdf(PathOf(name));
        return real.PrintWindow(screen, copies) ? test::PdfPages(PathOf(name)) : -1;
    };
    EXPECT_EQ(pages(1, "one.pdf"), 1);
    EXPECT_EQ(pages(3, "three.pdf"), 3);
    EXPECT_EQ(pages(1, "no-such-folder/out.pdf"), -1);
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
