// halvern-bench-scan: how long `halvern-cli scan` takes over the whole address range against
// halvern-sim on a pseudo-terminal, and how close that comes to what the line and the time-out
// allow. Two runs: the simulator's default bus, and detectors at the ends and the middle of
// the range (1, 123, 247). The simulator's trace gives the time of each query, so the figures
// split into silent and answering addresses. It prints "name: value" lines and checks nothing.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchOptions.h"
#include "link/Link.h"
#include "monitor/BusScan.h"

using namespace halvern;

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kScanTimeoutMs = 120'000;
constexpr int kDefaultLatencyMs = 5;  // the simulator's own default
constexpr int kAddresses = 247;
constexpr std::size_t kQueryBytes = 9;

struct Options {
    QString sim, cli;
    int timeoutMs = kDefaultScanTimeoutMs;
    int latencyMs = kDefaultLatencyMs;
};

[[noreturn]] void Usage(const std::string& why) {
    if (!why.empty())
        std::fprintf(stderr, "halvern-bench-scan: %s\n", why.c_str());
    std::fprintf(why.empty() ? stdout : stderr,
                 "usage: halvern-bench-scan [--sim PATH] [--cli PATH] [--timeout MS] "
                 "[--latency MS]\n"
                 "  --sim PATH     the simulator (default: halvern-sim next to this program)\n"
                 "  --cli PATH     the tool (default: halvern-cli next to this program)\n"
                 "  --timeout MS   handed to halvern-cli scan (default %d)\n"
                 "  --latency MS   handed to the simulator (default %d)\n",
                 kDefaultScanTimeoutMs, kDefaultLatencyMs);
    std::exit(why.empty() ? 0 : 2);
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    const QString here = QCoreApplication::applicationDirPath();
    o.sim = here + "/halvern-sim";
    o.cli = here + "/halvern-cli";
    for (bench::OptionCursor c(argc, argv, Usage); c.Next();) {
        const std::string& arg = c.Arg();
        if (arg == "--sim")
            o.sim = QString::fromStdString(c.Value());
        else if (arg == "--cli")
            o.cli = QString::fromStdString(c.Value());
        else if (arg == "--timeout")
            o.timeoutMs = c.Whole(1, 10'000, "whole milliseconds from 1 to 10000");
        else if (arg == "--latency")
            o.latencyMs = c.Whole(0, 10'000, "whole milliseconds from 0 to 10000");
        else if (arg == "--help" || arg == "-h")
            Usage("");
        else
            c.Unknown();
    }
    return o;
}

// A line of the simulator's trace: milliseconds since its start, direction, bytes.
struct TraceLine {
    double ms = 0;
    bool fromHost = false;
    std::vector<int> bytes;
};

std::vector<TraceLine> ReadTrace(const std::string& path) {
    std::vector<TraceLine> lines;
    std::ifstream in(path);
    for (std::string text; std::getline(in, text);) {
        std::istringstream fields(text);
        TraceLine l;
        std::string dir, byte;
        fields >> l.ms >> dir;
        l.fromHost = dir == ">";
        while (fields >> byte)
            l.bytes.push_back(std::stoi(byte, nullptr, 16));
        lines.push_back(std::move(l));
    }
    return lines;
}

struct Mean {
    double sum = 0;
    int n = 0;
    void Add(double v) {
        sum += v;
        ++n;
    }
    double Value() const { return n ? sum / n : 0; }
};

bool StopSim(QProcess& sim) {
    sim.write("quit\n");
    sim.closeWriteChannel();
    if (sim.waitForFinished(kStartTimeoutMs))
        return true;
    sim.kill();
    return sim.waitForFinished(kStartTimeoutMs);
}

// One scan of 1-247 against a simulator started with `simArgs`; prints its figures.
bool Run(const Options& o, const char* name, const QStringList& simArgs, int detectors) {
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.txt");
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(o.sim,
              QStringList{"--trace", trace, "--latency", QString::number(o.latencyMs)} + simArgs);
    if (!sim.waitForStarted(kStartTimeoutMs)) {
        std::fprintf(stderr, "halvern-bench-scan: cannot start %s\n", qPrintable(o.sim));
        return false;
    }
    while (!sim.canReadLine())
        if (!sim.waitForReadyRead(kStartTimeoutMs)) {
            std::fprintf(stderr, "halvern-bench-scan: the simulator printed no terminal\n");
            StopSim(sim);
            return false;
        }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();

    QProcess cli;
    QElapsedTimer wall;
    wall.start();
    cli.start(o.cli, {"--device", device, "--data-dir", dir.path(), "--timeout",
                      QString::number(o.timeoutMs), "scan"});
    const bool finished = cli.waitForFinished(kScanTimeoutMs);
    const double wallMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    StopSim(sim);
    if (!finished) {
        std::fprintf(stderr, "halvern-bench-scan: the scan did not finish\n");
        cli.kill();
        cli.waitForFinished();
        return false;
    }
    const QString hits = QString::fromLocal8Bit(cli.readAllStandardOutput());
    const int found = static_cast<int>(hits.count('\n'));

    // Each query's time from its arrival to the next one's, by whether anything answered it;
    // the last query has no next one and is left out of the means.
    const auto lines = ReadTrace(trace.toStdString());
    Mean silent, answering;
    int queries = 0, answered = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].fromHost)
            continue;
        ++queries;
        std::size_t next = i + 1;
        bool reply = false;
        while (next < lines.size() && !lines[next].fromHost)
            reply = true, ++next;
        answered += reply;
        if (next < lines.size())
            (reply ? answering : silent).Add(lines[next].ms - lines[i].ms);
    }

    const double queryMs = static_cast<double>(WireTimeUs(kQueryBytes)) / 1000.0;
    const double byteMs = static_cast<double>(ByteTimeUs()) / 1000.0;
    const double answerMs = o.latencyMs + byteMs + kCollectionWindowMs;
    const double floorMs =
        kAddresses * queryMs + (kAddresses - answered) * o.timeoutMs + answered * answerMs;

    std::printf("run: %s\n", name);
    std::printf("simulator: %s\n",
                qPrintable(simArgs.isEmpty() ? "default bus" : simArgs.join(' ')));
    std::printf("scan time-out: %d ms\n", o.timeoutMs);
    std::printf("exit code: %d\n", cli.exitCode());
    std::printf("detectors found: %d of %d\n", found, detectors);
    std::printf("queries: %d (%d answered)\n", queries, answered);
    std::printf("wall time: %.3f s\n", wallMs / 1000.0);
    std::printf("per silent address: %.2f ms (floor %.2f: query %.2f + time-out %d)\n",
                silent.Value(), queryMs + o.timeoutMs, queryMs, o.timeoutMs);
    std::printf(
        "per answering address: %.2f ms (floor %.2f: query %.2f + latency %d + first byte "
        "%.2f + collection %.0f)\n",
        answering.Value(), queryMs + answerMs, queryMs, o.latencyMs, byteMs, kCollectionWindowMs);
    std::printf("floor: %.3f s\n", floorMs / 1000.0);
    std::printf("wall / floor: %.4f\n", wallMs / floorMs);
    std::printf("\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const Options o = ParseOptions(argc, argv);
    bool ok = Run(o, "default bus", {}, 3);
    ok = Run(o, "ends and middle",
             {"--detector", "1:24:1:4711", "--detector", "123:36:0:1207", "--detector",
              "247:48:0:880"},
             3) &&
         ok;
    return ok ? 0 : 1;
}
