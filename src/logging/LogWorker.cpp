#include "logging/LogWorker.h"

#include <QCoreApplication>
#include <QEvent>
#include <exception>

namespace halvern {

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
    thread_ = std::thread([this, work = std::move(work)] {
        try {
            work(control_);
        } catch (const std::exception& e) {
            failure_ = e.what();
        }
        running_ = false;
        QMetaObject::invokeMethod(
            receiver_.get(), [this] { Deliver(); }, Qt::QueuedConnection);
    });
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
