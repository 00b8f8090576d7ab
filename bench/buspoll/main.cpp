// halvern-bench-buspoll: how long a round of the bus poller takes over 32 detectors of
// halvern-sim on a pseudo-terminal, against the wire floor of its polls (query, latency, reply
// bytes and turnaround, each poll in turn), and how much of a core the polling takes; then the
// same while the other addresses are searched between rounds (as the overview and serve
// without addresses do), against the floor plus the search's queries and short waits. It
// prints "name: value" lines and checks nothing.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/Link.h"
#include "monitor/BusScan.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtSerialPort.h"
#include "site/BusPoller.h"

using namespace halvern;

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kLatencyMs = 5;  // the simulator's default
constexpr std::size_t kQueryBytes = 9, kReplyBytes = 34;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    int detectors = 32, rounds = 20;
    QString simPath = QCoreApplication::applicationDirPath() + "/halvern-sim";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--detectors")
            detectors = std::clamp(std::atoi(argv[i + 1]), 1, 247);
        else if (arg == "--rounds")
            rounds = std::clamp(std::atoi(argv[i + 1]), 1, 10'000);
        else if (arg == "--sim")
            simPath = argv[i + 1];
    }

    QStringList simArgs;
    std::vector<std::uint8_t> addresses;
    for (int a = 1; a <= detectors; ++a) {
        simArgs << "--detector" << QString("%1:24:1:%2").arg(a).arg(1000 + a);
        addresses.push_back(static_cast<std::uint8_t>(a));
    }
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, simArgs);
    if (!sim.waitForStarted(kStartTimeoutMs)) {
        std::fprintf(stderr, "halvern-bench-buspoll: cannot start %s\n", qPrintable(simPath));
        return 1;
    }
    while (!sim.canReadLine())
        if (!sim.waitForReadyRead(kStartTimeoutMs)) {
            std::fprintf(stderr, "halvern-bench-buspoll: the simulator printed no terminal\n");
            return 1;
        }
    const std::string device = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();

    QtPlatform platform;
    QtSerialPort port(platform);
    std::string why;
    if (!port.Open(device, &why)) {
        std::fprintf(stderr, "halvern-bench-buspoll: %s\n", why.c_str());
        return 1;
    }
    LinkBuffers buffers;
    Link link(platform, port, buffers);
    BusPoller poller(link, addresses);
    poller.Round();  // the first round begins the timing

    const Micros start = platform.NowUs();
    const double cpuStart = CpuSeconds();
    Micros shortest = -1, longest = 0;
    for (int r = 0; r < rounds; ++r) {
        poller.Round();
        const Micros t = poller.Bus().lastRoundUs;
        shortest = shortest < 0 ? t : std::min(shortest, t);
        longest = std::max(longest, t);
    }
    const double wallS = static_cast<double>(platform.NowUs() - start) / 1e6;
    const double cpuS = CpuSeconds() - cpuStart;
    std::size_t lost = 0, failures = 0;
    for (const auto& d : poller.Detectors()) {
        lost += d.lost ? 1 : 0;
        failures += d.failures;
    }
    // The same rounds while the search runs: each silent address costs its query, the scan's
    // short wait and the turnaround.
    BusPoller searching(link, addresses);
    searching.Search(BusSearch{});
    searching.Round();
    Micros roundsUs = 0, searchesUs = 0;
    const auto askedBefore = searching.Bus().searchAsked;
    for (int r = 0; r < rounds; ++r) {
        searching.Round();
        roundsUs += searching.Bus().lastRoundUs;
        searchesUs += searching.Bus().lastSearchUs;
    }
    const double asked = static_cast<double>(searching.Bus().searchAsked - askedBefore);
    sim.write("quit\n");
    sim.closeWriteChannel();
    if (!sim.waitForFinished(kStartTimeoutMs))
        sim.kill();

    const double pollWireMs =
        static_cast<double>(WireTimeUs(kQueryBytes) + WireTimeUs(kReplyBytes)) / 1000.0 +
        kLatencyMs;
    const double turnaroundMs = kDefaultTurnaroundUs / 1000.0;
    const double floorMs = detectors * (pollWireMs + turnaroundMs);
    const double meanMs = wallS * 1000.0 / rounds;
    std::printf("detectors: %d\n", detectors);
    std::printf("rounds: %d\n", rounds);
    std::printf("failed polls: %zu (lost: %zu)\n", failures, lost);
    std::printf("round: mean %.1f ms, shortest %.1f ms, longest %.1f ms\n", meanMs,
                static_cast<double>(shortest) / 1000.0, static_cast<double>(longest) / 1000.0);
    std::printf(
        "floor: %.1f ms (per poll: query %.2f + latency %d + reply %.2f + turnaround "
        "%.1f)\n",
        floorMs, static_cast<double>(WireTimeUs(kQueryBytes)) / 1000.0, kLatencyMs,
        static_cast<double>(WireTimeUs(kReplyBytes)) / 1000.0, turnaroundMs);
    std::printf("round / floor: %.3f\n", meanMs / floorMs);
    // The turnaround runs while the detector takes its latency: the line's own floor is less.
    std::printf("round / bytes and latency alone (%.1f ms): %.3f\n", detectors * pollWireMs,
                meanMs / (detectors * pollWireMs));
    std::printf("cpu: %.2f %% of a core\n", 100.0 * cpuS / wallS);
    const double searchFloorMs = static_cast<double>(WireTimeUs(kQueryBytes)) / 1000.0 +
                                 kDefaultScanTimeoutMs + turnaroundMs;
    const double roundMs = static_cast<double>(roundsUs) / 1000.0 / rounds;
    const double searchMs = static_cast<double>(searchesUs) / 1000.0 / rounds;
    const double perRound = asked / rounds;
    std::printf("searching: %.1f addresses a round, %.1f ms each (floor %.1f ms)\n", perRound,
                perRound > 0 ? searchMs / perRound : 0.0, searchFloorMs);
    std::printf("searching: round of polls mean %.1f ms, round / floor: %.3f\n", roundMs,
                roundMs / floorMs);
    std::printf("searching: round with its searches / (floor + searches' floor): %.3f\n",
                (roundMs + searchMs) / (floorMs + perRound * searchFloorMs));
    return 0;
}
