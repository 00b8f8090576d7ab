#include "logging/LogWorker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <exception>
#include <system_error>

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace halvern {

namespace {

// The polling waits on the program's thread and must be woken the moment a reply is due: the
// reading (and the threads it starts, which inherit this) gives way to it and to everything
// else. With nothing else to run, the reading still has every core. (Qt sets no priority of
// an ordinary Linux thread, hence the nice value there.)
void GiveWay() {
#ifdef __linux__
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
#else
    QThread::currentThread()->setPriority(QThread::LowestPriority);
#endif
}

}  // namespace

LogWorker::LogWorker(Work work, std::function<void(int)> onProgress, std::function<void()> onDone)
    : onProgress_(std::move(onProgress)),
      onDone_(std::move(onDone)),
      receiver_(std::make_unique<QObject>()) {
    // Called from the reading's threads: only a new percentage is worth an event.
    control_.OnProgress = [this] {
        const int percent = control_.Percent();
        int shown = shown_.load();
        while (percent > shown) {
            if (shown_.compare_exchange_weak(shown, percent)) {
                QMetaObject::invokeMethod(
                    receiver_.get(),
                    [this, percent] {
                        if (!delivered_ && !Cancelled() && onProgress_)
                            onProgress_(percent);
                    },
                    Qt::QueuedConnection);
                break;
            }
        }
    };
    // The program ending ends the reading first: its thread must not outlive the event loop
    // and the objects it reports to.
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, receiver_.get(),
                         [this] { Cancel(); });
    const auto finished = [this] {
        running_ = false;
        QMetaObject::invokeMethod(
            receiver_.get(), [this] { Deliver(); }, Qt::QueuedConnection);
    };
    try {
        thread_ = std::thread([this, finished, work = std::move(work)] {
            GiveWay();
            try {
                work(control_);
            } catch (const std::exception& e) {
                failure_ = e.what();
            }
            finished();
        });
    } catch (const std::system_error& e) {
        failure_ = e.what();  // no thread to be had: said as the work's failure
        finished();
    }
}

LogWorker::~LogWorker() {
    // The receiver goes after the thread: no call back can be posted to it any more, and
    // those still queued go with it.
    Cancel();
}

void LogWorker::Cancel() {
    control_.Cancel = true;
    if (thread_.joinable())
        thread_.join();
}

void LogWorker::Wait() {
    if (thread_.joinable())
        thread_.join();
    QCoreApplication::sendPostedEvents(receiver_.get(), QEvent::MetaCall);
}

void LogWorker::Deliver() {
    if (delivered_)
        return;
    delivered_ = true;
    // The thread's last step was to post this call: it ends at once, and what it wrote is
    // ours once it has been joined.
    if (thread_.joinable())
        thread_.join();
    if (!Cancelled() && onDone_)
        onDone_();
}

}  // namespace halvern
