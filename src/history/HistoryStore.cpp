#include "history/HistoryStore.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <map>

#include "platform/ProgramFile.h"

#ifdef Q_OS_UNIX
#include <sys/statvfs.h>
#endif

namespace halvern {

namespace {

std::atomic<int> connections{0};

// The database's words first ("database is locked"), then the driver's ("Unable to fetch
// row"), kept apart so that the warning does not run them together.
std::string Why(const QSqlError& e) {
    QStringList parts;
    for (const QString& part : {e.databaseText().trimmed(), e.driverText().trimmed()})
        if (!part.isEmpty() && !parts.contains(part))
            parts << part;
    return (parts.isEmpty() ? QStringLiteral("unknown error") : parts.join("; ")).toStdString();
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Each step brings the file from the version before it to its own; a new file takes them all.
// Version 1 had no raw bytes, attempts or status.
const char* const kSteps[][5] = {
    {"CREATE TABLE events (id INTEGER PRIMARY KEY AUTOINCREMENT, utc TEXT NOT NULL, "
     "local TEXT NOT NULL, serial TEXT NOT NULL, model TEXT NOT NULL, address INTEGER NOT NULL, "
     "action TEXT NOT NULL, before TEXT NOT NULL, after TEXT NOT NULL, confirmed INTEGER, "
     "program TEXT NOT NULL, version TEXT NOT NULL, user TEXT NOT NULL)",
     nullptr, nullptr, nullptr, nullptr},
    {"ALTER TABLE events ADD COLUMN raw_before TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE events ADD COLUMN raw_after TEXT NOT NULL DEFAULT ''",
     "ALTER TABLE events ADD COLUMN attempts INTEGER",
     "ALTER TABLE events ADD COLUMN status TEXT NOT NULL DEFAULT ''",
     "CREATE INDEX events_serial_utc ON events (serial, utc)"},
};
static_assert(std::size(kSteps) == kHistorySchemaVersion);

QVariant Optional(const std::optional<int>& v) {
    return v ? QVariant(*v) : QVariant(QMetaType(QMetaType::Int));
}

// SQLite's codes (the low byte of an extended one).
constexpr int kSqliteIoError = 10, kSqliteFull = 13;
// Less free room than this on the history's disk makes an input/output error a full disk.
constexpr qint64 kNearlyFullBytes = 1 << 20;

const char* const kColumns =
    "SELECT id, utc, local, serial, model, address, action, before, after, confirmed, program, "
    "version, user, raw_before, raw_after, attempts, status FROM events WHERE 1";
const char* const kNewestFirst = " ORDER BY utc DESC, id DESC";

ServiceEvent ReadRow(const QSqlQuery& q) {
    ServiceEvent e;
    int c = 0;
    e.id = q.value(c++).toLongLong();
    for (std::string* text : {&e.utc, &e.local, &e.serial, &e.model})
        *text = q.value(c++).toString().toStdString();
    e.address = q.value(c++).toInt();
    for (std::string* text : {&e.action, &e.before, &e.after})
        *text = q.value(c++).toString().toStdString();
    if (const QVariant v = q.value(c++); !v.isNull())
        e.confirmed = v.toInt() != 0;
    for (std::string* text : {&e.program, &e.version, &e.user, &e.rawBefore, &e.rawAfter})
        *text = q.value(c++).toString().toStdString();
    if (const QVariant v = q.value(c++); !v.isNull())
        e.attempts = v.toInt();
    e.status = q.value(c++).toString().toStdString();
    return e;
}

// The events of one detector that a report takes a figure from: the newest of each kind is
// enough. An action without confirmation counts as done.
const char* const kReportFigures[] = {
    "",  // the newest: model, address, status
    " AND action = 'version read' AND confirmed IS NOT 0 AND substr(after, 1, 9) = 'primary: '",
    " AND action = 'version read' AND confirmed IS NOT 0 AND substr(after, 1, 11) = 'secondary: '",
    " AND action IN ('setup read', 'setup write') AND confirmed IS NOT 0 AND after <> ''",
    " AND action = 'S/N test' AND confirmed IS NOT 0",
};

}  // namespace

HistoryStore::HistoryStore(std::string path, HistoryWriter writer, std::function<QDateTime()> clock,
                           int busyTimeoutMs)
    : path_(std::move(path)),
      writer_(std::move(writer)),
      clock_(std::move(clock)),
      busyTimeoutMs_(busyTimeoutMs),
      connection_(QStringLiteral("halvern-history-%1").arg(++connections)) {
    if (!clock_)
        clock_ = [] { return QDateTime::currentDateTimeUtc(); };
}

HistoryStore::~HistoryStore() {
    Close();
}

void HistoryStore::Close() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
    open_ = false;
}

bool HistoryStore::Exec(const QString& sql, std::string& why) {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (q.exec(sql))
        return true;
    why = Why(q.lastError());
    lastCode_ = q.lastError().nativeErrorCode().toInt();
    return false;
}

bool HistoryStore::DiskFull() const {
    // SQLite says a full disk as such where a write runs short, but as an input/output error
    // where it grows its log or its shared memory: the free room tells then.
    const int code = lastCode_ & 0xff;
    if (code == kSqliteFull)
        return true;
    if (code != kSqliteIoError)
        return false;
    const QString folder = QFileInfo(Q(path_)).absolutePath();
#ifdef Q_OS_UNIX
    struct statvfs disk {};
    return ::statvfs(folder.toLocal8Bit().constData(), &disk) == 0 &&
           static_cast<qint64>(disk.f_bavail) * static_cast<qint64>(disk.f_frsize) <
               kNearlyFullBytes;
#else
    const QStorageInfo disk(folder);
    return disk.isValid() && disk.bytesAvailable() < kNearlyFullBytes;
#endif
}

bool HistoryStore::Open(std::string& why, bool readOnly) {
    if (open_)
        return true;
    why.clear();
    lastCode_ = 0;
    // Opening a FIFO would wait for a writer at its other end, and with it the polling: the
    // database and the files SQLite keeps beside it must be regular files or none.
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string file = path_ + suffix;
        if (const std::string kind = NotRegularFile(file); !kind.empty()) {
            why = *suffix ? file + ": " + kind : kind;
            return false;
        }
    }
    if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
        why = "Qt's SQLite driver is missing (libqt6sql6-sqlite)";
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::contains(connection_)
                              ? QSqlDatabase::database(connection_, false)
                              : QSqlDatabase::addDatabase("QSQLITE", connection_);
        if (readOnly) {
            // A file in a folder that cannot be written has no room for the log's index:
            // read as it stands, which nothing may change meanwhile.
            db.setDatabaseName(QUrl::fromLocalFile(Q(path_)).toString(QUrl::FullyEncoded) +
                               "?immutable=1");
            db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI");
        } else {
            db.setDatabaseName(Q(path_));
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs_));
        }
        if (!db.open()) {
            why = Why(db.lastError());
            lastCode_ = db.lastError().nativeErrorCode().toInt();
        }
    }
    if (!why.empty()) {
        Close();
        return false;
    }
    open_ = true;
    std::string ignored;
    if (!readOnly) {
        Exec("PRAGMA journal_mode=WAL", ignored);
        // Each committed event survives a crash or a power cut of the PC.
        Exec("PRAGMA synchronous=FULL", ignored);
    }
    if (!Migrate(why)) {
        Close();
        return false;
    }
    // All detectors' events newest first, a page at a time, without sorting the whole file.
    // Not part of the layout: an older program reads the file as ever.
    if (!readOnly)
        Exec("CREATE INDEX IF NOT EXISTS events_utc ON events (utc)", ignored);
    return true;
}

bool HistoryStore::Migrate(std::string& why) {
    for (;;) {
        // Read first: a read-only file of this layout is read without a single write.
        int version = 0;
        {
            QSqlQuery q(QSqlDatabase::database(connection_, false));
            if (q.exec("SELECT MAX(version) FROM schema_version") && q.next())
                version = q.value(0).isNull() ? 0 : q.value(0).toInt();
            else if (!Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
                           why))
                return false;  // not a database, or a new file that cannot be made
        }
        if (version > kHistorySchemaVersion) {
            why = "it was made by a newer version of the program (layout " +
                  std::to_string(version) + ")";
            return false;
        }
        if (version == kHistorySchemaVersion)
            return true;
        // The step and its version in one transaction: another process may be migrating too.
        if (!Exec("BEGIN IMMEDIATE", why))
            return false;
        QSqlQuery again(QSqlDatabase::database(connection_, false));
        if (!again.exec("SELECT MAX(version) FROM schema_version") || !again.next()) {
            why = Why(again.lastError());
            std::string ignored;
            Exec("ROLLBACK", ignored);
            return false;
        }
        const int now = again.value(0).isNull() ? 0 : again.value(0).toInt();
        again.finish();
        bool ok = true;
        if (now == version) {
            for (const char* sql : kSteps[version])
                if (sql && ok)
                    ok = Exec(sql, why);
            if (ok)
                ok = Exec(
                    version == 0
                        ? QStringLiteral("INSERT INTO schema_version VALUES (1)")
                        : QStringLiteral("UPDATE schema_version SET version = %1").arg(version + 1),
                    why);
        }
        std::string ignored;
        if (!ok || !Exec("COMMIT", why)) {
            Exec("ROLLBACK", ignored);
            return false;
        }
    }
}

bool HistoryStore::Write(const ServiceEvent& e, std::string& why) {
    if (!Exec("BEGIN IMMEDIATE", why))
        return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(
        "INSERT INTO events (utc, local, serial, model, address, action, before, after, "
        "confirmed, program, version, user, raw_before, raw_after, attempts, status) VALUES "
        "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (const auto& text : {e.utc, e.local, e.serial, e.model})
        q.addBindValue(Q(text));
    q.addBindValue(e.address);
    for (const auto& text : {e.action, e.before, e.after})
        q.addBindValue(Q(text));
    q.addBindValue(e.confirmed ? QVariant(*e.confirmed ? 1 : 0)
                               : QVariant(QMetaType(QMetaType::Int)));
    for (const auto& text : {e.program, e.version, e.user, e.rawBefore, e.rawAfter})
        q.addBindValue(Q(text));
    q.addBindValue(Optional(e.attempts));
    q.addBindValue(Q(e.status));
    std::string ignored;
    if (!q.exec()) {
        why = Why(q.lastError());
        lastCode_ = q.lastError().nativeErrorCode().toInt();
        Exec("ROLLBACK", ignored);
        return false;
    }
    if (!Exec("COMMIT", why)) {
        Exec("ROLLBACK", ignored);
        return false;
    }
    return true;
}

bool HistoryStore::Record(ServiceEvent event) {
    const QDateTime utc = clock_().toUTC();
    event.utc = utc.toString("yyyy-MM-ddTHH:mm:ssZ").toStdString();
    event.local = utc.toLocalTime().toString("yyyy-MM-dd HH:mm:ss").toStdString();
    event.program = writer_.program;
    event.version = writer_.version;
    event.user = writer_.user;
    pending_.push_back(std::move(event));
    return Flush();
}

bool HistoryStore::Flush() {
    if (pending_.empty())
        return true;
    std::string why;
    if (!Open(why)) {
        writeError_ = DiskFull() ? "the disk is full" : why;
        return false;
    }
    while (!pending_.empty()) {
        if (!Write(pending_.front(), why)) {
            writeError_ = DiskFull() ? "the disk is full" : why;
            // Opened anew next time: the file may have been mended or replaced.
            Close();
            return false;
        }
        pending_.pop_front();
    }
    writeError_.clear();
    return true;
}

std::string HistoryStore::Warning() const {
    if (pending_.empty())
        return {};
    const std::size_t n = pending_.size();
    return "The service history " + path_ + " cannot be written (" + writeError_ +
           "): " + std::to_string(n) + (n == 1 ? " event" : " events") + " kept until it can";
}

bool HistoryStore::OpenToRead(bool& readOnly) {
    readError_.clear();
    readOnly = false;
    std::string why, readOnlyWhy;
    if (Open(why))
        return true;
    // A file that cannot be written may still be read.
    readOnly =
        QFileInfo::exists(Q(path_)) && NotRegularFile(path_).empty() && Open(readOnlyWhy, true);
    if (!readOnly)
        readError_ = why;
    return readOnly;
}

bool HistoryStore::ForEach(const HistoryQuery& query,
                           const std::function<bool(ServiceEvent&&)>& each) {
    bool readOnly = false;
    if (!OpenToRead(readOnly))
        return false;
    readError_ = Select(query, each);
    // After a failure, and after reading a file that cannot be written, the next use opens
    // the file as it then is.
    if (readOnly || !readError_.empty())
        Close();
    return readError_.empty();
}

std::vector<ServiceEvent> HistoryStore::Events(const HistoryQuery& query) {
    std::vector<ServiceEvent> events;
    if (!ForEach(query, [&](ServiceEvent&& e) {
            events.push_back(std::move(e));
            return true;
        }))
        events.clear();
    return events;
}

std::string HistoryStore::Select(const HistoryQuery& query,
                                 const std::function<bool(ServiceEvent&&)>& each) {
    QString sql = kColumns;
    if (!query.serial.empty())
        sql += " AND serial = :serial";
    if (!query.sinceUtc.empty())
        sql += " AND utc >= :utc";
    if (!query.sinceLocal.empty())
        sql += " AND local >= :local";
    if (query.beforeId != 0)
        sql += " AND (utc < :butc OR (utc = :butc AND id < :bid))";
    sql += kNewestFirst;
    if (query.limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(query.limit);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    // Row by row, none kept: years of events go through in little memory.
    q.setForwardOnly(true);
    q.prepare(sql);
    if (!query.serial.empty())
        q.bindValue(":serial", Q(query.serial));
    if (!query.sinceUtc.empty())
        q.bindValue(":utc", Q(query.sinceUtc));
    if (!query.sinceLocal.empty())
        q.bindValue(":local", Q(query.sinceLocal));
    if (query.beforeId != 0) {
        q.bindValue(":butc", Q(query.beforeUtc));
        q.bindValue(":bid", static_cast<qlonglong>(query.beforeId));
    }
    if (!q.exec())
        return Why(q.lastError());
    while (q.next())
        if (!each(ReadRow(q)))
            break;
    return q.lastError().isValid() ? Why(q.lastError()) : std::string();
}

ReportEvents HistoryStore::ForReport(const std::string& serial, const std::string& sinceUtc,
                                     int listed) {
    ReportEvents r;
    bool readOnly = false;
    if (!OpenToRead(readOnly))
        return r;
    readError_ = SelectForReport(serial, sinceUtc, listed, r);
    if (readOnly || !readError_.empty())
        Close();
    if (!readError_.empty())
        r = {};
    return r;
}

std::string HistoryStore::SelectForReport(const std::string& serial, const std::string& sinceUtc,
                                          int listed, ReportEvents& r) {
    const QString one = QString(kColumns) + " AND serial = :serial";
    std::vector<QString> queries = {one + " AND utc >= :utc" + kNewestFirst +
                                    QStringLiteral(" LIMIT %1").arg(listed)};
    for (const char* figure : kReportFigures)
        queries.push_back(one + figure + kNewestFirst + " LIMIT 1");
    std::map<std::int64_t, ServiceEvent> found;
    for (const QString& sql : queries) {
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        q.setForwardOnly(true);
        q.prepare(sql);
        q.bindValue(":serial", Q(serial));
        if (sql.contains(":utc"))
            q.bindValue(":utc", Q(sinceUtc));
        if (!q.exec())
            return Why(q.lastError());
        while (q.next()) {
            ServiceEvent e = ReadRow(q);
            found.emplace(e.id, std::move(e));
        }
    }
    QSqlQuery count(QSqlDatabase::database(connection_, false));
    count.prepare("SELECT COUNT(*) FROM events WHERE serial = :serial AND utc >= :utc");
    count.bindValue(":serial", Q(serial));
    count.bindValue(":utc", Q(sinceUtc));
    if (!count.exec() || !count.next())
        return Why(count.lastError());
    r.inPeriod = count.value(0).toInt();
    for (auto& [id, e] : found)
        r.events.push_back(std::move(e));
    std::sort(r.events.begin(), r.events.end(), [](const ServiceEvent& a, const ServiceEvent& b) {
        return a.utc != b.utc ? a.utc > b.utc : a.id > b.id;
    });
    return {};
}

}  // namespace halvern
