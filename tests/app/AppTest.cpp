// The whole program on virtual time: splash, port dialog, main window, logging, exit.

#include <gtest/gtest.h>

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "App.h"
#include "logging/LogReader.h"
#include "logging/frmLogTask.h"
#include "maintenance/frmMainte.h"
#include "maintenance/frmTrends.h"
#include "monitor/frmMain.h"
#include "monitor/frmScan.h"
#include "platform/SimulatedSerialPort.h"
#include "platform/virtual/VirtualPlatform.h"
#include "sim/SimBus.h"
#include "support/UiTest.h"
#include "ui/ScriptedDialogs.h"
#include "ui/frmComm.h"

namespace halvern::test {
namespace {

class AppTest : public UiTest {
  protected:
    VirtualPlatform plat;
    SimulatedSerialPort port{plat};
    sim::SimBus bus{plat, port};
    ScriptedDialogs dialogs;
    Par par;
    bool quit = false;
    std::vector<PortInfo> ports;  // the serial ports the port dialog lists
    std::unique_ptr<halvern::App> app;

    void Make(AppOptions options = {}) {
        par.ProgramFolder = Folder();
        app = std::make_unique<halvern::App>(
            AppServices{plat, port, dialogs,
                        [](int n) { return "/dev/ttyS" + std::to_string(n - 1); },
                        [] { return LocalDateTime{2026, 12, 5, 14, 3, 27}; },
                        [this] { quit = true; }, [this] { return ports; }},
            par, std::move(options));
    }
    // Runs the program until virtual time t (the polling loop stops there).
    void RunUntil(Micros t) {
        plat.Post(t, [this] { app->Loop().Stop(); });
        plat.RunUntil(t);
    }
    void ChoosePort(const QString& text) {
        auto* combo = app->PortDialog()->findChild<QComboBox*>("cmbCOM");
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), text);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    }
    // The program past the port dialog on port 1, its main window polling.
    frmMain* Started() {
        Make();
        app->StartWithPortDialog();
        OnScreen(app->PortDialog());
        ChoosePort("1");
        OnScreen(app->MainWindow());
        return app->MainWindow();
    }
    // A window opens wholly on the screen (a 1024x600 laptop's), every button of it in sight.
    static void OnScreen(QWidget* w) {
        ASSERT_NE(w, nullptr);
        const std::string name = w->objectName().toStdString();
        const QRect area = w->screen()->availableGeometry();
        EXPECT_TRUE(area.contains(w->frameGeometry())) << name;
        for (auto* b : w->findChildren<QPushButton*>()) {
            if (b->window() == w && b->isVisibleTo(w)) {
                EXPECT_TRUE(w->rect().contains(QRect(b->mapTo(w, QPoint()), b->size())))
                    << name << " " << b->text().toStdString();
            }
        }
    }
};

TEST_F(AppTest, SplashThenPortDialogThenMainWindowPollingTheChosenPort) {
    Make();
    app->Start();
    plat.RunUntil(2'999'999);
    EXPECT_EQ(app->PortDialog(), nullptr);
    plat.RunUntil(3'000'000);
    ASSERT_NE(app->PortDialog(), nullptr);
    EXPECT_TRUE(app->PortDialog()->isVisible());
    ChoosePort("5");
    EXPECT_EQ(port.LastDevice(), "/dev/ttyS4");
    EXPECT_EQ(Read("CommPortNo.txt"), "5\r\n");
    ASSERT_NE(app->MainWindow(), nullptr);
    EXPECT_TRUE(app->MainWindow()->isVisible());
    EXPECT_FALSE(app->PortDialog()->isVisible());
    EXPECT_EQ(Read("CommTune2.txt"), "4000\r\n");
    RunUntil(4'000'000);
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblSeNum")->text(), "4711");
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblCom")->text(), "Good");
}

TEST_F(AppTest, APortThatCannotBeOpenedIsNamedAndTheDialogComesBack) {
    Make();
    app->StartWithPortDialog();  // first use: port 0
    QTest::keyClick(app->PortDialog(), Qt::Key_Return);
    ASSERT_FALSE(dialogs.Calls().empty());
    EXPECT_NE(dialogs.Calls().back().text.find("COM port 0"), std::string::npos);
    EXPECT_EQ(dialogs.Calls().back().icon, MsgIcon::Critical);
    EXPECT_TRUE(app->PortDialog()->isVisible());
    EXPECT_EQ(app->MainWindow(), nullptr);

    port.FailNextOpen("Device or resource busy");
    ChoosePort("3");
    EXPECT_NE(dialogs.Calls().back().text.find("/dev/ttyS2"), std::string::npos);
    EXPECT_NE(dialogs.Calls().back().text.find("Device or resource busy"), std::string::npos);
    EXPECT_EQ(app->MainWindow(), nullptr);
    ChoosePort("3");
    EXPECT_NE(app->MainWindow(), nullptr);
}

// Folders (as a FIFO or a device would be) named like the setting files: each is named in a
// message, neither is replaced, and the program goes on with the defaults.
TEST_F(AppTest, SomethingElseNamedLikeASettingFileIsSaidAndLeftAlone) {
    for (const char* name : {"CommPortNo.txt", "CommTune2.txt"})
        std::filesystem::create_directory(PathOf(name));
    Make();
    app->StartWithPortDialog();
    ASSERT_EQ(dialogs.Calls().size(), 1u);
    EXPECT_EQ(dialogs.Calls()[0].text, "Cannot read " + PathOf("CommPortNo.txt") +
                                           ": it is a folder, not a regular file. The port "
                                           "chosen is not remembered.");
    ChoosePort("1");
    ASSERT_NE(app->MainWindow(), nullptr);
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[1].text, "Cannot read " + PathOf("CommTune2.txt") +
                                           ": it is a folder, not a regular file. The turnaround "
                                           "delay stays 4000 microseconds.");
    EXPECT_EQ(dialogs.Calls()[1].icon, MsgIcon::Critical);
    RunUntil(1'000'000);
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblCom")->text(), "Good");
    EXPECT_TRUE(std::filesystem::is_directory(PathOf("CommPortNo.txt")) &&
                std::filesystem::is_directory(PathOf("CommTune2.txt")));
}

TEST_F(AppTest, DeviceOptionOverridesThePortNumberAndEscInTheDialogEnds) {
    Make(AppOptions{"/dev/pts/9", false, ""});
    app->StartWithPortDialog();
    QTest::keyClick(app->PortDialog(), Qt::Key_Return);  // port 0, but a device is given
    EXPECT_EQ(port.LastDevice(), "/dev/pts/9");
    EXPECT_NE(app->MainWindow(), nullptr);
    auto other = std::make_unique<halvern::App>(
        AppServices{plat, port, dialogs, {}, {}, [this] { quit = true; }, {}}, par, AppOptions{});
    other->StartWithPortDialog();
    QTest::keyClick(other->PortDialog(), Qt::Key_Escape);
    EXPECT_TRUE(quit);
    EXPECT_EQ(other->MainWindow(), nullptr);
}

TEST_F(AppTest, APortPickedFromTheListIsOpenedThoughNoNumberReachesIt) {
    ports = {PortInfo{"/dev/ttyACM0", "USB Serial", "Microchip", 0x04d8, 0x000a, ""}};
    Make(AppOptions{"/dev/pts/9", false, ""});  // picked now, it wins over --device too
    app->StartWithPortDialog();
    auto* list = app->PortDialog()->findChild<QTreeWidget*>("lstPorts");
    list->setCurrentItem(list->topLevelItem(0));
    port.FailNextOpen("Permission denied");
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_FALSE(dialogs.Calls().empty());
    EXPECT_EQ(dialogs.Calls().back().text,
              "The serial port /dev/ttyACM0 cannot be opened: Permission denied");
    EXPECT_TRUE(app->PortDialog()->isVisible());
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(port.LastDevice(), "/dev/ttyACM0");
    EXPECT_NE(app->MainWindow(), nullptr);
    EXPECT_EQ(Read("CommPortNo.txt"), "0\r\n");  // the file keeps a number, as ever
}

TEST_F(AppTest, CtrlSWithPeriodTwoWritesCycleRecordsIntoTheSerialNumberFile) {
    Started();
    dialogs.AnswerInput("2");
    plat.Post(1'000'000, [&] { app->MainWindow()->findChild<QAction*>("mnuSLog")->trigger(); });
    RunUntil(6'500'000);
    ASSERT_FALSE(dialogs.Calls().empty());
    EXPECT_EQ(dialogs.Calls().back().title, "Log Record");
    EXPECT_EQ(app->MainWindow()->findChild<QAction*>("mnuSLog")->text(), "stop loggin&G");
    auto* on = app->MainWindow()->findChild<QLabel*>("lblLogOn");
    EXPECT_TRUE(on->isVisible());
    EXPECT_EQ(on->text(), "Record is activate every 2 seconds...");
    const std::string log = Read("4711.txt");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.substr(0, 27), "NNN0    05/12/26  14:03:27 ");
    // The first reply's record, then one per period of two ticks.
    EXPECT_GE(std::count(log.begin(), log.end(), '\n'), 3);
}

TEST_F(AppTest, CtrlGOpensTheLogOfTheEnteredSerialNumberAndEscReturnsToPolling) {
    Write("4711.txt", "NNN0    05/12/26  14:03:27 23   3    4.12  3.98\r\n");
    Started();
    plat.Post(500'000, [&] {
        app->MainWindow()->findChild<QAction*>("mnuVLog")->trigger();
        ASSERT_NE(app->LogPrompt(), nullptr);
        EXPECT_FALSE(app->MainWindow()->isVisible());
        auto* txt = app->LogPrompt()->findChild<QLineEdit*>("txtSer");
        QTest::keyClicks(txt, "4711");
        QTest::keyClick(txt, Qt::Key_Return);
        ASSERT_NE(app->LogViewer(), nullptr);
        EXPECT_EQ(app->LogViewer()->windowTitle(), "Log file viewer of detector serial No 4711");
        OnScreen(app->LogViewer());
        QTest::keyClick(app->LogViewer(), Qt::Key_G);  // the log plot, once the file is read
        OnScreen(app->LogViewer()->Task());
        app->LogViewer()->Task()->WaitUntilDone();
        auto* plot = app->LogViewer()->findChild<QWidget*>("frmLogPlot");
        OnScreen(plot);
        if (plot)
            plot->close();
        EXPECT_FALSE(app->LogPrompt()->isVisible());
    });
    plat.Post(800'000, [&] {
        const auto polls = port.Frames().size();
        QTest::keyPress(app->LogViewer(), Qt::Key_Escape);
        QTest::keyRelease(app->LogViewer(), Qt::Key_Escape);
        plat.Post(1'500'000, [&, polls] {
            EXPECT_TRUE(app->MainWindow()->isVisible());
            EXPECT_GT(port.Frames().size(), polls);  // polling goes on
        });
    });
    RunUntil(2'000'000);
    EXPECT_TRUE(app->MainWindow()->isVisible());
    // No window was visible for a moment; that must not end the program.
    EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed());
}

// A big log read for its plot (a few tens of MB here, a gigabyte in the field) is read beside
// the polling: the polls go on at their pace and the logging tick writes its record every
// second while the file is read; the plot comes when it is read.
TEST_F(AppTest, ThePollingAndItsRecordsGoOnWhileABigLogIsReadForItsPlot) {
    // Detector 4712's readings, one a second for almost three days: some 20 MB.
    constexpr int kReadings = 250'000;
    {
        Par other;
        other.StatusParts = {"N", "N", "N", "0"};
        other.GainText = "3";
        std::ofstream out(PathOf("4712.txt"), std::ios::binary);
        std::string block;
        const std::int64_t start = SecondsOf({2026, 11, 1, 0, 0, 0});
        for (int i = 0; i < kReadings; ++i) {
            other.ChannelValues[0] = static_cast<float>(4 + i % 100 / 100.0);
            block += CycleRecordLine(other, FromSeconds(start + i));
            if (block.size() >= (1u << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
    }
    Started();
    dialogs.AnswerInput("1");  // a record every second
    plat.Post(500'000, [&] { app->MainWindow()->findChild<QAction*>("mnuSLog")->trigger(); });
    QPointer<frmLogTask> task;
    plat.Post(1'000'000, [&] {
        app->MainWindow()->findChild<QAction*>("mnuVLog")->trigger();
        auto* txt = app->LogPrompt()->findChild<QLineEdit*>("txtSer");
        QTest::keyClicks(txt, "4712");
        QTest::keyClick(txt, Qt::Key_Return);
        QTest::keyClick(app->LogViewer(), Qt::Key_G);
        task = app->LogViewer()->Task();
    });
    // Every tenth of a second: whether the file is still being read, and the records so far.
    struct Probe {
        Micros at;
        bool reading;
        std::size_t records;
    };
    std::vector<Probe> probes;
    std::function<void()> probe = [&] {
        const bool reading = task && task->Working();
        probes.push_back({plat.NowUs(), reading,
                          static_cast<std::size_t>(std::ranges::count(Read("4711.txt"), '\n'))});
        if (reading) {
            plat.Post(plat.NowUs() + 100'000, probe);
        } else {
            app->Timer2().SetEnabled(false);
            app->Loop().Stop();
        }
    };
    plat.Post(1'100'000, probe);
    RunUntil(60'000'000);

    ASSERT_TRUE(task);
    ASSERT_GE(probes.size(), 2u);
    const Probe& first = probes.front();
    const Probe& last = probes[probes.size() - 2];  // the last that saw the file being read
    ASSERT_TRUE(first.reading);
    ASSERT_TRUE(last.reading);
    EXPECT_GE(last.at - first.at, 3'000'000) << "the file was read in less than 3 s of polling";
    // The polls before the log was opened set the pace; it holds while the file is read.
    std::vector<Micros> queries;
    for (const auto& f : port.Frames())
        if (f.bytes.size() == 9 && f.bytes[1] == 200 && f.bytes[4] == 32)
            queries.push_back(f.atUs);
    std::vector<Micros> before, during;
    for (std::size_t i = 1; i < queries.size(); ++i) {
        if (queries[i] < 1'000'000 && queries[i - 1] > 200'000)
            before.push_back(queries[i] - queries[i - 1]);
        if (queries[i - 1] >= first.at && queries[i] <= last.at)
            during.push_back(queries[i] - queries[i - 1]);
    }
    ASSERT_FALSE(before.empty());
    ASSERT_GE(during.size(), 10u);
    for (const Micros period : during)
        EXPECT_EQ(period, before.front());
    // The tick at 1.5 s, 2.5 s, ... writes a record each time.
    const auto ticks = static_cast<std::size_t>((last.at - 500'000) / 1'000'000 -
                                                (first.at - 500'000) / 1'000'000);
    EXPECT_EQ(last.records - first.records, ticks);

    task->WaitUntilDone();
    auto* plot = app->LogViewer()->Plot();
    ASSERT_NE(plot, nullptr);
    EXPECT_EQ(plot->findChild<QLabel*>("lblSummary")->text(),
              "250000 readings from 01/11/26 00:00:00 to 03/11/26 21:26:39");
}

TEST_F(AppTest, PortTroubleIsShownOnTheMainWindowWithoutStoppingThePolling) {
    Started();
    plat.Post(1'000'000, [&] { port.Unplug(); });
    plat.Post(3'000'000, [&] { port.Replug(); });
    RunUntil(4'000'000);
    auto* notice = app->MainWindow()->findChild<QLabel*>("lblPortNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), "The serial device was removed.");
    EXPECT_TRUE(dialogs.Calls().empty());  // no modal box in the middle of polling
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblStatus")->text(), "DDD");
}

TEST_F(AppTest, ConfigWindowsReplaceTheMainWindowWhichComesBackPollingTheAddressInForce) {
    frmMain* main = Started();
    // `back`: by when the main window is back, polling.
    const auto check = [&](Micros at, std::function<void()> act, int address, Micros back) {
        plat.Post(at, [&, act] {
            EXPECT_FALSE(main->isVisible());
            act();
        });
        plat.Post(at + back, [&, at, address] {
            EXPECT_TRUE(main->isVisible() && main->isEnabled());
            EXPECT_GT(port.Frames().back().atUs, at + 1'000'000);  // polling again
            EXPECT_EQ(port.Frames().back().bytes, CommandFrame(address, kCodeStatus));
        });
    };
    plat.Post(1'000'000, [&] { QTest::keyClick(main, Qt::Key_S); });
    check(
        2'500'000,
        [&] {
            EXPECT_FALSE(main->isEnabled());
            OnScreen(app->SetupScreen());
            app->SetupScreen()->close();
        },
        1, 1'500'000);
    plat.Post(5'000'000, [&] { QTest::keyClick(main, Qt::Key_D); });
    check(
        5'100'000,
        [&] {
            OnScreen(app->AddressDialog());
            auto* txt = app->AddressDialog()->findChild<QLineEdit*>("txtNewAddr");
            QTest::keyClicks(txt, "9");
            QTest::keyClick(txt, Qt::Key_Return);
        },
        9, 3'500'000);  // 9 is asked first, then written
    RunUntil(9'000'000);
    EXPECT_EQ(main->findChild<QLabel*>("lblDetNum")->text(), "9");
    EXPECT_EQ(main->findChild<QLabel*>("lblSeNum")->text(), "4711");
    // After the echo: the activation's query (to the address polled until then), at once the
    // restarted cycle's, answered by the detector at its new address, and so on.
    const auto& f = port.Frames();
    const auto w = std::find_if(f.begin(), f.end(), [](const auto& x) { return x.bytes[1] == 6; });
    ASSERT_LT(w + 3, f.end());
    EXPECT_EQ(w[1].bytes, CommandFrame(1, kCodeStatus));
    EXPECT_EQ(w[2].bytes, CommandFrame(9, kCodeStatus));
    EXPECT_EQ(w[3].bytes, CommandFrame(9, kCodeStatus));
    EXPECT_LT(w[3].atUs - w[2].atUs, 200'000);
}

TEST_F(AppTest, MaintenanceWindowPollsInsteadOfTheMainCycleAndTheLogKeepsTheMainDecoding) {
    sim::DetectorConfig family32;  // the one family the two windows decode differently
    family32.Address = 2;
    family32.Family = 32;
    family32.Serial = 3200;
    bus.GetBus().Add(family32);
    frmMain* main = Started();
    dialogs.AnswerInput("1");
    plat.Post(500'000, [&] {
        app->Comm()->cmdUp();
        main->findChild<QAction*>("mnuSLog")->trigger();
    });
    plat.Post(3'000'000, [&] { QTest::keyClick(main, Qt::Key_M); });
    plat.Post(4'000'000, [&] {
        ASSERT_NE(app->MaintenanceWindow(), nullptr);
        EXPECT_FALSE(main->isVisible());
        EXPECT_EQ(app->MaintenanceWindow()->windowTitle(),
                  "Maintenance window of detector serial No:3200");
        QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F9);
    });
    plat.Post(6'000'000, [&] {
        EXPECT_NE(app->MaintenanceWindow()->findChild<QLabel*>("lblS1N")->text(), "");
        QTest::keyClick(app->MaintenanceWindow(), Qt::Key_A);
    });
    plat.Post(7'000'000,
              [&] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_A, Qt::AltModifier); });
    plat.Post(8'000'000, [&] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape); });
    RunUntil(10'000'000);
    EXPECT_TRUE(main->isVisible() && main->isEnabled());
    int modeWrites = 0, aligns = 0, closeTogether = 0;
    const auto& f = port.Frames();
    for (std::size_t i = 1; i < f.size(); ++i) {  // the first is the activation's query
        modeWrites += f[i].bytes == SnTestFrame(2);
        aligns += f[i].bytes == CommandFrame(2, kCodeAlign);
        if (f[i - 1].atUs >= 8'000'000 && f[i].bytes[1] == 200 && f[i - 1].bytes[1] == 200)
            closeTogether += f[i].atUs - f[i - 1].atUs < 100'000;
    }
    EXPECT_EQ(modeWrites, 1);
    EXPECT_EQ(aligns, 1);
    EXPECT_EQ(closeTogether, 1);  // the activation's query and the restarted cycle's, once
    EXPECT_EQ(f.back().bytes, CommandFrame(2, kCodeStatus));
    // Esc after F9 asked about normal mode; left in the test (No), the main window says so.
    const auto asked = std::count_if(dialogs.Calls().begin(), dialogs.Calls().end(), [](auto& c) {
        return c.kind == DialogCall::Kind::AskYesNo && c.title == "S/N test";
    });
    EXPECT_EQ(asked, 1);
    const auto* notice = main->findChild<QLabel*>("lblSnTest");
    EXPECT_TRUE(notice->isVisible());
    EXPECT_NE(notice->text().indexOf("address 2 "), -1);
    // The logging tick went on, its records the main window's decoding throughout: it takes
    // 0.56 off a family-32 signal, where the maintenance window takes 0.15.
    int mainRecords = 0, maintRecords = 0;
    std::istringstream log(Read("3200.txt"));
    for (std::string line; std::getline(log, line);)
        (std::stod(line.substr(37, 6)) > 3.6 ? maintRecords : mainRecords) += 1;
    EXPECT_GE(mainRecords, 9);
    EXPECT_EQ(maintRecords, 0);
}

TEST_F(AppTest, F8ShowsTheTrendsBesideTheMaintenanceWindowAndTheyCloseWithIt) {
    frmMain* main = Started();
    plat.Post(1'000'000, [&] { QTest::keyClick(main, Qt::Key_M); });
    QRect maintenance;
    qsizetype drawn = 0;
    const auto signal1 = [&] {
        auto* view = app->TrendsWindow()->findChild<QChartView*>("chtSignals");
        return static_cast<QLineSeries*>(view->chart()->series().at(0));
    };
    plat.Post(2'000'000, [&] {
        frmMainte* m = app->MaintenanceWindow();
        ASSERT_NE(m, nullptr);
        maintenance = m->geometry();
        QTest::keyClick(m, Qt::Key_F8);
        ASSERT_NE(app->TrendsWindow(), nullptr);
        EXPECT_TRUE(app->TrendsWindow()->isVisible());
        OnScreen(app->TrendsWindow());
        OnScreen(m);
        for (auto* b : m->findChildren<QPushButton*>()) {  // no button hidden under the trends
            if (b->window() == m) {
                EXPECT_FALSE(app->TrendsWindow()->frameGeometry().intersects(
                    QRect(b->mapToGlobal(QPoint()), b->size())))
                    << b->text().toStdString();
            }
        }
        EXPECT_EQ(m->size(), maintenance.size());  // its own layout stays as it is
        EXPECT_TRUE(m->isVisible());
        drawn = signal1()->count();
        EXPECT_GE(drawn, 1);
        QTest::keyClick(m, Qt::Key_F8);  // shows the same window again
    });
    plat.Post(4'000'000, [&] {
        EXPECT_GT(signal1()->count(), drawn + 5);  // a point each poll
        EXPECT_EQ(app->Trends().Serial(), 4711.0);
        QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
        EXPECT_FALSE(app->TrendsWindow() && app->TrendsWindow()->isVisible());
    });
    plat.Post(5'000'000, [&] {
        QTest::keyClick(main, Qt::Key_M);  // a new opening starts new trends
    });
    plat.Post(5'600'000, [&] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F8); });
    RunUntil(6'000'000);
    ASSERT_NE(app->TrendsWindow(), nullptr);
    EXPECT_LT(signal1()->count(), 5);
}

TEST_F(AppTest, ScanBusOpensByKeyOrMenuOverAMainWindowThatWaitsAndLogsNothingMeanwhile) {
    frmMain* main = Started();
    auto* mnuScan = main->findChild<QAction*>("mnuScan");
    ASSERT_NE(mnuScan, nullptr);
    EXPECT_EQ(mnuScan->text(), "Scan &bus...");
    EXPECT_EQ(mnuScan->shortcut(), QKeySequence("Ctrl+B"));
    const auto records = [&] {
        const std::string log = Read("4711.txt");
        return std::count(log.begin(), log.end(), '\n');
    };
    dialogs.AnswerInput("1");  // a record every second
    plat.Post(500'000, [&] { main->findChild<QAction*>("mnuSLog")->trigger(); });
    std::ptrdiff_t before = 0;
    plat.Post(3'000'000, [&] {
        QTest::keyClick(main, Qt::Key_B);
        ASSERT_NE(app->ScanWindow(), nullptr);
        EXPECT_TRUE(app->ScanWindow()->isVisible());
        OnScreen(app->ScanWindow());
        EXPECT_TRUE(main->isVisible());
        before = records();
        EXPECT_GE(before, 2);
    });
    plat.Post(5'000'000, [&] {
        // The served detector is not read meanwhile: no record would be true.
        EXPECT_EQ(records(), before);
        // A key from the window system: the main window waits for the scan window.
        QTest::keyClick(main->windowHandle(), Qt::Key_M);
        EXPECT_EQ(app->MaintenanceWindow(), nullptr);
        QTest::keyClick(app->ScanWindow(), Qt::Key_Escape);  // cancel
    });
    plat.Post(6'000'000, [&] {
        EXPECT_TRUE(app->ScanWindow()->isVisible());
        QTest::keyClick(app->ScanWindow(), Qt::Key_Escape);  // close
    });
    plat.Post(7'000'000, [&] {
        EXPECT_FALSE(app->ScanWindow() && app->ScanWindow()->isVisible());
        EXPECT_GT(records(), before);  // logging goes on with the main cycle
        mnuScan->trigger();
        ASSERT_NE(app->ScanWindow(), nullptr);
        app->ScanWindow()->close();
    });
    RunUntil(9'000'000);
    EXPECT_FALSE(app->ScanWindow() && app->ScanWindow()->isVisible());
    EXPECT_EQ(port.Frames().back().bytes, CommandFrame(1, kCodeStatus));
    EXPECT_GT(port.Frames().back().atUs, 8'000'000);
}

TEST_F(AppTest, F7OpensOneBusTrafficWindowThatStaysOpenWhileTheMaintenanceWindowServes) {
    frmMain* main = Started();
    EXPECT_EQ(main->findChild<QAction*>("mnuTraffic")->text(), "Bus &traffic...");
    EXPECT_EQ(main->findChild<QAction*>("mnuTraffic")->shortcut(), QKeySequence(Qt::Key_F7));

    QPointer<frmTraffic> traffic;
    plat.Post(500'000, [&] {
        QTest::keyClick(main, Qt::Key_F7);
        traffic = app->TrafficWindow();
        ASSERT_NE(traffic, nullptr);
        EXPECT_TRUE(traffic->isVisible());
        OnScreen(traffic);
        QTest::keyClick(main, Qt::Key_M);
    });
    plat.Post(2'000'000, [&] {
        ASSERT_NE(app->MaintenanceWindow(), nullptr);
        EXPECT_TRUE(traffic && traffic->isVisible());
        QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F7);
        EXPECT_EQ(app->TrafficWindow(), traffic);  // the same window, brought forward
        QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
    });
    RunUntil(3'000'000);
    ASSERT_TRUE(traffic && traffic->isVisible());
    traffic->Update();
    // It heard the main cycle, the maintenance poll and the main cycle again.
    const TrafficRing& shown = traffic->Log().Shown();
    std::vector<Micros> sent, written;
    for (std::size_t i = 0; i < shown.Size(); ++i)
        if (shown[i].direction == TrafficDirection::Sent)
            sent.push_back(shown[i].us);
    for (const auto& f : port.Frames())
        if (f.atUs >= 500'000)
            written.push_back(f.atUs);
    EXPECT_GT(sent.size(), 6u);
    EXPECT_EQ(sent, written);
    traffic->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(app->TrafficWindow(), nullptr);
    EXPECT_FALSE(app->GetLink().HasTrafficTap());
}

TEST_F(AppTest, CloseBoxEndsWithoutAskingAndClosesThePort) {
    Started();
    plat.Post(1'000'000, [&] { app->MainWindow()->close(); });
    RunUntil(5'000'000);
    EXPECT_TRUE(quit);
    EXPECT_TRUE(app->Ended());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(dialogs.Calls().empty());
    ASSERT_FALSE(port.Frames().empty());
    EXPECT_LT(port.Frames().back().atUs, 1'000'000);  // nothing was sent after the close
}

}  // namespace
}  // namespace halvern::test

namespace halvern::test {
namespace {

// O opens the bus overview over the main window; it scans, then polls the detectors found in
// place of the main cycle; Enter on a row serves that detector and the main cycle goes on.
TEST_F(AppTest, OOpensTheBusOverviewAndEnterServesTheChosenDetector) {
    frmMain* main = Started();
    EXPECT_NE(main->findChild<QAction*>("mnuOverview"), nullptr);
    plat.Post(500'000, [&] {
        QTest::keyClick(main, Qt::Key_O);
        ASSERT_NE(app->OverviewWindow(), nullptr);
        EXPECT_TRUE(app->OverviewWindow()->isVisible());
        OnScreen(app->OverviewWindow());
    });
    plat.Post(28'000'000, [&] {  // the scan of 1-247 takes about 23 s
        auto* grid = app->OverviewWindow()->findChild<QTableWidget*>("grdDetectors");
        ASSERT_EQ(grid->rowCount(), 3);
        EXPECT_EQ(grid->item(1, 0)->text(), "7");
        grid->setCurrentCell(1, 0);
        QTest::keyClick(grid, Qt::Key_Return);
    });
    RunUntil(31'000'000);
    EXPECT_FALSE(app->OverviewWindow() && app->OverviewWindow()->isVisible());
    EXPECT_EQ(par.Main.DetNum, "7");
    EXPECT_EQ(port.Frames().back().bytes, CommandFrame(7, kCodeStatus));
}

// Each action of the windows on the detector leaves one event in the service history, and H
// shows them, newest first, within the screen.
TEST_F(AppTest, EachActionLeavesOneHistoryEventAndHShowsThem) {
    frmMain* main = Started();
    plat.Post(1'000'000, [&] { QTest::keyClick(main, Qt::Key_S); });
    plat.Post(2'500'000, [&] { app->SetupScreen()->Burn(); });  // written back as read
    plat.Post(6'000'000, [&] { QTest::keyClick(main, Qt::Key_M); });
    // The detector's status changes while the maintenance window is open: its events carry
    // the status that window shows, not the main window's from before.
    std::string mainStatus, maintStatus;
    plat.Post(6'500'000, [&] {
        mainStatus = par.Main.Status;
        bus.GetBus().Find(1)->SetStatus("FFF", 3);
    });
    plat.Post(7'000'000, [&] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F9); });
    plat.Post(9'900'000, [&] {
        maintStatus =
            app->MaintenanceWindow()->findChild<QLabel*>("lblStatus")->text().toStdString();
    });
    plat.Post(10'000'000, [&] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape); });
    plat.Post(12'000'000, [&] { QTest::keyClick(main, Qt::Key_V); });
    plat.Post(16'000'000, [&] { QTest::keyClick(main, Qt::Key_A); });
    plat.Post(18'000'000, [&] { QTest::keyClick(main, Qt::Key_H); });
    RunUntil(19'000'000);

    const auto events = app->History().Events();
    std::vector<std::string> actions;
    for (const auto& e : events)
        actions.push_back(e.action);
    EXPECT_EQ(actions, (std::vector<std::string>{kActionAlign, kActionVersion, kActionSnTest,
                                                 kActionSetupWrite, kActionSetupRead}));
    ASSERT_EQ(events.size(), 5u);
    for (const auto& e : events) {
        EXPECT_EQ(e.serial, "4711");
        EXPECT_EQ(e.address, 1);
        EXPECT_EQ(e.program, "halvern");
    }
    EXPECT_EQ(events[1].after, "primary: Ver 3.12 F24");
    EXPECT_TRUE(events[2].after.starts_with("Sig1/Noise ")) << events[2].after;
    EXPECT_NE(maintStatus, "");
    EXPECT_EQ(mainStatus.find(maintStatus), std::string::npos) << mainStatus;
    EXPECT_EQ(events[2].status, maintStatus);
    EXPECT_EQ(events[2].attempts, std::optional<int>(1));  // confirmed at the first frame
    EXPECT_EQ(events[3].rawBefore, "24 05 02 0A");
    EXPECT_EQ(events[3].rawAfter, "24 05 02 0A");
    EXPECT_EQ(events[3].before, events[4].after);
    EXPECT_NE(events[4].after.find("Heater ON at(C): 10"), std::string::npos);
    EXPECT_EQ(events[3].confirmed, std::optional<bool>(true));

    frmHistory* history = app->HistoryWindow();
    OnScreen(history);
    auto* grid = history->findChild<QTableWidget*>("grdHistory");
    ASSERT_EQ(grid->rowCount(), 5);
    EXPECT_EQ(grid->item(0, 4)->text(), "align");
    EXPECT_EQ(grid->item(3, 5)->text(), "confirmed (1)");                 // at the first attempt
    EXPECT_EQ(grid->item(3, 6)->text().toStdString(), events[3].before);  // before and after
    EXPECT_EQ(grid->item(3, 7)->text().toStdString(), events[3].after);   // side by side
    // Read whole within the window (960 wide, for a 1024x600 screen): no column past its
    // right edge, and the row of the setup write as tall as its lines.
    EXPECT_LE(grid->columnViewportPosition(8) + grid->columnWidth(8), grid->viewport()->width());
    const int lines =
        static_cast<int>(std::count(events[3].after.begin(), events[3].after.end(), '\n')) + 1;
    EXPECT_GE(grid->rowHeight(3), lines * grid->fontMetrics().lineSpacing());
    // The report of the served detector, printed (here into a PDF) from the history window.
    dialogs.AnswerPrintDialog(1);
    const std::string pdf = Folder() + "/report.pdf";
    dialogs.PrintToPdf(pdf);
    history->findChild<QPushButton*>("cmdReport")->click();
    EXPECT_EQ(dialogs.Calls().back().kind, DialogCall::Kind::PrintDocument);
    EXPECT_EQ(PdfPages(pdf), 1);
    auto* serial = history->findChild<QLineEdit*>("txtSerial");
    serial->setText("880");
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_FALSE(main->findChild<QLabel*>("lblHistoryError")->isVisible());
}

// A history that cannot be written is said on the main window; its event waits and is written
// by the retry once the file can take it, and the warning goes.
TEST_F(AppTest, AHistoryThatCannotBeWrittenIsSaidAndItsEventWrittenLater) {
    frmMain* main = Started();
    const auto file = std::filesystem::path(Folder()) / kHistoryFile;
    std::filesystem::create_directories(file);  // a folder in the way
    auto* warning = main->findChild<QLabel*>("lblHistoryError");
    plat.Post(1'000'000, [&] { QTest::keyClick(main, Qt::Key_A); });
    plat.Post(3'000'000, [&] {
        EXPECT_TRUE(warning->isVisibleTo(main));
        EXPECT_NE(warning->text().indexOf("1 event kept"), -1) << warning->text().toStdString();
        std::filesystem::remove(file);
    });
    RunUntil(3'000'000 + kHistoryRetryMs * 1000 + 1'000'000);
    EXPECT_FALSE(warning->isVisibleTo(main));
    ASSERT_EQ(app->History().Events().size(), 1u);
    EXPECT_EQ(app->History().Events()[0].action, kActionAlign);
}

}  // namespace
}  // namespace halvern::test
