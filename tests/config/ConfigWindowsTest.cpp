// The setup screen and the address dialog on virtual time, driven by keys, against simulated
// detectors while the main polling cycle runs underneath.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "config/ConfigExchanges.h"
#include "config/frmNewAddr.h"
#include "config/frmSetupT.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

using C = SetupControl;

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
    QComboBox& Field(C f) { return *setup->findChild<QComboBox*>(SetupControlName(f)); }
    QLineEdit& Text() { return *address->findChild<QLineEdit*>("txtNewAddr"); }
    static void Key(QWidget& w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(&w, key, mods);
    }
    void Type(C f, const char* text) {
        Field(f).lineEdit()->selectAll();
        QTest::keyClicks(Field(f).lineEdit(), text);
    }
    std::size_t Writes(int function) const { return b->FramesOf(function).size(); }

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
        Type(C::Combo10, "35");
        Field(C::Combo6).setCurrentIndex(0);  // "NO" chosen
        Key(Field(C::Combo6), Qt::Key_F3);
    });
    b->Run(6'000'000);
    ASSERT_EQ(Writes(3), 1u);
    EXPECT_LT(b->FramesOf(3)[0].atUs, 1'300'000);  // the choice came after the read went to 1
    const auto writes = b->FramesOf(16);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].bytes, WriteSetupFrame(1, {0x24, 0x01, 2, 35}));
    EXPECT_TRUE(closed == 1 && b->dialogs.Calls().empty());
    EXPECT_EQ(b->par.Main.WriteNotice,
              "Setup table written to the detector at address 1 (Alarm Latch: NO, Heater ON "
              "at(C): 35): the detector confirmed it.");
    int open = 0, after = 0;  // polls while the screen is open, and after the Burn
    for (const auto& [at, to] : b->StatusQueries())
        open += at > 2'000'000 && at<2'500'000, after += at> writes[0].atUs + 500'000;
    EXPECT_TRUE(open > 2 && after > 10) << open << " " << after;

    // A free address moves the detector, the polling and the notice of its S/N test there.
    b->par.Main.DetNum = "1";
    b->par.LeftInSnTest[1] = true;
    b->At(7'000'000, [&] {
        b->comm->cmdSetAddr();  // outside the polling loop
        b->par.Main.DetNum = "12";
        QTest::keyClicks(&Text(), "9");
        Key(*address, Qt::Key_F3);
    });
    b->Continue(10'000'000);
    ASSERT_EQ(Writes(6), 1u);
    EXPECT_EQ(b->FramesOf(6)[0].bytes, NewAddressFrame(1, 9));
    EXPECT_EQ(b->bus().Find(9)->Serial() + b->bus().Find(12)->Serial(), 4711 + 880);
    EXPECT_EQ(b->par.Main.DetNum + " " + b->par.Main.SeNum, "9 4711");
    EXPECT_EQ(b->StatusQueries().back().second, 9);
    EXPECT_TRUE(b->par.LeftInSnTest[9] && !b->par.LeftInSnTest[1]);
}

TEST_F(ConfigWindows, AnUnconfirmedBurnRunsUndisturbedToTheLastAttemptThenTellsAndCloses) {
    Make();
    b->At(1'000'000, [&] { b->comm->Hotkey('s'); });
    b->At(2'000'000, [&] {
        b->bus().InjectFault(1, "ignore writes");
        Key(*setup, Qt::Key_F3);
    });
    // Everything that would start a second exchange or close the screen, during the Burn.
    const std::function<void()> meanwhile[] = {
        [&] { Key(*setup, Qt::Key_F3); },
        [&] { Key(*setup, Qt::Key_Escape); },
        [&] { Key(Field(C::Combo2), Qt::Key_Return); },
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
        writesWhenTold = Writes(16);
        EXPECT_TRUE(setup->isVisible());  // told before the screen goes
    };
    b->Run(8'000'000);
    EXPECT_TRUE(Writes(16) == 3u && writesWhenTold == 3u && closed == 1);
    ASSERT_EQ(b->dialogs.Calls().size(), 1u);  // no print dialog: only the failure
    EXPECT_EQ(b->dialogs.Calls()[0].text, SetupNotConfirmedMessage(1));
}

// Enter closes without writing, as always; after an edit it asks first: No goes back to the
// table with the edit kept, Yes closes.
TEST_F(ConfigWindows, EnterAfterAnEditAsksBeforeDiscardingIt) {
    Make();
    b->comm->cmdSetio();  // outside the polling loop
    Type(C::Combo10, "35");
    b->dialogs.AnswerYesNo(false);
    b->dialogs.AnswerYesNo(true);
    Key(Field(C::Combo10), Qt::Key_Return);
    EXPECT_TRUE(setup->isVisible() && closed == 0 && Field(C::Combo10).currentText() == "35");
    Key(Field(C::Combo10), Qt::Key_Return);
    EXPECT_TRUE(closed == 1 && Writes(16) == 0);
    const auto& calls = b->dialogs.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, DialogCall::Kind::AskYesNo);
    EXPECT_EQ(calls[1].text,
              "These changes have not been written:\nHeater ON at(C): 35\n\nClose the setup "
              "table and discard them?");
}

// Save... keeps the table as read; Load... puts a file's table into the fields, marked where
// it differs from the detector, for Burn to write.
TEST_F(ConfigWindows, ATableSavedToAFileIsLoadedBackIntoTheFieldsAndBurnt) {
    Make();  // 1 Veridan Xenon 621-2, serial 4711, setup 24 05 02 0A
    QTemporaryDir dir;
    const std::string path = dir.filePath("f.json").toStdString();
    b->par.DocumentsFolder = dir.path().toStdString();
    b->comm->cmdSetio();
    b->dialogs.AnswerSaveFileName(path);
    setup->findChild<QPushButton*>("cmdSave")->click();
    EXPECT_TRUE(b->dialogs.Calls().at(0).defaultText.starts_with(dir.path().toStdString() +
                                                                 "/4711-setup-"));
    Key(*setup, Qt::Key_Escape);

    b->bus().Find(1)->SetSetup({0x24, 0x01, 2, 35});  // latch NO, 35 degrees
    b->comm->cmdSetio();
    b->dialogs.ClearCalls();
    b->dialogs.AnswerOpenFileName(path);
    setup->findChild<QPushButton*>("cmdLoad")->click();
    const auto& calls = b->dialogs.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].text, "Loaded from " + path +
                                 ", saved from serial number 4711.\nMarked where it differs from "
                                 "the detector (Alarm Latch, Heater ON at(C)); Burn-F3 writes it.");
    for (const C f : {C::Combo2, C::Combo6, C::Combo10})
        EXPECT_EQ(
            Field(f).currentText().toStdString() + (Field(f).styleSheet().isEmpty() ? "" : "*"),
            f == C::Combo2   ? "2"
            : f == C::Combo6 ? "YES*"
                             : "10*");
    Key(*setup, Qt::Key_F3);
    b->Run(3'000'000);
    ASSERT_EQ(Writes(16), 1u);
    EXPECT_EQ(b->FramesOf(16)[0].bytes, WriteSetupFrame(1, {0x24, 0x05, 2, 10}));
}

// Every way to leave either window without a Burn, and every refusal of a Burn: nothing is
// written; a refusal says why (an address refusal beeps too) and leaves the window open.
TEST_F(ConfigWindows, ClosingWritesNothingAndARefusedBurnSaysWhyAndStaysOpen) {
    struct Row {
        bool address;        // the address dialog, else the setup screen
        const char* target;  // what has the focus ("": the window)
        const char* typed;   // nullptr: nothing; on the setup screen, into Heater Mode
        int key;             // 0: the window is closed
        bool ctrl = false;
        std::string said = "";       // the message; "": it closes
        std::string textAfter = "";  // the address's text
    };
    const std::string invalid = "Invalid Address.\rChange is not Saved!";
    const Row rows[] = {
        {false, "", nullptr, Qt::Key_Escape},
        {false, "Combo4", nullptr, Qt::Key_Return},  // the default button
        {false, "", nullptr, Qt::Key_Pause, true},
        {false, "", nullptr, 0},
        // Esc, Ctrl+Break and the close box are the two windows' common base's: tested above.
        {true, "cmdCancel", nullptr, Qt::Key_Return},
        {false, "Combo9", "on", Qt::Key_F3, false,
         "Not an Option - try again!\nThe field \"Heater Mode\" does not offer \"on\". Its "
         "options are: OFF, AUTO, ON."},
        {true, "txtNewAddr", "1.5", Qt::Key_Return, false, invalid, " "},  // blanked as typed
        // Two detectors on one address would answer every query together.
        {true, "txtNewAddr", "12", Qt::Key_F3, false,
         "Address 12 is taken: Talvek 880, serial number 880 answers there.\rChange is not Saved!",
         "12"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(&r - rows);
        Make();
        r.address ? b->comm->cmdSetAddr() : b->comm->cmdSetio();  // outside the polling loop
        QWidget& w = r.address ? static_cast<QWidget&>(*address) : *setup;
        QWidget* focus = *r.target ? w.findChild<QWidget*>(r.target) : &w;
        if (r.typed && r.address)
            QTest::keyClicks(&Text(), r.typed);
        else if (r.typed)
            Type(C::Combo9, r.typed);
        if (r.key)
            Key(*focus, Qt::Key(r.key), r.ctrl ? Qt::ControlModifier : Qt::NoModifier);
        else
            w.close();
        EXPECT_TRUE(Writes(16) + Writes(6) == 0 && b->par.Main.DetNum == "1");
        const bool closes = r.said.empty();
        EXPECT_TRUE(closed == (closes ? 1 : 0) && w.isVisible() == !closes);
        const auto& calls = b->dialogs.Calls();
        ASSERT_EQ(calls.size(), closes ? 0u : r.address ? 2u : 1u);
        if (closes)
            continue;
        EXPECT_EQ(calls[0].text, r.said);
        EXPECT_EQ(calls[0].title, r.address ? "Warning" : "Halvern");
        EXPECT_EQ(calls[0].icon, MsgIcon::Critical);
        if (r.address) {
            EXPECT_EQ(calls[1].kind, DialogCall::Kind::Beep);
            EXPECT_EQ(Text().text().toStdString(), r.textAfter);
            EXPECT_EQ(w.focusWidget(), &Text());
            EXPECT_FALSE(address->Burning());
        }
    }
}

}  // namespace
}  // namespace halvern::test
