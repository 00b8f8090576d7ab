#include "logging/frmLogTask.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace halvern {

frmLogTask::frmLogTask(const QString& title, const QString& text, LogWorker::Work work,
                       QWidget* owner)
    : QWidget(owner, Qt::Dialog) {
    setObjectName("frmLogTask");
    setWindowTitle(title);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setFocusPolicy(Qt::StrongFocus);

    auto* label = new QLabel(text, this);
    label->setObjectName("lblTask");
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    bar_ = new QProgressBar(this);
    bar_->setObjectName("prgTask");
    bar_->setRange(0, 100);
    bar_->setValue(0);
    auto* cancel = new QPushButton("Cancel-Esc", this);
    cancel->setObjectName("cmdCancel");
    cancel->setAutoDefault(false);
    cancel->setFocusPolicy(Qt::NoFocus);
    connect(cancel, &QPushButton::clicked, this, &frmLogTask::Cancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    // The viewer going away takes its reading with it.
    if (owner)
        owner->installEventFilter(this);

    worker_ = std::make_unique<LogWorker>(
        std::move(work), [this](int percent) { bar_->setValue(percent); },
        [this] {
            // Gone before the outcome is shown: a message about it is not hidden behind.
            ended_ = true;
            close();
            emit done();
        });
}

frmLogTask::~frmLogTask() = default;

void frmLogTask::Cancel() {
    close();
}

void frmLogTask::WaitUntilDone() {
    if (worker_)
        worker_->Wait();
}

bool frmLogTask::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Close && !ended_)
        Cancel();
    return QWidget::eventFilter(watched, event);
}

void frmLogTask::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        Cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmLogTask::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed before its end (Cancel-Esc, the close box, the viewer going): the reading stops.
    if (!ended_) {
        ended_ = true;
        worker_->Cancel();
        emit cancelled();
    }
}

}  // namespace halvern
