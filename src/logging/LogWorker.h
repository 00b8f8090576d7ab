#pragma once
// A reading of a whole log file (the plot, the CSV export) on a thread of its own. A big log
// takes seconds to read, and the polling waits on the program's one thread: it must go on
// meanwhile, and so must the records it writes. The work is a function of the file alone: it
// touches nothing that the program's thread uses (shared state, link, windows), and its
// outcome comes back through the event queue of the thread that started it.

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "logging/LogReader.h"

namespace halvern {

class LogWorker {
  public:
    using Work = std::function<void(LogReadControl&)>;

    // Starts `work` on a thread of its own. onProgress(percent) and onDone() run later on the
    // thread that makes this object, from its event queue; onDone once the work has returned,
    // unless it was cancelled first. onDone must not destroy this object (deleteLater does).
    LogWorker(Work work, std::function<void(int)> onProgress, std::function<void()> onDone);
    // Cancels the work and waits for its thread.
    ~LogWorker();
    LogWorker(const LogWorker&) = delete;
    LogWorker& operator=(const LogWorker&) = delete;

    // Stops the work at its next chunk and waits for that (a chunk's reading at most); onDone
    // does not run. What the work has left is final when this returns: it may have ended
    // just before.
    void Cancel();
    bool Cancelled() const { return control_.Cancelled(); }
    // The work has not returned yet.
    bool Running() const { return running_.load(); }
    // What the work threw instead of returning (out of memory, say); empty when it returned.
    const std::string& Failure() const { return failure_; }
    // Waits for the work to return and delivers its progress and end now, rather than from
    // the event queue a moment later.
    void Wait();

  private:
    void Deliver();

    LogReadControl control_;
    std::function<void(int)> onProgress_;
    std::function<void()> onDone_;
    std::unique_ptr<QObject> receiver_;  // on the starting thread: the calls back go to it
    std::atomic<bool> running_{true};
    std::atomic<int> shown_{-1};  // the last percentage handed back
    std::string failure_;         // written by the work's thread before it ends
    bool delivered_ = false;
    std::thread thread_;
};

}  // namespace halvern
