#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "support/UiTest.h"
#include "platform/virtual/VirtualPlatform.h"
#include "ui/frmAbout.h"
#include "ui/frmOpenS.h"

namespace halvern {
namespace {

using StartWindows = test::UiTest;

QString Caption(const QWidget& w, const char* name) {
    const auto* label = w.findChild<QLabel*>(name);
    return label ? label->text() : QString("<missing %1>").arg(name);
}

TEST_F(StartWindows, SplashLeavesAfterThreeSecondsOnce) {
    VirtualPlatform platform;
    frmOpenS splash(platform);
    QSignalSpy finished(&splash, &frmOpenS::finished);
    splash.show();
    EXPECT_TRUE(splash.windowTitle().isEmpty());
    EXPECT_EQ(Caption(splash, "Label1(0)"), "Halvern for 410, 620, 880 and 890 Series ");
    EXPECT_EQ(Caption(splash, "Label1(1)"), "Gas Detectors");
    EXPECT_FALSE(splash.findChild<QLabel*>("Picture1")->pixmap().isNull());

    platform.RunUntil(2'999'999);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(splash.isVisible());
    platform.RunUntil(3'000'000);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(splash.isVisible());
    platform.RunUntil(20'000'000);
    EXPECT_EQ(finished.count(), 1);
}

TEST_F(StartWindows, AboutBoxCaptions) {
    frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About the software");
    EXPECT_EQ(Caption(about, "lblTitle"),
              "Halvern for Veridan 410, 620, 880 and 890 Series Open Path Gas Detectors");
    EXPECT_EQ(Caption(about, "lblDescription"), "Version: Nb");
    EXPECT_EQ(Caption(about, "lblVersion"), "Part: K52017");
    EXPECT_EQ(Caption(about, "Label1"), "Date: 21/7/2019");
    EXPECT_FALSE(Caption(about, "Label2").isEmpty());
    EXPECT_EQ(about.findChild<QPushButton*>("cmdOK")->text(), "OK");
}

TEST_F(StartWindows, AboutBoxOpensOnceAndClosesByOkOrKeys) {
    QWidget main;
    QPointer<frmAbout> box;
    frmAbout& first = frmAbout::ShowOnce(box, &main);
    EXPECT_EQ(&frmAbout::ShowOnce(box, &main), &first);
    EXPECT_EQ(main.findChildren<frmAbout*>().size(), 1);
    QSignalSpy closed(&first, &frmAbout::closed);

    QTest::mouseClick(first.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(first.isVisible());

    for (auto key : {Qt::Key_Escape, Qt::Key_Return}) {
        EXPECT_EQ(&frmAbout::ShowOnce(box, &main), &first);  // opens again, same box
        EXPECT_TRUE(first.isVisible());
        QTest::keyClick(first.findChild<QPushButton*>("cmdOK"), key);
        EXPECT_FALSE(first.isVisible());
    }
    EXPECT_EQ(closed.count(), 3);
}

}  // namespace
}  // namespace halvern
