#pragma once
// The service history: one SQLite file in the program folder, shared by the program and
// halvern-cli, which may write at the same time (write-ahead log, a busy wait, one transaction
// per event). A history that cannot be written (locked, read-only, corrupt, a full disk) never
// stops an action on a detector: its events wait in memory, are tried again with the next
// event or Flush(), and Warning() says why they wait.

#include <QDateTime>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "history/ServiceEvent.h"

namespace halvern {

constexpr const char* kHistoryFile = "history.sqlite";
// The layout this program writes; older files are brought forward when opened.
constexpr int kHistorySchemaVersion = 2;
// How long a write waits for another process's transaction. The program's window and polling
// must not stall on a locked file (the event waits in memory and is tried again anyway); the
// command line waits a little longer so that two of them writing at once both get through,
// and at most twice a command (its action and the last try before it ends).
constexpr int kHistoryBusyTimeoutMs = 150;
constexpr int kHistoryCliBusyTimeoutMs = 1000;

// Who writes the events: the program, its version and the PC's user.
struct HistoryWriter {
    std::string program, version, user;
};

struct HistoryQuery {
    std::string serial;      // empty: every detector
    std::string sinceUtc;    // "2026-09-08T00:00:00Z": events from then on; empty: all
    std::string sinceLocal;  // the same, compared with the local time ("2026-09-08")
    int limit = -1;          // the newest this many; -1: all
    // Only the events listed after this one (a page's last): older, or as old and stored
    // earlier. None when id is 0.
    std::string beforeUtc;
    std::int64_t beforeId = 0;
};

// What a detector's service report prints: its newest events of the period (at most as many
// as it lists), how many events the period holds, and the newest event that holds each of its
// figures (model and status, versions, setup table, S/N test), whatever its age.
struct ReportEvents {
    std::vector<ServiceEvent> events;  // newest first, each once
    int inPeriod = 0;
};

class HistoryStore {
  public:
    // `clock`: the time in UTC (tests give their own); the system's when empty.
    HistoryStore(std::string path, HistoryWriter writer, std::function<QDateTime()> clock = {},
                 int busyTimeoutMs = kHistoryBusyTimeoutMs);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Stamps the event with the time and the writer, and writes it with any still waiting.
    // True when nothing waits any more.
    bool Record(ServiceEvent event);
    // Writes the events that wait; true when none is left.
    bool Flush();
    std::size_t Pending() const { return pending_.size(); }
    // "The service history cannot be written (...): 2 events kept until it can"; empty when
    // nothing waits.
    std::string Warning() const;
    // Why the last write failed; empty after one that succeeded.
    const std::string& WriteError() const { return writeError_; }

    // Events newest first; empty with ReadError() set when the file cannot be read.
    std::vector<ServiceEvent> Events(const HistoryQuery& query = {});
    // The same, one at a time and without keeping them, until `each` says false; false with
    // ReadError() set when the file cannot be read.
    bool ForEach(const HistoryQuery& query, const std::function<bool(ServiceEvent&&)>& each);
    // The events a report of `serial` for the period from `sinceUtc` on needs, the period's
    // newest `listed` among them.
    ReportEvents ForReport(const std::string& serial, const std::string& sinceUtc, int listed);
    const std::string& ReadError() const { return readError_; }
    const std::string& Path() const { return path_; }

  private:
    bool Open(std::string& why, bool readOnly = false);
    void Close();
    bool Migrate(std::string& why);
    bool Exec(const QString& sql, std::string& why);
    bool Write(const ServiceEvent& e, std::string& why);
    // Opens the file for reading, written to if it can be; false with ReadError().
    bool OpenToRead(bool& readOnly);
    // The events asked for; why they could not be read, empty when they could.
    std::string Select(const HistoryQuery& query, const std::function<bool(ServiceEvent&&)>& each);
    std::string SelectForReport(const std::string& serial, const std::string& sinceUtc, int listed,
                                ReportEvents& r);
    // The statement that failed last failed for want of room on the disk.
    bool DiskFull() const;

    std::string path_;
    HistoryWriter writer_;
    std::function<QDateTime()> clock_;
    int busyTimeoutMs_;
    QString connection_;
    std::deque<ServiceEvent> pending_;
    std::string writeError_;
    std::string readError_;
    bool open_ = false;
    int lastCode_ = 0;  // SQLite's code of the last failure
};

}  // namespace halvern
