// The whole program on virtual time: splash, port dialog, main window, the windows it opens,
// logging, history, exit.

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
#include <memory>
#include <utility>

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
  public:
    using UiTest::Read;
    using UiTest::Write;
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
    QAction* Menu(const char* name) { return app->MainWindow()->findChild<QAction*>(name); }
    std::ptrdiff_t Records(const std::string& file = "4711.txt") {
        return std::ranges::count(Read(file), '\n');
    }
    const DialogCall& LastCall() { return dialogs.Calls().back(); }
    // A window opens wholly on the screen (a 1024x600 laptop's), every button of it in sight.
    static void OnScreen(QWidget* w) {
        ASSERT_NE(w, nullptr);
        const std::string name = w->objectName().toStdString();
        EXPECT_TRUE(w->screen()->availableGeometry().contains(w->frameGeometry())) << name;
        for (auto* b : w->findChildren<QPushButton*>()) {
            if (b->window() == w && b->isVisibleTo(w)) {
                EXPECT_TRUE(w->rect().contains(QRect(b->mapTo(w, QPoint()), b->size())))
                    << name << " " << b->text().toStdString();
            }
        }
    }
};

// The splash, the port dialog, the main window polling the chosen port, logging started by
// Ctrl+S, and the close box that ends without asking.
TEST_F(AppTest, SplashPortDialogMainWindowLoggingAndTheCloseBox) {
    Make();
    app->Start();
    plat.RunUntil(3'000'000);  // the splash leaves
    ASSERT_NE(app->PortDialog(), nullptr);
    EXPECT_TRUE(app->PortDialog()->isVisible());
    ChoosePort("5");
    EXPECT_EQ(port.LastDevice(), "/dev/ttyS4");
    ASSERT_NE(app->MainWindow(), nullptr);
    EXPECT_TRUE(app->MainWindow()->isVisible());
    EXPECT_EQ(Read("CommTune2.txt"), "4000\r\n");
    dialogs.AnswerInput("2");
    plat.Post(4'000'000, [&] { Menu("mnuSLog")->trigger(); });
    RunUntil(9'500'000);
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblSeNum")->text(), "4711");
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblCom")->text(), "Good");
    EXPECT_EQ(LastCall().title, "Log Record");
    EXPECT_EQ(Menu("mnuSLog")->text(), "stop loggin&G");
    auto* on = app->MainWindow()->findChild<QLabel*>("lblLogOn");
    EXPECT_TRUE(on->isVisible());
    EXPECT_EQ(on->text(), "Record is activate every 2 seconds...");
    EXPECT_EQ(Read("4711.txt").substr(0, 27), "NNN0    05/12/26  14:03:27 ");
    // The first reply's record, then one every second tick: at 6 s and 8 s.
    EXPECT_EQ(Records(), 3);

    const std::size_t calls = dialogs.Calls().size();
    plat.Post(10'000'000, [&] { app->MainWindow()->close(); });
    RunUntil(14'000'000);
    EXPECT_TRUE(quit && app->Ended());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(dialogs.Calls().size(), calls);
    EXPECT_LT(port.Frames().back().atUs, 10'000'000);  // nothing was sent after the close
}

// The port dialog: a port that cannot be opened is named and the dialog comes back; --device
// overrides the number; a port picked from the list wins over both; Esc ends.
using Choice = void (*)(AppTest&);
void Enter(AppTest& t) {
    QTest::keyClick(t.app->PortDialog(), Qt::Key_Return);
}
void Port3(AppTest& t) {
    t.ChoosePort("3");
}
void Picked(AppTest& t) {  // though no number reaches it
    auto* list = t.app->PortDialog()->findChild<QTreeWidget*>("lstPorts");
    list->setCurrentItem(list->topLevelItem(0));
    QTest::keyClick(list, Qt::Key_Return);
}
void Esc(AppTest& t) {
    QTest::keyClick(t.app->PortDialog(), Qt::Key_Escape);
}
struct PortChoice {
    const char* name;
    std::string device;  // --device
    const char* failFirst;
    Choice first, second;           // second: after a refusal
    std::vector<std::string> said;  // in the refusal; none: the first opens
    std::string opened;             // none: the program ends
};
void PrintTo(const PortChoice& c, std::ostream* os) {
    *os << c.name;
}
class PortChoices : public AppTest, public ::testing::WithParamInterface<PortChoice> {};

TEST_P(PortChoices, OpenTheRightDeviceOrSayWhyNot) {
    const PortChoice& c = GetParam();
    ports = {PortInfo{"/dev/ttyACM0", "USB Serial", "Microchip", 0x04d8, 0x000a, ""}};
    Make(AppOptions{c.device, false, ""});
    app->StartWithPortDialog();  // first use: port 0
    if (c.failFirst)
        port.FailNextOpen(c.failFirst);
    c.first(*this);
    if (!c.said.empty()) {
        ASSERT_FALSE(dialogs.Calls().empty());
        for (const auto& s : c.said)
            EXPECT_NE(LastCall().text.find(s), std::string::npos) << LastCall().text;
        EXPECT_EQ(LastCall().icon, MsgIcon::Critical);
        EXPECT_TRUE(app->PortDialog()->isVisible());
        EXPECT_EQ(app->MainWindow(), nullptr);
        c.second(*this);
    }
    EXPECT_EQ(quit, c.opened.empty());
    ASSERT_EQ(app->MainWindow() != nullptr, !c.opened.empty());
    EXPECT_EQ(port.LastDevice(), c.opened.empty() ? "" : c.opened);
}

const char* const kBusy = "Device or resource busy";
const PortChoice kPortChoices[] = {
    {"port 0", "", nullptr, Enter, Port3, {"COM port 0"}, "/dev/ttyS2"},
    {"busy", "", kBusy, Port3, Port3, {"/dev/ttyS2", kBusy}, "/dev/ttyS2"},
    {"device option", "/dev/pts/9", nullptr, Enter, nullptr, {}, "/dev/pts/9"},
    {"picked",
     "/dev/pts/9",
     "Permission denied",
     Picked,
     Picked,
     {"The serial port /dev/ttyACM0 cannot be opened: Permission denied"},
     "/dev/ttyACM0"},
    {"Esc", "", nullptr, Esc, nullptr, {}, ""},
};
INSTANTIATE_TEST_SUITE_P(, PortChoices, ::testing::ValuesIn(kPortChoices));

// Folders (as a FIFO or a device would be) named like the setting files: each is named in a
// message, neither is replaced, and the program goes on with the defaults.
TEST_F(AppTest, SomethingElseNamedLikeASettingFileIsSaidAndLeftAlone) {
    for (const char* name : {"CommPortNo.txt", "CommTune2.txt"})
        std::filesystem::create_directory(PathOf(name));
    Make();
    app->StartWithPortDialog();
    ChoosePort("1");
    RunUntil(1'000'000);
    ASSERT_EQ(dialogs.Calls().size(), 2u);
    EXPECT_EQ(dialogs.Calls()[0].text, "Cannot read " + PathOf("CommPortNo.txt") +
                                           ": it is a folder, not a regular file. The port "
                                           "chosen is not remembered.");
    EXPECT_EQ(dialogs.Calls()[1].text, "Cannot read " + PathOf("CommTune2.txt") +
                                           ": it is a folder, not a regular file. The turnaround "
                                           "delay stays 4000 microseconds.");
    EXPECT_EQ(dialogs.Calls()[1].icon, MsgIcon::Critical);
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblCom")->text(), "Good");
    EXPECT_TRUE(std::filesystem::is_directory(PathOf("CommPortNo.txt")) &&
                std::filesystem::is_directory(PathOf("CommTune2.txt")));
}

// A window opened from the main window (at 1 s) fits the screen; the main window is replaced,
// waits under it (a key from the window system does nothing) or works beside it; once it
// closes the main window is back, polling the address in force. Logging runs throughout (a
// record a second), except that nothing is recorded while the bus is scanned.
enum class MainWhile { Replaced, Waits, Beside };
class WindowStories;
struct WindowStory {
    const char* name;
    Qt::Key key;
    const char* menu;  // opened by this menu instead
    QWidget* (*window)(halvern::App&);
    MainWhile main;
    Micros closedBy;  // the row's steps close it by then
    int address;      // polled once it is closed
    void (WindowStories::*steps)(frmMain*);
    void (WindowStories::*after)(frmMain*) = nullptr;
};
void PrintTo(const WindowStory& c, std::ostream* os) {
    *os << c.name;
}
template <auto Get>
QWidget* Window(halvern::App& a) {
    return (a.*Get)();
}

class WindowStories : public AppTest, public ::testing::WithParamInterface<WindowStory> {
  public:
    void At(Micros t, std::function<void()> fn) { plat.Post(t, std::move(fn)); }
    QLineSeries* Signal1() {
        auto* view = app->TrendsWindow()->findChild<QChartView*>("chtSignals");
        return static_cast<QLineSeries*>(view->chart()->series().at(0));
    }
    // The bus is scanned: the served detector is not read meanwhile, so no record would be
    // true; the records go on once the window is closed.
    void NoRecordsUntil(Micros closeAt, std::function<void()> close) {
        At(2'600'000, [this] { records = Records(); });
        At(closeAt, [this, close] {
            EXPECT_EQ(Records(), records);
            close();
        });
        At(closeAt + 1'600'000, [this] { EXPECT_GT(Records(), records); });
    }
    std::ptrdiff_t records = 0;
    qsizetype drawn = 0;

    void LogViewer(frmMain*) {
        Write("4712.txt", "NNN0    05/12/26  14:03:27 23   3    4.12  3.98\r\n");
        At(2'600'000, [this] {
            auto* txt = app->LogPrompt()->findChild<QLineEdit*>("txtSer");
            QTest::keyClicks(txt, "4712");
            QTest::keyClick(txt, Qt::Key_Return);
            ASSERT_NE(app->LogViewer(), nullptr);
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
        At(3'000'000, [this] {
            QTest::keyPress(app->LogViewer(), Qt::Key_Escape);
            QTest::keyRelease(app->LogViewer(), Qt::Key_Escape);
        });
    }
    void NoQuitOnLastWindow(frmMain*) { EXPECT_FALSE(QGuiApplication::quitOnLastWindowClosed()); }
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
    void AddressInForce(frmMain* main) {
        EXPECT_EQ(main->findChild<QLabel*>("lblDetNum")->text(), "9");
        EXPECT_EQ(main->findChild<QLabel*>("lblSeNum")->text(), "4711");
        // After the echo: the activation's query (to the address polled until then), at once
        // the restarted cycle's, answered by the detector at its new address.
        const auto& f = port.Frames();
        const auto w = std::ranges::find_if(f, [](const auto& x) { return x.bytes[1] == 6; });
        ASSERT_LT(w + 3, f.end());
        EXPECT_EQ(w[1].bytes, CommandFrame(1, kCodeStatus));
        EXPECT_EQ(w[2].bytes, CommandFrame(9, kCodeStatus));
        EXPECT_EQ(w[3].bytes, CommandFrame(9, kCodeStatus));
        EXPECT_LT(w[3].atUs - w[2].atUs, 200'000);
    }
    // F8 shows the trends beside it (no button of it under them, its size kept); they close
    // with it. Then S/N test (F9), align (A), Alt+A, Esc.
    void Maintenance(frmMain*) {
        At(2'500'000, [this] {
            frmMainte* m = app->MaintenanceWindow();
            const QSize size = m->size();
            QTest::keyClick(m, Qt::Key_F8);
            ASSERT_NE(app->TrendsWindow(), nullptr);
            EXPECT_TRUE(app->TrendsWindow()->isVisible() && m->isVisible());
            OnScreen(app->TrendsWindow());
            OnScreen(m);
            for (auto* b : m->findChildren<QPushButton*>()) {
                if (b->window() == m) {
                    EXPECT_FALSE(app->TrendsWindow()->frameGeometry().intersects(
                        QRect(b->mapToGlobal(QPoint()), b->size())))
                        << b->text().toStdString();
                }
            }
            EXPECT_EQ(m->size(), size);
            drawn = Signal1()->count();
            EXPECT_GE(drawn, 1);
            QTest::keyClick(m, Qt::Key_F8);  // shows the same window again
        });
        At(4'500'000, [this] {
            EXPECT_GT(Signal1()->count(), drawn + 5);  // a point each poll
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F9);
        });
        At(6'500'000, [this] {
            EXPECT_NE(app->MaintenanceWindow()->findChild<QLabel*>("lblS1N")->text(), "");
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_A);
        });
        At(7'500'000,
           [this] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_A, Qt::AltModifier); });
        At(8'500'000, [this] {
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
            EXPECT_FALSE(app->TrendsWindow() && app->TrendsWindow()->isVisible());
        });
    }
    void MaintenanceDone(frmMain* main) {
        int modeWrites = 0, aligns = 0, closeTogether = 0;
        const auto& f = port.Frames();
        for (std::size_t i = 1; i < f.size(); ++i) {  // the first is the activation's query
            modeWrites += f[i].bytes == SnTestFrame(1);
            aligns += f[i].bytes == CommandFrame(1, kCodeAlign);
            if (f[i - 1].atUs >= 8'500'000 && f[i].bytes[1] == 200 && f[i - 1].bytes[1] == 200)
                closeTogether += f[i].atUs - f[i - 1].atUs < 100'000;
        }
        EXPECT_EQ(modeWrites, 1);
        EXPECT_EQ(aligns, 1);
        EXPECT_EQ(closeTogether, 1);  // the activation's query and the restarted cycle's, once
        // Left in the S/N test (No to the question on closing): the main window says so.
        EXPECT_TRUE(main->findChild<QLabel*>("lblSnTest")->isVisible());
        // A new opening starts new trends.
        const Micros now = plat.NowUs();
        At(now + 100'000, [main] { QTest::keyClick(main, Qt::Key_M); });
        At(now + 700'000, [this] { QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F8); });
        RunUntil(now + 1'000'000);
        ASSERT_NE(app->TrendsWindow(), nullptr);
        EXPECT_LT(Signal1()->count(), 5);
    }
    // Esc cancels the scan, then closes the window; the menu opens it too.
    void Scan(frmMain*) {
        NoRecordsUntil(4'500'000, [this] { QTest::keyClick(app->ScanWindow(), Qt::Key_Escape); });
        At(5'000'000, [this] {
            EXPECT_TRUE(app->ScanWindow()->isVisible());
            QTest::keyClick(app->ScanWindow(), Qt::Key_Escape);
        });
        At(6'500'000, [this] {
            EXPECT_FALSE(app->ScanWindow() && app->ScanWindow()->isVisible());
            EXPECT_EQ(Menu("mnuScan")->shortcut(), QKeySequence("Ctrl+B"));
            Menu("mnuScan")->trigger();
            ASSERT_NE(app->ScanWindow(), nullptr);
            app->ScanWindow()->close();
        });
    }
    void Overview(frmMain*) {
        NoRecordsUntil(4'500'000,
                       [this] { QTest::keyClick(app->OverviewWindow(), Qt::Key_Escape); });
    }
    // One window, open while the maintenance window serves; it hears every frame sent.
    void Traffic(frmMain* main) {
        At(2'600'000, [main] { QTest::keyClick(main, Qt::Key_M); });
        At(4'000'000, [this] {
            ASSERT_NE(app->MaintenanceWindow(), nullptr);
            QPointer<frmTraffic> traffic = app->TrafficWindow();
            EXPECT_TRUE(traffic && traffic->isVisible());
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_F7);
            EXPECT_EQ(app->TrafficWindow(), traffic);  // the same window, brought forward
            QTest::keyClick(app->MaintenanceWindow(), Qt::Key_Escape);
        });
    }
    void TrafficHeard(frmMain*) {
        QPointer<frmTraffic> traffic = app->TrafficWindow();
        ASSERT_TRUE(traffic && traffic->isVisible());
        traffic->Update();
        const TrafficRing& shown = traffic->Log().Shown();
        std::vector<Micros> sent, written;
        for (std::size_t i = 0; i < shown.Size(); ++i)
            if (shown[i].direction == TrafficDirection::Sent)
                sent.push_back(shown[i].us);
        for (const auto& f : port.Frames())
            if (f.atUs >= 1'000'000)
                written.push_back(f.atUs);
        EXPECT_GT(sent.size(), 6u);
        EXPECT_EQ(sent, written);
    }
};

TEST_P(WindowStories, OpenFitWaitAndGiveThePollingBack) {
    const WindowStory& c = GetParam();
    frmMain* main = Started();
    dialogs.AnswerInput("1");
    At(500'000, [&] { Menu("mnuSLog")->trigger(); });
    At(1'000'000, [&] { c.menu ? Menu(c.menu)->trigger() : QTest::keyClick(main, c.key); });
    At(2'500'000, [&] {
        QWidget* w = c.window(*app);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->isVisible());
        OnScreen(w);
        EXPECT_EQ(main->isVisible(), c.main != MainWhile::Replaced);
        if (c.main == MainWhile::Waits) {
            QTest::keyClick(main->windowHandle(), Qt::Key_M);
            EXPECT_EQ(app->MaintenanceWindow(), nullptr);
        }
    });
    (this->*c.steps)(main);
    const Micros end = c.closedBy + 3'500'000;
    RunUntil(end);
    const QWidget* w = c.window(*app);
    EXPECT_EQ(w && w->isVisible(), c.main == MainWhile::Beside);
    EXPECT_TRUE(main->isVisible() && main->isEnabled());
    EXPECT_EQ(port.Frames().back().bytes, CommandFrame(c.address, kCodeStatus));
    EXPECT_GT(port.Frames().back().atUs, end - 1'000'000);  // polling again
    EXPECT_FALSE(quit);  // no window was visible for a moment; that must not end the program
    if (c.after)
        (this->*c.after)(main);
}

using W = WindowStories;
using enum MainWhile;
const WindowStory kWindowStories[] = {
    {"log viewer",
     {},
     "mnuVLog",
     Window<&halvern::App::LogPrompt>,
     Replaced,
     3'000'000,
     1,
     &W::LogViewer,
     &W::NoQuitOnLastWindow},
    {"setup screen", Qt::Key_S, nullptr, Window<&halvern::App::SetupScreen>, Replaced, 3'000'000, 1,
     &W::Setup},
    {"address dialog", Qt::Key_D, nullptr, Window<&halvern::App::AddressDialog>, Replaced,
     3'000'000, 9, &W::Address, &W::AddressInForce},
    {"maintenance window", Qt::Key_M, nullptr, Window<&halvern::App::MaintenanceWindow>, Replaced,
     8'500'000, 1, &W::Maintenance, &W::MaintenanceDone},
    {"bus scan", Qt::Key_B, nullptr, Window<&halvern::App::ScanWindow>, Waits, 6'500'000, 1,
     &W::Scan},
    {"bus overview", Qt::Key_O, nullptr, Window<&halvern::App::OverviewWindow>, Waits, 4'500'000, 1,
     &W::Overview},
    {"bus traffic", Qt::Key_F7, nullptr, Window<&halvern::App::TrafficWindow>, Beside, 4'000'000, 1,
     &W::Traffic, &W::TrafficHeard},
};
INSTANTIATE_TEST_SUITE_P(, WindowStories, ::testing::ValuesIn(kWindowStories));

// A big log read for its plot (a few tens of MB here, a gigabyte in the field) is read beside
// the polling: the polls go on at their pace and the logging tick writes its record every
// second while the file is read; the plot comes when it is read.
TEST_F(AppTest, ThePollingAndItsRecordsGoOnWhileABigLogIsReadForItsPlot) {
    // Detector 4712's readings, one a second for almost three days: some 20 MB.
    {
        Par other;
        other.StatusParts = {"N", "N", "N", "0"};
        other.GainText = "3";
        std::ofstream out(PathOf("4712.txt"), std::ios::binary);
        std::string block;
        const std::int64_t start = SecondsOf({2026, 11, 1, 0, 0, 0});
        for (int i = 0; i < 250'000; ++i) {
            other.ChannelValues[0] = static_cast<float>(4 + i % 100 / 100.0);
            block += CycleRecordLine(other, FromSeconds(start + i));
            if (block.size() >= (1u << 20))
                out << std::exchange(block, {});
        }
        out << block;
    }
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
    // Every tenth of a second: whether the file is still being read, and the records so far.
    struct Probe {
        Micros at;
        bool reading;
        std::ptrdiff_t records;
    };
    std::vector<Probe> probes;
    std::function<void()> probe = [&] {
        const bool reading = task && task->Working();
        probes.push_back({plat.NowUs(), reading, Records()});
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
    ASSERT_TRUE(first.reading && last.reading);
    EXPECT_GE(last.at - first.at, 3'000'000) << "the file was read in less than 3 s of polling";
    // The polls before the log was opened set the pace; it holds while the file is read.
    std::vector<Micros> queries, before, during;
    for (const auto& f : port.Frames())
        if (f.bytes == CommandFrame(1, kCodeStatus))
            queries.push_back(f.atUs);
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
    EXPECT_EQ(last.records - first.records,
              (last.at - 500'000) / 1'000'000 - (first.at - 500'000) / 1'000'000);
    task->WaitUntilDone();
    ASSERT_NE(app->LogViewer()->Plot(), nullptr);
    EXPECT_EQ(app->LogViewer()->Plot()->findChild<QLabel*>("lblSummary")->text(),
              "250000 readings from 01/11/26 00:00:00 to 03/11/26 21:26:39");
}

TEST_F(AppTest, PortTroubleIsShownOnTheMainWindowWithoutStoppingThePolling) {
    Started();
    plat.Post(1'000'000, [&] { port.Unplug(); });
    plat.Post(3'000'000, [&] { port.Replug(); });
    RunUntil(4'000'000);
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblPortNotice")->text(),
              "The serial device was removed.");
    EXPECT_TRUE(dialogs.Calls().empty());  // no modal box in the middle of polling
    EXPECT_EQ(app->MainWindow()->findChild<QLabel*>("lblStatus")->text(), "DDD");
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
    for (const auto& e : events) {
        actions.push_back(e.action);
        EXPECT_EQ(e.serial + " " + std::to_string(e.address) + " " + e.program, "4711 1 halvern");
    }
    ASSERT_EQ(actions, (std::vector<std::string>{kActionAlign, kActionVersion, kActionSnTest,
                                                 kActionSetupWrite, kActionSetupRead}));
    EXPECT_EQ(events[1].after, "primary: Ver 3.12 F24");
    EXPECT_TRUE(events[2].after.starts_with("Sig1/Noise ")) << events[2].after;
    EXPECT_NE(maintStatus, "");
    EXPECT_EQ(mainStatus.find(maintStatus), std::string::npos) << mainStatus;
    EXPECT_EQ(events[2].status, maintStatus);
    EXPECT_EQ(events[2].attempts, std::optional<int>(1));  // confirmed at the first frame
    EXPECT_EQ(events[3].rawBefore + "|" + events[3].rawAfter, "24 05 02 0A|24 05 02 0A");
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
    const auto lines = std::ranges::count(events[3].after, '\n') + 1;
    EXPECT_GE(grid->rowHeight(3), lines * grid->fontMetrics().lineSpacing());
    // The report of the served detector, printed (here into a PDF) from the history window.
    dialogs.AnswerPrintDialog(1);
    dialogs.PrintToPdf(PathOf("report.pdf"));
    history->findChild<QPushButton*>("cmdReport")->click();
    EXPECT_EQ(LastCall().kind, DialogCall::Kind::PrintDocument);
    EXPECT_EQ(PdfPages(PathOf("report.pdf")), 1);
    history->findChild<QLineEdit*>("txtSerial")->setText("880");
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
