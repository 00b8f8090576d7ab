#pragma once
// frmLogTask: a reading of a whole log file under way (the plot, the CSV export), in a small
// window over the log viewer that asked for it: what is being done, how far it has come, and
// Cancel-Esc. The reading runs on a thread of its own (LogWorker), so the polling goes on; the
// window is modal to the viewer, which starts no second reading meanwhile. It closes itself
// when the reading ends (signal done(): the work's outcome is ready) or is cancelled
// (Cancel-Esc, its close box, or the viewer closing; signal cancelled(): the work has stopped,
// and what it left is final).

#include <QWidget>
#include <memory>
#include <string>

#include "logging/LogWorker.h"

class QCloseEvent;
class QKeyEvent;
class QProgressBar;

namespace halvern {

class frmLogTask : public QWidget {
    Q_OBJECT
  public:
    frmLogTask(const QString& title, const QString& text, LogWorker::Work work, QWidget* owner);
    ~frmLogTask() override;

    // Neither ended nor cancelled yet.
    bool Running() const { return !ended_; }
    // The reading's thread is still at work (its end may not have been delivered yet).
    bool Working() const { return worker_ && worker_->Running(); }
    // What the work threw instead of returning; empty when it returned.
    std::string Failure() const { return worker_ ? worker_->Failure() : std::string(); }
    // Closes the window, which cancels the reading.
    void Cancel();
    // Waits for the reading and delivers its end now (what the event queue does a moment
    // later).
    void WaitUntilDone();

  signals:
    void done();
    void cancelled();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QProgressBar* bar_ = nullptr;
    bool ended_ = false;
    std::unique_ptr<LogWorker> worker_;
};

}  // namespace halvern
