#include "history/HistoryPages.h"

#include "logging/LogWorker.h"

namespace halvern {

HistoryPages::HistoryPages(std::string path,
                           std::function<void(std::vector<ServiceEvent>&&)> onPage, int pageSize)
    : path_(std::move(path)), onPage_(std::move(onPage)), pageSize_(pageSize) {}

HistoryPages::~HistoryPages() = default;

void HistoryPages::Start(const std::string& serial) {
    worker_.reset();  // cancelled: its page is not delivered
    query_ = {};
    query_.serial = serial;
    query_.limit = pageSize_;
    complete_ = false;
    Read();
}

void HistoryPages::More() {
    if (CanMore())
        Read();
}

bool HistoryPages::CanMore() const {
    return !complete_ && !worker_;
}

void HistoryPages::Wait() {
    if (worker_)
        worker_->Wait();
}

void HistoryPages::Read() {
    struct Page {
        std::vector<ServiceEvent> events;
        std::string error;
    };
    auto page = std::make_shared<Page>();
    const auto read = [path = path_, query = query_, page](LogReadControl&) {
        // A connection of this thread's own, gone with it. Nothing waits on this thread: it
        // may wait for another writer as long as the command line does.
        HistoryStore store(path, {}, {}, kHistoryCliBusyTimeoutMs);
        page->events = store.Events(query);
        page->error = store.ReadError();
    };
    const auto deliver = [this, page] {
        // The worker that calls this goes later, not from within its own call.
        done_ = std::move(worker_);
        error_ = page->error;
        complete_ = !error_.empty() || static_cast<int>(page->events.size()) < pageSize_;
        if (!page->events.empty()) {
            query_.beforeUtc = page->events.back().utc;
            query_.beforeId = page->events.back().id;
        }
        onPage_(std::move(page->events));
    };
    worker_ = std::make_unique<LogWorker>(read, nullptr, deliver);
}

}  // namespace halvern
