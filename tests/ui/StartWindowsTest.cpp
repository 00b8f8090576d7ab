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

QString Caption(const QWidget& w, const char* name) {
    const auto* label = w.findChild<QLabel*>(name);
    return label ? label->text() : QString("<missing %1>").arg(name);
}

TEST_F(StartWindows, SplashShowsItsCaptionsAndLeavesOnceAfterThreeSeconds) {
    VirtualPlatform platform;
    frmOpenS splash(platform);
    QSignalSpy finished(&splash, &frmOpenS::finished);
    splash.show();
    EXPECT_TRUE(splash.windowTitle().isEmpty());
    EXPECT_EQ(Caption(splash, "Label1(0)"), "Halvern for 410, 620, 880 and 890 Series ");
    EXPECT_EQ(Caption(splash, "Label1(1)"), "Gas Detectors");
    EXPECT_FALSE(splash.findChild<QLabel*>("Picture1")->pixmap().isNull());

    // Three seconds to the microsecond: the program's start-up test sees the port dialog come.
    platform.RunUntil(20'000'000);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(splash.isVisible());

    // Closed by the technician before its time: the program goes on at once, once.
    frmOpenS early(platform);
    QSignalSpy goneEarly(&early, &frmOpenS::finished);
    early.show();
    platform.RunUntil(21'000'000);
    early.close();
    EXPECT_EQ(goneEarly.count(), 1);
    platform.RunUntil(30'000'000);
    EXPECT_EQ(goneEarly.count(), 1);
}

TEST_F(StartWindows, AboutBoxShowsItsCaptionsOpensOnceAndClosesByOkOrKeys) {
    QWidget main;
    QPointer<frmAbout> slot;
    frmAbout& box = frmAbout::ShowOnce(slot, &main);
    EXPECT_EQ(&frmAbout::ShowOnce(slot, &main), &box);  // while open: brought forward
    EXPECT_EQ(box.windowTitle(), "About the software");
    EXPECT_EQ(Caption(box, "lblTitle"),
              "Halvern for Veridan 410, 620, 880 and 890 Series Open Path Gas Detectors");
    EXPECT_EQ(Caption(box, "lblDescription"), "Version: Nb");
    EXPECT_EQ(Caption(box, "lblVersion"), "Part: K52017");
    EXPECT_EQ(Caption(box, "Label1"), "Date: 21/7/2019");
    EXPECT_EQ(Caption(box, "lblProgramVersion"), QString("halvern ") + kVersion);
    EXPECT_EQ(box.findChild<QPushButton*>("cmdOK")->text(), "OK");

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
