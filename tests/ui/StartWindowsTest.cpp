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

// The splash leaves 3000 ms after it loads, once; closed by the technician before its time,
// the program goes on at once, once.
TEST_F(StartWindows, SplashLeavesOnceThreeSecondsAfterItLoadsOrWhenClosed) {
    VirtualPlatform platform;
    frmOpenS splash(platform);
    QSignalSpy finished(&splash, &frmOpenS::finished);
    splash.show();
    platform.RunUntil(2'999'999);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(splash.isVisible());
    platform.RunUntil(3'000'000);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(splash.isVisible());

    frmOpenS early(platform);
    QSignalSpy goneEarly(&early, &frmOpenS::finished);
    early.show();
    platform.RunUntil(4'000'000);
    early.close();
    EXPECT_EQ(goneEarly.count(), 1);
    platform.RunUntil(30'000'000);
    EXPECT_EQ(goneEarly.count(), 1);
    EXPECT_EQ(finished.count(), 1);
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
