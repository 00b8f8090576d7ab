// The service history's file: events kept whole and found again, two writers at once, a file
// that cannot be written, an older layout brought forward, and a writer killed mid-write.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <filesystem>
#include <fstream>

#include "history/HistoryStore.h"
#include "support/Bench.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class HistoryFile : public ::testing::Test {
  public:
    void SetUp() override {
        App();
        folder = ScratchFolder("history");
        path = (fs::path(folder) / kHistoryFile).string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }
    // The clock stands still at 2026-12-07 04:09:02 UTC unless a test moves it.
    HistoryStore Store(int busyMs = kHistoryBusyTimeoutMs) {
        return HistoryStore(
            path, {"halvern", "0.1.0", "tech"}, [this] { return now; }, busyMs);
    }
    static ServiceEvent Event(const std::string& serial, const char* action, std::string after) {
        ServiceEvent e;
        e.serial = serial;
        e.model = "Talvek 880";
        e.address = 12;
        e.action = action;
        e.after = std::move(after);
        return e;
    }
    // Runs SQL on a connection of the test's own, apart from the store's; returns the first
    // value of the last result.
    QString Sql(const std::vector<QString>& statements) {
        QString value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-side");
            db.setDatabaseName(QString::fromStdString(path));
            EXPECT_TRUE(db.open());
            for (const QString& sql : statements) {
                QSqlQuery q(db);
                EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
                value = q.next() ? q.value(0).toString() : QString();
            }
        }
        QSqlDatabase::removeDatabase("test-side");
        return value;
    }

    std::string folder, path;
    QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(4, 9, 2), Qt::UTC);
};

TEST_F(HistoryFile, AnEventIsReadBackWholeNewestFirstAndFiltered) {
    HistoryStore store = Store();
    ServiceEvent setup = Event("880", kActionSetupWrite, "Range: Medium Long\nHeater Mode: OFF");
    setup.before = "Range: Medium Long\nHeater Mode: AUTO";
    setup.rawBefore = "04 04 01 05";
    setup.rawAfter = "04 04 00 05";
    setup.confirmed = false;
    setup.attempts = 3;
    setup.status = "NNN0 Normal";
    ASSERT_TRUE(store.Record(setup));
    now = now.addSecs(60);
    ASSERT_TRUE(store.Record(Event("4711", kActionAlign, "align command sent")));
    now = now.addDays(2);
    ASSERT_TRUE(store.Record(Event("880", kActionVersion, "primary: Ver 3.12 F48")));

    const auto all = store.Events();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].action + "|" + all[1].action,
              std::string(kActionVersion) + "|" + kActionAlign);
    EXPECT_FALSE(all[1].confirmed.has_value() || all[1].attempts.has_value());
    const ServiceEvent& e = all[2];
    EXPECT_EQ(e.utc, "2026-12-07T04:09:02Z");
    EXPECT_EQ(
        e.local,
        now.addDays(-2).addSecs(-60).toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString());
    EXPECT_EQ(e.before + "|" + e.after, setup.before + "|" + setup.after);
    EXPECT_EQ(e.rawBefore + "|" + e.rawAfter + "|" + e.status + "|" + e.model,
              "04 04 01 05|04 04 00 05|NNN0 Normal|Talvek 880");
    EXPECT_EQ(e.confirmed, std::optional<bool>(false));
    EXPECT_EQ(e.attempts, std::optional<int>(3));
    EXPECT_EQ(e.program + " " + e.version + " " + e.user, "halvern 0.1.0 tech");
    EXPECT_EQ(e.address, 12);

    HistoryQuery q;
    q.serial = "880";
    EXPECT_EQ(store.Events(q).size(), 2u);
    q.sinceUtc = "2026-12-08T00:00:00Z";
    ASSERT_EQ(store.Events(q).size(), 1u);
    EXPECT_EQ(store.Events(q)[0].action, kActionVersion);
    q = {};
    q.limit = 1;
    EXPECT_EQ(store.Events(q).size(), 1u);
}

// Two writers on one file, taking turns event by event, and two processes at once.
TEST_F(HistoryFile, TwoWritersAtOnceLoseNothing) {
    {
        HistoryStore a = Store(), b = Store();
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(a.Record(Event("1", kActionAlign, "a" + std::to_string(i))));
            ASSERT_TRUE(b.Record(Event("2", kActionAlign, "b" + std::to_string(i))));
        }
    }
    QProcess one, two;
    for (QProcess* p : {&one, &two})
        p->start(HISTORY_WRITER_PATH,
                 {"write", QString::fromStdString(path), "300", p == &one ? "one" : "two"});
    for (QProcess* p : {&one, &two}) {
        ASSERT_TRUE(p->waitForFinished(50'000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    const auto events = Store().Events();
    EXPECT_EQ(events.size(), 100u + 600u);
    std::set<std::string> afters;
    for (const auto& e : events)
        afters.insert(e.after);
    EXPECT_EQ(afters.size(), 700u);  // each event once
}

// The file cannot take the events: they wait, the warning says why, a file that can be read
// still is, and they are written once the cause is gone. The program's window waits on a
// locked file no longer than the store's busy time (no clock a test could hold to).
TEST_F(HistoryFile, EventsThatCannotBeWrittenWaitAndAreWrittenLater) {
    QSqlDatabase locker;
    struct Case {
        const char* name;
        bool old;  // an event written before
        std::function<void()> spoil, mend;
        const char* why;  // a part of the warning
        bool readable;
    };
    const Case cases[] = {
        {"corrupt", false, [&] { std::ofstream(path) << std::string(8192, 'x'); },
         [&] { fs::rename(path, path + ".bad"); }, "not a database", false},
        {"folder missing", false, [&] { fs::remove_all(folder); },
         [&] { fs::create_directories(folder); }, "open", false},
        {"newer layout", false,
         [&] {
             Sql({"CREATE TABLE schema_version (version INTEGER NOT NULL)",
                  "INSERT INTO schema_version VALUES (99)"});
         },
         [&] { fs::remove(path); }, "newer version", false},
        // The database's and the driver's words apart, not run together.
        {"locked", true,
         [&] {
             locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
             locker.setDatabaseName(QString::fromStdString(path));
             ASSERT_TRUE(locker.open());
             QSqlQuery(locker).exec("BEGIN EXCLUSIVE");
         },
         [&] {
             QSqlQuery(locker).exec("COMMIT");
             locker.close();
             locker = QSqlDatabase();
             QSqlDatabase::removeDatabase("locker");
         },
         "database is locked; ", false},
        // Root writes whatever the permissions say: only an ordinary user sees it read-only.
        {"read-only", true,
         [&] {
             fs::permissions(path, fs::perms::owner_read);
             fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
         },
         [&] {
             fs::permissions(folder, fs::perms::owner_all);
             fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
         },
         "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "read-only" && geteuid() == 0)
            continue;
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (c.old) {
            ASSERT_TRUE(Store().Record(Event("880", kActionAlign, "old")));
        }
        c.spoil();
        HistoryStore store = Store();
        EXPECT_FALSE(store.Record(Event("880", kActionAlign, "first")));
        EXPECT_FALSE(store.Record(Event("880", kActionAlign, "second")));
        EXPECT_EQ(store.Pending(), 2u);
        EXPECT_NE(store.Warning().find(c.why), std::string::npos) << store.Warning();
        EXPECT_NE(store.Warning().find("2 events kept"), std::string::npos) << store.Warning();
        if (c.readable) {
            EXPECT_EQ(store.Events().size(), 1u) << store.ReadError();
        }
        c.mend();
        EXPECT_TRUE(store.Flush()) << store.Warning();
        EXPECT_EQ(store.Warning(), "");
        const auto events = store.Events();
        ASSERT_EQ(events.size(), c.old ? 3u : 2u);
        EXPECT_EQ(events[0].after, "second");  // same second: the later one first
    }
}

// A file of the first layout (no raw bytes, attempts or status) keeps its events and takes
// the new ones whole.
TEST_F(HistoryFile, AnOlderLayoutIsBroughtForward) {
    Sql({"CREATE TABLE schema_version (version INTEGER NOT NULL)",
         "INSERT INTO schema_version VALUES (1)",
         "CREATE TABLE events (id INTEGER PRIMARY KEY AUTOINCREMENT, utc TEXT NOT NULL, local "
         "TEXT NOT NULL, serial TEXT NOT NULL, model TEXT NOT NULL, address INTEGER NOT NULL, "
         "action TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL, confirmed INTEGER, "
         "program TEXT NOT NULL, version TEXT NOT NULL, user TEXT NOT NULL)",
         "INSERT INTO events (utc, local, serial, model, address, action, before, after, "
         "confirmed, program, version, user) VALUES ('2026-01-02T03:04:05Z', '2026-01-02 "
         "04:04:05', '880', 'Talvek 880', 12, 'address change', '12', '13', 1, 'halvern', "
         "'0.0.9', 'old')"});
    HistoryStore store = Store();
    ServiceEvent e = Event("880", kActionSetupWrite, "x");
    e.attempts = 2;
    e.status = "NNN0 Normal";
    ASSERT_TRUE(store.Record(e)) << store.Warning();
    const auto events = store.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].attempts, std::optional<int>(2));
    EXPECT_EQ(events[0].status, "NNN0 Normal");
    EXPECT_EQ(events[1].before + ">" + events[1].after, "12>13");
    EXPECT_EQ(events[1].confirmed, std::optional<bool>(true));
    EXPECT_FALSE(events[1].attempts.has_value());
    EXPECT_EQ(events[1].user, "old");
    EXPECT_EQ(Sql({"SELECT group_concat(version) FROM schema_version"}),
              QString::number(kHistorySchemaVersion));
}

// The writer is killed while it writes: the file opens, passes SQLite's check, and holds
// every event the writer had said committed.
TEST_F(HistoryFile, AWriterKilledMidWriteLeavesEveryCommittedEvent) {
    QProcess writer;
    writer.start(HISTORY_WRITER_PATH, {"write", QString::fromStdString(path), "100000"});
    ASSERT_TRUE(writer.waitForStarted());
    int committed = 0;
    QByteArray out;
    while (committed < 200 && writer.waitForReadyRead(20'000)) {
        out += writer.readAllStandardOutput();
        committed = static_cast<int>(out.count('\n'));
    }
    ASSERT_GE(committed, 200);
    ::kill(static_cast<pid_t>(writer.processId()), SIGKILL);
    writer.waitForFinished();
    out += writer.readAllStandardOutput();
    committed = static_cast<int>(out.count('\n'));

    HistoryStore store = Store();
    const auto events = store.Events();
    ASSERT_EQ(store.ReadError(), "");
    EXPECT_GE(static_cast<int>(events.size()), committed);
    EXPECT_LE(static_cast<int>(events.size()), committed + 1);  // one may be in, unsaid
    std::set<std::string> afters;
    for (const auto& e : events)
        afters.insert(e.after);
    for (int n = 1; n <= committed; ++n)
        EXPECT_EQ(afters.count("event " + std::to_string(n)), 1u) << n;
    EXPECT_EQ(Sql({"PRAGMA integrity_check"}), "ok");
}

// A session that sets none of the user variables still names its user: the account's name.
TEST(PcUser, WithoutTheUserVariablesIsTheAccountName) {
    QProcess id;
    id.start("id", {"-un"});
    if (!id.waitForFinished(10'000) || id.exitCode() != 0)
        GTEST_SKIP() << "id -un cannot be run";
    const std::string account =
        QString::fromUtf8(id.readAllStandardOutput()).trimmed().toStdString();
    const char* names[] = {"USER", "LOGNAME", "USERNAME"};
    std::vector<std::pair<QByteArray, bool>> saved;
    for (const char* n : names) {
        saved.emplace_back(qgetenv(n), qEnvironmentVariableIsSet(n));
        qunsetenv(n);
    }
    const std::string user = PcUserName();
    qputenv("LOGNAME", "fromlogname");
    const std::string logname = PcUserName();
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (saved[i].second)
            qputenv(names[i], saved[i].first);
        else
            qunsetenv(names[i]);
    EXPECT_EQ(user, account);
    EXPECT_EQ(logname, "fromlogname");
}

}  // namespace
}  // namespace halvern::test
