// The whole program on virtual time: splash, port dialog, main window, the windows it opens,
// logging, history, exit.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ranges>

#include "App.h"
#include "Arguments.h"
#include "HalvernVersion.h"
#include "logging/LogReader.h"
#include "logging/frmLogTask.h"
#include "maintenance/frmMainte.h"
#include "maintenance/frmTrends.h"
#include "monitor/frmMain.h"
#include "monitor/frmScan.h"
#include "support/UiTest.h"
#include "ui/ElidedLabel.h"
#include "ui/frmComm.h"

namespace halvern::test {
namespace {

class AppTest : public UiTest {
  public:
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
        Make(), app->StartWithPortDialog(), ChoosePort("1");
        return app->MainWindow();
    }
    QAction* Menu(const char* name) { return app->MainWindow()->findChild<QAction*>(name); }
    std::ptrdiff_t Records() { return std::ranges::count(Read("4711.txt"), '\n'); }
    // The port dialog's answers.
    static void Enter(AppTest& t) { QTest::keyClick(t.app->PortDialog(), Qt::Key_Return); }
    static void Esc(AppTest& t) { QTest::keyClick(t.app->PortDialog(), Qt::Key_Escape); }
    static void Port3(AppTest& t) { t.ChoosePort("3"); }
    static void Picked(AppTest& t) {  // though no number reaches it
        auto* list = t.app->PortDialog()->findChild<QTreeWidget*>("lstPorts");
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Return);
    }
};

// The splash, the port dialog, the main window polling the chosen port, logging started by
// Ctrl+S, and the close box that ends without asking. Folders (as a FIFO or a device would be)
// are named like the setting files: each is named in a message, neither is replaced, and the
// program goes on with the defaults.
TEST_F(AppTest, SplashPortDialogMainWindowLoggingAndTheCloseBox) {
    for (const char* name : {"CommPortNo.txt", "CommTune2.txt"})
        std::filesystem::create_directory(PathOf(name));
    Make();
    app->Start();
    plat.RunUntil(3'000'000);  // the splash leaves
    ASSERT_TRUE(app->PortDialog() && app->PortDialog()->isVisible());
    ChoosePort("5");
    EXPECT_EQ(port.LastDevice(), "/dev/ttyS4");
    ASSERT_TRUE(app->MainWindow() && app->MainWindow()->isVisible());
    dialogs.AnswerInput("2");
    plat.Post(4'000'000, [&] { Menu("mnuSLog")->trigger(); });
    RunUntil(9'500'000);
    EXPECT_EQ(Read("4711.txt").substr(0, 27), "NNN0    05/12/26  14:03:27 ");
    // The first reply's record, then one every second tick: at 6 s and 8 s.
    EXPECT_EQ(Records(), 3);
    ASSERT_EQ(dialogs.Calls().size(), 3u);
    const std::string folder = ": it is a folder, not a regular file. ";
    EXPECT_EQ(dialogs.Calls()[0].text, "Cannot read " + PathOf("CommPortNo.txt") + folder +
                                           "The port chosen is not remembered.");
    EXPECT_EQ(dialogs.Calls()[1].text, "Cannot read " + PathOf("CommTune2.txt") + folder +
                                           "The turnaround delay stays 4000 microseconds.");
    EXPECT_TRUE(std::filesystem::is_directory(PathOf("CommPortNo.txt")) &&
                std::filesystem::is_directory(PathOf("CommTune2.txt")));

    plat.Post(10'000'000, [&] { app->MainWindow()->close(); });
    RunUntil(14'000'000);
    EXPECT_TRUE(quit && app->Ended() && !port.IsOpen());
    EXPECT_EQ(dialogs.Calls().size(), 3u);
    EXPECT_LT(port.Frames().back().atUs, 10'000'000);  // nothing was sent after the close
}

// The port dialog: a port that cannot be opened is named and the dialog comes back; --device
// overrides the number; a port picked from the list wins over both; Esc ends.
struct PortChoice {
    std::string device;  // --device
    const char* failFirst;
    void (*first)(AppTest&), (*second)(AppTest&);  // second: after a refusal
    std::vector<std::string> said;                 // in the refusal; none: the first opens
    std::string opened;                            // none: the program ends
};
class PortChoices : public AppTest, public ::testing::WithParamInterface<int> {};

const char *const kBusy = "Device or resource busy", *const kDenied = "Permission denied";
const std::string kAcm = "The serial port /dev/ttyACM0 cannot be opened: Permission denied";
const PortChoice kPortChoices[] = {
    {"", nullptr, AppTest::Enter, AppTest::Port3, {"COM port 0"}, "/dev/ttyS2"},  // port 0
    {"", kBusy, AppTest::Port3, AppTest::Port3, {"/dev/ttyS2", kBusy}, "/dev/ttyS2"},
    {"/dev/pts/9", nullptr, AppTest::Enter, nullptr, {}, "/dev/pts/9"},
    {"/dev/pts/9", kDenied, AppTest::Picked, AppTest::Picked, {kAcm}, "/dev/ttyACM0"},
    {"", nullptr, AppTest::Esc, nullptr, {}, ""},
};
TEST_P(PortChoices, OpenTheRightDeviceOrSayWhyNot) {
    const PortChoice& c = kPortChoices[GetParam()];
    ports = {PortInfo{"/dev/ttyACM0", "USB Serial", "Microchip", 0x04d8, 0x000a, ""}};
    Make(AppOptions{c.device, false, ""});
    app->StartWithPortDialog();  // first use: port 0
    if (c.failFirst)
        port.FailNextOpen(c.failFirst);
    c.first(*this);
    if (!c.said.empty()) {
        ASSERT_FALSE(dialogs.Calls().empty());
        for (const auto& s : c.said)
            EXPECT_NE(dialogs.Calls().back().text.find(s), std::string::npos)
                << dialogs.Calls().back().text;
        EXPECT_TRUE(app->PortDialog()->isVisible() && !app->MainWindow());
        c.second(*this);
    }
    EXPECT_TRUE(quit == c.opened.empty() && (app->MainWindow() != nullptr) != c.opened.empty());
    EXPECT_EQ(port.LastDevice(), c.opened);
}

INSTANTIATE_TEST_SUITE_P(, PortChoices, ::testing::Range(0, int(std::size(kPortChoices))));

// A window opened from the main window (at 1 s) replaces it, makes it wait under it (a key
// from the window system does nothing) or works beside it; once it closes the main window is
// back, polling the address in force. Logging runs throughout (a record a second), except that
// nothing is recorded while the bus is scanned.
enum class MainWhile { Replaced, Waits, Beside };
class WindowStories;
struct WindowStory {
    Qt::Key key;
    const char* menu;  // opened by this menu instead
    QWidget* (*window)(halvern::App&);
    MainWhile main;
    int closedByMs, address;  // the row's steps close it by then; polled once it is closed
    void (WindowStories::*steps)(frmMain*);
    void (WindowStories::*after)(frmMain*) = nullptr;
};
using A = halvern::App;
template <auto Get>
QWidget* Window(halvern::App& a) {
    return (a.*Get)();
}

class WindowStories : public AppTest, public ::testing::WithParamInterface<int> {
  public:
    void At(Micros t, std::function<void()> fn) { plat.Post(t, std::move(fn)); }
    // The bus is scanned: the served detector is not read meanwhile, so no record would be
    // true; the records go on once the window is closed.
    void NoRecordsUntil(Micros closeAt, QWidget* (*window)(halvern::App&)) {
        At(2'600'000, [this] { records = Records(); });
        At(closeAt, [this, closeAt, window] {
            EXPECT_EQ(Records(), records);
            QTest::keyClick(window(*app), Qt::Key_Escape);
            At(closeAt + 1'600'000, [this] { EXPECT_GT(Records(), records); });
        });
    }
    std::ptrdiff_t records = 0;
    static QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // The serial number asked (the served detector's offered, typing replaces it), the viewer,
    // then Esc.
    void LogViewer(frmMain*) {
        Write("4712.txt", "NNN0    05/12/26  14:03:27 23   3    4.12  3.98\r\n");
        At(2'600'000, [this] {
            auto* txt = app->LogPrompt()->findChild<QLineEdit*>("txtSer");
            EXPECT_EQ(txt->selectedText(), "4711");
            QTest::keyClicks(txt, "4712");
            QTest::keyClick(txt, Qt::Key_Return);
            ASSERT_NE(app->LogViewer(), nullptr);
        });
        At(3'000'000, [this] { QTest::keyClick(app->LogViewer(), Qt::Key_Escape); });
    }
    void NoQuit(frmMain*) { EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed()); }
    void Setup(frmMain* main) {
        At(3'000'000, [this, main] {
            EXPECT_FALSE(main->isEnabled());
            app->SetupScreen()->close();
        });
    }
    void Address(frmMain*) {
        At(3'000'000, [this] {
            auto* txt = app->AddressDialog()->findChild<QLineEdit*>("txtNewAddr");
            QTest::keyClicks(txt, "9");
            QTest::keyClick(txt, Qt::Key_Return);  // 9 is asked first, then written
        });
    }
    // Back on the main window, its status line says what was written and confirmed.
    void AddressDone(frmMain* main) {
        EXPECT_EQ(main->findChild<ElidedLabel*>("lblWriteNotice")->FullText().toStdString(),
                  "Address 9 written to the detector at address 1: the detector confirmed it.");
    }
    // F1 opens it; the box stays beside the polling main window.
    void About(frmMain*) { EXPECT_EQ(Menu("mnuAbout")->shortcut(), QKeySequence(Qt::Key_F1)); }
    // F8 shows the trends beside it; S/N test (F9); Esc: the trends close with it.
    void Maint(frmMain*) {
        At(2'500'000, [this] {
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F8);
            EXPECT_TRUE(app->TrendsWindow() && app->TrendsWindow()->isVisible() &&
                        app->MaintenanceWindow()->isVisible());
            // Beside it on the 1024x600 screen, not over its readings.
            EXPECT_FALSE(app->TrendsWindow()->frameGeometry().intersects(
                app->MaintenanceWindow()->frameGeometry()));
            EXPECT_TRUE(Screen().contains(app->TrendsWindow()->frameGeometry()));
        });
        At(4'500'000, [this] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F9); });
        At(8'500'000, [this] {
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
            EXPECT_FALSE(app->TrendsWindow() && app->TrendsWindow()->isVisible());
        });
    }
    // Left in the S/N test (No to the question on closing): the main window says so.
    void MaintDone(frmMain* main) {
        EXPECT_TRUE(main->findChild<QLabel*>("lblSnTest")->isVisible());
    }
    // Esc cancels the scan, then closes the window; the menu opens it too.
    void Scan(frmMain*) {
        NoRecordsUntil(4'500'000, Window<&A::ScanWindow>);
        At(5'000'000, [this] { QTest::keyClick(app->ScanWindow(), Qt::Key_Escape); });
        At(6'500'000, [this] {
            Menu("mnuScan")->trigger();
            ASSERT_NE(app->ScanWindow(), nullptr);
            app->ScanWindow()->close();
        });
    }
    void Overview(frmMain*) { NoRecordsUntil(4'500'000, Window<&A::OverviewWindow>); }
    // One window, open while the maintenance window serves (F7 brings the same one forward);
    // it hears every frame sent.
    void Traffic(frmMain* main) {
        At(2'600'000, [main] { QTest::keyClick(main, Qt::Key_M); });
        At(4'000'000, [this] {
            QPointer<frmTraffic> traffic = app->TrafficWindow();
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F7);
            EXPECT_TRUE(traffic && app->TrafficWindow() == traffic);
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
        });
    }
    // Whole on the small screen: its columns share the table's width.
    void Heard(frmMain*) {
        frmTraffic& traffic = *app->TrafficWindow();
        EXPECT_TRUE(Screen().contains(traffic.frameGeometry()));
        auto* table = traffic.findChild<QTableView*>("tblTraffic");
        int columns = 0;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            columns += table->columnWidth(c);
        EXPECT_LE(columns, table->viewport()->width());
        app->TrafficWindow()->Update();
        const TrafficRing& shown = app->TrafficWindow()->Log().Shown();
        std::vector<Micros> sent;
        for (std::size_t i = 0; i < shown.Size(); ++i)
            if (shown[i].direction == TrafficDirection::Sent)
                sent.push_back(shown[i].us);
        auto written = port.Frames() | std::views::transform(&SimulatedSerialPort::Written::atUs) |
                       std::views::filter([](Micros at) { return at >= 1'000'000; });
        EXPECT_TRUE(std::ranges::equal(sent, written));
    }
};

using W = WindowStories;
using enum MainWhile;
const WindowStory kWindowStories[] = {
    {{}, "mnuVLog", Window<&A::LogPrompt>, Replaced, 3000, 1, &W::LogViewer, &W::NoQuit},
    {Qt::Key_S, {}, Window<&A::SetupScreen>, Replaced, 3000, 1, &W::Setup},
    {Qt::Key_D, {}, Window<&A::AddressDialog>, Replaced, 3000, 9, &W::Address, &W::AddressDone},
    {Qt::Key_M, {}, Window<&A::MaintenanceWindow>, Replaced, 8500, 1, &W::Maint, &W::MaintDone},
    {Qt::Key_B, {}, Window<&A::ScanWindow>, Waits, 6500, 1, &W::Scan},
    {Qt::Key_O, {}, Window<&A::OverviewWindow>, Waits, 4500, 1, &W::Overview},
    {Qt::Key_F7, {}, Window<&A::TrafficWindow>, Beside, 4000, 1, &W::Traffic, &W::Heard},
    {Qt::Key_F1, {}, Window<&A::AboutBox>, Beside, 1000, 1, &W::About},
};
TEST_P(WindowStories, OpenWaitAndGiveThePollingBack) {
    const WindowStory& c = kWindowStories[GetParam()];
    frmMain* main = Started();
    dialogs.AnswerInput("1");
    At(500'000, [&] { Menu("mnuSLog")->trigger(); });
    At(1'000'000, [&] { c.menu ? Menu(c.menu)->trigger() : QTest::keyClick(main, c.key); });
    At(2'500'000, [&] {
        QWidget* w = c.window(*app);
        ASSERT_TRUE(w && w->isVisible());
        EXPECT_EQ(main->isVisible(), c.main != MainWhile::Replaced);
        if (c.main == MainWhile::Waits) {
            QTest::keyClick(main->windowHandle(), Qt::Key_M);
            EXPECT_EQ(app->MaintenanceWindow(), nullptr);
        }
    });
    (this->*c.steps)(main);
    const Micros end = c.closedByMs * 1000 + 3'500'000;
    RunUntil(end);
    EXPECT_EQ(c.window(*app) && c.window(*app)->isVisible(), c.main == MainWhile::Beside);
    EXPECT_TRUE(main->isVisible() && main->isEnabled());
    EXPECT_EQ(port.Frames().back().bytes, CommandFrame(c.address, kCodeStatus));
    EXPECT_GT(port.Frames().back().atUs, end - 1'000'000);  // polling again
    EXPECT_FALSE(quit);  // no window was visible for a moment; that must not end the program
    if (c.after)
        (this->*c.after)(main);
}

INSTANTIATE_TEST_SUITE_P(, WindowStories, ::testing::Range(0, int(std::size(kWindowStories))));

// A big log read for its plot (a few tens of MB here, a gigabyte in the field) is read beside
// the polling: the logging tick writes its record every second while the file is read (so the
// polling goes on); the plot comes when it is read.
TEST_F(AppTest, ThePollingAndItsRecordsGoOnWhileABigLogIsReadForItsPlot) {
    // Detector 4712's readings, one a second for almost three days: some 20 MB.
    StatusReading other;
    other.StatusCode = "NNN0";
    other.GainText = "3";
    std::ofstream out(PathOf("4712.txt"), std::ios::binary);
    for (int i = 0; i < 250'000; ++i) {
        other.ChannelValues[0] = static_cast<float>(4 + i % 100 / 100.0);
        out << CycleRecordLine(other, FromSeconds(SecondsOf({2026, 11, 1, 0, 0, 0}) + i));
    }
    out.close();
    Started();
    dialogs.AnswerInput("1");  // a record every second
    plat.Post(500'000, [&] { Menu("mnuSLog")->trigger(); });
    QPointer<frmLogTask> task;
    plat.Post(1'000'000, [&] {
        Menu("mnuVLog")->trigger();
        auto* txt = app->LogPrompt()->findChild<QLineEdit*>("txtSer");
        QTest::keyClicks(txt, "4712");
        QTest::keyClick(txt, Qt::Key_Return);
        QTest::keyClick(app->LogViewer(), Qt::Key_G);
        task = app->LogViewer()->Task();
    });
    // Every tenth of a second while the file is read: the time and the records so far.
    std::vector<std::pair<Micros, std::ptrdiff_t>> reading;
    std::function<void()> probe = [&] {
        if (task && task->Working()) {
            reading.emplace_back(plat.NowUs(), Records());
            plat.Post(plat.NowUs() + 100'000, probe);
        } else {
            app->Timer2().SetEnabled(false);
            app->Loop().Stop();
        }
    };
    plat.Post(1'100'000, probe);
    RunUntil(60'000'000);
    ASSERT_TRUE(task && reading.size() >= 2);
    const auto [firstAt, firstRecords] = reading.front();
    const auto [lastAt, lastRecords] = reading.back();
    EXPECT_EQ(firstAt, 1'100'000);  // read from the first look on
    EXPECT_GE(lastAt - firstAt, 3'000'000) << "the file was read in less than 3 s of polling";
    // The tick at 1.5 s, 2.5 s, ... writes a record each time.
    EXPECT_EQ(lastRecords - firstRecords,
              (lastAt - 500'000) / 1'000'000 - (firstAt - 500'000) / 1'000'000);
    task->WaitUntilDone();
    ASSERT_NE(app->LogViewer()->Plot(), nullptr);
}

// Each action of the windows on the detector leaves one event in the service history, and H
// shows them. The history cannot be written at first: that is said on the main window, and the
// event waits to be written by the retry once the file can take it; the warning goes.
TEST_F(AppTest, EachActionLeavesOneHistoryEventWrittenOnceTheFileCanTakeIt) {
    frmMain* main = Started();
    std::filesystem::create_directories(PathOf(kHistoryFile));  // a folder in the way
    auto* warning = main->findChild<QLabel*>("lblHistoryError");
    plat.Post(1'000'000, [&] { QTest::keyClick(main, Qt::Key_S); });
    plat.Post(2'400'000, [&] {
        EXPECT_TRUE(warning->isVisibleTo(main));
        EXPECT_NE(warning->text().indexOf("1 event kept"), -1) << warning->text().toStdString();
        std::filesystem::remove(PathOf(kHistoryFile));
    });
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
    plat.Post(2'400'000 + kHistoryRetryMs * 1000, [&] { QTest::keyClick(main, Qt::Key_H); });
    RunUntil(3'400'000 + kHistoryRetryMs * 1000);
    EXPECT_FALSE(warning->isVisibleTo(main));

    const auto events = app->History().Events();
    std::vector<std::string> actions;
    for (const auto& e : events)
        actions.push_back(e.action + " " + e.serial + " " + std::to_string(e.address) + " " +
                          e.program);
    const std::string by = " 4711 1 halvern";
    ASSERT_EQ(actions,
              (std::vector<std::string>{kActionAlign + by, kActionVersion + by, kActionSnTest + by,
                                        kActionSetupWrite + by, kActionSetupRead + by}));
    EXPECT_TRUE(!maintStatus.empty() && mainStatus.find(maintStatus) == std::string::npos)
        << mainStatus;
    EXPECT_EQ(events[2].status, maintStatus);
    EXPECT_EQ(events[2].attempts, std::optional<int>(1));  // confirmed at the first frame
    EXPECT_EQ(events[3].rawBefore + "|" + events[3].rawAfter, "24 05 02 0A|24 05 02 0A");
    EXPECT_EQ(events[3].before, events[4].after);
    EXPECT_EQ(events[3].confirmed, std::optional<bool>(true));
    ASSERT_NE(app->HistoryWindow(), nullptr);
    app->HistoryWindow()->WaitForRows();
    EXPECT_EQ(app->HistoryWindow()->findChild<QTableView*>("grdHistory")->model()->rowCount(), 5);

    // The served detector's report is offered as a PDF named for it and the day, in the
    // technician's documents.
    par.DocumentsFolder = "/home/tech/Documents";
    Menu("mnuReport")->trigger();
    EXPECT_EQ(dialogs.Calls().back().kind, DialogCall::Kind::PrintDialog);
    EXPECT_EQ(dialogs.Calls().back().defaultText,
              "/home/tech/Documents/4711-report-2026-12-05.pdf");
}

// halvern's command line: --help and --version are answered before there is a display, whatever
// else stands beside them; anything else leaves the start-up to go on, unless a value is no good.
TEST(ProgramCommandLine, VersionAndHelpAreAnsweredWhereverTheyStandAndOtherLinesGoOn) {
    ProgramCommandLine cli;
    const auto answer = [&](QStringList a) {
        return cli.Answer(QStringList{"/usr/bin/halvern"} + a);
    };
    // Qt's own options are taken out only later by QApplication.
    EXPECT_EQ(answer({"-platform", "offscreen", "--device", "/dev/ttyUSB0", "-v"}),
              std::string("halvern ") + kVersion + "\n");
    EXPECT_EQ(answer({"--data-dir", "--version"}), std::nullopt);  // a folder of that name
    const auto help = answer({"--demo", "--help"});
    ASSERT_TRUE(help && help->starts_with("Usage: halvern [options]\n")) << help.value_or("");
    for (const char* option : {"--device <path>", "--demo", "--data-dir <path>", "--version"})
        EXPECT_NE(help->find(option), std::string::npos) << option;

    // Values that are no good end the program as a bad command line, saying why.
    const std::pair<QStringList, std::string> values[] = {
        {{"--device", "tcp://10.0.4.21:4001"}, ""},
        {{"--device", "tcp://gw-a"}, "--device \"tcp://gw-a\": no port: give it as HOST:PORT"},
        {{"--device", "tcp://gw-a:99999"},
         "--device \"tcp://gw-a:99999\": the port \"99999\" is not a number from 1 to 65535"},
        {{"--device", "tcp://:1"}, "--device \"tcp://:1\": no host and port"},
        {{"--device", "tcp://[::1]"}, "--device \"tcp://[::1]\": no port"},
        {{"--network-allowance", "10001"},
         "--network-allowance wants milliseconds from 0 to 10000"},
    };
    for (const auto& [args, says] : values) {
        EXPECT_EQ(answer(args), std::nullopt);
        std::string problem;
        const auto options = cli.Options(&problem);
        EXPECT_EQ(options.has_value(), says.empty()) << args.join(' ').toStdString();
        EXPECT_TRUE(problem.starts_with(says)) << problem;
    }
}

}  // namespace
}  // namespace halvern::test
