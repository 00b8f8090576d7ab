// halvern-bench-history years [EVENTS]: a history of EVENTS events (default 300 000, some years
// of a plant's service), opened in the History window and read by halvern-cli.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "history/HistoryStore.h"
#include "history/frmHistory.h"

namespace {

// The events in one transaction (the programs write one each, which would take hours here),
// a few a day over the years before now, ten detectors taking turns.
bool Fill(const std::string& path, int count) {
    {
        halvern::HistoryStore store(path, {"halvern", "0", "bench"});
        halvern::ServiceEvent first;
        first.serial = "4700", first.action = halvern::kActionAlign;
        if (!store.Record(first))
            return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fill");
        db.setDatabaseName(QString::fromStdString(path));
        ok = db.open() && db.transaction();
        QSqlQuery q(db);
        q.prepare(
            "INSERT INTO events (utc, local, serial, model, address, action, before, after, "
            "confirmed, program, version, user, raw_before, raw_after, attempts, status) VALUES "
            "(?, ?, ?, 'Veridan Xenon 621-2', ?, ?, ?, ?, 1, 'halvern', '0.1.0', 'tech', "
            "'24 05 02 0A', '24 01 02 0A', 1, 'NNN0 Normal')");
        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-count * 600LL);
        for (int n = 0; ok && n < count; ++n) {
            const QDateTime t = start.addSecs(n * 600LL);
            q.addBindValue(t.toString("yyyy-MM-ddTHH:mm:ssZ"));
            q.addBindValue(t.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
            q.addBindValue(QString::number(4700 + n % 10));
            q.addBindValue(1 + n % 10);
            q.addBindValue(n % 2 ? halvern::kActionSetupWrite : halvern::kActionSnTest);
            q.addBindValue("Gas Type: 2\nFull Scale Sensitivity: 200\nAlarm Latch: YES");
            q.addBindValue(
                QString("Gas Type: 2\nFull Scale Sensitivity: 200\nAlarm Latch: NO %1").arg(n));
            ok = q.exec();
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase("fill");
    return ok;
}

// The window opened on the program's thread, beside a timer that stands for the polling: how
// long until its first rows show, and the longest the timer waited meanwhile and while the
// list is scrolled to its end ten times.
void Window(halvern::HistoryStore& store, const std::string& serial) {
    constexpr int kTickMs = 5;
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    poll.start(kTickMs);
    QCoreApplication::processEvents();
    last = clock.nsecsElapsed();
    const qint64 opened = last;
    auto* window = new halvern::frmHistory(store, serial);
    window->show();
    QAbstractItemModel* model = window->findChild<QTableView*>("grdHistory")->model();
    while (model->rowCount() == 0 && clock.nsecsElapsed() - opened < 120'000'000'000LL)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double firstMs = static_cast<double>(clock.nsecsElapsed() - opened) / 1e6;
    const double openPauseMs = static_cast<double>(longest) / 1e6;
    const int rows0 = model->rowCount();
    longest = 0;
    QScrollBar* bar = window->findChild<QTableView*>("grdHistory")->verticalScrollBar();
    for (int page = 0; page < 10; ++page) {
        const int rows = model->rowCount();
        bar->setValue(bar->maximum());
        const qint64 asked = clock.nsecsElapsed();
        while (model->rowCount() == rows && clock.nsecsElapsed() - asked < 10'000'000'000LL)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    std::printf(
        "window (%s): first %d rows after %.0f ms, longest pause of the polling %.1f ms; "
        "%d rows after ten scrolls to the end, longest pause %.1f ms\n",
        serial.empty() ? "all detectors" : ("serial " + serial).c_str(), rows0, firstMs,
        openPauseMs, model->rowCount(), static_cast<double>(longest) / 1e6);
    delete window;
}

// halvern-cli beside this program, its output thrown away: wall time and peak memory.
void Cli(const std::vector<std::string>& args) {
    const std::string cli = QCoreApplication::applicationDirPath().toStdString() + "/halvern-cli";
    QElapsedTimer t;
    t.start();
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::vector<char*> argv{const_cast<char*>(cli.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    std::string line;
    for (std::size_t i = 2; i < args.size(); ++i)  // without --data-dir DIR
        line += " " + args[i];
    std::printf("halvern-cli%s: %.2f s, peak memory %.1f MB, exit %d\n", line.c_str(),
                static_cast<double>(t.nsecsElapsed()) / 1e9,
                static_cast<double>(usage.ru_maxrss) / 1024.0,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace

int Years(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int events = argc > 2 ? std::stoi(argv[2]) : 300'000;
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString(), path = folder + "/history.sqlite";
    QElapsedTimer t;
    t.start();
    if (!Fill(path, events))
        return 1;
    std::printf("%d events, %.0f MB, made in %.1f s\n", events,
                static_cast<double>(QFileInfo(QString::fromStdString(path)).size()) / 1e6,
                static_cast<double>(t.nsecsElapsed()) / 1e9);
    halvern::HistoryStore store(path, {"halvern", "0", "bench"});
    // The program's main window is up before h is pressed: its first showing is not counted.
    QWidget main;
    main.show();
    QCoreApplication::processEvents();
    Window(store, "");
    Window(store, "4701");
    Cli({"--data-dir", folder, "history"});
    Cli({"--data-dir", folder, "history", "4701", "--json"});
    Cli({"--data-dir", folder, "report", "4701", "-o", folder + "/report.pdf"});
    return 0;
}
