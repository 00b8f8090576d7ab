#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/qt/PortDevice.h"
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
        const auto present = [this](const std::string& path) {
            return std::any_of(ports_.begin(), ports_.end(),
                               [&](const PortInfo& p) { return p.device == path; });
        };
        dialog_ = std::make_unique<frmComm>(
            par_, PortSources{[this] { return ++listings_, ports_; },
                              [present](int n) { return DeviceForPort(n, present); }, givenDevice_,
                              false});
        dialog_->show();
        accepted_ = std::make_unique<QSignalSpy>(dialog_.get(), &QDialog::accepted);
        cancelled_ = std::make_unique<QSignalSpy>(dialog_.get(), &frmComm::cancelled);
    }
    QComboBox& Combo() { return *dialog_->findChild<QComboBox*>("cmbCOM"); }
    QLineEdit* Edit() { return Combo().lineEdit(); }
    QPushButton* Button(const char* name) { return dialog_->findChild<QPushButton*>(name); }
    QTreeWidget& List() { return *dialog_->findChild<QTreeWidget*>("lstPorts"); }
    QString Label(const char* name) { return dialog_->findChild<QLabel*>(name)->text(); }
    std::vector<QString> Rows() {
        std::vector<QString> rows;
        for (int i = 0; i < List().topLevelItemCount(); ++i) {
            const auto* item = List().topLevelItem(i);
            rows.push_back(item->text(0) + "|" + item->text(1) + "|" + item->text(2) + "|" +
                           item->text(3));
        }
        return rows;
    }
    void Click(int row, bool twice = false) {
        const QPoint at = List().visualItemRect(List().topLevelItem(row)).center();
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, at);
        if (twice)  // a double click: press, release, then the double click
            QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, at);
    }
    // The number shown, the port and device stored, the port file.
    std::string State() {
        return Combo().currentText().toStdString() + "|" + std::to_string(par_.port) + "|" +
               par_.PortDevice + "|" + Read("CommPortNo.txt");
    }
    QString Marked() {
        const auto* item = List().currentItem();
        return item && item->isSelected() ? item->text(1) : QString();
    }

    std::vector<PortInfo> ports_;
    int listings_ = 0;
    std::string givenDevice_;
    Par par_;
    std::unique_ptr<frmComm> dialog_;
    std::unique_ptr<QSignalSpy> accepted_, cancelled_;
};

// The stored port is shown, the file created on first use. Choosing an item or typing stores
// the port and rewrites the file; what is typed but a port (the numbers are read as the port
// file's tests show) becomes a selected "1", so after "x" the 7 replaces it.
TEST_F(PortDialog, ShowsTheStoredPortAndStoresTheOneChosenOrTyped) {
    Load();
    EXPECT_EQ(State(), "0|0||0\r\n");
    // The shown "0" is no item; the list still stands on its first entry, "1".
    QTest::keyClick(&Combo(), Qt::Key_Down);
    QTest::keyClick(&Combo(), Qt::Key_Down);
    EXPECT_EQ(State(), "3|3||3\r\n");
    Write("CommPortNo.txt", "5\r\n");
    Load();
    EXPECT_EQ(State(), "5|5||5\r\n");
    for (const auto& [keys, shown] : {std::pair{"12", "12"}, std::pair{"x7", "7"}}) {
        Edit()->selectAll();
        QTest::keyClicks(Edit(), keys);
        EXPECT_EQ(State(), std::string(shown) + "|" + shown + "||" + shown + "\r\n") << keys;
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

#ifndef _WIN32

const PortInfo kFtdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", 0x0403, 0x6001, "A10K3X2B"};
const PortInfo kAcm{"/dev/ttyACM0", "USB Serial", "Microchip", 0x04d8, 0x000a, ""};

// No port is said as such; Refresh lists again, each port with the number that reaches it,
// the chosen one marked.
TEST_F(PortDialog, RefreshListsThePortsWithTheNumberThatReachesEachAndMarksTheChosenOne) {
    Load();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Label("lblPortsFound"),
              "No serial ports found: plug in the adapter and press Refresh.");
    EXPECT_EQ(Label("lblOpens"), "No port chosen: type its number or pick it from the list.");
    ports_ = {kFtdi};
    QTest::mouseClick(Button("cmdRefresh"), Qt::LeftButton);
    EXPECT_EQ(Label("lblPortsFound"), "1 serial port found.");
    ports_ = {kAcm, PortInfo{"/dev/ttyS0", "", "", {}, {}, ""}, kFtdi};
    Edit()->selectAll();
    QTest::keyClicks(Edit(), "1");
    const int before = listings_;
    QTest::mouseClick(Button("cmdRefresh"), Qt::LeftButton);
    EXPECT_EQ(listings_, before + 1);
    // ttyS0 is no port 1 while the adapter is there.
    EXPECT_EQ(Rows(),
              (std::vector<QString>{"1|/dev/ttyUSB0|FT232R USB UART|FTDI",
                                    "-|/dev/ttyACM0|USB Serial|Microchip", "-|/dev/ttyS0||"}));
    EXPECT_EQ(Marked(), "/dev/ttyUSB0");
    EXPECT_EQ(Label("lblOpens"), "OK opens /dev/ttyUSB0.");
    EXPECT_EQ(Label("lblPortsFound"), "3 serial ports found.");
}

TEST_F(PortDialog, PickingSetsTheNumberAndTheDeviceAndTypingANumberTakesOverAgain) {
    ports_ = {kAcm, kFtdi, PortInfo{"/dev/ttyUSB3", "", "", {}, {}, ""}};
    givenDevice_ = "/dev/pts/9";  // --device: a pick in the list comes after it
    Load();
    EXPECT_EQ(Marked(), "");
    EXPECT_EQ(Label("lblOpens"), "OK opens /dev/pts/9 (--device).");

    Click(1);  // port 4, /dev/ttyUSB3
    EXPECT_EQ(State(), "4|4|/dev/ttyUSB3|4\r\n");
    Click(2);  // no number reaches it: the number stays, the device is taken
    EXPECT_EQ(State(), "4|4|/dev/ttyACM0|4\r\n");
    EXPECT_EQ(Label("lblOpens"), "OK opens /dev/ttyACM0.");

    Edit()->selectAll();
    QTest::keyClicks(Edit(), "3");
    EXPECT_EQ(par_.PortDevice, "");
    EXPECT_EQ(Marked(), "");
    EXPECT_EQ(Label("lblOpens"), "OK opens /dev/pts/9 (--device).");
    givenDevice_.clear();
    Load();
    EXPECT_EQ(Label("lblOpens"), "OK opens /dev/ttyS2, which is not among the ports listed.");

    Click(0, true);  // a double-click picks and accepts
    EXPECT_EQ(accepted_->count(), 1);
    EXPECT_EQ(State(), "1|1|/dev/ttyUSB0|1\r\n");
}

#endif  // _WIN32

}  // namespace
}  // namespace halvern
