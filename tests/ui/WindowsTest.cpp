// The small windows and the program's services to every window: the cancel key, the places
// windows come back to, the dialog layer, the splash and the about box.

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "platform/virtual/VirtualPlatform.h"
#include "support/UiTest.h"
#include "ui/QtDialogs.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPlaces.h"
#include "ui/frmAbout.h"
#include "ui/frmOpenS.h"

namespace halvern {
namespace {

// Key events belong to the application's keyboard: they need the application.
using Windows = test::UiTest;

TEST_F(Windows, CtrlBreakIsTheCancelKeyHoweverTheSystemReportsIt) {
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        quint32 native;
        bool cancels;
    } keys[] = {{Qt::Key_Cancel, Qt::NoModifier, 0, true},  // Windows
                {Qt::Key_Pause, Qt::ControlModifier, 0, true},
                {0, Qt::ControlModifier, 0xff6b, true},  // X11: Break
                {Qt::Key_Pause, Qt::NoModifier, 0, false},
                {0, Qt::ControlModifier, 0xff13, false},  // X11: Pause
                {Qt::Key_C, Qt::ControlModifier, 0, false}};
    for (const auto& k : keys)
        EXPECT_EQ(IsCancelKey(QKeyEvent(QEvent::KeyPress, k.key, k.mods, 0, k.native, 0)),
                  k.cancels)
            << k.key << " " << k.native;
}

TEST(WindowPlaces, AWindowIsKeptWhollyOnTheScreenAndNoLargerThanIt) {
    const QRect screen(0, 0, 1024, 600);
    const struct {
        QRect frame;
        QSize minimum;
        QRect expected;
    } cases[] = {
        {{100, 100, 500, 400}, {}, {100, 100, 500, 400}},  // fits: stays
        {{900, 500, 500, 400}, {}, {524, 200, 500, 400}},  // past the right and bottom edges
        {{-50, -20, 300, 200}, {}, {0, 0, 300, 200}},
        {{5000, 5000, 300, 200}, {}, {724, 400, 300, 200}},  // kept from a larger screen
        {{10, 10, 1240, 700}, {}, {0, 0, 1024, 600}},        // shrunk to the screen
        // Larger than the screen at its smallest: the title bar stays on it.
        {{10, 10, 500, 700}, {400, 665}, {10, 0, 500, 665}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitOnScreen(c.frame, screen, c.minimum), c.expected) << c.frame.x();
}

TEST_F(Windows, AWindowComesBackWhereItWasAlsoInTheNextRunButNeverOffTheScreen) {
    QTemporaryDir dir;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect where(area.left() + 120, area.top() + 140, 300, 200);
    for (int run = 0; run < 2; ++run) {
        WindowPlaces places(dir.filePath("halvern.ini"));
        QWidget w;
        w.setObjectName("frmSomething");
        if (run == 0) {
            w.setGeometry(where);
            w.show();
            w.hide();
            w.move(area.left() + 10, area.top() + 40);  // as a window manager might
        }
        w.show();
        EXPECT_EQ(w.geometry(), where) << run;
        if (run == 1)  // the place kept is off the screen
            w.move(area.right() + 3000, area.bottom() + 3000);
        w.hide();
    }
    WindowPlaces places(dir.filePath("halvern.ini"));
    QWidget w;
    w.setObjectName("frmSomething");
    w.show();
    EXPECT_TRUE(area.contains(w.geometry())) << w.geometry().x() << "," << w.geometry().y();
}

struct Screen : QLabel {
    Screen() : QLabel("Setup table") {
        setObjectName("frmSetupT");
        resize(500, 300);
    }
};

TEST_F(Windows, PrintingAWindowWritesOnePdfPagePerCopyOrReportsFailure) {
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

// The save dialog and a notice wait in no loop of their own: the call returns with the dialog
// open, so the polling's wait that was under way when the key came goes on.
TEST_F(Windows, TheSaveDialogReturnsAtOnceAndHandsOnOnlyAChosenPath) {
    QtDialogs real;
    Screen owner;
    owner.show();
    std::vector<std::string> chosen;
    for (const bool save : {false, true}) {
        real.SaveFileName(owner, "Export log as CSV", PathOf("4711.csv"), "CSV files (*.csv)",
                          [&](const std::string& path) { chosen.push_back(path); });
        auto* dialog = owner.findChild<QFileDialog*>();
        ASSERT_TRUE(dialog && dialog->isVisible());
        dialog->selectFile(QString::fromStdString(PathOf("out.csv")));
        save ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();  // as Save, Cancel do
        QCoreApplication::processEvents();
        EXPECT_EQ(owner.findChild<QFileDialog*>(), nullptr);  // gone with its closing
    }
    EXPECT_EQ(chosen, std::vector<std::string>{PathOf("out.csv")});
    real.Notice(owner, "21 records written to out.csv.", "Export log as CSV", MsgIcon::Information);
    auto* notice = owner.findChild<QMessageBox*>();
    ASSERT_TRUE(notice && notice->isVisible());
    EXPECT_EQ(notice->text(), "21 records written to out.csv.");
    notice->close();
}

// Closed by the technician before its time, the splash lets the program go on at once, once.
// (Its three seconds are checked where the port dialog follows it, in the program's start-up.)
TEST_F(Windows, SplashClosedEarlyLeavesOnce) {
    VirtualPlatform platform;
    frmOpenS early(platform);
    QSignalSpy gone(&early, &frmOpenS::finished);
    early.show();
    platform.RunUntil(1'000'000);
    early.close();
    EXPECT_EQ(gone.count(), 1);
    platform.RunUntil(10'000'000);
    EXPECT_EQ(gone.count(), 1);
}

TEST_F(Windows, AboutBoxOpensOnceAndClosesByOkOrKeys) {
    QWidget main;
    QPointer<frmAbout> slot;
    frmAbout& box = frmAbout::ShowOnce(slot, &main);
    QSignalSpy closed(&box, &frmAbout::closed);
    for (const auto key : {Qt::Key_Space, Qt::Key_Escape, Qt::Key_Return}) {  // space: a click
        EXPECT_EQ(&frmAbout::ShowOnce(slot, &main), &box);  // open or not: the same box
        EXPECT_TRUE(box.isVisible());
        QTest::keyClick(box.findChild<QPushButton*>("cmdOK"), key);
        EXPECT_FALSE(box.isVisible());
    }
    EXPECT_EQ(closed.count(), 3);
    EXPECT_EQ(main.findChildren<frmAbout*>().size(), 1);
}

}  // namespace
}  // namespace halvern
