// The program's services to every window (the cancel key, the places windows come back to, the
// dialog layer), the splash and the port dialog.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <functional>

#include "platform/qt/PortDevice.h"
#include "platform/virtual/VirtualPlatform.h"
#include "support/UiTest.h"
#include "ui/QtDialogs.h"
#include "ui/WindowKeys.h"
#include "ui/WindowPlaces.h"
#include "ui/frmComm.h"
#include "ui/frmOpenS.h"

namespace halvern {
namespace {

// Key events belong to the application's keyboard: they need the application.
using Windows = test::UiTest;

// On Windows Key_Cancel; on X11 the native Break (0xff6b), not Pause (0xff13).
TEST_F(Windows, CtrlBreakIsTheCancelKeyHoweverTheSystemReportsIt) {
    using K = std::tuple<int, Qt::KeyboardModifiers, quint32, bool>;
    const auto ctrl = Qt::ControlModifier, none = Qt::NoModifier;
    // clang-format off
    for (const auto& [key, mods, native, cancels] : {K{Qt::Key_Cancel, none, 0, true},
        K{Qt::Key_Pause, ctrl, 0, true}, K{0, ctrl, 0xff6b, true}, K{Qt::Key_Pause, none, 0, false},
        K{0, ctrl, 0xff13, false}, K{Qt::Key_C, ctrl, 0, false}})
        // clang-format on
        EXPECT_EQ(IsCancelKey(QKeyEvent(QEvent::KeyPress, key, mods, 0, native, 0)), cancels)
            << key << " " << native;
}

TEST(WindowPlaces, AWindowIsKeptWhollyOnTheScreenAndNoLargerThanIt) {
    const QRect screen(0, 0, 1024, 600);
    // Fits: stays; past the right and bottom edges; kept from a larger screen; shrunk to the
    // screen; larger than the screen at its smallest: the title bar stays on it.
    // clang-format off
    for (const auto& [frame, minimum, expected] : {
  std::tuple<QRect, QSize, QRect>{{100, 100, 500, 400}, {}, {100, 100, 500, 400}},
  {{900, 500, 500, 400}, {}, {524, 200, 500, 400}}, {{-50, -20, 300, 200}, {}, {0, 0, 300, 200}},
  {{5000, 5000, 300, 200}, {}, {724, 400, 300, 200}}, {{10, 10, 1240, 700}, {}, {0, 0, 1024, 600}},
  {{10, 10, 500, 700}, {400, 665}, {10, 0, 500, 665}}})
        // clang-format on
        EXPECT_EQ(FitOnScreen(frame, screen, minimum), expected) << frame.x();
}

// (Never off the screen: FitOnScreen's rows.)
TEST_F(Windows, AWindowComesBackWhereItWasAlsoInTheNextRun) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect where(area.left() + 120, area.top() + 140, 300, 200);
    for (int run = 0; run < 2; ++run) {
        WindowPlaces places(QString::fromStdString(PathOf("halvern.ini")));
        QWidget w;
        w.setObjectName("frmSomething");
        if (run == 0) {
            w.setGeometry(where);
            w.show();
            w.hide();
            w.move(area.left() + 10, area.top() + 40);  // as a window manager might
        }
        w.show();
        EXPECT_EQ(w.geometry(), where) << run;
    }
}

TEST_F(Windows, PrintingAWindowWritesOnePdfPagePerCopyOrReportsFailure) {
    QtDialogs real;
    QLabel screen("Setup table");
    const auto pages = [&](int copies, const std::string& name) {
        real.PrintToPdf(PathOf(name));
        return real.PrintWindow(screen, copies) ? test::PdfPages(PathOf(name)) : -1;
    };
    EXPECT_EQ(std::make_tuple(pages(1, "one.pdf"), pages(3, "three.pdf"),
                              pages(1, "no-such-folder/out.pdf")),
              std::make_tuple(1, 3, -1));
}

// The save dialog and a notice wait in no loop of their own: the call returns with the dialog
// open, so the polling's wait that was under way when the key came goes on.
TEST_F(Windows, TheSaveDialogReturnsAtOnceAndHandsOnOnlyAChosenPath) {
    QtDialogs real;
    QWidget owner;
    owner.show();
    std::vector<std::string> chosen;
    for (const bool save : {false, true}) {
        real.SaveFileName(owner, "Export log as CSV", PathOf("4711.csv"), "CSV files (*.csv)",
                          [&](const std::string& path) { chosen.push_back(path); });
        auto* dialog = owner.findChild<QFileDialog*>();
        ASSERT_TRUE(dialog && dialog->isVisible());
        dialog->selectFile(QString::fromStdString(PathOf("out.csv")));
        save ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();  // as Save, Cancel do
        QCoreApplication::processEvents();
        EXPECT_EQ(owner.findChild<QFileDialog*>(), nullptr);  // gone with its closing
    }
    EXPECT_EQ(chosen, std::vector<std::string>{PathOf("out.csv")});
    real.Notice(owner, "21 records written to out.csv.", "Export log as CSV", MsgIcon::Information);
    auto* notice = owner.findChild<QMessageBox*>();
    EXPECT_TRUE(notice && notice->isVisible() &&
                notice->text() == "21 records written to out.csv.");
}

// Closed by the technician before its time, the splash lets the program go on at once, once.
// (Its three seconds are checked where the port dialog follows it, in the program's start-up.)
TEST_F(Windows, SplashClosedEarlyLeavesOnce) {
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

class PortDialog : public test::UiTest {
  protected:
    // Loads the dialog as at program start, from the port file in the scratch folder.
    void Load() {
        par_ = Par{};
        par_.ProgramFolder = Folder();
        const auto present = [this](const std::string& path) {
            return std::ranges::any_of(ports_, [&](const PortInfo& p) { return p.device == path; });
        };
        dialog_ = std::make_unique<frmComm>(
            par_, PortSources{[this] { return ports_; },
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
    void Type(const char* keys) {
        Edit()->selectAll();
        QTest::keyClicks(Edit(), keys);
    }
    void Click(int row, bool twice = false) {
        const QPoint at = List().visualItemRect(List().topLevelItem(row)).center();
        QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, at);
        if (twice)  // a double click: press, release, then the double click
            QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, at);
    }
    // The number shown, the port and device stored, the port file; the item marked and what
    // OK opens.
    std::string State() {
        const auto* item = List().currentItem();
        return Combo().currentText().toStdString() + "|" + std::to_string(par_.port) + "|" +
               par_.PortDevice + "|" + Read("CommPortNo.txt") + "|" +
               (item && item->isSelected() ? item->text(1).toStdString() : "") + "|" +
               dialog_->findChild<QLabel*>("lblOpens")->text().toStdString();
    }

    std::vector<PortInfo> ports_;
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
    const std::string none = "||No port chosen: type its number or pick it from the list.";
    EXPECT_EQ(State(), "0|0||0\r\n" + none);
    // The shown "0" is no item; the list still stands on its first entry, "1".
    QTest::keyClick(&Combo(), Qt::Key_Down);
    QTest::keyClick(&Combo(), Qt::Key_Down);
    EXPECT_EQ(State().substr(0, 8), "3|3||3\r\n");
    for (const auto& [keys, shown] : {std::pair{"12", "12"}, std::pair{"x7", "7"}}) {
        Type(keys);
        EXPECT_EQ(State().substr(0, State().find('\n') + 1),
                  std::string(shown) + "|" + shown + "||" + shown + "\r\n")
            << keys;
    }
}

TEST_F(PortDialog, EnterOrOkAcceptsWhereverTheFocusIsAndEscCancelOrCloseCancel) {
    Write("CommPortNo.txt", "5\r\n");
    const std::pair<std::function<void()>, bool> ways[] = {
        {[&] { QTest::keyClick(Button("CancelButton"), Qt::Key_Enter); }, true},
        {[&] { QTest::mouseClick(Button("OKButton"), Qt::LeftButton); }, true},
        {[&] { QTest::keyClick(Edit(), Qt::Key_Escape); }, false},
        {[&] { QTest::mouseClick(Button("CancelButton"), Qt::LeftButton); }, false},
        {[&] { dialog_->close(); }, false}};
    for (std::size_t i = 0; i < std::size(ways); ++i) {
        Load();
        ways[i].first();
        // The stored port shown; Enter did not add the text as an item.
        EXPECT_EQ(std::make_tuple(accepted_->count(), cancelled_->count(), dialog_->isVisible(),
                                  par_.port, Combo().currentText(), Combo().count()),
                  std::make_tuple(qsizetype{ways[i].second}, qsizetype{!ways[i].second}, false, 5,
                                  QString("5"), 16))
            << i;
    }
}

// A gateway stored is the choice again at the next start, unless --device names another
// port; an address typed that is no good is said and not stored.
TEST_F(PortDialog, AStoredGatewayIsOpenedUnlessADeviceIsGivenAndABadOneIsNotStored) {
    const std::string stored = "0\r\ntcp://10.0.4.21:4001\r\n";
    Write("CommPortNo.txt", stored);
    givenDevice_ = "/dev/pts/9";
    Load();
    EXPECT_EQ(State(), "0|0||" + stored + "||OK opens /dev/pts/9 (--device).");
    givenDevice_.clear();
    Load();
    EXPECT_EQ(State(), "0|0|tcp://10.0.4.21:4001|" + stored +
                           "||OK opens the network gateway tcp://10.0.4.21:4001.");
    auto* address = dialog_->findChild<QLineEdit*>("txtGateway");
    address->selectAll();
    QTest::keyClicks(address, "myhost:99999");
    EXPECT_EQ(State(),
              "0|0|tcp://myhost:99999|0\r\n||The gateway's address: the port \"99999\" "
              "is not a number from 1 to 65535.");
}

#ifndef _WIN32

// No port is said as such; Refresh lists again (each port with the number that reaches it:
// PortNumbering's rows), the chosen one marked. A pick sets the
// number and the device, or only the device when no number reaches it, and comes after
// --device; a number typed takes over again; a double-click picks and accepts.
TEST_F(PortDialog, RefreshListsThePortsAndAPickSetsTheNumberAndTheDevice) {
    const PortInfo ftdi{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", 0x0403, 0x6001, "A10K3X2B"};
    const PortInfo acm{"/dev/ttyACM0", "USB Serial", "Microchip", 0x04d8, 0x000a, ""};
    Load();
    ports_ = {acm, PortInfo{"/dev/ttyS0", "", "", {}, {}, ""}, ftdi};
    Type("1");
    QTest::mouseClick(Button("cmdRefresh"), Qt::LeftButton);
    EXPECT_EQ(List().topLevelItemCount(), 3);
    EXPECT_EQ(State(), "1|1||1\r\n|/dev/ttyUSB0|OK opens /dev/ttyUSB0.");

    ports_ = {acm, ftdi, PortInfo{"/dev/ttyUSB3", "", "", {}, {}, ""}};
    givenDevice_ = "/dev/pts/9";
    Load();
    EXPECT_EQ(State(), "1|1||1\r\n||OK opens /dev/pts/9 (--device).");
    Click(1);  // port 4, /dev/ttyUSB3
    EXPECT_EQ(State(), "4|4|/dev/ttyUSB3|4\r\n|/dev/ttyUSB3|OK opens /dev/ttyUSB3.");
    Click(2);  // no number reaches it: the number stays, the device is taken
    EXPECT_EQ(State(), "4|4|/dev/ttyACM0|4\r\n|/dev/ttyACM0|OK opens /dev/ttyACM0.");
    Type("3");
    EXPECT_EQ(State(), "3|3||3\r\n||OK opens /dev/pts/9 (--device).");
    givenDevice_.clear();
    Load();
    EXPECT_EQ(State(), "3|3||3\r\n||OK opens /dev/ttyS2, which is not among the ports listed.");
    Click(0, true);
    EXPECT_EQ(accepted_->count(), 1);
    EXPECT_EQ(State().substr(0, 21), "1|1|/dev/ttyUSB0|1\r\n|");
}

#endif  // _WIN32

}  // namespace
}  // namespace halvern
