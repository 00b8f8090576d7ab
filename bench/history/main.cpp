// halvern-bench-history [EVENTS]: writes EVENTS events (default 10 000) into a new history in a
// scratch folder, one transaction each as the programs write them, and prints events per
// second, the file's size per 10 000 events, and the time to make a report of 90 days.
// halvern-bench-history write PATH COUNT [TAG]: writes COUNT events into the history at PATH
// and prints "committed N" once the Nth is in the file.
// halvern-bench-history years [EVENTS]: see Years.cpp.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "history/HistoryStore.h"
#include "history/ReportPdf.h"
#include "history/ServiceReport.h"

namespace {

halvern::ServiceEvent Event(int n, const std::string& tag) {
    halvern::ServiceEvent e;
    e.serial = std::to_string(4700 + n % 10);
    e.model = "Veridan Xenon 621-2";
    e.address = 1 + n % 10;
    e.action = n % 2 ? halvern::kActionSetupWrite : halvern::kActionSnTest;
    e.before = "Gas Type: 2\nFull Scale Sensitivity: 200\nAlarm Latch: YES";
    e.after = tag + " " + std::to_string(n);
    e.rawBefore = "24 05 02 0A";
    e.rawAfter = "24 01 02 0A";
    e.confirmed = true;
    e.attempts = 1;
    e.status = "NNN0 Normal";
    return e;
}

int Write(const std::string& path, int count, const std::string& tag, bool say) {
    // A writer beside others, as halvern-cli is: it waits as long as the command line does.
    halvern::HistoryStore store(path, {"halvern-bench-history", "0", "bench"}, {},
                                halvern::kHistoryCliBusyTimeoutMs);
    for (int n = 1; n <= count; ++n) {
        bool written = store.Record(Event(n, tag));
        // The other writer may hold the file longer than one wait: the event is kept and tried
        // again, as the program does.
        for (int again = 0; !written && again < 30; ++again)
            written = store.Flush();
        if (!written) {
            std::fprintf(stderr, "%s\n", store.Warning().c_str());
            return 1;
        }
        if (say) {
            std::printf("committed %d\n", n);
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int Years(int argc, char** argv);

int Run(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "years")
        return Years(argc, argv);
    if (argc >= 4 && std::string(argv[1]) == "write")
        return Write(argv[2], std::stoi(argv[3]), argc > 4 ? argv[4] : "event", true);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int events = argc > 1 ? std::stoi(argv[1]) : 10'000;
    QTemporaryDir dir;
    const std::string path = dir.filePath("history.sqlite").toStdString();
    QElapsedTimer t;
    t.start();
    if (Write(path, events, "bench", false) != 0)
        return 1;
    const double seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    halvern::HistoryStore store(path, {"halvern-bench-history", "0", "bench"});
    store.Flush();
    qint64 bytes = 0;
    for (const char* suffix : {"", "-wal"})
        bytes += QFileInfo(QString::fromStdString(path + suffix)).size();
    t.restart();
    halvern::HistoryQuery query;
    query.serial = "4701";
    const auto history = store.Events(query);
    const auto report = halvern::ReportFromHistory(
        "4701", history, 90, QDateTime::currentDateTimeUtc(), {"bench", "0", "bench"});
    std::string why;
    const bool written = halvern::WriteReportPdf(halvern::ReportHtml(report),
                                                 dir.filePath("report.pdf").toStdString(),
                                                 halvern::ReportPage::A4, why);
    const double reportMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    std::fprintf(stderr, "%d events in %.2f s: %.0f events/s\n", events, seconds, events / seconds);
    std::fprintf(stderr, "file size: %.0f KiB per 10 000 events\n",
                 static_cast<double>(bytes) / 1024.0 * 10'000.0 / events);
    std::fprintf(stderr, "report of %zu events of one detector (%zu listed): %.0f ms%s\n",
                 history.size(), report.events.size(), reportMs, written ? "" : " (FAILED)");
    return written ? 0 : 1;
}

int main(int argc, char** argv) {
    const char* const usage =
        "usage: halvern-bench-history [EVENTS] | years [EVENTS] | write FILE COUNT [ACTION]\n";
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h"))
        return std::fputs(usage, stdout), 0;
    try {
        return Run(argc, argv);
    } catch (const std::logic_error&) {  // a count that is no number
        return std::fputs(usage, stderr), 2;
    }
}
