#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "HalvernVersion.h"
#include "platform/virtual/VirtualPlatform.h"
#include "support/UiTest.h"
#include "ui/frmAbout.h"
#include "ui/frmOpenS.h"

namespace halvern {
namespace {

using StartWindows = test::UiTest;

// Closed by the technician before its time, the splash lets the program go on at once, once.
// (Its three seconds are checked where the port dialog follows it, in the program's start-up.)
TEST_F(StartWindows, SplashClosedEarlyLeavesOnce) {
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

TEST_F(StartWindows, AboutBoxOpensOnceAndClosesByOkOrKeys) {
    QWidget main;
    QPointer<frmAbout> slot;
    frmAbout& box = frmAbout::ShowOnce(slot, &main);
    EXPECT_EQ(&frmAbout::ShowOnce(slot, &main), &box);  // while open: brought forward
    EXPECT_EQ(box.findChild<QLabel*>("lblProgramVersion")->text(), QString("halvern ") + kVersion);
    QSignalSpy closed(&box, &frmAbout::closed);
    QTest::mouseClick(box.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    for (auto key : {Qt::Key_Escape, Qt::Key_Return}) {
        EXPECT_FALSE(box.isVisible());
        EXPECT_EQ(&frmAbout::ShowOnce(slot, &main), &box);  // opens again: the same box
        EXPECT_TRUE(box.isVisible());
        QTest::keyClick(box.findChild<QPushButton*>("cmdOK"), key);
    }
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(closed.count(), 3);
    EXPECT_EQ(main.findChildren<frmAbout*>().size(), 1);
}

}  // namespace
}  // namespace halvern
