// halvern-bench-poll: how fast and how cheaply the real polling path runs. It starts
// halvern-sim on a pseudo-terminal, opens that terminal with the Qt serial port, runs the main
// window's polling cycle headless for a while and prints what it measured as "name: value"
// lines. It checks nothing: the figures are for people comparing builds and machines.
//
// With --plot MEGABYTES it then polls again, logging a record a second, while the log viewer
// plots a generated log of that size, and prints how the polls and the records kept their pace
// meanwhile and how long the plot took; then while the plot is zoomed in and out five times,
// each stretch read again from the file.

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchOptions.h"
#include "GeneratedLog.h"
#include "link/Link.h"
#include "link/LinkFiles.h"
#include "logging/LogRecords.h"
#include "logging/LoggingControl.h"
#include "logging/frmCusLog.h"
#include "logging/frmLogPlot.h"
#include "maintenance/TrendStore.h"
#include "maintenance/frmTrends.h"
#include "monitor/MainComm.h"
#include "monitor/PollLoop.h"
#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSerialPort.h"
#include "state/Par.h"
#include "traffic/frmTraffic.h"
#include "ui/ChartZoom.h"
#include "ui/ChartZoomer.h"
#include "ui/ScriptedDialogs.h"

using namespace halvern;

namespace {

constexpr std::uint8_t kAddress = 1;  // the simulator's default bus has a detector there
constexpr int kDefaultSeconds = 20;
constexpr int kDefaultLatencyMs = 5;  // the simulator's own default
constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 3000;
constexpr std::size_t kQueryBytes = 9;  // the status query: address, 200, 4, 0, 32, 90, 62, CRC

struct Options {
    QString sim;
    double seconds = kDefaultSeconds;
    int latencyMs = kDefaultLatencyMs;
    double turnaroundUs = kDefaultTurnaroundUs;
    bool gui = false;
    bool views = false;        // a second run of the same length with the traffic and trend windows
    double plotMegabytes = 0;  // a run during the plot of a generated log of this size
};

[[noreturn]] void Usage(const std::string& why) {
    if (!why.empty())
        std::fprintf(stderr, "halvern-bench-poll: %s\n", why.c_str());
    std::fprintf(
        why.empty() ? stdout : stderr,
        "usage: halvern-bench-poll [--sim PATH] [--seconds N] [--latency MS] [--turnaround US]\n"
        "                          [--gui] [--views] [--plot MEGABYTES]\n"
        "  --sim PATH        the simulator to start (default: halvern-sim next to this program)\n"
        "  --seconds N       how long to poll (default %d)\n"
        "  --latency MS      the detectors' answer latency, handed to the simulator (default %d)\n"
        "  --turnaround US   the delay from the query's last byte to RTS released, as\n"
        "                    CommTune2.txt would give it (default %.0f)\n"
        "  --gui             run under QApplication like the program (offscreen unless\n"
        "                    QT_QPA_PLATFORM says otherwise)\n"
        "  --views           then poll as long again with the bus traffic window and the\n"
        "                    trends open and fed (implies --gui), and compare the two runs\n"
        "  --plot MEGABYTES  then poll, logging a record a second, while the log viewer plots\n"
        "                    a generated log of that size (implies --gui)\n",
        kDefaultSeconds, kDefaultLatencyMs, kDefaultTurnaroundUs);
    std::exit(why.empty() ? 0 : 2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.sim = QCoreApplication::applicationDirPath() + "/halvern-sim";
    for (bench::OptionCursor c(argc, argv, Usage); c.Next();) {
        const std::string& arg = c.Arg();
        if (arg == "--sim") {
            o.sim = QString::fromStdString(c.Value());
        } else if (arg == "--seconds") {
            o.seconds = c.Number(0.5, 86400, "a number from 0.5 to 86400");
        } else if (arg == "--latency") {
            // Whole milliseconds, as the simulator takes them.
            o.latencyMs = c.Whole(0, 10'000, "whole milliseconds from 0 to 10000");
        } else if (arg == "--turnaround") {
            o.turnaroundUs = c.Number(0, 1'000'000, "microseconds from 0 to 1000000");
        } else if (arg == "--gui") {
            o.gui = true;
        } else if (arg == "--views") {
            o.gui = o.views = true;
        } else if (arg == "--plot") {
            o.plotMegabytes = c.Number(1, 100'000, "megabytes from 1 to 100000");
            o.gui = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage("");
        } else {
            c.Unknown();
        }
    }
    return o;
}

// The platform as the link sees it, counting how often it waits and how long it blocks: a
// wait that spins shows as thousands of waits per poll.
class CountingPlatform : public Platform {
  public:
    explicit CountingPlatform(Platform& inner) : inner_(inner) {}

    Micros NowUs() const override { return inner_.NowUs(); }
    void ProcessEvents(Micros deadlineUs) override {
        ++waits;
        inner_.ProcessEvents(deadlineUs);
    }
    void Post(Micros atUs, std::function<void()> fn) override { inner_.Post(atUs, std::move(fn)); }
    std::unique_ptr<Timer> NewTimer() override { return inner_.NewTimer(); }
    void DelayUs(std::int32_t us) override {
        delayedUs += std::max(us, 0);
        inner_.DelayUs(us);
    }

    std::uint64_t waits = 0;
    std::int64_t delayedUs = 0;

  private:
    Platform& inner_;
};

// What happened to one status query, in microseconds of the steady clock; -1 when it did not.
struct Poll {
    Micros sent = -1;       // handed to the port
    Micros drained = -1;    // the port reported the bytes gone
    Micros released = -1;   // RTS released
    Micros firstSeen = -1;  // the program first saw a reply byte waiting
    Micros read = -1;       // the program took the reply
    std::size_t bytes = 0;  // how many it took
};

// The serial port as the link sees it: the real port, with the times of each status query
// and of the steps that follow it.
class TimedPort : public SerialPort {
  public:
    TimedPort(SerialPort& inner, const Clock& clock) : inner_(inner), clock_(clock) {
        inner_.onSendDrained = [this] {
            if (Poll* p = Current(); p && p->drained < 0)
                p->drained = clock_.NowUs();
            if (onSendDrained)
                onSendDrained();
        };
        inner_.onNotice = [this](const std::string& text) {
            if (onNotice)
                onNotice(text);
        };
    }
    ~TimedPort() override {
        inner_.onSendDrained = nullptr;
        inner_.onNotice = nullptr;
    }

    bool Open(const std::string& device, std::string* error) override {
        return inner_.Open(device, error);
    }
    void Close() override { inner_.Close(); }
    bool IsOpen() const override { return inner_.IsOpen(); }
    int BytesWaiting() override {
        const int n = inner_.BytesWaiting();
        if (Poll* p = Current(); n > 0 && p && p->firstSeen < 0)
            p->firstSeen = clock_.NowUs();
        return n;
    }
    std::vector<std::uint8_t> ReadAll() override {
        auto data = inner_.ReadAll();
        if (Poll* p = Current(); p && p->read < 0) {
            p->read = clock_.NowUs();
            p->bytes = data.size();
        }
        return data;
    }
    void Write(std::span<const std::uint8_t> bytes) override {
        if (bytes.size() == kQueryBytes && bytes[1] == FunctionCommand && bytes[4] == kCodeStatus)
            polls.push_back(Poll{.sent = clock_.NowUs()});
        inner_.Write(bytes);
    }
    void SetRts(bool on) override {
        if (Poll* p = Current(); !on && p && p->released < 0)
            p->released = clock_.NowUs();
        inner_.SetRts(on);
    }
    bool Rts() const override { return inner_.Rts(); }

    std::vector<Poll> polls;

  private:
    Poll* Current() { return polls.empty() ? nullptr : &polls.back(); }

    SerialPort& inner_;
    const Clock& clock_;
};

struct Cpu {
    double seconds = 0;
    long voluntarySwitches = 0;
};

Cpu OwnCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {s(u.ru_utime) + s(u.ru_stime), u.ru_nvcsw};
}

// User plus system time of another process, from /proc (Linux); nothing elsewhere.
std::optional<double> ProcessCpuSeconds(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!pid || !std::getline(in, line))
        return std::nullopt;
    // The command name may hold spaces; the fields after it are plain numbers.
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(line.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14)
            utime = std::strtoull(f.c_str(), nullptr, 10);
        if (i == 15)
            stime = std::strtoull(f.c_str(), nullptr, 10);
    }
    const long ticks = sysconf(_SC_CLK_TCK);
    if (!fields || ticks <= 0)
        return std::nullopt;
    return static_cast<double>(utime + stime) / static_cast<double>(ticks);
}

struct Stats {
    std::size_t n = 0;
    double mean = 0, min = 0, max = 0;
    void Add(double ms) {
        min = n ? std::min(min, ms) : ms;
        max = n ? std::max(max, ms) : ms;
        mean += (ms - mean) / static_cast<double>(++n);  // running mean
    }
};

// Milliseconds between two recorded moments of each poll, over the polls that have both.
Stats Between(const std::vector<Poll>& polls, std::size_t from, Micros Poll::*a, Micros Poll::*b) {
    Stats s;
    for (std::size_t i = from; i < polls.size(); ++i) {
        const Poll& p = polls[i];
        if (p.*a >= 0 && p.*b >= 0)
            s.Add(static_cast<double>(p.*b - p.*a) / 1000.0);
    }
    return s;
}

void Line(const char* name, const char* format, double value, const char* unit = "") {
    std::printf("%s: ", name);
    std::printf(format, value);
    std::printf("%s\n", unit);
}

bool StopSim(QProcess& sim) {
    if (sim.state() == QProcess::NotRunning)
        return true;
    sim.write("quit\n");
    sim.closeWriteChannel();
    if (sim.waitForFinished(kStopTimeoutMs))
        return true;
    sim.terminate();
    if (sim.waitForFinished(kStopTimeoutMs))
        return true;
    sim.kill();
    return sim.waitForFinished(kStopTimeoutMs);
}

// The second run of --views, and its comparison with the first.
struct ViewRun {
    Stats period;
    double cpuShare = 0;
    std::size_t trafficRows = 0, trendSamples = 0;

    void Print(double plainPeriodMs, double plainCpuShare) const {
        std::printf(
            "with traffic window and trends: polls %zu, traffic rows %zu, trend samples "
            "%zu\n",
            period.n + 1, trafficRows, trendSamples);
        Line("with views mean poll period", "%.2f", period.mean, " ms");
        Line("with views cpu share of one core", "%.2f", cpuShare, " %");
        Line("poll period with / without views", "%.4f",
             plainPeriodMs > 0 ? period.mean / plainPeriodMs : 0.0);
        Line("cpu share with views minus without", "%.2f", cpuShare - plainCpuShare, " %");
    }
};

// The run of --plot.
struct PlotRun {
    double megabytes = 0;
    std::int64_t lines = 0;
    double seconds = 0;  // from asking for the plot to its window being there
    double peakBeforeMb = 0, peakAfterMb = 0;
    Stats period;             // of the polls sent meanwhile
    std::size_t due = 0;      // records the one-second tick was due to write meanwhile
    std::size_t ticks = 0;    // ticks that came
    std::size_t records = 0;  // lines the detector's log grew by
    double longestTickGapS = 0;
    std::string summary;
    Stats zoomPeriod;        // of the polls sent while zooming
    double zoomSeconds = 0;  // from the first zoom to the last stretch drawn

    void Print(double floorMs, double plainPeriodMs) const {
        std::printf("plot of a generated log: %.0f MB, %lld lines\n", megabytes,
                    static_cast<long long>(lines));
        std::printf("plot summary: %s\n", summary.c_str());
        Line("plot time (asked to window shown)", "%.2f", seconds, " s");
        Line("peak memory before the plot", "%.0f", peakBeforeMb, " MB");
        Line("peak memory after the plot", "%.0f", peakAfterMb, " MB");
        std::printf("polls during the plot: %zu\n", period.n + 1);
        Line("during the plot mean poll period", "%.2f", period.mean, " ms");
        Line("during the plot max poll period", "%.2f", period.max, " ms");
        Line("during the plot mean period / floor", "%.3f", period.n ? period.mean / floorMs : 0.0);
        Line("during the plot max period / floor", "%.3f", period.n ? period.max / floorMs : 0.0);
        Line("during the plot mean period / without the plot", "%.3f",
             plainPeriodMs > 0 ? period.mean / plainPeriodMs : 0.0);
        std::printf(
            "records due during the plot: %zu, ticks %zu, records written %zu, missed %zu\n", due,
            ticks, records, due > records ? due - records : 0);
        Line("longest time between two ticks", "%.3f", longestTickGapS, " s");
        Line("zooming five times (each stretch read and drawn)", "%.2f", zoomSeconds, " s");
        std::printf("polls while zooming: %zu\n", zoomPeriod.n + 1);
        Line("while zooming mean period / floor", "%.3f",
             zoomPeriod.n ? zoomPeriod.mean / floorMs : 0.0);
        Line("while zooming max period / floor", "%.3f",
             zoomPeriod.n ? zoomPeriod.max / floorMs : 0.0);
    }
};

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux gives KiB
}

bool WantsGui(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--gui" || std::string(argv[i]) == "--views" ||
            std::string(argv[i]) == "--plot")
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // The program runs under QApplication, whose event dispatcher may differ from the plain
    // core one; --gui measures with the same.
    std::unique_ptr<QCoreApplication> app;
    if (WantsGui(argc, argv)) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    std::setlocale(LC_NUMERIC, "C");
    const Options o = ParseOptions(argc, argv);

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(o.sim, {"--latency", QString::number(o.latencyMs)});
    if (!sim.waitForStarted(kStartTimeoutMs)) {
        std::fprintf(stderr, "halvern-bench-poll: cannot start %s: %s\n", qPrintable(o.sim),
                     qPrintable(sim.errorString()));
        return 1;
    }
    while (!sim.canReadLine()) {
        if (!sim.waitForReadyRead(kStartTimeoutMs)) {
            std::fprintf(stderr, "halvern-bench-poll: %s printed no terminal path\n",
                         qPrintable(o.sim));
            StopSim(sim);
            return 1;
        }
    }
    const std::string device = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();

    QtPlatform platform;
    CountingPlatform counting(platform);
    QtSerialPort serial(platform);
    std::string why;
    if (!serial.Open(device, &why)) {
        std::fprintf(stderr, "halvern-bench-poll: %s\n", why.c_str());
        StopSim(sim);
        return 1;
    }
    TimedPort port(serial, platform);
    std::vector<std::string> notices;
    port.onNotice = [&](const std::string& text) { notices.push_back(text); };

    // The main window's start-up state; the log files (off anyway) go to a folder of our own.
    QTemporaryDir folder;
    auto par = std::make_unique<Par>();
    par->ProgramFolder = folder.path().toStdString();
    par->CurrentAddress = kAddress;
    par->Main.DetNum = std::to_string(kAddress);
    par->LoggingOn = false;

    Link link(counting, port, par->Link);
    link.TurnaroundDelay = o.turnaroundUs;
    PollLoop loop;
    ScriptedDialogs dialogs;
    std::vector<bool> outcomes;  // per finished poll: answered
    MainCommHooks hooks;
    hooks.now = [] { return CurrentLocalDateTime(); };
    // Called once after each finished poll: a decoded reply leaves the address's count of
    // silent polls at zero.
    // With --views, the trends are fed by every poll as the maintenance window's polls feed them
    // (the same query and reply).
    std::unique_ptr<TrendStore> trends;
    std::function<void(bool)> fedViews;
    hooks.changed = [&] {
        outcomes.push_back(par->FailCount[par->CurrentAddress] == 0);
        if (fedViews)
            fedViews(outcomes.back());
    };
    MainComm comm(*par, link, dialogs, loop, std::move(hooks));

    const qint64 simPid = sim.processId();
    const auto simCpu0 = ProcessCpuSeconds(simPid);
    const Cpu cpu0 = OwnCpu();
    const Micros t0 = platform.NowUs();
    // Stopped rather than quit when a second run follows: a quit loop does not run again.
    platform.Post(t0 + static_cast<Micros>(o.seconds * 1e6), [&] {
        if (o.views || o.plotMegabytes > 0)
            loop.Stop();
        else
            loop.Quit();
    });
    comm.Activate();  // returns when the loop ends
    const Micros t1 = platform.NowUs();
    const std::size_t plainPolls = port.polls.size();  // the runs after it count on their own
    const Cpu cpu1 = OwnCpu();
    const auto simCpu1 = ProcessCpuSeconds(simPid);

    std::optional<ViewRun> viewRun;
    if (o.views) {
        trends = std::make_unique<TrendStore>(platform);
        frmTraffic traffic(link, dialogs, t0);
        frmTrends trendsWin(*par, *trends, dialogs);
        traffic.show();
        trendsWin.show();
        fedViews = [&](bool answered) {
            trends->AddPoll(*par, answered);
            trendsWin.Refresh();
        };
        const std::size_t from = port.polls.size();
        const Cpu v0 = OwnCpu();
        const Micros u0 = platform.NowUs();
        platform.Post(u0 + static_cast<Micros>(o.seconds * 1e6), [&] {
            if (o.plotMegabytes > 0)
                loop.Stop();
            else
                loop.Quit();
        });
        comm.Activate();
        const Micros u1 = platform.NowUs();
        const Cpu v1 = OwnCpu();
        fedViews = nullptr;
        ViewRun r;
        // The first period of this run spans the activation; it is left out as above.
        for (std::size_t i = from + 2; i < port.polls.size(); ++i)
            r.period.Add(static_cast<double>(port.polls[i].sent - port.polls[i - 1].sent) / 1000.0);
        r.cpuShare = 100.0 * (v1.seconds - v0.seconds) / (static_cast<double>(u1 - u0) / 1e6);
        r.trafficRows = traffic.Log().Shown().Size();
        r.trendSamples = trends->Size();
        viewRun = r;
    }

    std::optional<PlotRun> plotRun;
    if (o.plotMegabytes > 0) {
        PlotRun r;
        r.megabytes = o.plotMegabytes;
        r.lines = bench::WriteGeneratedLog(JoinPath(par->ProgramFolder, "9999.txt"),
                                           o.plotMegabytes * 1e6);
        // Logging on, a record a second, ticking as the program's Timer2 does.
        par->LoggingOn = true;
        par->LogPeriod = 1;
        std::vector<Micros> ticks;
        auto timer2 = platform.NewTimer();
        timer2->SetInterval(kLogTickMs);
        timer2->onTick = [&] {
            ticks.push_back(platform.NowUs());
            LogTick(*par, CurrentLocalDateTime());
        };
        const auto records = [&] {
            std::ifstream in(JoinPath(par->ProgramFolder, LogFileName(par->Reading.SerialNumber)),
                             std::ios::binary);
            return static_cast<std::size_t>(std::count(std::istreambuf_iterator<char>(in),
                                                       std::istreambuf_iterator<char>(), '\n'));
        };
        frmCusLog viewer(*par, dialogs, "9999");
        viewer.show();
        Micros from = 0, to = 0, tickStart = 0;
        std::size_t recordsFrom = 0;
        // Two seconds of polling and logging, then G; the run ends when the plot is there.
        Micros zoomFrom = 0, zoomTo = 0, drawn = 0;
        std::size_t zooms = 0;
        // The stretches zoomed to, as shares of the whole span: its middle tenth, hundredth,
        // the hundredth after that, the whole again, the middle thousandth. Each is zoomed to
        // once the one before is read and has been drawn for a moment; the run ends then.
        const std::pair<double, double> stretches[] = {
            {0.45, 0.55}, {0.495, 0.505}, {0.505, 0.515}, {0, 1}, {0.4995, 0.5005}};
        std::function<void()> zoom = [&] {
            frmLogPlot& plot = *viewer.Plot();
            const Micros now = platform.NowUs();
            if (plot.ReadingStretch() || plot.Drawing()) {
                drawn = now;
            } else if (now - drawn >= 300'000) {
                if (zooms == std::size(stretches)) {
                    zoomTo = now;
                    loop.Quit();
                    return;
                }
                const ChartZoom& z = plot.Zoomer().Zoom();
                const double from = z.WholeFrom(), width = z.WholeTo() - from;
                const auto [a, b] = stretches[zooms++];
                plot.Zoomer().Select(from + a * width, from + b * width);
                drawn = now;
            }
            platform.Post(now + 10'000, zoom);
        };
        std::function<void()> look = [&] {
            if (!viewer.Plot()) {
                platform.Post(platform.NowUs() + 10'000, look);
                return;
            }
            to = platform.NowUs();
            r.records = records() - recordsFrom;
            // The plot's first drawing done, the zooms begin.
            platform.Post(to + 1'000'000, [&] {
                zoomFrom = drawn = platform.NowUs();
                zoom();
            });
        };
        platform.Post(platform.NowUs() + 2'000'000, [&] {
            r.peakBeforeMb = PeakMegabytes();
            from = platform.NowUs();
            recordsFrom = records();
            viewer.OpenPlot();
            look();
        });
        tickStart = platform.NowUs();
        timer2->SetEnabled(true);
        comm.Activate();
        timer2->SetEnabled(false);
        r.peakAfterMb = PeakMegabytes();
        r.seconds = static_cast<double>(to - from) / 1e6;
        for (std::size_t i = 1; i < port.polls.size(); ++i)
            if (port.polls[i - 1].sent >= from && port.polls[i].sent <= to)
                r.period.Add(static_cast<double>(port.polls[i].sent - port.polls[i - 1].sent) /
                             1000.0);
        const auto tick = [&](Micros t) { return (t - tickStart) / (kLogTickMs * 1000); };
        r.due = static_cast<std::size_t>(tick(to) - tick(from));
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            if (ticks[i] > from && ticks[i] <= to)
                ++r.ticks;
            if (i > 0 && ticks[i] > from && ticks[i - 1] <= to)
                r.longestTickGapS =
                    std::max(r.longestTickGapS, static_cast<double>(ticks[i] - ticks[i - 1]) / 1e6);
        }
        r.zoomSeconds = static_cast<double>(zoomTo - zoomFrom) / 1e6;
        for (std::size_t i = 1; i < port.polls.size(); ++i)
            if (port.polls[i - 1].sent >= zoomFrom && port.polls[i].sent <= zoomTo)
                r.zoomPeriod.Add(static_cast<double>(port.polls[i].sent - port.polls[i - 1].sent) /
                                 1000.0);
        if (viewer.Plot())
            r.summary = viewer.Plot()->findChild<QLabel*>("lblSummary")->text().toStdString();
        plotRun = r;
    }

    port.Close();
    const bool simStopped = StopSim(sim);

    const double wallS = static_cast<double>(t1 - t0) / 1e6;
    const auto completed = static_cast<std::uint64_t>(outcomes.size());
    const auto answered =
        static_cast<std::uint64_t>(std::count(outcomes.begin(), outcomes.end(), true));
    const std::vector<Poll> polls(port.polls.begin(),
                                  port.polls.begin() + static_cast<std::ptrdiff_t>(plainPolls));
    // The first query is the activation's own, sent just before the first poll's.
    const std::size_t first = polls.empty() ? 0 : 1;
    Stats period;
    for (std::size_t i = first + 1; i < polls.size(); ++i)
        period.Add(static_cast<double>(polls[i].sent - polls[i - 1].sent) / 1000.0);

    const double queryMs = static_cast<double>(kQueryBytes) * 10.0 / kBaud * 1000.0;
    const double byteMs = 10.0 / kBaud * 1000.0;
    const double latencyMs = o.latencyMs;
    const double floorMs = queryMs + latencyMs + byteMs + kCollectionWindowMs;
    // A pseudo-terminal has no baud rate: the simulator has the query as soon as it is written.

    std::printf("simulator: %s --latency %d\n", qPrintable(o.sim), o.latencyMs);
    std::printf("device: %s\n", device.c_str());
    std::printf("address: %d\n", kAddress);
    Line("turnaround delay", "%.0f", o.turnaroundUs, " us");
    std::printf("application: %s\n", o.gui ? "QApplication" : "QCoreApplication");
    Line("duration", "%.2f", wallS, " s");
    std::printf("polls: %llu\n", static_cast<unsigned long long>(completed));
    Line("polls per second", "%.2f", static_cast<double>(completed) / wallS);
    Line("mean poll period", "%.2f", period.mean, " ms");
    Line("min poll period", "%.2f", period.min, " ms");
    Line("max poll period", "%.2f", period.max, " ms");
    std::printf(
        "floor: %.2f ms (query %.2f + latency %.2f + first reply byte %.2f + collection %.2f)\n",
        floorMs, queryMs, latencyMs, byteMs, kCollectionWindowMs);
    Line("period / floor", "%.3f", period.n ? period.mean / floorMs : 0.0);
    Line("answered (Good)", "%.1f",
         completed ? 100.0 * static_cast<double>(answered) / static_cast<double>(completed) : 0.0,
         " %");
    // The activation's extra query is answered while the first poll waits, so the two
    // replies meet in one reception and fail its CRC: the first poll is expected to go
    // unanswered.
    std::printf("unanswered polls: %llu (first poll %s)\n",
                static_cast<unsigned long long>(completed - answered),
                outcomes.empty() || outcomes.front() ? "answered" : "unanswered");
    Line("query to send-drained (mean)", "%.2f",
         Between(polls, first, &Poll::sent, &Poll::drained).mean, " ms");
    Line("query to RTS released (mean)", "%.2f",
         Between(polls, first, &Poll::sent, &Poll::released).mean, " ms");
    Line("query to first reply byte seen (mean)", "%.2f",
         Between(polls, first, &Poll::sent, &Poll::firstSeen).mean, " ms");
    Line("first byte seen to reply read (mean)", "%.2f",
         Between(polls, first, &Poll::firstSeen, &Poll::read).mean, " ms");
    {
        // From taking one reply to sending the next query: decoding and the loop's own cost.
        Stats tail;
        double sum = 0;
        for (std::size_t i = first; i + 1 < polls.size(); ++i) {
            if (polls[i].read < 0)
                continue;
            sum += static_cast<double>(polls[i + 1].sent - polls[i].read) / 1000.0;
            ++tail.n;
        }
        Line("reply read to next query (mean)", "%.3f",
             tail.n ? sum / static_cast<double>(tail.n) : 0.0, " ms");
    }
    {
        // The first poll took two replies at once (see above): count the ones after it.
        double sum = 0;
        std::size_t n = 0;
        for (std::size_t i = first + 1; i < polls.size(); ++i) {
            if (polls[i].read < 0)
                continue;
            sum += static_cast<double>(polls[i].bytes);
            ++n;
        }
        Line("reply bytes per poll", "%.1f", n ? sum / static_cast<double>(n) : 0.0);
    }
    const double perPoll = completed ? static_cast<double>(completed) : 1.0;
    Line("event waits per poll", "%.1f", static_cast<double>(counting.waits) / perPoll);
    Line("blocking delay per poll", "%.2f",
         static_cast<double>(counting.delayedUs) / 1000.0 / perPoll, " ms");
    Line("voluntary context switches per poll", "%.1f",
         static_cast<double>(cpu1.voluntarySwitches - cpu0.voluntarySwitches) / perPoll);
    Line("cpu share of one core", "%.2f", 100.0 * (cpu1.seconds - cpu0.seconds) / wallS, " %");
    if (simCpu0 && simCpu1)
        Line("sim cpu share of one core", "%.2f", 100.0 * (*simCpu1 - *simCpu0) / wallS, " %");
    if (viewRun)
        viewRun->Print(period.mean, 100.0 * (cpu1.seconds - cpu0.seconds) / wallS);
    if (plotRun)
        plotRun->Print(floorMs, period.mean);
    for (const auto& n : notices)
        std::printf("port notice: %s\n", n.c_str());
    if (!simStopped)
        std::fprintf(stderr, "halvern-bench-poll: the simulator did not stop\n");
    return 0;
}
