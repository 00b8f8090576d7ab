// The setup screen and the address dialog on virtual time, driven by keys, against simulated
// detectors while the main polling cycle runs underneath.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <optional>

#include "config/ConfigExchanges.h"
#include "config/frmNewAddr.h"
#include "config/frmSetupT.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

using C = SetupControl;
using Kind = DialogCall::Kind;

class ConfigWindows : public UiTest {
  protected:
    // The program with the detector at address 1 polled until the lamp is green; "s" and "d"
    // open the windows as the application does.
    void Make(sim::Bus bus = sim::DefaultBus()) {
        setup.reset();
        address.reset();
        closed = 0;
        b = std::make_unique<Bench>(std::move(bus));
        const StopCheck stop = [this] { return b->loop.Quitting(); };
        const auto watch = [this](ConfigWindow& w) {
            QObject::connect(&w, &ConfigWindow::closed, [this] { ++closed; });
            w.show();
        };
        b->onOpenSetup = [=, this] {
            setup = std::make_unique<frmSetupT>(b->par, b->link, b->dialogs, b->setupAddress, stop);
            watch(*setup);
        };
        b->onOpenAddress = [=, this] {
            address = std::make_unique<frmNewAddr>(b->par, b->link, b->dialogs, stop);
            watch(*address);
        };
        b->Run(500'000);
    }
    frmSetupT& OpenSetup() {  // outside the polling loop
        b->comm->cmdSetio();
        return *setup;
    }
    frmNewAddr& OpenAddress() {
        b->comm->cmdSetAddr();
        return *address;
    }
    QComboBox& Field(C f) { return *setup->findChild<QComboBox*>(SetupControlName(f)); }
    QLineEdit& Text() { return *address->findChild<QLineEdit*>("txtNewAddr"); }
    static void Key(QWidget& w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&w, key, mods);
    }
    std::vector<SimulatedSerialPort::Written> Writes(int function) const {
        return b->FramesOf(function);
    }
    void Type(C f, const char* text) {
        Field(f).lineEdit()->selectAll();
        QTest::keyClicks(Field(f).lineEdit(), text);
    }
    std::vector<DialogCall> Calls(Kind kind) const {
        std::vector<DialogCall> out;
        for (const auto& c : b->dialogs.Calls())
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }

    std::unique_ptr<Bench> b;
    std::unique_ptr<frmSetupT> setup;
    std::unique_ptr<frmNewAddr> address;
    int closed = 0;
};

// Another address chosen while the setup table of 1 is being read: the screen shows and
// burns the table of 1 all the same. The address dialog, too, writes to the detector it was
// opened for when the address shown changes.
TEST_F(ConfigWindows, BothWindowsShowAndWriteTheDetectorTheyWereOpenedForWhilePollingGoesOn) {
    Make();  // 1 Veridan Xenon 621-2, serial 4711, setup 24 05 02 0A; 7 and 12 too
    b->At(1'000'000, [&] { b->comm->Hotkey('s'); });
    b->At(1'300'000, [&] { b->comm->SelectAddress("7"); });
    b->At(2'500'000, [&] {
        EXPECT_EQ(setup->findChild<QLabel*>("lblAddr")->text(), "1");
        EXPECT_EQ(setup->findChild<QLabel*>("lblSerial")->text(), "4711");
        QStringList shown;
        for (C f : {C::Combo2, C::Combo3, C::Combo4, C::Combo5, C::Combo6, C::Combo9, C::Combo10})
            shown << Field(f).currentText();
        EXPECT_EQ(shown.join(" "), "2 200 ENABLE ALARM YES ON 10");
        EXPECT_FALSE(Field(C::Combo7).isVisible());
        Type(C::Combo10, "35");
        Field(C::Combo6).setCurrentIndex(0);  // "NO" chosen
        Key(Field(C::Combo6), Qt::Key_F3);
    });
    b->At(2'900'000, [&] {
        EXPECT_TRUE(setup->findChild<QLabel*>("Label2")->isVisible());  // "Burning..."
    });
    b->Run(6'000'000);
    ASSERT_EQ(Writes(3).size(), 1u);
    EXPECT_LT(Writes(3)[0].atUs, 1'300'000);  // the choice came after the read went to 1
    const auto writes = Writes(16);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, WriteSetupFrame(1, {0x24, 0x01, 2, 35}));
    EXPECT_EQ(b->bus().Find(1)->Registers(), (std::array<std::uint16_t, 5>{1, 0x2401, 0, 2, 35}));
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(b->dialogs.Calls().empty());
    const auto queries = b->StatusQueries();
    const auto polls = [&](Micros from, Micros to) {
        return std::count_if(queries.begin(), queries.end(),
                             [&](const auto& q) { return q.first > from && q.first < to; });
    };
    EXPECT_GT(polls(2'000'000, 2'500'000), 2);  // while the screen is open
    EXPECT_GT(polls(writes[0].atUs + 500'000, 6'000'000), 10);

    b->par.Main.DetNum = "1";
    b->At(7'000'000, [&] {
        OpenAddress();
        b->par.Main.DetNum = "12";
        QTest::keyClicks(&Text(), "9");
        Key(*address, Qt::Key_F3);
    });
    b->Continue(10'000'000);
    ASSERT_EQ(Writes(6).size(), 1u);
    EXPECT_EQ(Writes(6)[0].bytes, NewAddressFrame(1, 9));
    EXPECT_NE(b->bus().Find(9), nullptr);
    EXPECT_NE(b->bus().Find(12), nullptr);
}

TEST_F(ConfigWindows, UnconfirmedWritesRunUndisturbedToTheLastAttemptThenTellAndClose) {
    Make();
    b->At(1'000'000, [&] { b->comm->Hotkey('s'); });
    b->At(2'000'000, [&] {
        b->bus().InjectFault(1, "ignore writes");
        Key(*setup, Qt::Key_F3);
    });
    // Everything that would start a second exchange or close the screen, during the Burn.
    const std::function<void()> meanwhile[] = {
        [&] { Key(*setup, Qt::Key_F3); },
        [&] { Key(*setup, Qt::Key_F6); },
        [&] { Key(*setup, Qt::Key_Escape); },
        [&] { Key(Field(C::Combo2), Qt::Key_Return); },
        [&] { Key(*setup, Qt::Key_Pause, Qt::ControlModifier); },
        [&] { setup->findChild<QPushButton*>("cmdExit")->click(); },
        [&] { setup->close(); },
    };
    Micros t = 2'300'000;
    for (const auto& action : meanwhile)
        b->At(t += 400'000, [&, action] {
            action();
            EXPECT_TRUE(setup->isVisible() && setup->Burning());
        });
    std::size_t writesWhenTold = 0;
    b->dialogs.onCall = [&](const DialogCall&) {
        writesWhenTold = Writes(16).size();
        EXPECT_TRUE(setup->isVisible());  // told before the screen goes
    };
    b->Run(8'000'000);
    EXPECT_EQ(Writes(16).size(), 3u);
    ASSERT_EQ(b->dialogs.Calls().size(), 1u);  // no print dialog: only the failure
    EXPECT_EQ(b->dialogs.Calls()[0].text, SetupNotConfirmedMessage(1));
    EXPECT_EQ(b->dialogs.Calls()[0].title, "Warning");
    EXPECT_EQ(writesWhenTold, 3u);
    EXPECT_EQ(closed, 1);

    // The same for a new address: six attempts, told, and the main window stays with the
    // address the detector most likely kept, as the message says.
    b->dialogs.onCall = nullptr;
    b->At(9'000'000, [&] {
        OpenAddress();
        QTest::keyClicks(&Text(), "9");
        Key(*address, Qt::Key_F3);
    });
    b->At(10'000'000, [&] {
        Key(*address, Qt::Key_Escape);
        address->close();
        EXPECT_TRUE(address->isVisible() && address->Burning());
    });
    b->Continue(18'000'000);
    EXPECT_EQ(Writes(6).size(), 6u);
    EXPECT_NE(b->dialogs.Calls().back().text.find("goes on polling address 1."), std::string::npos);
    EXPECT_EQ(b->par.Main.DetNum, "1");
    EXPECT_EQ(closed, 2);
    const auto queries = b->StatusQueries();
    EXPECT_GT(queries.back().first, 17'000'000);
    EXPECT_EQ(queries.back().second, 1);
    EXPECT_EQ(b->par.Main.SeNum, "4711");  // the detector still answers there
}

// Every way to leave either window without a Burn, and every refusal of a Burn: nothing is
// written; a refusal says why (an address refusal beeps too) and leaves the window open.
TEST_F(ConfigWindows, ClosingWritesNothingAndARefusedBurnSaysWhyAndStaysOpen) {
    struct Row {
        bool address;        // the address dialog, else the setup screen
        const char* target;  // what has the focus ("": the window); a setup field takes `typed`
        const char* typed;   // nullptr: nothing
        int key;             // 0: the window is closed
        bool ctrl = false;
        std::string said = "";  // the message (its start when `more` follows); "": it closes
        std::string more = "";
        std::string textAfter = "";  // the address's text
        sim::Bus bus = sim::DefaultBus();
    };
    const std::string invalid = "Invalid Address.\rChange is not Saved!";
    const std::string empty = "Empty Field - try again!\nThe field \"Heater Mode\" is empty.";
    const std::string noOption =
        "Not an Option - try again!\nThe field \"Heater Mode\" does not offer \"on\". Its options "
        "are: OFF, AUTO, ON.";
    const std::string taken =
        "Address 12 is taken: Talvek 880, serial number 880 answers there.\rChange is not Saved!";
    const sim::Bus lamp412 = OneDetector(1, 37, 4711, 0, {0x04, 0x01, 3, 10});  // heater mode 3
    const sim::Bus talvek = OneDetector(1, 48, 880, 0, {0x48, 0x04, 1, 35});
    const Row rows[] = {
        {false, "", nullptr, Qt::Key_Escape},
        {false, "Combo4", nullptr, Qt::Key_Return},  // the default button
        {false, "cmdPrint", nullptr, Qt::Key_Escape},
        {false, "", nullptr, Qt::Key_Pause, true},
        {false, "", nullptr, 0},
        {true, "", nullptr, Qt::Key_Escape},
        {true, "", nullptr, Qt::Key_Pause, true},
        {true, "cmdCancel", nullptr, Qt::Key_Return},
        {true, "", nullptr, 0},
        {false, "", nullptr, Qt::Key_F3, false, empty, "not shown", "", lamp412},  // hidden, empty
        {false, "Combo9", "on", Qt::Key_F3, false, noOption, "", "", talvek},
        {true, "txtNewAddr", "248", Qt::Key_Return, false, invalid, "", " "},  // blanked as typed
        {true, "txtNewAddr", "1.5", Qt::Key_Return, false, invalid, "", " "},
        // Two detectors on one address would answer every query together.
        {true, "txtNewAddr", "12", Qt::Key_F3, false, taken, "", "12"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.address ? "address " : "setup ") + r.target + " " +
                     (r.typed ? r.typed : "") + " " + std::to_string(r.key));
        Make(r.bus);
        QWidget& w = r.address ? static_cast<QWidget&>(OpenAddress()) : OpenSetup();
        QWidget* focus = *r.target ? w.findChild<QWidget*>(r.target) : &w;
        if (r.typed && r.address)
            QTest::keyClicks(&Text(), r.typed);
        else if (r.typed)
            Type(C::Combo9, r.typed);
        if (r.key)
            Key(*focus, Qt::Key(r.key), r.ctrl ? Qt::ControlModifier : Qt::NoModifier);
        else
            w.close();
        EXPECT_TRUE(Writes(16).empty() && Writes(6).empty());
        EXPECT_EQ(b->par.Main.DetNum, "1");
        const bool closes = r.said.empty();
        EXPECT_EQ(closed, closes ? 1 : 0);
        EXPECT_EQ(w.isVisible(), !closes);
        const auto& calls = b->dialogs.Calls();
        ASSERT_EQ(calls.size(), closes ? 0u : r.address ? 2u : 1u);
        if (closes)
            continue;
        EXPECT_EQ(calls[0].kind, Kind::Message);
        EXPECT_EQ(r.more.empty() ? calls[0].text : calls[0].text.substr(0, r.said.size()), r.said);
        EXPECT_NE(calls[0].text.find(r.more), std::string::npos) << calls[0].text;
        EXPECT_EQ(calls[0].title, r.address ? "Warning" : "Halvern");
        if (r.typed) {  // a refusal of the text typed
            EXPECT_EQ(calls[0].icon, MsgIcon::Critical);
        }
        if (r.address) {
            EXPECT_EQ(calls[1].kind, Kind::Beep);
            EXPECT_EQ(Text().text().toStdString(), r.textAfter);
            EXPECT_EQ(w.focusWidget(), &Text());
            EXPECT_FALSE(address->Burning());
        }
    }
}

TEST_F(ConfigWindows, F6PrintsACopyAPageAndEnterOnBurnBurns) {
    Make();
    frmSetupT& s = OpenSetup();
    b->dialogs.PrintToPdf(PathOf("setup.pdf"));
    b->dialogs.AnswerPrintDialog(2);
    Key(s, Qt::Key_F6);
    b->dialogs.AnswerPrintDialog(std::nullopt);
    s.findChild<QPushButton*>("cmdPrint")->click();
    ASSERT_EQ(Calls(Kind::PrintWindow).size(), 1u);  // the cancelled dialog printed nothing
    EXPECT_EQ(Calls(Kind::PrintWindow)[0].window, "frmSetupT");
    EXPECT_EQ(Calls(Kind::PrintWindow)[0].copies, 2);
    EXPECT_EQ(PdfPages(PathOf("setup.pdf")), 2);
    Key(*s.findChild<QPushButton*>("Command1"), Qt::Key_Return);
    EXPECT_EQ(Writes(16).size(), 1u);
    EXPECT_EQ(closed, 1);
}

// The address is asked first, and a detector there refuses the Burn; a free address moves the
// detector, the polling and the main window's notice there.
TEST_F(ConfigWindows, ANewAddressIsAskedFirstThenTakesTheDetectorAndThePollingThere) {
    Make();  // 1 Veridan Xenon 621-2, 7 Veridan LAMP 411, 12 Talvek 880 (serial 880)
    b->par.LeftInSnTest[1] = true;
    b->At(1'000'000, [&] { b->comm->Hotkey('d'); });
    b->At(1'500'000, [&] {
        QTest::keyClicks(&Text(), "12");
        Key(Text(), Qt::Key_F3);
    });
    b->At(4'000'000, [&] {
        EXPECT_TRUE(address->isVisible() && !address->Burning());
        QTest::keyClicks(&Text(), "009");  // replaces the selected text
        Key(Text(), Qt::Key_Enter);
    });
    b->Run(8'000'000);
    EXPECT_EQ(Calls(Kind::Message).size(), 1u);
    const auto writes = Writes(6);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, NewAddressFrame(1, 9));
    // One query to each new address, 12 before the refusal and 9 before the write.
    std::vector<int> asked;
    for (const auto& [at, to] : b->StatusQueries())
        if (to != 1 && at < writes[0].atUs)
            asked.push_back(to);
    EXPECT_EQ(asked, (std::vector<int>{12, 9}));
    EXPECT_EQ(b->bus().Find(12)->Serial(), 880);
    EXPECT_EQ(b->bus().Find(9)->Serial(), 4711);
    EXPECT_EQ(b->par.Main.DetNum, "9");
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(b->StatusQueries().back().second, 9);
    EXPECT_EQ(b->par.Main.SeNum, "4711");  // the detector answers there
    EXPECT_TRUE(b->par.LeftInSnTest[9] && !b->par.LeftInSnTest[1]);
}

}  // namespace
}  // namespace halvern::test
