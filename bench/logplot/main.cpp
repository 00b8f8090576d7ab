// halvern-bench-logplot: how fast and in how much memory a large log file is read back. It
// writes a log in the program's record format (a reading a second, a disconnection now and
// then, a broken line now and then), then reads it, reduces it for a plot (on as many
// threads as the machine has cores, and on one) and exports it as CSV, printing the wall time of
// each step and the peak memory of the process so far as "name: value" lines. It checks nothing:
// the figures are for people comparing builds.

#include <sys/resource.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "GeneratedLog.h"
#include "logging/LogCsv.h"
#include "logging/LogPlot.h"
#include "logging/LogReader.h"

using namespace halvern;

namespace {

constexpr double kDefaultMegabytes = 100;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux gives KiB
}

// User and system time of every thread of this process so far.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

// Runs a step and prints its wall time, the processor time it took (on a machine shared with
// other work the wall time says less) and the peak memory after it.
void Step(const char* name, const std::function<std::string()>& step) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    const std::string note = step();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.2f s, cpu %.2f s, peak memory %.0f MB%s%s\n", name, seconds,
                CpuSeconds() - cpu, PeakMegabytes(), note.empty() ? "" : ", ", note.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = kDefaultMegabytes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--megabytes") == 0 && i + 1 < argc) {
            megabytes = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: halvern-bench-logplot [--megabytes N]\n");
            return 2;
        }
    }
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "halvern-bench-logplot: no temporary folder\n");
        return 1;
    }
    const std::string log = QDir(dir.path()).filePath("4711.txt").toStdString();
    const std::string csv = QDir(dir.path()).filePath("4711.csv").toStdString();

    std::printf("peak memory at start: %.0f MB\n", PeakMegabytes());
    Step("generate", [&] {
        const std::int64_t lines = bench::WriteGeneratedLog(log, megabytes * 1e6);
        return std::to_string(lines) + " lines, " +
               std::to_string(QFileInfo(QString::fromStdString(log)).size() / 1000000) + " MB";
    });
    Step("read", [&] {
        const LogReadResult r = ReadLogRecords(log, [](const LogRecord&) {});
        return std::to_string(r.Counts.Records()) + " records, " +
               std::to_string(r.Counts.Skipped) + " skipped";
    });
    const auto plot = [&](const char* name, int parts) {
        Step(name, [&] {
            const LogPlotData d = ReadLogPlot(log, kPlotIntervals, nullptr, parts);
            std::size_t points = 0, segments = 0;
            for (const auto& series : d.Segments) {
                segments += series.size();
                for (const auto& segment : series)
                    points += segment.size();
            }
            return std::to_string(points) + " points in " + std::to_string(segments) +
                   " segments, " + std::to_string(d.Gaps.size()) + " gaps";
        });
    };
    plot("plot", 0);
    plot("plot on one thread", 1);
    Step("csv", [&] {
        const CsvExportResult r = ExportLogCsv(log, csv);
        if (!r.Ok)
            return r.Error;
        return std::to_string(QFileInfo(QString::fromStdString(csv)).size() / 1000000) +
               " MB of CSV";
    });
    return 0;
}
