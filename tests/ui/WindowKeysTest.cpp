#include "ui/WindowKeys.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

#include "support/UiTest.h"

namespace halvern {
namespace {

QKeyEvent Key(int key, Qt::KeyboardModifiers mods, quint32 nativeVirtualKey = 0) {
    return QKeyEvent(QEvent::KeyPress, key, mods, 0, nativeVirtualKey, 0);
}

// Key events belong to the application's keyboard: they need the application.
using WindowKeysTest = test::UiTest;

TEST_F(WindowKeysTest, CtrlBreakIsTheCancelKeyHoweverTheSystemReportsIt) {
    EXPECT_TRUE(IsCancelKey(Key(Qt::Key_Cancel, Qt::NoModifier)));  // Windows
    EXPECT_TRUE(IsCancelKey(Key(Qt::Key_Pause, Qt::ControlModifier)));
    EXPECT_TRUE(IsCancelKey(Key(0, Qt::ControlModifier, 0xff6b)));  // X11: Break
    EXPECT_FALSE(IsCancelKey(Key(Qt::Key_Pause, Qt::NoModifier)));
    EXPECT_FALSE(IsCancelKey(Key(0, Qt::ControlModifier, 0xff13)));  // X11: Pause
    EXPECT_FALSE(IsCancelKey(Key(Qt::Key_C, Qt::ControlModifier)));
}

}  // namespace
}  // namespace halvern
