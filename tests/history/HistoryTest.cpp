// The service history's file: events kept whole and found again, two writers at once, a file
// that cannot be written, an older layout brought forward; and the
// service report: what it takes from a detector's history, and the PDF read back as text.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <filesystem>
#include <fstream>

#include "history/HistoryPages.h"
#include "history/HistoryStore.h"
#include "history/ReportPdf.h"
#include "history/ServiceReport.h"
#include "support/Bench.h"
#include "support/Spawned.h"
#include "support/UiTest.h"

namespace halvern::test {
namespace {

namespace fs = std::filesystem;

ServiceEvent Event(const std::string& serial, const char* action, std::string after,
                   std::optional<bool> confirmed = std::nullopt) {
    ServiceEvent e;
    e.serial = serial, e.model = "Talvek 880", e.address = 12, e.action = action;
    e.after = std::move(after), e.confirmed = confirmed;
    return e;
}

// A folder of its own for each test, removed afterwards.
class HistoryFile : public ::testing::Test {
  public:
    void SetUp() override {
        App();
        folder = ScratchFolder("history");
        path = (fs::path(folder) / kHistoryFile).string();
    }
    void TearDown() override { fs::remove_all(folder); }
    // The clock stands still at 2026-12-07 04:09:02 UTC unless a test moves it.
    HistoryStore Store() {
        return HistoryStore(path, {"halvern", "0.1.0", "tech"}, [this] { return now; });
    }
    // Runs SQL on a connection of the test's own; returns the first value of the last result.
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
    ServiceEvent setup =
        Event("880", kActionSetupWrite, "Range: Medium Long\nHeater Mode: OFF", false);
    setup.before = "Range: Medium Long\nHeater Mode: AUTO";
    setup.rawBefore = "04 04 01 05", setup.rawAfter = "04 04 00 05";
    setup.attempts = 3, setup.status = "NNN0 Normal";
    const std::string local = now.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    ASSERT_TRUE(store.Record(setup));
    now = now.addSecs(60);
    ASSERT_TRUE(store.Record(Event("4711", kActionAlign, "align command sent")));
    now = now.addDays(2);
    ASSERT_TRUE(store.Record(Event("880", kActionVersion, "primary: Ver 3.12 F48", true)));
    const auto all = store.Events();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].action + "|" + all[1].action,
              std::string(kActionVersion) + "|" + kActionAlign);
    EXPECT_TRUE(all[0].confirmed == std::optional<bool>(true) && !all[1].confirmed &&
                !all[1].attempts);
    const ServiceEvent& e = all[2];
    EXPECT_EQ(e.utc + "|" + e.local + "|" + e.before + "|" + e.after + "|" + e.rawBefore + "|" +
                  e.rawAfter + "|" + e.status + "|" + e.model + "|" + e.program + " " + e.version +
                  " " + e.user + " " + std::to_string(e.address),
              "2026-12-07T04:09:02Z|" + local + "|" + setup.before + "|" + setup.after +
                  "|04 04 01 05|04 04 00 05|NNN0 Normal|Talvek 880|halvern 0.1.0 tech 12");
    EXPECT_TRUE(e.confirmed == std::optional<bool>(false) && e.attempts == std::optional<int>(3));
    HistoryQuery q;  // by serial, from the very second of the newest event, the newest only
    q.serial = "880";
    EXPECT_EQ(store.Events(q).size(), 2u);
    q.sinceUtc = "2026-12-09T04:10:02Z";
    ASSERT_EQ(store.Events(q).size(), 1u);
    EXPECT_EQ(store.Events(q)[0].action, kActionVersion);
    q = {}, q.limit = 1;
    EXPECT_EQ(store.Events(q).size(), 1u);
}

// Two processes writing to one file at once, event by event.
TEST_F(HistoryFile, TwoWritersAtOnceLoseNothing) {
    QProcess one, two;
    for (QProcess* p : {&one, &two})
        p->start(HISTORY_WRITER_PATH,
                 {"write", QString::fromStdString(path), "300", p == &one ? "one" : "two"});
    for (QProcess* p : {&one, &two}) {
        ASSERT_TRUE(p->waitForFinished(50'000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    const auto events = Store().Events();
    std::set<std::string> afters;  // each event once
    for (const auto& e : events)
        afters.insert(e.after);
    EXPECT_TRUE(events.size() == 600u && afters.size() == 600u)
        << events.size() << " " << afters.size();
}

// The file cannot take the events: they wait, the warning says why, a file that can be read
// still is, and they are written once the cause is gone. The program's window waits on a
// locked file no longer than the store's busy time (no clock a test could hold to).
TEST_F(HistoryFile, EventsThatCannotBeWrittenWaitAndAreWrittenLater) {
    QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
    locker.setDatabaseName(QString::fromStdString(path));
    const struct {
        const char* name;
        bool old;  // an event written before
        std::function<void()> spoil, mend;
        const char* why;  // a part of the warning
    } cases[] = {
        {"corrupt", false, [&] { std::ofstream(path) << std::string(8192, 'x'); },
         [&] { fs::rename(path, path + ".bad"); }, "not a database"},
        {"newer layout", false,
         [&] {
             Sql({"CREATE TABLE schema_version (version INTEGER NOT NULL)",
                  "INSERT INTO schema_version VALUES (99)"});
         },
         [&] { fs::remove(path); }, "newer version"},
        // The database's and the driver's words apart, not run together.
        {"locked", true,
         [&] { EXPECT_TRUE(locker.open() && QSqlQuery(locker).exec("BEGIN EXCLUSIVE")); },
         [&] { QSqlQuery(locker).exec("COMMIT"), locker.close(); }, "database is locked; "},
        // Opening a FIFO would wait for a writer, and the program with it.
        {"FIFO", false, [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
         [&] { fs::remove(path); }, "(it is a FIFO (named pipe), not a regular file)"},
        {"FIFO as its log", true, [&] { ASSERT_EQ(mkfifo((path + "-wal").c_str(), 0600), 0); },
         [&] { fs::remove(path + "-wal"); }, "-wal: it is a FIFO (named pipe), not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        ASSERT_TRUE(!c.old || Store().Record(Event("880", kActionAlign, "old")));
        c.spoil();
        HistoryStore store = Store();
        EXPECT_FALSE(store.Record(Event("880", kActionAlign, "first")));
        EXPECT_FALSE(store.Record(Event("880", kActionAlign, "second")));
        EXPECT_EQ(store.Pending(), 2u);
        EXPECT_NE(store.Warning().find(c.why), std::string::npos) << store.Warning();
        EXPECT_NE(store.Warning().find("2 events kept"), std::string::npos) << store.Warning();
        // A locked file is still read; the others cannot be.
        EXPECT_EQ(store.Events().empty(), std::string(c.name) != "locked") << store.ReadError();
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
    e.attempts = 2, e.status = "NNN0 Normal";
    ASSERT_TRUE(store.Record(e)) << store.Warning();
    const auto events = store.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].attempts == std::optional<int>(2) && events[0].status == "NNN0 Normal");
    EXPECT_EQ(events[1].before + ">" + events[1].after + " " + events[1].user, "12>13 old");
    EXPECT_TRUE(events[1].confirmed == std::optional<bool>(true) && !events[1].attempts);
    EXPECT_EQ(Sql({"SELECT group_concat(version) FROM schema_version"}),
              QString::number(kHistorySchemaVersion));
}

// A full disk under the history is said as such, with the file that could not be written.
TEST_F(HistoryFile, AFullDiskIsSaidAsSuch) {
    for (const char* room : {"0", "20000"}) {  // no room for the file, or for its second event
        SCOPED_TRACE(room);
        fs::remove_all(folder);
        fs::create_directories(folder);
        setenv("LD_PRELOAD", FULL_DISK_PATH, 1);
        setenv("HALVERN_FULL_DISK", folder.c_str(), 1);
        setenv("HALVERN_FULL_DISK_ROOM", room, 1);
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        Spawned writer({HISTORY_WRITER_PATH, "write", path, "1000"});
        for (const char* name : {"LD_PRELOAD", "HALVERN_FULL_DISK", "HALVERN_FULL_DISK_ROOM"})
            unsetenv(name);
        EXPECT_EQ(writer.Finish(), 1);
        EXPECT_NE(writer.err.find("The service history " + path +
                                  " cannot be written (the disk is full): 1 event kept"),
                  std::string::npos)
            << writer.err;
    }
}

// The window's pages: newest first, each event once, also among events of one second, until
// the last; of one detector when asked.
TEST_F(HistoryFile, PagesGiveEveryEventOnceNewestFirst) {
    HistoryStore store = Store();
    for (int n = 0; n < 7; ++n) {
        now = now.addSecs(n % 3 == 0 ? 1 : 0);  // two or three events a second
        ASSERT_TRUE(store.Record(Event(n % 2 ? "880" : "4711", kActionAlign, std::to_string(n))));
    }
    std::vector<std::string> got;
    std::vector<std::size_t> sizes;
    HistoryPages pages(
        path,
        [&](std::vector<ServiceEvent>&& page) {
            sizes.push_back(page.size());
            for (const auto& e : page)
                got.push_back(e.after);
        },
        3);
    const auto all = [&](const std::string& serial) {
        got.clear(), sizes.clear();
        pages.Start(serial);
        for (pages.Wait(); pages.CanMore(); pages.Wait())
            pages.More();
    };
    all("");
    EXPECT_EQ(got, (std::vector<std::string>{"6", "5", "4", "3", "2", "1", "0"}));
    EXPECT_EQ(sizes, (std::vector<std::size_t>{3, 3, 1}));
    all("880");
    EXPECT_EQ(got, (std::vector<std::string>{"5", "3", "1"}));
    EXPECT_EQ(pages.Error(), "");
}
// A session that sets none of the user variables still names its user: the account's name.
TEST(PcUser, WithoutTheUserVariablesIsTheAccountName) {
    QProcess id;
    id.start("id", {"-un"});
    if (!id.waitForFinished(10'000) || id.exitCode() != 0)
        GTEST_SKIP() << "id -un cannot be run";
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    for (const char* n : {"USER", "LOGNAME", "USERNAME"})
        saved.emplace_back(n,
                           qEnvironmentVariableIsSet(n) ? std::optional(qgetenv(n)) : std::nullopt),
            qunsetenv(n);
    const std::string user = PcUserName();
    qputenv("LOGNAME", "fromlogname");
    const std::string logname = PcUserName();
    for (const auto& [n, value] : saved)
        value ? qputenv(n, *value) : qunsetenv(n);
    EXPECT_EQ(
        user + "|" + logname,
        QString::fromUtf8(id.readAllStandardOutput()).trimmed().toStdString() + "|fromlogname");
}

const QDateTime kNow(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);

// Newest first, as the history gives them.
std::vector<ServiceEvent> KnownHistory() {
    const std::tuple<const char*, const char*, const char*, const char*, std::optional<bool>> h[] =
        {{"2026-12-06", kActionSnTest, "", "S/N test mode", false},
         {"2026-12-05", kActionSetupWrite, "Alarm Latch: YES", "Alarm Latch: NO", false},
         {"2026-12-04", kActionSnTest, "", "Sig1/Noise 812, Sig2/Noise 790, Ref/Noise 901", true},
         {"2026-12-03", kActionVersion, "", "secondary: DSP 1.07 F24", true},
         {"2026-12-02", kActionVersion, "", "primary: Ver 3.12 F24", true},
         {"2026-12-01", kActionSetupRead, "", "Gas Type: 2\nAlarm Latch: YES", true},
         {"2026-11-30", kActionAddress, "1", "3", true},  // another detector's
         {"2026-08-01", kActionAlign, "", "align command sent", std::nullopt}};
    std::vector<ServiceEvent> events;
    for (const auto& [day, action, before, after, confirmed] : h) {
        ServiceEvent e =
            Event(action == std::string(kActionAddress) ? "880" : "4711", action, after, confirmed);
        e.utc = std::string(day) + "T10:00:00Z", e.local = std::string(day) + " 11:00:00";
        e.model = "Veridan Xenon 621-2", e.address = 1, e.before = before;
        e.status = "NNN0 Normal", e.user = "tech";
        events.push_back(e);
    }
    events.front().status = "FLT2 Beam block";
    events.front().address = 3;
    return events;
}

// Each figure from the newest event that holds it; in the PDF every field, on a page of A4 or
// Letter (MediaBox 595 x 842 and 612 x 792 points); a file that cannot be written is said.
TEST(ServiceReport, TakesEachFigureFromTheNewestEventThatHoldsItIntoThePdf) {
    const ReportData r =
        ReportFromHistory("4711", KnownHistory(), 90, kNow, {"halvern-cli", "0.1.0", "anna"});
    EXPECT_EQ(r.model + "|" + r.address + "|" + r.status, "Veridan Xenon 621-2|3|FLT2 Beam block");
    EXPECT_EQ(r.primaryVersion + "|" + r.secondaryVersion, "Ver 3.12 F24|DSP 1.07 F24");
    // The unconfirmed write and S/N test are listed, not taken as the detector's state.
    EXPECT_EQ(r.setup + "|" + r.noise,
              "Gas Type: 2\nAlarm Latch: YES|Sig1/Noise 812, Sig2/Noise 790, Ref/Noise 901");
    // 90 days back from 2026-12-07 12:00 is 2026-09-08 12:00: the align of August is out. 7
    // days back is 2026-11-30 12:00: the setup read of 1 December 10:00 is in.
    ASSERT_EQ(r.events.size(), 6u);
    EXPECT_EQ(r.events.back().action, kActionSetupRead);
    EXPECT_EQ(ReportFromHistory("4711", KnownHistory(), 7, kNow, {}).events.size(), 6u);
    EXPECT_EQ(ReportFromHistory("4711", KnownHistory(), 200, kNow, {}).events.size(), 7u);
    // After a confirmed change from 1 to 3 the detector answers at 3, not where it was asked.
    EXPECT_EQ(ReportFromHistory("880", KnownHistory(), 90, kNow, {}).address, "3");
    auto unconfirmed = KnownHistory();
    unconfirmed[6].confirmed = false;
    EXPECT_EQ(ReportFromHistory("880", unconfirmed, 90, kNow, {}).address, "1");

    App();
    const QString html = ReportHtml(r);
    for (const char* field :
         {"4711", "Veridan Xenon 621-2", "Address", "Ver 3.12 F24", "DSP 1.07 F24", "Gas Type: 2",
          "Alarm Latch: YES", "Sig1/Noise 812", "Ref/Noise 901", "FLT2 Beam block", "NOT confirmed",
          "2026-12-01", "2026-12-06", "last 90 days", "anna", "halvern-cli", "0.1.0", "2026-12-07"})
        EXPECT_TRUE(html.contains(field)) << field << "\n" << html.toStdString();
    const std::string folder = ScratchFolder("report"), pdf = folder + "/report.pdf";
    for (const ReportPage page : {ReportPage::A4, ReportPage::Letter}) {
        std::string why;
        ASSERT_TRUE(WriteReportPdf(html, pdf, page, why)) << why;
        QFile f(QString::fromStdString(pdf));
        ASSERT_TRUE(PdfPages(pdf) == 1 && f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll().contains(page == ReportPage::A4 ? "595" : "612"));
    }
    std::filesystem::remove_all(folder);
    std::string why;
    EXPECT_FALSE(WriteReportPdf("<p>x</p>", "/nonexistent-folder/r.pdf", ReportPage::A4, why));
    EXPECT_NE(why.find("/nonexistent-folder/r.pdf"), std::string::npos);
}

// The report read from the store is the report of the whole history: figures from old
// events, the newest 30 of the period listed, the others counted.
TEST_F(HistoryFile, TheReportAsksOnlyForWhatItPrints) {
    HistoryStore store = Store();
    auto known = KnownHistory();
    for (auto e = known.rbegin(); e != known.rend(); ++e) {
        now = QDateTime::fromString(QString::fromStdString(e->utc), Qt::ISODate);
        ASSERT_TRUE(store.Record(*e));
    }
    for (int n = 0; n < 40; ++n) {  // a busy last day
        now = kNow.addSecs(-3600 + n);
        ASSERT_TRUE(store.Record(Event("4711", kActionAlign, std::to_string(n))));
    }
    const ReportData fromStore = ReportFromStore(store, "4711", 90, kNow, {});
    const ReportData whole = ReportFromHistory("4711", store.Events(), 90, kNow, {});
    const auto figures = [](const ReportData& r) {
        std::string ids;
        for (const auto& e : r.events)
            ids += std::to_string(e.id) + " ";
        return std::make_tuple(r.model, r.address, r.status, r.statusWhen, r.primaryVersion,
                               r.secondaryVersion, r.setup, r.noise, ids, r.olderEvents);
    };
    EXPECT_EQ(figures(fromStore), figures(whole));
    EXPECT_EQ(whole.olderEvents, 6 + 40 - 30);  // six of KnownHistory in the period, and 40
    EXPECT_EQ(whole.primaryVersion, "Ver 3.12 F24");
}

}  // namespace
}  // namespace halvern::test
