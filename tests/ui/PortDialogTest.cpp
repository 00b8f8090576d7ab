#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

#include "support/UiTest.h"
#include "ui/frmComm.h"

namespace halvern {
namespace {

class PortDialog : public test::UiTest {
  protected:
    // Loads the dialog as at program start, from the port file in the scratch folder.
    void Load() {
        par_ = Par{};
        par_.ProgramFolder = Folder();
        dialog_ = std::make_unique<frmComm>(par_);
        dialog_->show();
        accepted_ = std::make_unique<QSignalSpy>(dialog_.get(), &QDialog::accepted);
        cancelled_ = std::make_unique<QSignalSpy>(dialog_.get(), &frmComm::cancelled);
    }
    QComboBox& Combo() { return *dialog_->findChild<QComboBox*>("cmbCOM"); }
    QLineEdit* Edit() { return Combo().lineEdit(); }
    QPushButton* Button(const char* name) { return dialog_->findChild<QPushButton*>(name); }

    Par par_;
    std::unique_ptr<frmComm> dialog_;
    std::unique_ptr<QSignalSpy> accepted_, cancelled_;
};

TEST_F(PortDialog, ShowsItsCaptionsAndTheStoredPortCreatingTheFileOnFirstUse) {
    // A file without a usable port shows the current port, 0 at start, and is left as it is.
    using Case = std::tuple<const char*, const char*, const char*>;
    const Case cases[] = {Case{nullptr, "0", "0\r\n"}, Case{"5\r\n", "5", "5\r\n"},
                          Case{"COM7\r\n", "0", "COM7\r\n"}};
    for (const auto& [stored, shown, after] : cases) {
        if (stored)
            Write("CommPortNo.txt", stored);
        Load();
        EXPECT_EQ(Combo().currentText(), shown);
        EXPECT_EQ(par_.port, QString(shown).toInt());
        EXPECT_EQ(Read("CommPortNo.txt"), after);
    }
    EXPECT_EQ(dialog_->windowTitle(), "Communication setup");
    EXPECT_EQ(dialog_->findChild<QLabel*>("Label1")->text(), "Select COM port");
    EXPECT_EQ(Button("OKButton")->text(), "OK-Enter");
    EXPECT_EQ(Button("CancelButton")->text(), "Cancel-Esc");
}

TEST_F(PortDialog, ChoosingAnItemStoresAndRewritesThePort) {
    Load();
    // The shown "0" is no item; the list still stands on its first entry, "1".
    QTest::keyClick(&Combo(), Qt::Key_Down);
    QTest::keyClick(&Combo(), Qt::Key_Down);
    EXPECT_EQ(Combo().currentText(), "3");
    EXPECT_EQ(par_.port, 3);
    EXPECT_EQ(Read("CommPortNo.txt"), "3\r\n");
}

TEST_F(PortDialog, TypingKeepsAUsablePortAndWritesIt) {
    // Anything but a whole number from 1 to 32767 becomes a selected "1", so after "x" the 7
    // replaces it.
    using Case = std::pair<const char*, const char*>;
    const Case typed[] = {Case{"12", "12"}, Case{"abc", "1"},   Case{"70000", "1"},
                          Case{"0", "1"},   Case{"32768", "1"}, Case{"x7", "7"}};
    for (const auto& [keys, shown] : typed) {
        Load();
        Edit()->selectAll();
        QTest::keyClicks(Edit(), keys);
        EXPECT_EQ(Combo().currentText(), shown) << keys;
        EXPECT_EQ(par_.port, QString(shown).toInt()) << keys;
        EXPECT_EQ(Read("CommPortNo.txt"), std::string(shown) + "\r\n") << keys;
    }
}

TEST_F(PortDialog, EnterOrOkAcceptsWhereverTheFocusIsAndEscCancelOrCloseCancel) {
    Write("CommPortNo.txt", "5\r\n");
    const std::pair<std::function<void()>, bool> ways[] = {
        {[&] { QTest::keyClick(Edit(), Qt::Key_Return); }, true},
        {[&] { QTest::keyClick(Button("CancelButton"), Qt::Key_Enter); }, true},
        {[&] { QTest::mouseClick(Button("OKButton"), Qt::LeftButton); }, true},
        {[&] { QTest::keyClick(Edit(), Qt::Key_Escape); }, false},
        {[&] { QTest::keyClick(Button("OKButton"), Qt::Key_Escape); }, false},
        {[&] { QTest::mouseClick(Button("CancelButton"), Qt::LeftButton); }, false},
        {[&] { dialog_->close(); }, false},
    };
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        const auto& [way, accepts] = ways[i];
        Load();
        way();
        EXPECT_EQ(accepted_->count(), accepts ? 1 : 0);
        EXPECT_EQ(cancelled_->count(), accepts ? 0 : 1);
        EXPECT_FALSE(dialog_->isVisible());
        EXPECT_EQ(par_.port, 5);
        EXPECT_EQ(Combo().count(), 16);  // Enter did not add the text as an item
    }
}

}  // namespace
}  // namespace halvern
