// The main window shows the shared state and hands keys and clicks to the commands.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include "monitor/frmMain.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

class MainWindowTest : public UiTest {
  protected:
    Bench b;
    std::unique_ptr<frmMain> w;
    void SetUp() override {
        UiTest::SetUp();
        w = std::make_unique<frmMain>(b.par, *b.comm);
        b.onChanged = [this] { w->Refresh(); };
        w->show();
        QApplication::setActiveWindow(w.get());
        w->FocusHome();
    }
    void TearDown() override {
        b.onChanged = nullptr;
        w.reset();
        UiTest::TearDown();
    }
    template <typename T>
    T* Find(const char* name) {
        auto* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};

// Status bytes above 127 show as their Latin-1 characters; the address list holds 1 to 247.
TEST_F(MainWindowTest, ShowsStatusBytesAsCharactersAndListsEveryAddress) {
    b.par.Main.Status = "\xC4\xE9N7";
    w->Refresh();
    EXPECT_EQ(Find<QLabel>("lblStatus")->text(), QString::fromLatin1("\xC4\xE9N7"));
    auto* list = Find<QComboBox>("cmbChangeAddr");
    ASSERT_EQ(list->count(), 247);
    EXPECT_EQ(list->itemText(246), "247");
}

TEST_F(MainWindowTest, LettersAndEscActAtWindowLevelButLettersTypeIntoTheAddressField) {
    QTest::keyClick(w.get(), Qt::Key_R, Qt::NoModifier);
    EXPECT_TRUE(b.par.SearchMode);
    b.dialogs.AnswerYesNo(false);
    QTest::keyClick(w.get(), Qt::Key_Escape);  // asks before exiting; No changes nothing
    ASSERT_EQ(b.dialogs.Calls().size(), 1u);
    EXPECT_EQ(b.dialogs.Calls()[0].title, "EXIT PROGRAM");
    EXPECT_FALSE(b.exited);
    auto* edit = Find<QComboBox>("cmbChangeAddr")->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "r");
    EXPECT_EQ(edit->text(), "r");
    EXPECT_TRUE(b.par.SearchMode);  // not toggled again
    QTest::keyClick(edit, Qt::Key_F12);
    EXPECT_TRUE(b.par.Tune.TuneActive);
    EXPECT_TRUE(Find<QLabel>("lblF12")->isVisible());
}

TEST_F(MainWindowTest, ALongPortNoticeFitsTheStatusBarAndShowsWhollyOnHover) {
    const std::string notice(300, 'x');
    b.par.Main.PortNotice = notice;
    w->Refresh();
    w->resize(1000, w->height());
    QCoreApplication::processEvents();
    auto* label = Find<QLabel>("lblPortNotice");
    EXPECT_EQ(label->toolTip().toStdString(), notice);
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    EXPECT_LE(label->geometry().right(), w->width());
}

// A number up to 65535 is kept as typed (it only takes effect when chosen); the rest is put
// back half a second later.
TEST(AddressTextAcceptable, IsANumberUpTo65535AsTyped) {
    for (const char* kept : {"1", "247", "1000", "1.5", "-5", "65535", " 7", "1e3"})
        EXPECT_TRUE(AddressTextAcceptable(kept)) << kept;
    for (const char* junk : {"", "abc", "12a", "65536", "65535.5", "1e5"})
        EXPECT_FALSE(AddressTextAcceptable(junk)) << junk;
}

TEST_F(MainWindowTest, JunkTypedIntoTheAddressListIsPutBackHalfASecondLater) {
    b.par.Main.DetNum = "12";
    auto* list = Find<QComboBox>("cmbChangeAddr");
    list->lineEdit()->setFocus();
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), "12a");
    b.plat.RunFor(499'000);
    EXPECT_EQ(list->currentText(), "12a");
    b.plat.RunFor(2'000);
    EXPECT_EQ(list->currentText(), "12");
}

// The field, the label and the polled address agree: only a choice changes the served address.
TEST_F(MainWindowTest, ATypedAddressTakesEffectOnlyWhenChosenFromTheList) {
    auto* list = Find<QComboBox>("cmbChangeAddr");
    EXPECT_EQ(list->currentText(), "1");
    const auto typeAndEnter = [&](const char* text) {
        list->lineEdit()->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), text);
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    };
    typeAndEnter("7");
    EXPECT_EQ(b.par.Main.DetNum, "1");
    EXPECT_EQ(list->currentText(), "1");
    // A list opened and closed with Esc leaves no choice behind for the next Enter.
    list->showPopup();
    QTest::keyClick(list->view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    typeAndEnter("9");
    EXPECT_EQ(b.par.Main.DetNum, "1");
    EXPECT_EQ(list->currentText(), "1");

    list->showPopup();
    list->view()->setCurrentIndex(list->model()->index(6, 0));
    QTest::keyClick(list->view(), Qt::Key_Return);
    EXPECT_EQ(b.par.Main.DetNum, "7");
    EXPECT_EQ(list->currentText(), "7");
    // Stepping through the list with an arrow key is a choice; the wheel turns nothing.
    QTest::keyClick(list->lineEdit(), Qt::Key_Down);
    EXPECT_EQ(b.par.Main.DetNum, "8");
    EXPECT_EQ(list->currentText(), "8");
    QWheelEvent wheel(QPointF(5, 5), list->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(list, &wheel);
    EXPECT_EQ(b.par.Main.DetNum, "8");
    EXPECT_EQ(list->currentText(), "8");
    // A detector found elsewhere shows in the field too once the technician is not in it.
    Find<QPushButton>("cmdMaster")->setFocus();
    b.par.Main.DetNum = "12";
    w->Refresh();
    EXPECT_EQ(list->currentText(), "12");
}

}  // namespace
}  // namespace halvern::test
