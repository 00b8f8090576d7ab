#include "ui/WindowPlaces.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

#include "support/UiTest.h"

namespace halvern {
namespace {

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

using WindowPlacesRuns = test::UiTest;

TEST_F(WindowPlacesRuns, AWindowComesBackWhereItWasAlsoInTheNextRunButNeverOffTheScreen) {
    QTemporaryDir dir;
    const QString file = dir.filePath("halvern.ini");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect where(area.left() + 120, area.top() + 140, 300, 200);
    {
        WindowPlaces places(file);
        QWidget w;
        w.setObjectName("frmSomething");
        w.setGeometry(where);
        w.show();
        w.hide();
        w.move(area.left() + 10, area.top() + 40);  // as a window manager might
        w.show();
        EXPECT_EQ(w.geometry(), where);
        w.hide();
    }
    {
        WindowPlaces places(file);  // the next run
        QWidget w;
        w.setObjectName("frmSomething");
        w.show();
        EXPECT_EQ(w.geometry(), where);
        w.move(area.right() + 3000, area.bottom() + 3000);
        w.hide();
        w.show();
        EXPECT_TRUE(area.contains(w.geometry())) << w.geometry().x() << "," << w.geometry().y();
    }
}

}  // namespace
}  // namespace halvern
