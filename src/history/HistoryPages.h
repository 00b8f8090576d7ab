#pragma once
// The service history's events a page at a time, newest first, each page read on a thread of
// its own: years of events are never read whole, and the polling goes on while a page is read.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "history/HistoryStore.h"

namespace halvern {

class LogWorker;

// A window and more: the next page is read as the list is scrolled to its end.
constexpr int kHistoryPageSize = 50;

class HistoryPages {
  public:
    // onPage(events) runs on the thread that makes this object, from its event queue, with
    // each page read (empty for the last, or for one that could not be read: see Error()).
    HistoryPages(std::string path, std::function<void(std::vector<ServiceEvent>&&)> onPage,
                 int pageSize = kHistoryPageSize);
    ~HistoryPages();
    HistoryPages(const HistoryPages&) = delete;
    HistoryPages& operator=(const HistoryPages&) = delete;

    // Drops the page being read and reads the first of `serial`'s events (every detector's
    // when empty).
    void Start(const std::string& serial);
    // Reads the page after the last one delivered.
    void More();
    // There may be more events, and no page is being read.
    bool CanMore() const;
    // Why the last page could not be read; empty when it could.
    const std::string& Error() const { return error_; }
    // Delivers the page being read now rather than from the event queue (tests).
    void Wait();

  private:
    void Read();

    std::string path_;
    std::function<void(std::vector<ServiceEvent>&&)> onPage_;
    int pageSize_;
    HistoryQuery query_;
    bool complete_ = true;
    std::string error_;
    std::unique_ptr<LogWorker> worker_, done_;  // reading; the last one that delivered
};

}  // namespace halvern
