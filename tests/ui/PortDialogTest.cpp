#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "support/UiTest.h"
#include "ui/frmComm.h"

namespace halvern {
namespace {

class PortDialog : public test::UiTest {
  protected:
    frmComm& Load() {
        par_.ProgramFolder = Folder();
        dialog_ = std::make_unique<frmComm>(par_);
        dialog_->show();
        accepted_ = std::make_unique<QSignalSpy>(dialog_.get(), &QDialog::accepted);
        cancelled_ = std::make_unique<QSignalSpy>(dialog_.get(), &frmComm::cancelled);
        return *dialog_;
    }
    QComboBox& Combo() { return *dialog_->findChild<QComboBox*>("cmbCOM"); }
    QString Shown() { return Combo().currentText(); }

    Par par_;
    std::unique_ptr<frmComm> dialog_;
    std::unique_ptr<QSignalSpy> accepted_, cancelled_;
};

TEST_F(PortDialog, ShowsItsControlsWithTheirCaptions) {
    auto& d = Load();
    EXPECT_EQ(d.windowTitle(), "Communication setup");
    EXPECT_EQ(d.findChild<QLabel*>("Label1")->text(), "Select COM port");
    EXPECT_EQ(d.findChild<QPushButton*>("OKButton")->text(), "OK-Enter");
    EXPECT_TRUE(d.findChild<QPushButton*>("OKButton")->isDefault());
    EXPECT_EQ(d.findChild<QPushButton*>("CancelButton")->text(), "Cancel-Esc");
    EXPECT_NE(d.findChild<QWidget*>("Frame2"), nullptr);
    ASSERT_EQ(Combo().count(), 16);
    EXPECT_EQ(Combo().itemText(0), "1");
    EXPECT_EQ(Combo().itemText(15), "16");
    EXPECT_TRUE(Combo().isEditable());
}

TEST_F(PortDialog, FirstUseShowsZeroAndCreatesTheFileHoldingZero) {
    Load();
    EXPECT_EQ(Shown(), "0");
    EXPECT_EQ(par_.port, 0);
    EXPECT_EQ(Read("CommPortNo.txt"), "0\r\n");
}

TEST_F(PortDialog, StoredPortIsShownAndKeptUntouched) {
    Write("CommPortNo.txt", "5\r\n");
    Load();
    EXPECT_EQ(Shown(), "5");
    EXPECT_EQ(par_.port, 5);
    EXPECT_EQ(Read("CommPortNo.txt"), "5\r\n");
}

TEST_F(PortDialog, GarbageInTheFileShowsZeroWithoutTouchingIt) {
    Write("CommPortNo.txt", "COM7\r\n");
    Load();
    EXPECT_EQ(Shown(), "0");
    EXPECT_EQ(par_.port, 0);
    EXPECT_EQ(Read("CommPortNo.txt"), "COM7\r\n");
}

TEST_F(PortDialog, ChoosingAnItemStoresAndRewritesThePort) {
    Load();
    // The shown "0" is no item; the list still stands on its first entry, "1".
    QTest::keyClick(&Combo(), Qt::Key_Down);
    QTest::keyClick(&Combo(), Qt::Key_Down);
    EXPECT_EQ(Shown(), "3");
    EXPECT_EQ(par_.port, 3);
    EXPECT_EQ(Read("CommPortNo.txt"), "3\r\n");
}

struct Typed {
    const char* keys;
    const char* shown;
};

class PortDialogTyping : public PortDialog, public ::testing::WithParamInterface<Typed> {};

TEST_P(PortDialogTyping, KeepsAUsablePortAndWritesIt) {
    Write("CommPortNo.txt", "5\r\n");
    Load();
    QLineEdit& edit = *Combo().lineEdit();
    edit.selectAll();
    QTest::keyClicks(&edit, GetParam().keys);
    EXPECT_EQ(Shown(), GetParam().shown);
    EXPECT_EQ(par_.port, QString(GetParam().shown).toInt());
    EXPECT_EQ(Read("CommPortNo.txt"), std::string(GetParam().shown) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Entries, PortDialogTyping,
                         ::testing::Values(Typed{"12", "12"}, Typed{"32767", "32767"},
                                           Typed{"abc", "1"}, Typed{"70000", "1"}, Typed{"0", "1"},
                                           Typed{"32768", "1"}, Typed{"-", "1"},
                                           Typed{"x7", "7"}),  // the "1" left by "x" is selected
                         [](const auto& info) { return "Typed" + std::to_string(info.index); });

TEST_F(PortDialog, DeletingTheTextLeavesOne) {
    Load();
    QLineEdit& edit = *Combo().lineEdit();
    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "1");
    EXPECT_EQ(Read("CommPortNo.txt"), "1\r\n");
}

TEST_F(PortDialog, EnterAcceptsWhereverTheFocusIs) {
    Write("CommPortNo.txt", "5\r\n");
    Load();
    QTest::keyClick(Combo().lineEdit(), Qt::Key_Return);
    EXPECT_EQ(accepted_->count(), 1);
    EXPECT_EQ(cancelled_->count(), 0);
    EXPECT_FALSE(dialog_->isVisible());  // hidden, still loaded, port kept
    EXPECT_EQ(par_.port, 5);
    EXPECT_EQ(Combo().count(), 16);  // Enter did not add the text as an item
}

TEST_F(PortDialog, EnterOnTheCancelButtonStillAccepts) {
    Load();
    QTest::keyClick(dialog_->findChild<QPushButton*>("CancelButton"), Qt::Key_Enter);
    EXPECT_EQ(accepted_->count(), 1);
    EXPECT_EQ(cancelled_->count(), 0);
}

TEST_F(PortDialog, OkButtonAccepts) {
    Load();
    QTest::mouseClick(dialog_->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    EXPECT_EQ(accepted_->count(), 1);
}

TEST_F(PortDialog, EscCancelOrCloseBoxCancel) {
    const std::function<void(frmComm&)> ways[] = {
        [](frmComm& d) {
            QTest::keyClick(d.findChild<QComboBox*>("cmbCOM")->lineEdit(), Qt::Key_Escape);
        },
        [](frmComm& d) { QTest::keyClick(d.findChild<QPushButton*>("OKButton"), Qt::Key_Escape); },
        [](frmComm& d) {
            QTest::mouseClick(d.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
        },
        [](frmComm& d) { d.close(); },
    };
    for (const auto& way : ways) {
        auto& d = Load();
        way(d);
        EXPECT_EQ(cancelled_->count(), 1);
        EXPECT_EQ(accepted_->count(), 0);
        EXPECT_FALSE(d.isVisible());
    }
}

}  // namespace
}  // namespace halvern
