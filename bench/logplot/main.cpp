// halvern-bench-logplot: how fast and in how much memory a large log file is read back. It
// writes a log in the program's record format (a reading a second, a disconnection now and
// then, a broken line now and then), then reads it, reduces it for a plot and exports it as
// CSV, printing the wall time of each step and the peak memory of the process so far as
// "name: value" lines. It checks nothing: the figures are for people comparing builds.

#include <sys/resource.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "logging/LogCsv.h"
#include "logging/LogPlot.h"
#include "logging/LogReader.h"
#include "logging/LogRecords.h"
#include "state/Par.h"

using namespace halvern;

namespace {

constexpr double kDefaultMegabytes = 100;

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // Linux gives KiB
}

// Runs a step and prints its wall time and the peak memory after it.
void Step(const char* name, const std::function<std::string()>& step) {
    const auto start = std::chrono::steady_clock::now();
    const std::string note = step();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.2f s, peak memory %.0f MB%s%s\n", name, seconds, PeakMegabytes(),
                note.empty() ? "" : ", ", note.c_str());
    std::fflush(stdout);
}

// Writes about `bytes` of log: readings a second apart that drift, a spike now and then, a
// minute of disconnection records every six hours and a cut line every 100 000 lines.
std::int64_t WriteLog(const std::string& path, double bytes) {
    Par par;
    par.StatusParts = {"N", "N", "N", "0"};
    par.GainText = "3";
    std::ofstream out(path, std::ios::binary);
    std::string block;
    std::int64_t written = 0, lines = 0;
    std::int64_t t = SecondsOf({2026, 1, 1, 0, 0, 0});
    while (static_cast<double>(written) < bytes) {
        const LocalDateTime now = FromSeconds(t);
        std::string line;
        if (lines % 21600 >= 21540) {
            line = DisconnectionRecordLine("DDD", now);
        } else if (lines % 100000 == 99999) {
            line = "NNN0    " + std::to_string(now.day) + "/0\r\n";
        } else {
            const double phase = static_cast<double>(lines) / 3600.0;
            auto& ch = par.ChannelValues;
            ch[0] = static_cast<float>(3.3 + 0.4 * std::sin(phase));
            ch[1] = static_cast<float>(3.1 + 0.1 * std::cos(phase * 3));
            ch[2] = static_cast<float>(3.2 + 0.3 * std::sin(phase * 0.5));
            ch[4] = static_cast<float>(std::lround(20 + 8 * std::sin(phase / 24)));
            ch[5] = ch[0] / ch[1];
            ch[6] = ch[2] / ch[1];
            ch[7] = 0.97f;
            ch[8] = 0.98f;
            ch[12] = lines % 50000 == 0 ? 80.0f : static_cast<float>(lines % 7);
            line = CycleRecordLine(par, now);
        }
        block += line;
        written += static_cast<std::int64_t>(line.size());
        ++lines;
        ++t;
        if (block.size() >= (1u << 20)) {
            out << block;
            block.clear();
        }
    }
    out << block;
    return lines;
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
        const std::int64_t lines = WriteLog(log, megabytes * 1e6);
        return std::to_string(lines) + " lines, " +
               std::to_string(QFileInfo(QString::fromStdString(log)).size() / 1000000) + " MB";
    });
    Step("read", [&] {
        const LogReadResult r = ReadLogRecords(log, [](const LogRecord&) {});
        return std::to_string(r.Counts.Records()) + " records, " +
               std::to_string(r.Counts.Skipped) + " skipped";
    });
    Step("plot", [&] {
        const LogPlotData d = ReadLogPlot(log);
        std::size_t points = 0, segments = 0;
        for (const auto& series : d.Segments) {
            segments += series.size();
            for (const auto& segment : series)
                points += segment.size();
        }
        return std::to_string(points) + " points in " + std::to_string(segments) + " segments, " +
               std::to_string(d.Gaps.size()) + " gaps";
    });
    Step("csv", [&] {
        const CsvExportResult r = ExportLogCsv(log, csv);
        if (!r.Ok)
            return r.Error;
        return std::to_string(QFileInfo(QString::fromStdString(csv)).size() / 1000000) +
               " MB of CSV";
    });
    return 0;
}
